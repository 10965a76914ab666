#include "progress_window.h"

#include "drill_font.h"
#include "fit_to_screen.h"
#include "history_changes.h"
#include "history_csv.h"
#include "key_names.h"
#include "keyboard_map.h"
#include "learner_name.h"
#include "letter_table_model.h"
#include "program_icon.h"
#include "progress_chart.h"
#include "progress_reader.h"
#include "runs_model.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <QtConcurrent>

#include <algorithm>
#include <optional>

namespace {

constexpr int pollIntervalMs = 1000;
// Fits a 1366x768 screen with its panels.
constexpr QSize preferredSize(1120, 660);
// Item data of the selector's entry for the overview; learners' ids start at 1.
constexpr qint64 overviewEntry = -1;

// Changes whenever the drill commits: with write-ahead logging the log grows first, and a
// checkpoint later rewrites the database file itself.
QString fileSignature(const QString &path)
{
    QString signature;
    for (const QString &name : {path, path + "-wal"}) {
        const QFileInfo file(name);
        signature += QStringLiteral("%1:%2:%3;")
                         .arg(file.exists())
                         .arg(file.size())
                         .arg(file.lastModified().toMSecsSinceEpoch());
    }
    return signature;
}

std::string localPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString duration(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1 分钟").arg(seconds / 60);
    return QStringLiteral("%1 小时 %2 分").arg(seconds / 3600).arg(seconds / 60 % 60);
}

QString periodText(const PeriodSummary &period)
{
    if (period.runs == 0)
        return QStringLiteral("没有练习");
    return QStringLiteral("练习 %1，%2 次，%3 键，正确率 %4 %，速度中位数 %5 字/分")
        .arg(duration(period.practiceSeconds))
        .arg(period.runs)
        .arg(period.keys)
        .arg(period.accuracy(), 0, 'f', 1)
        .arg(period.medianSpeed, 0, 'f', 0);
}

QTableView *sortableTable(QAbstractItemModel *model, int sortRole, QWidget *parent)
{
    auto *proxy = new QSortFilterProxyModel(parent);
    proxy->setSourceModel(model);
    proxy->setSortRole(sortRole);
    auto *view = new QTableView(parent);
    view->setModel(proxy);
    view->setSortingEnabled(true);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    // A row sorted in above the rows in view moves them down by one; a scrolled view follows
    // them, while a view at its top shows the new row.
    QObject::connect(proxy, &QAbstractItemModel::rowsInserted, view,
                     [view](const QModelIndex &, int first, int last) {
                         QScrollBar *bar = view->verticalScrollBar();
                         if (bar->value() > 0 && first <= view->rowAt(0))
                             bar->setValue(bar->value() + last - first + 1);
                     });
    return view;
}

// Asks before anything is deleted, Cancel the default: gives whether to go on.
bool confirmDeletion(QWidget *parent, const QString &title, const QString &question)
{
    QMessageBox box(QMessageBox::Warning, title, question, QMessageBox::Yes | QMessageBox::Cancel,
                    parent);
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("删除"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    return box.exec() == QMessageBox::Yes;
}

// Asks for a learner's name; empty when cancelled.
std::optional<QString> askForName(QWidget *parent, const QString &title, const QString &label,
                                  const QString &ok, const QString &name = {})
{
    QInputDialog dialog(parent);
    dialog.setWindowTitle(title);
    dialog.setLabelText(label);
    dialog.setTextValue(name);
    dialog.setOkButtonText(ok);
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

} // namespace

ProgressWindow::ProgressWindow(const QString &historyPath, const QString &learner, QWidget *parent)
    : QWidget(parent)
    , m_path(historyPath)
    , m_drillProgram(QDir(QCoreApplication::applicationDirPath()).filePath("typing-drill"))
    , m_poll(new QTimer(this))
{
    m_request.currentName = learner;
    // The history is read while the widgets are built and first drawn.
    connect(&m_reader, &QFutureWatcher<ProgressSnapshot>::finished, this, [this] {
        // A read for a learner or a page no longer asked for is not shown: the next one is.
        const bool asked = m_reading.overview == m_request.overview
            && (m_request.selected == 0 || m_reading.selected == m_request.selected);
        if (asked)
            present(m_reader.result());
        if (std::exchange(m_readAgain, false) || !asked)
            reload();
    });
    reload();

    // First, so that it comes first in the focus chain as on the screen.
    m_learnerBar = new QWidget(this);
    auto *learnerLayout = new QHBoxLayout(m_learnerBar);
    learnerLayout->setContentsMargins(9, 6, 9, 0);
    m_learnerBox = new QComboBox(m_learnerBar);
    m_learnerBox->setObjectName("learner");
    m_learnerBox->setAccessibleName(QStringLiteral("学员"));
    m_learnerBox->setToolTip(QStringLiteral("看哪位学员的练习，或者全部学员的概况"));
    m_learnerBox->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    auto *learnerLabel = new QLabel(QStringLiteral("学员："), m_learnerBar);
    learnerLabel->setBuddy(m_learnerBox);
    learnerLayout->addWidget(learnerLabel);
    learnerLayout->addWidget(m_learnerBox);
    learnerLayout->addStretch();
    m_learnerBar->hide();
    m_pages = new QStackedWidget(this);
    m_message = new QLabel(this);
    m_chart = new ProgressChart(this);
    m_range = new QComboBox(this);
    m_keyboard = new KeyboardMap(this);
    m_letters = new LetterTableModel(this);
    m_confusions = new QTableWidget(this);
    m_runs = new RunsModel(this);
    m_overview = new QTableWidget(this);
    const auto button = [this](const char *text, const char *name, const char *tip) {
        auto *made = new QPushButton(QString::fromUtf8(text), this);
        made->setObjectName(name);
        if (*tip)
            made->setToolTip(QString::fromUtf8(tip));
        return made;
    };
    m_practise = button("练这些字母", "practise",
                        "打开青禾打字软件，多练这位学员的薄弱字母（键盘上偏红的字母）");
    m_move = button("移到学员…", "move", "把选中的这次练习改记到另一位学员名下");
    m_export = button("导出…", "export", "把练习记录存成两个 CSV 文件（runs.csv、keys.csv）");
    m_delete = button("删除记录…", "delete", "删除这位学员在图的时间范围内的练习");
    m_add = button("添加学员…", "add", "");
    m_rename = button("改名…", "rename", "给选中的学员改名字");
    m_remove = button("删除学员…", "remove", "删除选中的学员和他的全部练习");
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status->setWordWrap(true);
    setObjectName("ProgressWindow");
    setWindowTitle(QStringLiteral("练习记录 — 青禾打字软件"));
    setWindowIcon(programIcon());
    setFont(drillFont(9));

    m_content = buildContent();
    m_overviewPage = buildOverview();

    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = m_message->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_message->setFont(large);
    // On a small screen the content keeps a readable size and scrolls.
    auto *scroll = new QScrollArea(m_pages);
    scroll->setObjectName("contentScroll");
    scroll->setWidget(m_content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_pages->addWidget(scroll);
    m_pages->addWidget(m_overviewPage);
    m_pages->addWidget(m_message);

    auto *buttons = new QHBoxLayout;
    buttons->setContentsMargins(9, 0, 9, 9);
    buttons->addWidget(m_status, 1);
    for (QPushButton *each : {m_move, m_export, m_delete, m_add, m_rename, m_remove})
        buttons->addWidget(each);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_learnerBar);
    outer->addWidget(m_pages, 1);
    outer->addLayout(buttons);
    fitToScreen(*this, preferredSize);

    connect(m_learnerBox, &QComboBox::activated, this, [this](int index) {
        const qint64 id = m_learnerBox->itemData(index).toLongLong();
        m_request.overview = id == overviewEntry;
        if (!m_request.overview)
            m_request.selected = id;
        m_status->clear();
        reload();
    });
    connect(m_range, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_chartRange = ChartRange(index);
        reload();
    });
    connect(m_practise, &QPushButton::clicked, this, &ProgressWindow::practiseWeakLetters);
    connect(m_move, &QPushButton::clicked, this, &ProgressWindow::moveSelectedRun);
    connect(m_export, &QPushButton::clicked, this, &ProgressWindow::chooseExportFolder);
    connect(m_delete, &QPushButton::clicked, this, &ProgressWindow::confirmDelete);
    connect(m_add, &QPushButton::clicked, this, &ProgressWindow::addLearner);
    connect(m_rename, &QPushButton::clicked, this, &ProgressWindow::renameLearner);
    connect(m_remove, &QPushButton::clicked, this, &ProgressWindow::confirmRemoveLearner);
    connect(m_runTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &ProgressWindow::updateButtons);
    connect(m_overview, &QTableWidget::itemSelectionChanged, this, &ProgressWindow::updateButtons);
    // Enter or a double click on a learner's row shows that learner.
    connect(m_overview, &QTableWidget::activated, this, [this](const QModelIndex &index) {
        m_request.overview = false;
        m_request.selected = m_overview->item(index.row(), 0)->data(Qt::UserRole).toLongLong();
        reload();
    });
    connect(m_poll, &QTimer::timeout, this, &ProgressWindow::pollHistory);
    m_poll->start(pollIntervalMs);
    updateButtons();
}

// The summary, chart and keyboard above the tables of letters, mix-ups and runs.
QWidget *ProgressWindow::buildContent()
{
    auto *content = new QWidget(m_pages);
    content->setObjectName("content");
    auto *layout = new QVBoxLayout(content);

    auto *summary = new QGroupBox(QStringLiteral("概况"), content);
    auto *summaryLayout = new QVBoxLayout(summary);
    summaryLayout->setSpacing(2);
    for (const char *period : {"今天", "最近 7 天", "全部", "连续练习"}) {
        auto *label = new QLabel(summary);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        label->setAccessibleDescription(QString::fromUtf8(period));
        summaryLayout->addWidget(label);
        m_summary.append(label);
    }
    layout->addWidget(summary);

    auto *middle = new QHBoxLayout;
    auto *chartBox = new QGroupBox(QStringLiteral("速度和正确率"), content);
    auto *chartLayout = new QVBoxLayout(chartBox);
    m_range->addItems({"最近 7 天", "最近 30 天", "最近一年", "全部"});
    m_range->setCurrentIndex(int(m_chartRange));
    m_range->setAccessibleName(QStringLiteral("图的时间范围"));
    chartLayout->addWidget(m_range, 0, Qt::AlignRight);
    m_chart->setMinimumHeight(150);
    chartLayout->addWidget(m_chart);
    middle->addWidget(chartBox, 3);

    auto *keysBox = new QGroupBox(QStringLiteral("键盘"), content);
    auto *keysLayout = new QVBoxLayout(keysBox);
    auto *measure = new QComboBox(keysBox);
    measure->addItems({"按正确率着色", "按反应时间着色"});
    measure->setAccessibleName(QStringLiteral("键盘着色"));
    keysLayout->addWidget(measure, 0, Qt::AlignRight);
    connect(measure, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_keyboard->setMeasure(index == 0 ? KeyboardMap::Measure::Accuracy
                                          : KeyboardMap::Measure::ReactionTime);
    });
    keysLayout->addWidget(m_keyboard);
    keysLayout->addStretch();
    keysLayout->addWidget(m_practise, 0, Qt::AlignRight);
    middle->addWidget(keysBox, 2);
    layout->addLayout(middle, 3);

    auto *tabs = new QTabWidget(content);
    m_letterTable = sortableTable(m_letters, LetterTableModel::sortRole, tabs);
    m_letterTable->setObjectName("letters");
    m_letterTable->setAccessibleName(QStringLiteral("字母表"));
    m_letterTable->sortByColumn(0, Qt::AscendingOrder);
    tabs->addTab(m_letterTable, QStringLiteral("字母"));
    m_confusions->setColumnCount(3);
    m_confusions->setHorizontalHeaderLabels({"要打的字母", "按成了", "次数"});
    m_confusions->setObjectName("confusions");
    m_confusions->setAccessibleName(QStringLiteral("最常按错"));
    m_confusions->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_confusions->verticalHeader()->hide();
    m_confusions->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    tabs->addTab(m_confusions, QStringLiteral("最常按错"));
    m_runTable = sortableTable(m_runs, RunsModel::sortRole, tabs);
    m_runTable->setObjectName("runs");
    m_runTable->setAccessibleName(QStringLiteral("练习列表"));
    m_runTable->setSelectionMode(QAbstractItemView::SingleSelection);
    m_runTable->sortByColumn(0, Qt::DescendingOrder);
    auto *moveAction = new QAction(QStringLiteral("移到学员…"), m_runTable);
    connect(moveAction, &QAction::triggered, this, &ProgressWindow::moveSelectedRun);
    m_runTable->addAction(moveAction);
    m_runTable->setContextMenuPolicy(Qt::ActionsContextMenu);
    tabs->addTab(m_runTable, QStringLiteral("每次练习"));
    tabs->setMinimumHeight(130);
    layout->addWidget(tabs, 2);
    return content;
}

// Every learner's last 7 days, one row each, where learners are added, renamed and removed.
QWidget *ProgressWindow::buildOverview()
{
    auto *page = new QWidget(m_pages);
    page->setObjectName("overviewPage");
    auto *layout = new QVBoxLayout(page);
    auto *heading = new QLabel(
        QStringLiteral("全部学员最近 7 天的练习（回车或双击一行，看这位学员的记录）"), page);
    heading->setWordWrap(true);
    layout->addWidget(heading);
    m_overview->setObjectName("overview");
    m_overview->setAccessibleName(QStringLiteral("全部学员最近 7 天"));
    m_overview->setColumnCount(6);
    m_overview->setHorizontalHeaderLabels(
        {"学员", "练习时间", "次数", "正确率", "速度中位数 字/分", "最弱的字母"});
    m_overview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_overview->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_overview->setSelectionMode(QAbstractItemView::SingleSelection);
    m_overview->verticalHeader()->hide();
    m_overview->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    layout->addWidget(m_overview);
    return page;
}

ProgressWindow::~ProgressWindow()
{
    m_reader.waitForFinished();
}

void ProgressWindow::reload()
{
    if (m_reader.isRunning()) {
        m_readAgain = true;
        return;
    }
    m_fileSignature = fileSignature(m_path);
    m_readDay = QDate::currentDate();
    m_reading = m_request;
    m_reader.setFuture(QtConcurrent::run(readProgress, m_path, m_readDay, m_chartRange, m_request));
}

void ProgressWindow::pollHistory()
{
    // A history locked for a moment by its writer is tried again without waiting for a change.
    const ProgressSnapshot &shown = m_request.overview ? m_overviewShown : m_shown;
    if (fileSignature(m_path) != m_fileSignature || QDate::currentDate() != m_readDay
        || shown.state == ProgressSnapshot::State::Unreadable)
        reload();
}

const LearnerInfo *ProgressWindow::learner(qint64 id) const
{
    for (const LearnerInfo &each : m_learners) {
        if (each.id == id)
            return &each;
    }
    return nullptr;
}

void ProgressWindow::present(const ProgressSnapshot &snapshot)
{
    m_learners = snapshot.learners;
    if (snapshot.currentLearner)
        m_request.current = snapshot.currentLearner;
    if (snapshot.learner)
        m_request.selected = snapshot.learner;
    (snapshot.isOverview ? m_overviewShown : m_shown) = snapshot;
    showLearners(snapshot);
    const LearnerInfo *shown = learner(snapshot.learner);
    switch (snapshot.state) {
    case ProgressSnapshot::State::Absent:
    case ProgressSnapshot::State::Empty:
        if (snapshot.isOverview)
            showOverview(snapshot);
        else
            showMessage(QStringLiteral("还没有练习记录。打开青禾打字软件练一会儿，"
                                       "这里就会显示你的进步。"));
        break;
    case ProgressSnapshot::State::Unreadable:
        showMessage(QStringLiteral("读不了练习记录：%1\n文件：%2")
                        .arg(snapshot.reason, QDir::toNativeSeparators(m_path)));
        break;
    case ProgressSnapshot::State::Ready:
        if (snapshot.isOverview) {
            showOverview(snapshot);
            break;
        }
        if (snapshot.runs.isEmpty() && shown) {
            showMessage(QStringLiteral("“%1”还没有练习记录。").arg(shown->name));
            break;
        }
        showSummary(snapshot);
        m_chart->setPoints(snapshot.chart, snapshot.chartByDay);
        m_keyboard->setLetters(snapshot.letters);
        m_letters->setRows(snapshot.letters);
        showConfusions(snapshot.confusions);
        m_runs->setRows(snapshot.runs);
        m_practise->setAccessibleDescription(
            shown ? QStringLiteral("让“%1”练薄弱字母").arg(shown->name) : QString());
        m_pages->setCurrentIndex(0);
        break;
    }
    updateButtons();
    emit refreshed();
}

void ProgressWindow::showMessage(const QString &text)
{
    m_message->setText(text);
    m_message->setAccessibleName(text);
    m_pages->setCurrentWidget(m_message);
}

// The selector: the current learner first, the others as they were added, then 全部学员.
void ProgressWindow::showLearners(const ProgressSnapshot &snapshot)
{
    m_learnerBar->setVisible(!m_learners.isEmpty());
    QList<std::pair<QString, qint64>> entries;
    if (const LearnerInfo *current = learner(snapshot.currentLearner))
        entries.append({current->name, current->id});
    for (const LearnerInfo &each : m_learners) {
        if (each.id != snapshot.currentLearner)
            entries.append({each.name, each.id});
    }
    entries.append({QStringLiteral("全部学员"), overviewEntry});
    QList<std::pair<QString, qint64>> listed;
    for (int i = 0; i < m_learnerBox->count(); ++i) {
        if (!m_learnerBox->itemData(i).isNull())
            listed.append({m_learnerBox->itemText(i), m_learnerBox->itemData(i).toLongLong()});
    }
    const QSignalBlocker quiet(m_learnerBox);
    if (listed != entries) {
        m_learnerBox->clear();
        for (const auto &[name, id] : entries) {
            if (id == overviewEntry)
                m_learnerBox->insertSeparator(m_learnerBox->count());
            m_learnerBox->addItem(name, id);
        }
    }
    const int index =
        m_learnerBox->findData(m_request.overview ? overviewEntry : m_request.selected);
    m_learnerBox->setCurrentIndex(index);
}

void ProgressWindow::showSummary(const ProgressSnapshot &snapshot)
{
    const QStringList texts {
        QStringLiteral("今天：") + periodText(snapshot.today),
        QStringLiteral("最近 7 天：") + periodText(snapshot.lastWeek),
        QStringLiteral("全部：") + periodText(snapshot.allTime),
        snapshot.streakDays > 0 ? QStringLiteral("已经连续练习 %1 天").arg(snapshot.streakDays)
                                : QStringLiteral("今天练一次，开始连续练习"),
    };
    for (int i = 0; i < texts.size(); ++i) {
        m_summary[i]->setText(texts[i]);
        // A reader takes a label's accessible name as its text.
        m_summary[i]->setAccessibleName(texts[i]);
    }
}

void ProgressWindow::showConfusions(const QList<Confusion> &confusions)
{
    m_confusions->setRowCount(int(confusions.size()));
    for (int row = 0; row < confusions.size(); ++row) {
        const Confusion &confusion = confusions[row];
        const QStringList cells {QString(confusion.letter), keyName(confusion.keyCode),
                                 QString::number(confusion.count)};
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem *item = m_confusions->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(Qt::AlignCenter);
                m_confusions->setItem(row, column, item);
            }
            item->setText(cells[column]);
        }
    }
}

void ProgressWindow::showOverview(const ProgressSnapshot &snapshot)
{
    const qint64 selected = overviewLearner();
    // The learners in the selector's order.
    QList<const OverviewRow *> rows;
    for (const OverviewRow &row : snapshot.overview) {
        if (row.learner == snapshot.currentLearner)
            rows.prepend(&row);
        else
            rows.append(&row);
    }
    m_overview->setRowCount(int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const OverviewRow &row = *rows[i];
        const PeriodSummary &week = row.lastWeek;
        const LearnerInfo *info = learner(row.learner);
        QStringList weakest;
        for (const QChar letter : row.weakest)
            weakest.append(QString(letter));
        const bool practised = week.runs > 0;
        const QStringList cells {
            info ? info->name : QString(),
            practised ? duration(week.practiceSeconds) : QStringLiteral("没有练习"),
            QString::number(week.runs),
            practised ? QString::number(week.accuracy(), 'f', 1) + " %" : QStringLiteral("—"),
            practised ? QString::number(week.medianSpeed, 'f', 0) : QStringLiteral("—"),
            weakest.isEmpty() ? QStringLiteral("—") : weakest.join(QStringLiteral("、")),
        };
        for (int column = 0; column < cells.size(); ++column) {
            QTableWidgetItem *item = m_overview->item(i, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(column == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                                   : Qt::AlignCenter);
                m_overview->setItem(i, column, item);
            }
            item->setText(cells[column]);
        }
        m_overview->item(i, 0)->setData(Qt::UserRole, row.learner);
        if (row.learner == selected)
            m_overview->selectRow(i);
    }
    m_pages->setCurrentWidget(m_overviewPage);
}

// The learner of the overview's selected row, or 0.
qint64 ProgressWindow::overviewLearner() const
{
    const QList<QTableWidgetItem *> selected = m_overview->selectedItems();
    return selected.isEmpty()
        ? 0
        : m_overview->item(selected.first()->row(), 0)->data(Qt::UserRole).toLongLong();
}

void ProgressWindow::updateButtons()
{
    const bool content = m_pages->currentIndex() == 0;
    const bool overview = m_pages->currentWidget() == m_overviewPage;
    const bool learners = !m_learners.isEmpty();
    m_move->setVisible(content && learners);
    m_move->setEnabled(m_learners.size() > 1 && m_runTable->selectionModel()->hasSelection());
    m_export->setVisible(content || overview);
    m_delete->setVisible(content);
    for (QPushButton *each : {m_add, m_rename, m_remove})
        each->setVisible(overview);
    const bool chosen = overviewLearner() != 0;
    m_rename->setEnabled(chosen);
    m_remove->setEnabled(chosen && m_learners.size() > 1);
    m_remove->setToolTip(m_learners.size() > 1 ? QStringLiteral("删除选中的学员和他的全部练习")
                                               : QStringLiteral("至少要留下一个学员"));
}

void ProgressWindow::chooseExportFolder()
{
    QFileDialog dialog(this, QStringLiteral("导出练习记录到文件夹"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString folder = dialog.selectedFiles().first();
    const std::string error = exportHistoryCsv(localPath(m_path), localPath(folder));
    m_status->setText(error.empty()
                          ? QStringLiteral("已导出到 %1（runs.csv、keys.csv）")
                                .arg(QDir::toNativeSeparators(folder))
                          : QStringLiteral("没能导出：%1").arg(QString::fromStdString(error)));
}

void ProgressWindow::changed(const QString &error, const QString &done)
{
    m_status->setText(error.isEmpty() ? done : QStringLiteral("没能完成：%1").arg(error));
    reload();
}

// Deletes the shown learner's runs within the chart's time range, after asking.
void ProgressWindow::confirmDelete()
{
    if (m_shown.state != ProgressSnapshot::State::Ready || m_shown.runs.isEmpty())
        return;
    const QDate first = firstDayOf(m_chartRange, m_readDay);
    QList<RunListRow> runs;
    qint64 keys = 0;
    for (const RunListRow &run : m_shown.runs) {
        const QDate day = run.started.date();
        if (!first.isValid() || (day >= first && day <= m_readDay)) {
            runs.append(run);
            keys += run.total;
        }
    }
    const LearnerInfo *shown = learner(m_shown.learner);
    const QString whose = shown ? QStringLiteral("“%1”").arg(shown->name) : QString();
    const QString range = first.isValid() ? m_range->currentText() : QStringLiteral("全部");
    if (runs.isEmpty()) {
        m_status->setText(QStringLiteral("%1%2没有练习可删除").arg(whose, range));
        return;
    }
    // Runs come in id order, which an import need not keep in time.
    const auto [earliest, latest] = std::minmax_element(
        runs.cbegin(), runs.cend(),
        [](const RunListRow &a, const RunListRow &b) { return a.started < b.started; });
    const QString question =
        QStringLiteral("要删除%1%2的 %3 次练习、%4 个按键的记录吗？（%5 至 %6）\n"
                       "删除后图、键盘和表格里就没有这些练习了，无法恢复。")
            .arg(whose, first.isValid() ? range : QStringLiteral("全部"))
            .arg(runs.size())
            .arg(keys)
            .arg(earliest->started.toString("yyyy-MM-dd"), latest->started.toString("yyyy-MM-dd"));
    if (!confirmDeletion(this, QStringLiteral("删除练习记录"), question))
        return;
    QList<qint64> ids;
    for (const RunListRow &run : runs)
        ids.append(run.id);
    const QString error = historyChanges::deleteRuns(m_path, ids);
    m_status->setText(error.isEmpty()
                          ? QStringLiteral("已删除 %1 次练习").arg(ids.size())
                          : QStringLiteral("没能删除：%1（文件：%2）").arg(error, m_path));
    reload();
}

void ProgressWindow::practiseWeakLetters()
{
    QStringList arguments {"--history-file", m_path};
    const LearnerInfo *shown = learner(m_shown.learner);
    if (shown)
        arguments << "--learner" << shown->name;
    arguments << "--practice"
              << "weak";
    // Detached: the drill outlives this window, and this window never waits for it.
    m_status->setText(QProcess::startDetached(m_drillProgram, arguments)
                          ? QStringLiteral("已打开青禾打字软件，练%1的薄弱字母")
                                .arg(shown ? QStringLiteral("“%1”").arg(shown->name) : QString())
                          : QStringLiteral("没能打开青禾打字软件（%1）")
                                .arg(QDir::toNativeSeparators(m_drillProgram)));
}

void ProgressWindow::moveSelectedRun()
{
    const QModelIndexList rows = m_runTable->selectionModel()->selectedRows();
    if (rows.isEmpty() || m_learners.size() < 2)
        return;
    const auto *proxy = static_cast<const QSortFilterProxyModel *>(m_runTable->model());
    const RunListRow run = m_runs->row(proxy->mapToSource(rows.first()).row());
    QStringList names;
    QList<qint64> ids;
    for (const LearnerInfo &each : m_learners) {
        if (each.id != m_shown.learner) {
            names.append(each.name);
            ids.append(each.id);
        }
    }
    QInputDialog dialog(this);
    dialog.setWindowTitle(QStringLiteral("移到学员"));
    dialog.setLabelText(QStringLiteral("把 %1 的这次练习（%2 键）记到哪位学员名下？")
                            .arg(run.started.toString("yyyy-MM-dd HH:mm"))
                            .arg(run.total));
    dialog.setComboBoxItems(names);
    dialog.setOkButtonText(QStringLiteral("移过去"));
    dialog.setCancelButtonText(QStringLiteral("取消"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    const qsizetype to = names.indexOf(dialog.textValue());
    if (to < 0)
        return;
    changed(historyChanges::moveRun(m_path, run.id, ids[to]),
            QStringLiteral("已把这次练习移到“%1”名下").arg(names[to]));
}

void ProgressWindow::addLearner()
{
    const std::optional<QString> name =
        askForName(this, QStringLiteral("添加学员"),
                   QStringLiteral("新学员的名字（最多 %1 个字）：").arg(learnerName::maxLength),
                   QStringLiteral("添加"));
    if (!name)
        return;
    changed(historyChanges::addLearner(m_path, *name),
            QStringLiteral("已添加学员“%1”").arg(learnerName::normalized(*name)));
}

void ProgressWindow::renameLearner()
{
    const LearnerInfo *chosen = learner(overviewLearner());
    if (!chosen)
        return;
    const LearnerInfo before = *chosen;
    const std::optional<QString> name = askForName(this, QStringLiteral("给学员改名"),
                                                   QStringLiteral("“%1”的新名字（最多 %2 个字）：")
                                                       .arg(before.name)
                                                       .arg(learnerName::maxLength),
                                                   QStringLiteral("改名"), before.name);
    if (!name)
        return;
    changed(historyChanges::renameLearner(m_path, before.id, *name),
            QStringLiteral("“%1”已改名为“%2”").arg(before.name, learnerName::normalized(*name)));
}

void ProgressWindow::confirmRemoveLearner()
{
    const LearnerInfo *chosen = learner(overviewLearner());
    if (!chosen)
        return;
    const LearnerInfo removed = *chosen;
    if (!confirmDeletion(
            this, QStringLiteral("删除学员"),
            QStringLiteral("删除学员“%1”和他的 %2 次练习、%3 个按键？\n删除后无法恢复。")
                .arg(removed.name)
                .arg(removed.runs)
                .arg(removed.keys)))
        return;
    changed(historyChanges::removeLearner(m_path, removed.id),
            QStringLiteral("已删除学员“%1”").arg(removed.name));
}

#include "progress_window.h"

#include "delete_history.h"
#include "drill_font.h"
#include "history_csv.h"
#include "key_names.h"
#include "keyboard_map.h"
#include "letter_table_model.h"
#include "program_icon.h"
#include "progress_chart.h"
#include "progress_reader.h"
#include "runs_model.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
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

namespace {

constexpr int pollIntervalMs = 1000;

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

} // namespace

ProgressWindow::ProgressWindow(const QString &historyPath, QWidget *parent)
    : QWidget(parent)
    , m_path(historyPath)
    , m_poll(new QTimer(this))
{
    // The history is read while the widgets are built and first drawn.
    connect(&m_reader, &QFutureWatcher<ProgressSnapshot>::finished, this, [this] {
        present(m_reader.result());
        if (std::exchange(m_readAgain, false))
            reload();
    });
    reload();

    m_pages = new QStackedWidget(this);
    m_message = new QLabel(this);
    m_chart = new ProgressChart(this);
    m_range = new QComboBox(this);
    m_keyboard = new KeyboardMap(this);
    m_letters = new LetterTableModel(this);
    m_confusions = new QTableWidget(this);
    m_runs = new RunsModel(this);
    m_export = new QPushButton(QStringLiteral("导出…"), this);
    m_export->setObjectName("export");
    m_export->setToolTip(QStringLiteral("把练习记录存成两个 CSV 文件（runs.csv、keys.csv）"));
    m_status = new QLabel(this);
    m_status->setObjectName("status");
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_delete = new QPushButton(QStringLiteral("删除记录…"), this);
    m_delete->setObjectName("delete");
    setObjectName("ProgressWindow");
    setWindowTitle(QStringLiteral("练习记录 — 青禾打字软件"));
    setWindowIcon(programIcon());
    setFont(drillFont(9));
    // Fits a 1366x768 screen with its panels.
    resize(1120, 660);

    QWidget *content = buildContent();

    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = m_message->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_message->setFont(large);
    m_pages->addWidget(content);
    m_pages->addWidget(m_message);
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_pages);

    connect(m_range, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_chartRange = ChartRange(index);
        reload();
    });
    connect(m_export, &QPushButton::clicked, this, &ProgressWindow::chooseExportFolder);
    connect(m_delete, &QPushButton::clicked, this, &ProgressWindow::confirmDelete);
    connect(m_poll, &QTimer::timeout, this, &ProgressWindow::pollHistory);
    m_poll->start(pollIntervalMs);
}

// The summary, chart and keyboard above the tables of letters, mix-ups and runs, and the buttons.
QWidget *ProgressWindow::buildContent()
{
    auto *content = new QWidget(m_pages);
    content->setObjectName("content");
    auto *layout = new QVBoxLayout(content);

    auto *summary = new QGroupBox(QStringLiteral("概况"), content);
    auto *summaryLayout = new QVBoxLayout(summary);
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
    m_runTable->sortByColumn(0, Qt::DescendingOrder);
    tabs->addTab(m_runTable, QStringLiteral("每次练习"));
    layout->addWidget(tabs, 2);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_status, 1);
    buttons->addWidget(m_export);
    buttons->addWidget(m_delete);
    layout->addLayout(buttons);
    return content;
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
    m_reader.setFuture(QtConcurrent::run(readProgress, m_path, m_readDay, m_chartRange));
}

void ProgressWindow::pollHistory()
{
    // A history locked for a moment by its writer is tried again without waiting for a change.
    if (fileSignature(m_path) != m_fileSignature || QDate::currentDate() != m_readDay
        || m_shown.state == ProgressSnapshot::State::Unreadable)
        reload();
}

void ProgressWindow::present(const ProgressSnapshot &snapshot)
{
    m_shown = snapshot;
    switch (snapshot.state) {
    case ProgressSnapshot::State::Absent:
    case ProgressSnapshot::State::Empty:
        m_message->setText(QStringLiteral("还没有练习记录。打开青禾打字软件练一会儿，"
                                          "这里就会显示你的进步。"));
        m_pages->setCurrentWidget(m_message);
        break;
    case ProgressSnapshot::State::Unreadable:
        m_message->setText(QStringLiteral("读不了练习记录：%1\n文件：%2")
                               .arg(snapshot.reason, QDir::toNativeSeparators(m_path)));
        m_pages->setCurrentWidget(m_message);
        break;
    case ProgressSnapshot::State::Ready:
        showSummary(snapshot);
        m_chart->setPoints(snapshot.chart, snapshot.chartByDay);
        m_keyboard->setLetters(snapshot.letters);
        m_letters->setRows(snapshot.letters);
        showConfusions(snapshot.confusions);
        m_runs->setRows(snapshot.runs);
        m_pages->setCurrentIndex(0);
        break;
    }
    m_message->setAccessibleName(m_message->text());
    emit refreshed();
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

void ProgressWindow::confirmDelete()
{
    if (m_shown.state != ProgressSnapshot::State::Ready || m_shown.runs.isEmpty())
        return;
    // Runs come in id order, which an import need not keep in time.
    const auto [first, last] = std::minmax_element(
        m_shown.runs.cbegin(), m_shown.runs.cend(),
        [](const RunListRow &a, const RunListRow &b) { return a.started < b.started; });
    const QString question =
        QStringLiteral("要删除全部 %1 次练习、%2 个按键的记录吗？（%3 至 %4）\n"
                       "删除后图、键盘和表格都从零开始，无法恢复。")
            .arg(m_shown.allTime.runs)
            .arg(m_shown.allTime.keys)
            .arg(first->started.toString("yyyy-MM-dd"), last->started.toString("yyyy-MM-dd"));
    QMessageBox box(QMessageBox::Warning, QStringLiteral("删除练习记录"), question,
                    QMessageBox::Yes | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("删除"));
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("取消"));
    if (box.exec() != QMessageBox::Yes)
        return;
    const QString error = deleteHistory(m_path);
    m_status->setText(error.isEmpty()
                          ? QStringLiteral("练习记录已删除")
                          : QStringLiteral("没能删除：%1（文件：%2）").arg(error, m_path));
    reload();
}

#include "teacher_window.h"

#include "class_table_model.h"
#include "drill_font.h"
#include "fit_to_screen.h"
#include "keyboard_map.h"
#include "pg_connection.h"
#include "program_icon.h"
#include "progress_window.h"
#include "server_history.h"
#include "server_session.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <QtConcurrent>

namespace {

constexpr QSize preferredSize(1120, 660);

// Seconds since the epoch of last Monday's and this Monday's local midnight, and of now.
struct WeekBounds
{
    double lastWeekStart;
    double weekStart;
    double now;
};

WeekBounds weekBounds(const QDateTime &now)
{
    const QDate monday = now.date().addDays(1 - now.date().dayOfWeek());
    return {double(monday.addDays(-7).startOfDay().toMSecsSinceEpoch()) / 1000,
            double(monday.startOfDay().toMSecsSinceEpoch()) / 1000,
            double(now.toMSecsSinceEpoch()) / 1000};
}

QList<LetterRow> letterRows(const ClassReport &report)
{
    QList<LetterRow> rows;
    for (const ClassLetter &letter : report.letters) {
        LetterRow row;
        row.letter = QChar(letter.letter);
        row.asked = letter.asked;
        row.correct = letter.correct;
        row.medianMs = letter.medianMs;
        row.bestMs = letter.bestMs;
        row.mostConfusedKey = letter.mostConfusedKey;
        row.mostConfusedCount = letter.mostConfusedCount;
        rows.append(row);
    }
    return rows;
}

// One CSV field; a text a spreadsheet would take for a formula is kept as text.
QString csvField(QString text)
{
    if (!text.isEmpty() && QStringLiteral("=+-@").contains(text.front()))
        text.prepend('\'');
    if (!text.contains(QRegularExpression(QStringLiteral("[,\"\r\n]"))))
        return text;
    return '"' + text.replace('"', QStringLiteral("\"\"")) + '"';
}

} // namespace

TeacherWindow::TeacherWindow(std::shared_ptr<ServerLink> link, QWidget *parent)
    : QWidget(parent)
    , m_link(std::move(link))
    , m_classBox(new QComboBox(this))
    , m_classLabel(new QLabel(QStringLiteral("班级："), this))
    , m_pages(new QStackedWidget(this))
    , m_message(new QLabel(m_pages))
    , m_model(new ClassTableModel(this))
    , m_sorted(new QSortFilterProxyModel(this))
    , m_table(new QTableView(m_pages))
    , m_keyboard(new KeyboardMap(this))
    , m_export(new QPushButton(QStringLiteral("导出表格…"), this))
    , m_status(new QLabel(this))
{
    setObjectName("TeacherWindow");
    setWindowTitle(QStringLiteral("班级练习 — 青禾打字软件"));
    setWindowIcon(programIcon());
    setFont(drillFont(9));

    m_classBox->setObjectName("classes");
    m_classBox->setAccessibleName(QStringLiteral("班级"));
    m_classBox->setAccessibleDescription(QStringLiteral("选择要看的班级"));
    m_classLabel->setBuddy(m_classBox);

    m_sorted->setSourceModel(m_model);
    m_sorted->setSortRole(ClassTableModel::SortRole);
    m_table->setObjectName("pupils");
    m_table->setModel(m_sorted);
    m_table->setAccessibleName(QStringLiteral("学员表"));
    m_table->setAccessibleDescription(
        QStringLiteral("每行一位学员本周的练习；点列标题排序；回车或双击打开这位学员的练习记录"));
    m_table->setSortingEnabled(true);
    m_table->sortByColumn(ClassTableModel::StudentNumber, Qt::AscendingOrder);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setTabKeyNavigation(false);

    m_message->setObjectName("message");
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont large = m_message->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_message->setFont(large);
    m_pages->addWidget(m_table);
    m_pages->addWidget(m_message);

    m_export->setObjectName("export");
    m_export->setAccessibleDescription(QStringLiteral("把学员表存成 CSV 文件，可用电子表格打开"));
    m_export->setEnabled(false);
    m_status->setObjectName("status");
    m_status->setAccessibleDescription(QStringLiteral("读取的状态"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *top = new QHBoxLayout;
    top->addWidget(m_classLabel);
    top->addWidget(m_classBox);
    top->addWidget(m_status, 1);
    top->addWidget(m_export);

    auto *keyboardBox = new QGroupBox(QStringLiteral("全班本周各字母的正确率"), this);
    keyboardBox->setAccessibleName(keyboardBox->title());
    auto *keyboardLayout = new QHBoxLayout(keyboardBox);
    keyboardLayout->setContentsMargins(6, 2, 6, 2);
    keyboardLayout->addStretch();
    keyboardLayout->addWidget(m_keyboard);
    keyboardLayout->addStretch();

    auto *outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(m_pages, 1);
    outer->addWidget(keyboardBox);

    connect(m_classBox, &QComboBox::activated, this,
            [this](int index) { readClass(m_classBox->itemText(index)); });
    connect(&m_reader, &QFutureWatcher<Read>::finished, this, [this] {
        present(m_reader.result());
        if (m_readPending) {
            m_readPending = false;
            readClass(m_readAgain);
        }
    });
    // Enter or a double click on a pupil opens their own progress window.
    connect(m_table, &QTableView::activated, this,
            [this](const QModelIndex &index) { openPupil(index.row()); });
    connect(&m_copier, &QFutureWatcher<QString>::finished, this, [this] {
        const QString error = m_copier.result();
        if (!error.isEmpty()) {
            m_status->setText(QStringLiteral("无法打开 %1 的练习记录：%2")
                                  .arg(QString::fromStdString(m_copying.name), error));
            emit pupilFailed(error);
            return;
        }
        const QString name = QString::fromStdString(m_copying.name);
        auto *window = new ProgressWindow(
            m_copies.filePath(QString::fromStdString(m_copying.login) + ".sqlite"), name, this);
        window->setWindowFlag(Qt::Window);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->setWindowTitle(QStringLiteral("练习记录 — %1（%2）")
                                   .arg(name, QString::fromStdString(m_copying.studentNumber)));
        window->show();
        m_status->clear();
        emit pupilOpened(window);
    });
    connect(m_export, &QPushButton::clicked, this, &TeacherWindow::chooseExportFile);

    fitToScreen(*this, preferredSize);
    reload();
}

TeacherWindow::~TeacherWindow()
{
    m_reader.waitForFinished();
    m_copier.waitForFinished();
}

void TeacherWindow::reload()
{
    readClass(m_classBox->currentText());
}

void TeacherWindow::readClass(const QString &className)
{
    if (m_reader.isRunning()) {
        m_readAgain = className;
        m_readPending = true;
        return;
    }
    m_status->setText(QStringLiteral("正在读取…"));
    const WeekBounds week = weekBounds(QDateTime::currentDateTime());
    m_reader.setFuture(QtConcurrent::run([link = m_link, className, week] {
        Read read;
        std::string error;
        const std::lock_guard lock(link->mutex);
        read.classes = classReport::classes(*link->connection, error);
        if (error.empty() && !read.classes.empty()) {
            std::string name = className.toStdString();
            if (std::find(read.classes.begin(), read.classes.end(), name) == read.classes.end())
                name = read.classes.front();
            read.className = QString::fromStdString(name);
            read.report = classReport::read(*link->connection, name, week.lastWeekStart,
                                            week.weekStart, week.now, error);
        }
        read.error = QString::fromStdString(error);
        return read;
    }));
}

void TeacherWindow::present(const Read &read)
{
    if (!read.error.isEmpty()) {
        m_status->setText(QStringLiteral("读取失败：%1").arg(read.error));
        emit refreshed();
        return;
    }
    m_classBox->clear();
    for (const std::string &name : read.classes)
        m_classBox->addItem(QString::fromStdString(name));
    m_classBox->setCurrentText(read.className);
    // With one class there is nothing to choose.
    m_classBox->setEnabled(read.classes.size() > 1);
    if (read.classes.empty()) {
        m_message->setText(QStringLiteral("你还没有班级。请学校的管理员把你的班级加到服务器上。"));
        m_pages->setCurrentWidget(m_message);
        m_status->clear();
        m_export->setEnabled(false);
        emit refreshed();
        return;
    }
    m_model->setPupils(read.report.pupils);
    m_keyboard->setLetters(letterRows(read.report));
    m_pages->setCurrentWidget(m_table);
    // The keyboard starts on the first pupil, so that Enter opens their window straight away.
    if (!m_table->currentIndex().isValid() && m_sorted->rowCount() > 0) {
        m_table->setCurrentIndex(m_sorted->index(0, 0));
        if (!m_classBox->isEnabled())
            m_table->setFocus();
    }
    m_export->setEnabled(true);
    m_status->setText(QStringLiteral("%1：%2 位学员，本周一以来")
                          .arg(read.className)
                          .arg(read.report.pupils.size()));
    emit refreshed();
}

void TeacherWindow::openPupil(int row)
{
    if (row < 0 || row >= m_sorted->rowCount() || m_copier.isRunning())
        return;
    m_copying = m_model->pupil(m_sorted->mapToSource(m_sorted->index(row, 0)).row());
    m_status->setText(
        QStringLiteral("正在取 %1 的练习记录…").arg(QString::fromStdString(m_copying.name)));
    const std::string path =
        m_copies.filePath(QString::fromStdString(m_copying.login) + ".sqlite").toStdString();
    m_copier.setFuture(QtConcurrent::run([link = m_link, pupil = m_copying, path] {
        const std::lock_guard lock(link->mutex);
        return QString::fromStdString(
            serverHistory::copyRuns(*link->connection, pupil.login, path, pupil.name));
    }));
}

QString TeacherWindow::exportTo(const QString &path) const
{
    QStringList lines;
    QStringList fields;
    for (int column = 0; column < m_sorted->columnCount(); ++column)
        if (!m_table->isColumnHidden(column))
            fields.append(csvField(m_sorted->headerData(column, Qt::Horizontal).toString()));
    lines.append(fields.join(','));
    for (int row = 0; row < m_sorted->rowCount(); ++row) {
        fields.clear();
        for (int column = 0; column < m_sorted->columnCount(); ++column)
            if (!m_table->isColumnHidden(column))
                fields.append(csvField(m_sorted->index(row, column).data().toString()));
        lines.append(fields.join(','));
    }
    QSaveFile file(path);
    // The byte order mark tells spreadsheets the file is UTF-8; they expect CR LF.
    if (!file.open(QIODevice::WriteOnly)
        || file.write("\xEF\xBB\xBF" + lines.join("\r\n").toUtf8() + "\r\n") < 0 || !file.commit())
        return file.errorString();
    return {};
}

void TeacherWindow::chooseExportFile()
{
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("导出表格"), m_classBox->currentText() + QStringLiteral(".csv"),
        QStringLiteral("CSV 文件 (*.csv)"));
    if (path.isEmpty())
        return;
    const QString error = exportTo(path);
    m_status->setText(error.isEmpty() ? QStringLiteral("已导出到 %1").arg(path)
                                      : QStringLiteral("无法导出：%1").arg(error));
}

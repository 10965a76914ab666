#include "history_builder.h"
#include "progress_reader.h"
#include "progress_window.h"
#include "small_screen.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QChartView>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

constexpr int speedColumn = 5;

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
        ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
        : QByteArray();
}

QString cell(const QTableView *table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

// Answers the next modal dialog once it shows, as a person would; gives its text through
// `asked`.
void answerDialog(QObject *context, QString *asked, const QString &answer)
{
    QTimer::singleShot(0, context, [asked, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        QVERIFY(modal);
        if (auto *input = qobject_cast<QInputDialog *>(modal)) {
            *asked = input->labelText();
            if (answer.isNull()) {
                input->reject();
                return;
            }
            input->setTextValue(answer);
            input->accept();
            return;
        }
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        *asked = box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == answer)
                QTest::mouseClick(button, Qt::LeftButton);
        }
    });
}

QStringList comboItems(const QComboBox *box)
{
    QStringList items;
    for (int i = 0; i < box->count(); ++i) {
        if (!box->itemText(i).isEmpty())
            items.append(box->itemText(i));
    }
    return items;
}

QStringList column(const QTableWidget *table, int column)
{
    QStringList cells;
    for (int row = 0; row < table->rowCount(); ++row)
        cells.append(table->item(row, column)->text());
    return cells;
}

// Two learners: Anna (the account's learner) with an older run, Ben with the latest, the first of
// his two runs practising the weak letters.
void twoLearners(const QString &path)
{
    HistoryBuilder history(path);
    history.exec("UPDATE learners SET name = 'Anna', name_key = 'anna'");
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 anna = history.addRun(now.addDays(-1).toString(Qt::ISODateWithMs), 2, 2, 30);
    history.addKey(anna, 'A', 'A', 300);
    history.addKey(anna, 'A', 'A', 300);
    history.addLearner(QStringLiteral("Ben"));
    history.addRun(now.addSecs(-600).toString(Qt::ISODateWithMs), 40, 30, 50, 60, "weak");
    history.addRun(now.addSecs(-60).toString(Qt::ISODateWithMs), 60, 60, 70);
}

} // namespace

// The window through real Qt events on the offscreen platform, following a history that a
// drill writes meanwhile.
class TestProgressWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void liveRefreshKeepsSortOrderAndScrollPosition();
    void historiesWithNothingToShow_data();
    void historiesWithNothingToShow();
    void deleteAsksFirst_data();
    void deleteAsksFirst();
    void exportWritesTheCsvPairToTheChosenFolder();
    void selectorShowsTheCurrentLearnerFirst_data();
    void selectorShowsTheCurrentLearnerFirst();
    void overviewAddsRenamesAndRemovesLearners();
    void aRunMovesToAnotherLearner();
    void practiseStartsTheDrillForTheLearnerShown();
    void opensWithinASmallScreen();

private:
    void openWindow(const QString &learner = {});
    void choose(const QString &entry);

    std::unique_ptr<QTemporaryDir> m_folder;
    QString m_path;
    std::unique_ptr<ProgressWindow> m_window;
};

void TestProgressWindow::init()
{
    m_folder = std::make_unique<QTemporaryDir>();
    m_path = m_folder->filePath("history.sqlite");
}

void TestProgressWindow::cleanup()
{
    m_window.reset();
}

void TestProgressWindow::openWindow(const QString &learner)
{
    m_window = std::make_unique<ProgressWindow>(m_path, learner);
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(refreshed.count() > 0 || refreshed.wait(5000));
}

void TestProgressWindow::liveRefreshKeepsSortOrderAndScrollPosition()
{
    auto history = std::make_unique<HistoryBuilder>(m_path);
    history->exec("BEGIN");
    for (int i = 0; i < 80; ++i)
        history->addRun(
            QDateTime::currentDateTime().addSecs(-3600 * (80 - i)).toString(Qt::ISODateWithMs), 50,
            45, 20 + i);
    history->exec("COMMIT");
    openWindow();
    auto *runs = m_window->findChild<QTableView *>("runs");
    auto *letters = m_window->findChild<QTableView *>("letters");
    QVERIFY(runs && letters);
    QCOMPARE(runs->model()->rowCount(), 80);

    // Sorted by speed with a click on its header, the slowest first, then scrolled down.
    QHeaderView *header = runs->horizontalHeader();
    const QPoint speedHeader(header->sectionViewportPosition(speedColumn) + 5, 5);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, speedHeader);
    if (header->sortIndicatorOrder() != Qt::AscendingOrder)
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, speedHeader);
    QCOMPARE(header->sortIndicatorSection(), speedColumn);
    QCOMPARE(cell(runs, 0, speedColumn), "20");
    runs->verticalScrollBar()->setValue(10);
    const QString topRow = cell(runs, runs->rowAt(0), speedColumn);

    // The drill writes a new run, in which Q was mistaken for R five times, in one commit as
    // it does: a read sees the whole run or none of it.
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    history->exec("BEGIN");
    const qint64 run =
        history->addRun(QDateTime::currentDateTime().toString(Qt::ISODateWithMs), 6, 1, 5);
    history->addKey(run, 'Q', 'Q', 400);
    for (int i = 0; i < 5; ++i)
        history->addKey(run, 'Q', 'R', 500);
    history->exec("COMMIT");
    QTRY_VERIFY_WITH_TIMEOUT(!refreshed.isEmpty() && runs->model()->rowCount() == 81, 4000);
    QCOMPARE(header->sortIndicatorSection(), speedColumn);
    QCOMPARE(header->sortIndicatorOrder(), Qt::AscendingOrder);
    QCOMPARE(cell(runs, 0, speedColumn), "5");
    QCOMPARE(runs->verticalScrollBar()->value(), 10 + 1);
    QCOMPARE(cell(runs, runs->rowAt(0), speedColumn), topRow);
    QCOMPARE(cell(letters, 'Q' - 'A', 0), "Q");
    QCOMPARE(cell(letters, 'Q' - 'A', 6), "R（5 次）");
    const auto *keyQ = m_window->findChild<QLabel *>("keyQ");
    QVERIFY2(keyQ->accessibleDescription().contains("最常按成 R"),
             qPrintable(keyQ->accessibleDescription()));
    QVERIFY(keyQ->toolTip().contains("正确率 16.7 %"));
}

void TestProgressWindow::historiesWithNothingToShow_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("shown");
    QTest::newRow("absent") << QByteArray() << "还没有练习记录";
    QTest::newRow("not a history")
        << QByteArray("not a database").repeated(100) << "这个文件不是练习记录";
}

void TestProgressWindow::historiesWithNothingToShow()
{
    QFETCH(QByteArray, contents);
    QFETCH(QString, shown);
    if (!contents.isEmpty()) {
        QFile file(m_path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    openWindow();
    auto *pages = m_window->findChild<QStackedWidget *>();
    auto *message = m_window->findChild<QLabel *>("message");
    QCOMPARE(pages->currentWidget(), message);
    QVERIFY2(message->text().contains(shown), qPrintable(message->text()));
    QCOMPARE(message->text().contains(m_path), !contents.isEmpty());
    QCOMPARE(QFile::exists(m_path), !contents.isEmpty());
}

void TestProgressWindow::deleteAsksFirst_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("deleted");
    QTest::newRow("confirmed") << "删除" << true;
    QTest::newRow("cancelled") << "取消" << false;
}

void TestProgressWindow::deleteAsksFirst()
{
    QFETCH(QString, answer);
    QFETCH(bool, deleted);
    {
        // Imported runs: the later id started first.
        HistoryBuilder history(m_path);
        const qint64 run = history.addRun("2026-12-06T10:00:00.000+08:00", 2, 1, 30);
        history.addKey(run, 'A', 'A', 300);
        history.addKey(run, 'A', 'S', 300);
        history.addRun("2026-12-05T10:00:00.000+08:00", 0, 0, 0);
        // Another learner's run, which deleting this learner's runs leaves.
        history.addLearner("Ben");
        history.addRun("2026-12-01T10:00:00.000+08:00", 5, 5, 30);
    }
    openWindow();
    auto *runs = m_window->findChild<QTableView *>("runs");
    auto *pages = m_window->findChild<QStackedWidget *>();
    // The runs of the chart's range go: here all of them.
    QSignalSpy rangeRead(m_window.get(), &ProgressWindow::refreshed);
    for (auto *box : m_window->findChildren<QComboBox *>()) {
        if (box->accessibleName() == "图的时间范围")
            box->setCurrentIndex(box->findText("全部"));
    }
    QVERIFY(rangeRead.wait(4000));
    const QByteArray before = fileHash(m_path);
    QString question;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        QVERIFY(box);
        question = box->text();
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == answer)
                QTest::mouseClick(button, Qt::LeftButton);
        }
    });
    QTest::mouseClick(m_window->findChild<QPushButton *>("delete"), Qt::LeftButton);
    QVERIFY2(question.contains("2 次练习、2 个按键的记录吗？（2026-12-05 至 2026-12-06）"),
             qPrintable(question));
    QVERIFY(QFile::exists(m_path));
    if (deleted) {
        QTRY_COMPARE_WITH_TIMEOUT(pages->currentWidget()->objectName(), "message", 4000);
        const QList<LearnerInfo> learners =
            readProgress(m_path, QDate(2026, 12, 7), ChartRange::All).learners;
        QCOMPARE(learners.size(), 2);
        QCOMPARE(learners[0].runs, 0);
        QCOMPARE(learners[1].runs, 1);
        return;
    }
    QCOMPARE(fileHash(m_path), before);
    QCOMPARE(m_window->findChild<QLabel *>("status")->text(), QString());
    // Read again: the runs are all there.
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    m_window->reload();
    QVERIFY(refreshed.wait(4000));
    QCOMPARE(pages->currentWidget()->objectName(), "contentScroll");
    QCOMPARE(runs->model()->rowCount(), 2);
}

void TestProgressWindow::exportWritesTheCsvPairToTheChosenFolder()
{
    {
        HistoryBuilder history(m_path);
        const qint64 run = history.addRun("2026-12-06T10:00:00.000+08:00", 2, 1, 30);
        history.addKey(run, 'A', 'A', 300);
        history.addKey(run, 'A', 'S', 300);
    }
    openWindow();
    const QString folder = m_folder->filePath("export");
    QVERIFY(QDir().mkpath(folder));
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        dialog->setDirectory(folder);
        dialog->selectFile(folder);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    QTest::mouseClick(m_window->findChild<QPushButton *>("export"), Qt::LeftButton);
    const auto lines = [&folder](const char *name) {
        QFile file(QDir(folder).filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : -1;
    };
    QCOMPARE(lines("runs.csv"), 2);
    QCOMPARE(lines("keys.csv"), 3);
    QVERIFY(m_window->findChild<QLabel *>("status")->text().startsWith("已导出到"));
}

// Picks an entry of the learner selector with the keyboard, as a person without a mouse does.
void TestProgressWindow::choose(const QString &entry)
{
    auto *box = m_window->findChild<QComboBox *>("learner");
    QVERIFY(box->isVisible());
    const int index = box->findText(entry);
    QVERIFY(index >= 0);
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    box->setFocus();
    const Qt::Key key = index > box->currentIndex() ? Qt::Key_Down : Qt::Key_Up;
    while (box->currentIndex() != index) {
        const int before = box->currentIndex();
        QTest::keyClick(box, key);
        QVERIFY(box->currentIndex() != before);
    }
    QVERIFY(refreshed.wait(4000));
}

void TestProgressWindow::selectorShowsTheCurrentLearnerFirst_data()
{
    QTest::addColumn<QString>("learner");
    QTest::addColumn<QStringList>("listed");
    QTest::newRow("--learner, however spelled")
        << "ａｎｎａ" << QStringList {"Anna", "Ben", "全部学员"};
    QTest::newRow("the latest run's") << "" << QStringList {"Ben", "Anna", "全部学员"};
}

void TestProgressWindow::selectorShowsTheCurrentLearnerFirst()
{
    QFETCH(QString, learner);
    QFETCH(QStringList, listed);
    twoLearners(m_path);
    openWindow(learner);
    auto *box = m_window->findChild<QComboBox *>("learner");
    auto *runs = m_window->findChild<QTableView *>("runs");
    QCOMPARE(comboItems(box), listed);
    QCOMPARE(box->currentText(), listed[0]);
    QCOMPARE(box->accessibleName(), "学员");
    QCOMPARE(runs->model()->rowCount(), listed[0] == "Anna" ? 1 : 2);

    choose("Ben");
    QCOMPARE(runs->model()->rowCount(), 2);
    // Newest first: the weak-letter run is the older one.
    QCOMPARE(cell(runs, 0, 7), "随机");
    QCOMPARE(cell(runs, 1, 7), "薄弱字母");
    QString week;
    for (const QLabel *label : m_window->findChildren<QLabel *>()) {
        if (label->accessibleDescription() == "最近 7 天")
            week = label->text();
    }
    QVERIFY2(week.contains("2 次，100 键"), qPrintable(week));

    choose("全部学员");
    auto *overview = m_window->findChild<QTableWidget *>("overview");
    QVERIFY(overview->isVisible());
    QCOMPARE(column(overview, 0), listed.mid(0, 2));
    QCOMPARE(column(overview, 2),
             listed[0] == "Anna" ? QStringList({"1", "2"}) : QStringList({"2", "1"}));
    QCOMPARE(column(overview, 3).last(), listed[0] == "Anna" ? "90.0 %" : "100.0 %");
    // Enter on a learner's row shows that learner.
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    overview->setFocus();
    overview->selectRow(1);
    QTest::keyClick(overview, Qt::Key_Return);
    QVERIFY(refreshed.wait(4000));
    QCOMPARE(box->currentText(), listed[1]);
    QCOMPARE(m_window->findChild<QStackedWidget *>()->currentWidget()->objectName(),
             "contentScroll");
}

void TestProgressWindow::overviewAddsRenamesAndRemovesLearners()
{
    twoLearners(m_path);
    openWindow();
    choose("全部学员");
    auto *overview = m_window->findChild<QTableWidget *>("overview");
    auto *status = m_window->findChild<QLabel *>("status");
    QString asked;
    const auto click = [this](const char *name) {
        QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
        QTest::mouseClick(m_window->findChild<QPushButton *>(name), Qt::LeftButton);
        return refreshed.wait(4000);
    };

    answerDialog(this, &asked, "   ");
    QVERIFY(click("add"));
    QVERIFY2(status->text().contains("名字不能是空的"), qPrintable(status->text()));
    answerDialog(this, &asked, QStringLiteral("小雨"));
    QVERIFY(click("add"));
    QCOMPARE(column(overview, 0), (QStringList {"Ben", "Anna", "小雨"}));
    QCOMPARE(column(overview, 1).last(), "没有练习");

    overview->selectRow(1);
    answerDialog(this, &asked, "BEN");
    QVERIFY(click("rename"));
    QVERIFY(asked.contains("“Anna”的新名字"));
    QVERIFY2(status->text().contains("已经有一个学员叫这个名字了"), qPrintable(status->text()));
    answerDialog(this, &asked, "Annie");
    QVERIFY(click("rename"));
    QCOMPARE(column(overview, 0), (QStringList {"Ben", "Annie", "小雨"}));
    QCOMPARE(comboItems(m_window->findChild<QComboBox *>("learner")),
             (QStringList {"Ben", "Annie", "小雨", "全部学员"}));

    // Removing names what goes with the learner, and keeps everything when cancelled.
    overview->selectRow(0);
    answerDialog(this, &asked, "取消");
    QTest::mouseClick(m_window->findChild<QPushButton *>("remove"), Qt::LeftButton);
    QCOMPARE(asked, "删除学员“Ben”和他的 2 次练习、100 个按键？\n删除后无法恢复。");
    QCOMPARE(overview->rowCount(), 3);
    for (int left = 2; left >= 1; --left) {
        overview->selectRow(0);
        answerDialog(this, &asked, "删除");
        QVERIFY(click("remove"));
        QCOMPARE(overview->rowCount(), left);
    }
    overview->selectRow(0);
    QVERIFY(!m_window->findChild<QPushButton *>("remove")->isEnabled());
    QCOMPARE(readProgress(m_path, QDate::currentDate(), ChartRange::All).learners.size(), 1);
}

void TestProgressWindow::aRunMovesToAnotherLearner()
{
    twoLearners(m_path);
    openWindow();
    auto *runs = m_window->findChild<QTableView *>("runs");
    auto *move = m_window->findChild<QPushButton *>("move");
    QVERIFY(!move->isEnabled());
    runs->selectRow(1);
    QCOMPARE(cell(runs, 1, 2), "40");
    QString asked;
    answerDialog(this, &asked, "Anna");
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    QTest::mouseClick(move, Qt::LeftButton);
    QVERIFY(asked.contains("（40 键）"));
    QVERIFY(refreshed.wait(4000));
    QCOMPARE(runs->model()->rowCount(), 1);
    QCOMPARE(cell(runs, 0, 2), "60");
    choose("Anna");
    QCOMPARE(runs->model()->rowCount(), 2);
    QCOMPARE(cell(runs, 0, 7), "薄弱字母");
}

void TestProgressWindow::practiseStartsTheDrillForTheLearnerShown()
{
    twoLearners(m_path);
    openWindow();
    choose("Anna");
    // A stand-in for the drill that writes down how it was started.
    const QString drill = m_folder->filePath("typing-drill");
    const QString arguments = m_folder->filePath("arguments");
    QFile script(drill);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(
        QStringLiteral("#!/bin/sh\nprintf '%s\\n' \"$@\" > '%1'\n").arg(arguments).toUtf8());
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    m_window->setDrillProgram(drill);
    auto *practise = m_window->findChild<QPushButton *>("practise");
    QVERIFY(practise->isVisible());
    QTest::mouseClick(practise, Qt::LeftButton);
    QFile written(arguments);
    QTRY_VERIFY_WITH_TIMEOUT(written.size() > 0, 4000);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()).split('\n', Qt::SkipEmptyParts),
             (QStringList {"--history-file", m_path, "--learner", "Anna", "--practice", "weak"}));
}

// The smallest screen it must suit: the whole window on it, every control within reach.
void TestProgressWindow::opensWithinASmallScreen()
{
    twoLearners(m_path);
    openWindow();
    const QRect screen = m_window->screen()->availableGeometry();
    QCOMPARE(screen.size(), QSize(1024, 600));
    QVERIFY(screen.contains(m_window->frameGeometry()));
    auto *scroll = m_window->findChild<QScrollArea *>("contentScroll");
    for (const char *name : {"practise", "move", "export", "delete"}) {
        auto *button = m_window->findChild<QPushButton *>(name);
        scroll->ensureWidgetVisible(button);
        const QRect shown(button->mapTo(m_window.get(), QPoint(0, 0)), button->size());
        QVERIFY2(m_window->rect().contains(shown), name);
    }
    const QRect chart(m_window->findChild<QWidget *>("content")->findChild<QChartView *>()->rect());
    QVERIFY(chart.height() >= 150);
}

int main(int argc, char **argv)
{
    return execOnSmallScreen<TestProgressWindow>(argc, argv);
}
#include "tst_progress_window.moc"

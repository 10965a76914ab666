#include "history_builder.h"
#include "progress_reader.h"
#include "progress_window.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTableView>
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

private:
    void openWindow();

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

void TestProgressWindow::openWindow()
{
    m_window = std::make_unique<ProgressWindow>(m_path);
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
    }
    openWindow();
    auto *runs = m_window->findChild<QTableView *>("runs");
    auto *pages = m_window->findChild<QStackedWidget *>();
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
        QCOMPARE(readProgress(m_path, QDate(2026, 12, 7), ChartRange::All).state,
                 ProgressSnapshot::State::Empty);
        return;
    }
    QCOMPARE(fileHash(m_path), before);
    QCOMPARE(m_window->findChild<QLabel *>("status")->text(), QString());
    // Read again: the runs are all there.
    QSignalSpy refreshed(m_window.get(), &ProgressWindow::refreshed);
    m_window->reload();
    QVERIFY(refreshed.wait(4000));
    QCOMPARE(pages->currentWidget()->objectName(), "content");
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

QTEST_MAIN(TestProgressWindow)
#include "tst_progress_window.moc"

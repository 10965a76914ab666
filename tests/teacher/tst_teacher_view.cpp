// The teacher's view through Qt events on a 1024 x 600 offscreen screen, on a private class
// server: the class selector, sorting, the export, a pupil's own window, what a screen reader
// reads, and the sentence for a teacher without a class.
#include "class_server_fixture.h"
#include "pg_connection.h"
#include "progress_window.h"
#include "server_session.h"
#include "small_screen.h"
#include "teacher_window.h"

#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

class TestTeacherView : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void classSelectorSwitchesTheTable();
    void sortsNumbersAsNumbers();
    void exportsTheTableAsShown();
    void doubleClickOpensThePupilsProgress();
    void screenReaderNames();
    void teacherWithoutClass();

private:
    std::unique_ptr<TeacherWindow> window(const std::string &teacher);
    // The table's column as shown, top to bottom.
    QStringList column(int column) const;

    ClassServerFixture m_fixture;
    std::unique_ptr<TeacherWindow> m_window;
    QTableView *m_table = nullptr;
};

void TestTeacherView::initTestCase()
{
    qRegisterMetaType<ProgressWindow *>();
    std::string error;
    QVERIFY2(m_fixture.start(error), error.c_str());
    // Runs in the middle of the week so far, whenever the test runs.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime monday = now.date().addDays(1 - now.date().dayOfWeek()).startOfDay();
    const double midweek = double(monday.toSecsSinceEpoch() + now.toSecsSinceEpoch()) / 2;
    // Keys of 100, 6 and 25: sorted as text they would read 100, 25, 6.
    m_fixture.addRun(m_fixture.addPupil("一班", "A001", "小明"), midweek, 60, 40,
                     answers('R', 90, 10, 'P'));
    m_fixture.addRun(m_fixture.addPupil("一班", "A002", "小红"), midweek, 60, 50, answers('Q', 6));
    m_fixture.addRun(m_fixture.addPupil("一班", "A003", "=小张"), midweek, 60, 45,
                     answers('E', 20, 5, 'W'));
    m_fixture.addRun(m_fixture.addPupil("三班", "C001", "小王"), midweek, 60, 45, answers('E', 3));
}

void TestTeacherView::init()
{
    m_window = window("王老师");
    m_table = m_window->findChild<QTableView *>("pupils");
    QVERIFY(m_table);
}

void TestTeacherView::cleanup()
{
    m_window.reset();
}

std::unique_ptr<TeacherWindow> TestTeacherView::window(const std::string &teacher)
{
    auto link = std::make_shared<ServerLink>();
    link->connection = m_fixture.teacher(teacher);
    auto shown = std::make_unique<TeacherWindow>(link);
    QSignalSpy refreshed(shown.get(), &TeacherWindow::refreshed);
    shown->show();
    if (!refreshed.wait(20000))
        qFatal("the teacher's window was not shown");
    return shown;
}

QStringList TestTeacherView::column(int column) const
{
    QStringList texts;
    for (int row = 0; row < m_table->model()->rowCount(); ++row)
        texts.append(m_table->model()->index(row, column).data().toString());
    return texts;
}

void TestTeacherView::classSelectorSwitchesTheTable()
{
    QCOMPARE(column(1), QStringList({"小明", "小红", "=小张"}));
    auto *classes = m_window->findChild<QComboBox *>("classes");
    QVERIFY(classes->isEnabled());
    QSignalSpy refreshed(m_window.get(), &TeacherWindow::refreshed);
    classes->setFocus();
    QTest::keyClick(classes, Qt::Key_Down);
    QVERIFY(refreshed.wait(20000));
    QCOMPARE(classes->currentText(), "三班");
    QCOMPARE(column(1), QStringList({"小王"}));
}

void TestTeacherView::sortsNumbersAsNumbers()
{
    QHeaderView *header = m_table->horizontalHeader();
    const int keys = 4;
    QCOMPARE(m_table->model()->headerData(keys, Qt::Horizontal).toString(), "按键");
    const QPoint middle(header->sectionViewportPosition(keys) + header->sectionSize(keys) / 2,
                        header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(header->sortIndicatorSection(), keys);
    QCOMPARE(column(keys), QStringList({"6", "25", "100"}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, middle);
    QCOMPARE(column(keys), QStringList({"100", "25", "6"}));
}

void TestTeacherView::exportsTheTableAsShown()
{
    m_table->sortByColumn(5, Qt::AscendingOrder);
    const QTemporaryDir folder;
    const QString path = folder.filePath("一班.csv");
    QCOMPARE(m_window->exportTo(path), QString());
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
    const QStringList lines = QString::fromUtf8(bytes.mid(3)).split("\r\n");
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0],
             "学号,姓名,本周时长,次数,按键,正确率,速度,正确率变化,速度变化,最弱字母,"
             "最常按错,最近练习");
    // Lowest accuracy first; a name a spreadsheet would take for a formula stays text.
    QVERIFY2(lines[1].startsWith("A003,'=小张,1 分钟,1,25,80.0 %,45 字/分,—,—,E,E→W,"),
             qPrintable(lines[1]));
    QVERIFY2(lines[2].startsWith("A001,小明,1 分钟,1,100,90.0 %,40 字/分,—,—,R,R→P,"),
             qPrintable(lines[2]));
    QVERIFY2(lines[3].startsWith("A002,小红,"), qPrintable(lines[3]));
    QCOMPARE(lines[4], QString());
}

void TestTeacherView::doubleClickOpensThePupilsProgress()
{
    m_table->sortByColumn(0, Qt::DescendingOrder);
    QSignalSpy opened(m_window.get(), &TeacherWindow::pupilOpened);
    QSignalSpy failed(m_window.get(), &TeacherWindow::pupilFailed);
    // A03, A002, A001 from the top: the third row is 小明's.
    const QRect cell = m_table->visualRect(m_table->model()->index(2, 1));
    QTest::mouseClick(m_table->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(m_table->viewport(), Qt::LeftButton, {}, cell.center());
    QVERIFY2(opened.wait(20000), failed.isEmpty() ? "" : qPrintable(failed[0][0].toString()));
    auto *progress = opened[0][0].value<ProgressWindow *>();
    QVERIFY(progress);
    QCOMPARE(progress->windowTitle(), "练习记录 — 小明（A001）");
    QVERIFY(progress->isVisible());
    // The window reads the copy: 小明's one run of 100 keys, under his name.
    QSignalSpy refreshed(progress, &ProgressWindow::refreshed);
    QVERIFY(refreshed.wait(20000));
    QStringList texts;
    for (const QLabel *label : progress->findChildren<QLabel *>())
        texts.append(label->text());
    QVERIFY2(texts.join('\n').contains("100"), qPrintable(texts.join('\n')));
    const auto *learner = progress->findChild<QComboBox *>("learner");
    QVERIFY(learner);
    QCOMPARE(learner->currentText(), "小明");
}

void TestTeacherView::screenReaderNames()
{
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(m_table);
    QCOMPARE(table->text(QAccessible::Name), "学员表");
    QVERIFY(!table->text(QAccessible::Description).isEmpty());
    QCOMPARE(table->tableInterface()->columnDescription(5), "正确率");
    QCOMPARE(table->tableInterface()->rowCount(), 3);
    QAccessibleInterface *cell = table->tableInterface()->cellAt(0, 5);
    QVERIFY(cell);
    QCOMPARE(cell->text(QAccessible::Name), "正确率：90.0 %");
    for (const char *name : {"classes", "export"}) {
        QWidget *widget = m_window->findChild<QWidget *>(name);
        QVERIFY2(!QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name).isEmpty(),
                 name);
    }
    // The window fits the small screen.
    QVERIFY(m_window->frameGeometry().width() <= 1024);
    QVERIFY(m_window->frameGeometry().height() <= 600);
}

void TestTeacherView::teacherWithoutClass()
{
    const auto empty = window("赵老师");
    const auto *message = empty->findChild<QLabel *>("message");
    QVERIFY(message->isVisible());
    QVERIFY(message->text().contains("没有班级"));
    QVERIFY(!empty->findChild<QWidget *>("export")->isEnabled());
}

int main(int argc, char **argv)
{
    return execOnSmallScreen<TestTeacherView>(argc, argv);
}
#include "tst_teacher_view.moc"

#include "form1.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

// Each way out runs the application's own event loop, as the program does, and sees it end.
class TestForm1Exit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void endsTheEventLoop_data();
    void endsTheEventLoop();

private:
    std::unique_ptr<Form1> m_form;
    std::vector<Verdict> m_cues;
};

void TestForm1Exit::init()
{
    m_cues.clear();
    m_form = std::make_unique<Form1>([this](Verdict verdict) { m_cues.push_back(verdict); });
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
}

void TestForm1Exit::cleanup()
{
    m_form.reset();
}

void TestForm1Exit::endsTheEventLoop_data()
{
    QTest::addColumn<QString>("way");
    QTest::newRow("Esc in the answer box") << "esc";
    QTest::newRow("Esc on the focused restart button") << "esc on Command1";
    QTest::newRow("Space on the focused exit button") << "space on Command2";
    QTest::newRow("Enter on the focused exit button") << "enter on Command2";
    QTest::newRow("mouse click on the exit button") << "click";
    QTest::newRow("closing the window") << "close";
}

void TestForm1Exit::endsTheEventLoop()
{
    QFETCH(QString, way);
    QWindow *window = m_form->windowHandle();
    auto *exitButton = m_form->findChild<QPushButton *>("Command2");
    const auto tabs = [window](int count) {
        for (int i = 0; i < count; ++i)
            QTest::keyClick(window, Qt::Key_Tab);
    };

    QTimer::singleShot(0, this, [&] {
        if (way == "esc") {
            QTest::keyPress(window, Qt::Key_Escape);
        } else if (way == "esc on Command1") {
            tabs(2);
            QTest::keyPress(window, Qt::Key_Escape);
        } else if (way == "space on Command2") {
            tabs(1);
            QTest::keyClick(window, Qt::Key_Space);
        } else if (way == "enter on Command2") {
            tabs(1);
            QTest::keyPress(window, Qt::Key_Return);
        } else if (way == "click") {
            QTest::mouseClick(exitButton, Qt::LeftButton);
        } else {
            m_form->close();
        }
        // Events that arrive after the exit find no handler of the program's own.
        QTest::keyClick(window, Qt::Key_Shift);
    });
    QTimer stuck;
    stuck.setSingleShot(true);
    connect(&stuck, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    stuck.start(5000);

    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(!m_form->isVisible());
    QVERIFY(m_cues.empty());
    QCOMPARE(m_form->findChild<QLabel *>("zongshu2")->text(), "0");
}

QTEST_MAIN(TestForm1Exit)
#include "tst_form1_exit.moc"

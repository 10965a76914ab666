#include "form1.h"
#include "history_database.h"
#include "history_recorder.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

// The real window with the history recorder, as the program puts them together: keys typed
// through Qt's events end up as rows.
class TestHistoryRecording : public QObject
{
    Q_OBJECT

private slots:
    void typedRunsBecomeRows();
};

void TestHistoryRecording::typedRunsBecomeRows()
{
    QTemporaryDir folder;
    const QString path = folder.filePath("history.sqlite");
    HistoryRecorderOptions options;
    options.path = path.toStdString();
    HistoryRecorder recorder(options);
    Form1 form([](Verdict) {}, {}, &recorder);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    QWindow *window = form.windowHandle();
    const auto shown = [&] {
        return form.findChild<QLabel *>("zimu")->text();
    };

    // Right, wrong (Shift alone), right after a pause: the letters asked and the keys released.
    QStringList expected;
    for (const char *typing : {"right", "shift", "pause", "right"}) {
        const QString letter = shown();
        const auto letterKey = Qt::Key(Qt::Key_A + (letter.at(0).unicode() - u'A'));
        if (QByteArray(typing) == "pause")
            QTest::qWait(150);
        if (QByteArray(typing) == "shift") {
            QTest::keyClick(window, Qt::Key_Shift);
            expected << letter + "|16|0";
        } else {
            QTest::keyPress(window, letterKey);
            QTest::qWait(20);
            QTest::keyRelease(window, letterKey);
            expected << letter + QString("|%1|1").arg(int(letterKey));
        }
    }
    // Enter restarts; one key more, then the exit button ends the second run.
    QTest::keyClick(window, Qt::Key_Return);
    const QString letter = shown();
    QTest::keyClick(window, letter == "A" ? Qt::Key_B : Qt::Key_A);
    QTest::mouseClick(form.findChild<QPushButton *>("Command2"), Qt::LeftButton);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));

    HistoryDatabase db(path);
    QCOMPARE(db.rows("SELECT letter, key_code, correct FROM keys WHERE run = 1 ORDER BY n"),
             expected);
    QCOMPARE(db.rows("SELECT n, letter, correct FROM keys WHERE run = 2"),
             QStringList({"1|" + letter + "|0"}));
    QCOMPARE(db.rows("SELECT id, ended_by, total, correct, wrong FROM runs ORDER BY id"),
             QStringList({"1|restart|4|3|1", "2|exit|1|0|1"}));
    // Each key is timed from its own letter: the held key's press comes before its release,
    // and the key after the pause is the slowest.
    const QStringList times =
        db.rows("SELECT press_ms, release_ms FROM keys WHERE run = 1 ORDER BY n");
    for (const QString &row : times) {
        const QStringList pair = row.split('|');
        QVERIFY2(pair[0].toInt() >= 0 && pair[0].toInt() <= pair[1].toInt(), qPrintable(row));
    }
    QVERIFY2(times[0].split('|')[1].toInt() >= 20, qPrintable(times[0]));
    QVERIFY2(times[2].split('|')[1].toInt() >= 150, qPrintable(times.join(' ')));
}

QTEST_MAIN(TestHistoryRecording)
#include "tst_history_recording.moc"

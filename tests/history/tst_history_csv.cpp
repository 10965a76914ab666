#include "history_csv.h"
#include "history_recorder.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A drill typed into by hand, with a recorder told of each key as the window would tell it.
class Typist
{
public:
    explicit Typist(HistoryRecorder &recorder)
        : m_recorder(recorder)
    {
        m_drill.reset();
        m_recorder.runStarted();
    }

    // Releases the key shown (or another one); each key comes 200 ms after the letter.
    void type(bool correct, int ticks = 3)
    {
        for (int i = 0; i < ticks; ++i)
            m_drill.tick();
        const char letter = m_drill.zimuText().front();
        const KeyCode code = correct ? KeyCode(letter) : KeyCode(letter == 'A' ? 'B' : 'A');
        const Verdict verdict = m_drill.keyReleased(code);
        m_recorder.keyJudged({letter, code, verdict, 120, 200}, m_drill);
    }

    void end(RunEnd how) { m_recorder.runEnded(how, m_drill); }
    void restart()
    {
        end(RunEnd::Restart);
        m_drill.reset();
        m_recorder.runStarted();
    }

private:
    HistoryRecorder &m_recorder;
    TypingDrill m_drill;
};

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

} // namespace

class TestHistoryCsv : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void csvRoundTrip();
    void refusesMalformedCsv_data();
    void refusesMalformedCsv();

private:
    HistoryRecorderOptions options(const QString &path);

    QTemporaryDir m_folder;
    QString m_path;
};

void TestHistoryCsv::init()
{
    QVERIFY(m_folder.isValid());
    m_path = m_folder.filePath(QString("%1.sqlite").arg(QTest::currentTestFunction()));
    QFile::remove(m_path);
}

HistoryRecorderOptions TestHistoryCsv::options(const QString &path)
{
    HistoryRecorderOptions options;
    options.path = path.toStdString();
    return options;
}

void TestHistoryCsv::csvRoundTrip()
{
    {
        HistoryRecorder recorder(options(m_path));
        Typist typist(recorder);
        typist.type(true);
        typist.type(false, 7);
        typist.restart();
        typist.type(true, 0);
        typist.end(RunEnd::Exit);
        QVERIFY(recorder.finish());
    }
    const QString first = m_folder.filePath("first"), second = m_folder.filePath("second");
    const QString copy = m_folder.filePath("copy.sqlite");
    QCOMPARE(exportHistoryCsv(m_path.toStdString(), first.toStdString()), "");
    std::string summary;
    QCOMPARE(importHistoryCsv(copy.toStdString(), first.toStdString(), &summary), "");
    QVERIFY2(summary.find("Imported 2 runs, 0 already") != std::string::npos, summary.c_str());
    QCOMPARE(exportHistoryCsv(copy.toStdString(), second.toStdString()), "");
    for (const char *name : {"runs.csv", "keys.csv"})
        QCOMPARE(contents(second + '/' + name), contents(first + '/' + name));

    const QList<QByteArray> runs = contents(first + "/runs.csv").split('\n');
    QCOMPARE(runs.value(0),
             "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy\r");
    QVERIFY2(runs.value(1).startsWith("1,") && runs.value(1).endsWith(",restart,10,2,1,1,120,50\r"),
             runs.value(1).constData());
    QVERIFY2(runs.value(2).endsWith(",exit,0,1,1,0,600,100\r"), runs.value(2).constData());
    const QString keys = QString::fromUtf8(contents(first + "/keys.csv"));
    QVERIFY2(QRegularExpression("^run,n,letter,key_code,correct,press_ms,release_ms\r\n"
                                "1,1,([A-Z]),\\d+,1,120,200\r\n1,2,[A-Z],\\d+,0,120,200\r\n"
                                "2,1,[A-Z],\\d+,1,120,200\r\n$")
                 .match(keys)
                 .hasMatch(),
             qPrintable(keys));

    // A second import finds every run there already.
    QCOMPARE(importHistoryCsv(copy.toStdString(), first.toStdString(), &summary), "");
    QVERIFY2(summary.find("Imported 0 runs, 2 already") != std::string::npos, summary.c_str());
}

void TestHistoryCsv::refusesMalformedCsv_data()
{
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("where");

    const QByteArray runsHeader =
        "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy\r\n";
    const QByteArray keysHeader = "run,n,letter,key_code,correct,press_ms,release_ms\r\n";
    const QByteArray run =
        "1,2026-12-01T10:00:00.000+08:00,2026-12-01T10:01:00.000+08:00,exit,600,2,1,1,2,50\r\n";
    const QByteArray keys = keysHeader + "1,1,A,65,1,10,300\r\n1,2,B,65,0,10,300\r\n";
    QTest::newRow("wrong header") << "run,started\r\n" + run << keys << "runs.csv:1";
    QTest::newRow("missing field") << runsHeader + run + "2,x\r\n" << keys << "runs.csv:3";
    QTest::newRow("bad time") << runsHeader + QByteArray(run).replace("10:00:00.000", "10:00")
                              << keys << "runs.csv:2";
    QTest::newRow("counts disagree")
        << runsHeader + QByteArray(run).replace(",2,1,1,", ",3,1,1,") << keys << "runs.csv:2";
    QTest::newRow("unclosed quote") << runsHeader + run << keys + "1,3,\"A,65,1,10,300\r\n"
                                    << "keys.csv:4";
    QTest::newRow("key of no run") << runsHeader + run << keys + "7,1,A,65,1,10,300\r\n"
                                   << "keys.csv:4";
    QTest::newRow("lower-case letter") << runsHeader + run << keys + "1,3,a,65,1,10,300\r\n"
                                       << "keys.csv:4";
    QTest::newRow("correct of 2") << runsHeader + run << keys + "1,3,A,65,2,10,300\r\n"
                                  << "keys.csv:4";
}

void TestHistoryCsv::refusesMalformedCsv()
{
    QFETCH(QByteArray, runs);
    QFETCH(QByteArray, keys);
    QFETCH(QString, where);
    const QString folder = m_folder.filePath(QTest::currentDataTag());
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + "/runs.csv", runs));
    QVERIFY(writeFile(folder + "/keys.csv", keys));
    const QString error =
        QString::fromStdString(importHistoryCsv(m_path.toStdString(), folder.toStdString()));
    QVERIFY2(error.startsWith(folder + '/' + where + ": "), qPrintable(error));
    QVERIFY(!QFile::exists(m_path));
}

QTEST_GUILESS_MAIN(TestHistoryCsv)
#include "tst_history_csv.moc"

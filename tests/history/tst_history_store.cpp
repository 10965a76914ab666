#include "history_csv.h"
#include "history_database.h"
#include "history_recorder.h"
#include "history_schema.h"
#include "history_store.h"
#include "process_identity.h"

#include <QFile>
#include <QMutex>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

Q_DECLARE_METATYPE(HistoryFault)

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

// A history database of the given layout version, holding no runs.
void makeDatabase(const QString &path, int version)
{
    sqlite3 *handle = nullptr;
    sqlite3_open(path.toUtf8().constData(), &handle);
    historySchema::upgrade(handle, 0);
    execute(handle, ("PRAGMA user_version = " + std::to_string(version)).c_str());
    sqlite3_close(handle);
}

} // namespace

class TestHistoryStore : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void upgradesFromEachOlderVersion_data();
    void upgradesFromEachOlderVersion();
    void leavesFilesItCannotUseAlone_data();
    void leavesFilesItCannotUseAlone();
    void recordsRunsAndKeys();
    void writesWhileKeysCome();
    void endsAbandonedRunsAsInterrupted();
    void keepsKeysWhileTheFileIsLocked();
    void keepsKeysWhileTheDiskIsFull();
    void csvRoundTrip();
    void refusesMalformedCsv_data();
    void refusesMalformedCsv();

private:
    HistoryRecorderOptions options(const QString &path);
    QStringList messages() const;

    QTemporaryDir m_folder;
    QString m_path;
    mutable QMutex m_mutex;
    QStringList m_messages;
};

void TestHistoryStore::init()
{
    QVERIFY(m_folder.isValid());
    m_path = m_folder.filePath(QString("%1.sqlite").arg(QTest::currentTestFunction()));
    QFile::remove(m_path);
    m_messages.clear();
}

HistoryRecorderOptions TestHistoryStore::options(const QString &path)
{
    HistoryRecorderOptions options;
    options.path = path.toStdString();
    options.report = [this](const std::string &message) {
        QMutexLocker lock(&m_mutex);
        m_messages << QString::fromStdString(message);
    };
    return options;
}

QStringList TestHistoryStore::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

void TestHistoryStore::upgradesFromEachOlderVersion_data()
{
    QTest::addColumn<int>("version");
    QTest::newRow("no file") << -1;
    QTest::newRow("empty file") << 0;
    for (int version = 1; version < historySchema::currentVersion; ++version)
        QTest::newRow(qPrintable(QString("version %1").arg(version))) << version;
}

void TestHistoryStore::upgradesFromEachOlderVersion()
{
    QFETCH(int, version);
    if (version == 0)
        QVERIFY(writeFile(m_path, {}));
    else if (version > 0)
        makeDatabase(m_path, version);
    {
        HistoryRecorder recorder(options(m_path));
        Typist(recorder).type(true);
        QVERIFY(recorder.finish(std::chrono::seconds(5)));
    }
    HistoryDatabase db(m_path);
    QCOMPARE(db.value("PRAGMA user_version").toInt(), historySchema::currentVersion);
    QCOMPARE(db.value("PRAGMA journal_mode"), "wal");
    QCOMPARE(db.value("SELECT count(*) FROM keys"), "1");
    QCOMPARE(db.value("SELECT group_concat(name) FROM pragma_index_list('keys')"),
             "keys_by_letter,sqlite_autoindex_keys_1");
    QVERIFY(messages().isEmpty());
}

void TestHistoryStore::leavesFilesItCannotUseAlone_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("says");

    QTest::newRow("text file") << QByteArray("run,started\r\n1,yesterday\r\n") << "not a history";

    const QString scratch = m_folder.filePath("scratch.sqlite");
    const auto database = [&](const char *sql) {
        QFile::remove(scratch);
        makeDatabase(scratch, 1);
        HistoryDatabase db(scratch);
        execute(db.handle(), sql);
        return contents(scratch);
    };
    QByteArray damaged = database("PRAGMA journal_mode = DELETE");
    damaged[100] = char(0x42); // the first page's b-tree header: no kind of page
    QTest::newRow("damaged history") << damaged << "damaged";
    QTest::newRow("newer version")
        << database("PRAGMA journal_mode = DELETE; PRAGMA user_version = 99") << "newer version";
    QFile::remove(scratch);
    {
        HistoryDatabase other(scratch);
        execute(other.handle(), "CREATE TABLE notes (text TEXT)");
    }
    QTest::newRow("another program's database") << contents(scratch) << "not a history";
}

void TestHistoryStore::leavesFilesItCannotUseAlone()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, says);
    QVERIFY(writeFile(m_path, file));
    {
        HistoryRecorder recorder(options(m_path));
        Typist typist(recorder);
        typist.type(true);
        typist.restart();
        typist.type(false);
        recorder.finish();
    }
    QCOMPARE(contents(m_path), file);
    QVERIFY(!QFile::exists(m_path + "-wal"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(says) && messages().first().contains(m_path)
                 && messages().first().contains("练习记录已关闭"),
             qPrintable(messages().first()));
}

void TestHistoryStore::recordsRunsAndKeys()
{
    {
        HistoryRecorder recorder(options(m_path));
        Typist typist(recorder);
        typist.type(true);
        typist.type(false);
        typist.type(true);
        // A restart right after one: a moment without a key is no run.
        typist.restart();
        typist.restart();
        typist.type(false, 0);
        typist.end(RunEnd::Exit);
        QVERIFY(recorder.finish());
    }
    HistoryDatabase db(m_path);
    QCOMPARE(
        db.rows("SELECT id, ended_by, ticks, total, correct, wrong, speed, accuracy, owner "
                "FROM runs ORDER BY id"),
        QStringList({"1|restart|9|3|2|1|200.0|66.6666666666667|-", "2|exit|0|1|0|1|600.0|0.0|-"}));
    QCOMPARE(
        db.rows("SELECT run, n, key_code = unicode(letter), correct, press_ms, release_ms "
                "FROM keys ORDER BY run, n"),
        QStringList({"1|1|1|1|120|200", "1|2|0|0|120|200", "1|3|1|1|120|200", "2|1|0|0|120|200"}));
    const QStringList times = db.rows("SELECT started, ended FROM runs ORDER BY id");
    QVERIFY2(QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d\|)")
                 .match(times.first())
                 .hasMatch(),
             qPrintable(times.first()));
    QVERIFY(messages().isEmpty());
}

void TestHistoryStore::writesWhileKeysCome()
{
    HistoryRecorderOptions fast = options(m_path);
    fast.writeInterval = std::chrono::milliseconds(200);
    HistoryRecorder recorder(fast);
    Typist typist(recorder);
    typist.type(true);
    typist.type(false);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_path), 5000);
    HistoryDatabase db(m_path);
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT count(*) FROM keys"), "2", 5000);
    // Still going on, owned by this process.
    QCOMPARE(db.value("SELECT ended_by IS NULL, owner FROM runs"),
             "1|" + QString::fromStdString(processIdentity()));
}

void TestHistoryStore::endsAbandonedRunsAsInterrupted()
{
    {
        HistoryFault fault = HistoryFault::None;
        auto store = HistoryStore::open(m_path.toStdString(), fault, {});
        QVERIFY(store);
        std::vector<RunRow> runs {
            {0, "2026-12-01T10:00:00.000+08:00", "2026-12-01T10:00:05.000+08:00", "", 50, 9, 9, 0,
             0, 0, "gone/1/1"},
            {0, "2026-12-01T11:00:00.000+08:00", "2026-12-01T11:00:05.000+08:00", "", 50, 1, 1, 0,
             12, 100, processIdentity()}};
        std::vector<KeyRow> keys {{0, 1, 'A', 65, true, 100, 300},
                                  {0, 2, 'B', 66, true, 100, 300},
                                  {0, 3, 'C', 66, false, 100, 300},
                                  {1, 1, 'D', 68, true, 100, 300}};
        QCOMPARE(store->write(runs, keys), HistoryFault::None);
    }
    HistoryRecorder(options(m_path)).finish();
    HistoryDatabase db(m_path);
    QCOMPARE(db.rows("SELECT ended_by, total, correct, wrong, speed, round(accuracy, 2), owner "
                     "FROM runs ORDER BY id"),
             QStringList({"interrupted|3|2|1|36.0|66.67|-",
                          "-|1|1|0|12.0|100.0|" + QString::fromStdString(processIdentity())}));
}

void TestHistoryStore::keepsKeysWhileTheFileIsLocked()
{
    makeDatabase(m_path, historySchema::currentVersion);
    HistoryDatabase other(m_path);
    QCOMPARE(execute(other.handle(), "BEGIN EXCLUSIVE"), SQLITE_OK);

    HistoryRecorderOptions impatient = options(m_path);
    impatient.busyTimeout = std::chrono::milliseconds(50);
    impatient.writeInterval = std::chrono::milliseconds(50);
    HistoryRecorder recorder(impatient);
    Typist typist(recorder);
    for (int i = 0; i < 5; ++i)
        typist.type(i % 2 == 0);
    QTRY_COMPARE_WITH_TIMEOUT(messages().size(), 1, 5000);
    QVERIFY2(messages().first().contains("locked"), qPrintable(messages().first()));
    QTest::qWait(300);
    QCOMPARE(execute(other.handle(), "COMMIT"), SQLITE_OK);
    typist.end(RunEnd::Exit);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));
    QCOMPARE(other.value("SELECT count(*), sum(correct) FROM keys"), "5|3");
    QCOMPARE(messages().size(), 1);
}

void TestHistoryStore::keepsKeysWhileTheDiskIsFull()
{
    // A file-size limit fails writes as a full disk does; its signal would end the process.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &unlimited), 0);

    HistoryRecorderOptions fast = options(m_path);
    fast.writeInterval = std::chrono::milliseconds(50);
    HistoryRecorder recorder(fast);
    Typist typist(recorder);
    typist.type(true);
    HistoryDatabase db(m_path);
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT count(*) FROM keys"), "1", 5000);

    const rlimit full {static_cast<rlim_t>(QFileInfo(m_path + "-wal").size() + 4096),
                       unlimited.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &full), 0);
    for (int i = 0; i < 3000; ++i)
        typist.type(i % 3 != 0, 1);
    QTRY_COMPARE_WITH_TIMEOUT(messages().size(), 1, 5000);
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    QVERIFY2(messages().first().contains("disk is full"), qPrintable(messages().first()));

    typist.end(RunEnd::Exit);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));
    QCOMPARE(db.value("SELECT count(*), max(n) FROM keys"), "3001|3001");
    QCOMPARE(db.value("PRAGMA integrity_check"), "ok");
}

void TestHistoryStore::csvRoundTrip()
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

void TestHistoryStore::refusesMalformedCsv_data()
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

void TestHistoryStore::refusesMalformedCsv()
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

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_history_store.moc"

#include "history_database.h"
#include "history_files.h"
#include "history_recorder.h"
#include "history_schema.h"
#include "history_store.h"
#include "learner_name.h"
#include "learners.h"
#include "process_identity.h"
#include "run_identity.h"

#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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

// A history database of the given layout version, holding no runs: version 1 as the program of
// that layout wrote it, without an application id.
void makeDatabase(const QString &path, int version)
{
    sqlite3 *handle = nullptr;
    sqlite3_open(path.toUtf8().constData(), &handle);
    if (version == 1)
        execute(handle, std::string(historySchema::stepTo(1)).c_str());
    else
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
    void refusesPathsThatAreNoFile_data();
    void refusesPathsThatAreNoFile();
    void recordsRunsAndKeys();
    void keepsARunDeletedWhileItGoesOnDeleted();
    void keepsEachLearnersRunsApart();
    void keepsAtMostTheQueuesLimit();
    void writesWhileKeysCome();
    void endsAbandonedRunsAsInterrupted();
    void keepsKeysWhileTheFileIsLocked();
    void keepsKeysWhileTheDiskIsFull();
    void givesUpTheLastWriteAtExit();

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
    else if (version == 2)
        // As the program of that layout wrote it: three runs and nine keys, imported from CSV.
        QVERIFY(QFile::copy(TYPING_DRILL_TEST_DATA "/layout-2.sqlite", m_path));
    else if (version > 0)
        makeDatabase(m_path, version);
    if (version == 1) {
        // An import of that layout stored a run twice, once as exported while it went on; a
        // second run's counts disagree with its keys. Left in the log, as that program left it.
        HistoryDatabase old(m_path);
        QCOMPARE(execute(old.handle(), R"sql(
            PRAGMA journal_mode = WAL;
            INSERT INTO runs VALUES
                (1, '2026-12-01T10:00:00.000+08:00', '2026-12-01T10:00:09.000+08:00', NULL,
                 90, 1, 1, 0, 6, 100, 'gone/1/1'),
                (2, '2026-12-01T10:00:00.000+08:00', '2026-12-01T10:00:19.000+08:00', 'exit',
                 190, 2, 1, 1, 6, 50, NULL),
                (3, '2026-12-02T10:00:00.000+08:00', '2026-12-02T10:00:05.000+08:00', 'exit',
                 50, 5, 5, 0, 60, 100, NULL);
            INSERT INTO keys VALUES (1, 1, 'A', 65, 1, 100, 200), (2, 1, 'A', 65, 1, 100, 200),
                (2, 2, 'B', 67, 0, 100, 200), (3, 1, 'C', 67, 1, 100, 200);)sql"),
                 SQLITE_OK);
        sqlite3_db_config(old.handle(), SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    }
    {
        HistoryRecorder recorder(options(m_path));
        Typist(recorder).type(true);
        QVERIFY(recorder.finish(std::chrono::seconds(5)));
    }
    HistoryDatabase db(m_path);
    QCOMPARE(db.value("PRAGMA user_version").toInt(), historySchema::currentVersion);
    QCOMPARE(db.value("PRAGMA journal_mode"), "wal");
    QCOMPARE(db.value("SELECT group_concat(name) FROM pragma_index_list('keys')"),
             "keys_by_letter,sqlite_autoindex_keys_1");
    QCOMPARE(db.value("PRAGMA application_id").toInt(), historySchema::applicationId);
    if (version == 1) {
        QCOMPARE(
            db.rows("SELECT id, ended_by, total, correct, wrong, accuracy, uuid FROM runs "
                    "WHERE id < 4 ORDER BY id"),
            QStringList(
                {"2|exit|2|1|1|50.0|"
                     + QString::fromStdString(legacyRunUuid("2026-12-01T10:00:00.000+08:00")),
                 "3|exit|1|1|0|100.0|"
                     + QString::fromStdString(legacyRunUuid("2026-12-02T10:00:00.000+08:00"))}));
        QCOMPARE(db.value("SELECT count(*) FROM keys"), "4");
    } else if (version == 2) {
        QCOMPARE(
            db.rows("SELECT uuid, ended_by, total, correct FROM runs WHERE id < 4 ORDER BY id"),
            QStringList({"1b4e28ba-2fa1-4d3b-a3f5-ef19b5a7633b|restart|4|3",
                         "6f1c2b7e-9a0d-4c55-8e2f-3d4a5b6c7d8e|exit|3|3",
                         "0a9b8c7d-6e5f-4a3b-9c2d-1e0f2a3b4c5d|interrupted|2|1"}));
        QCOMPARE(db.value("SELECT count(*) FROM keys"), "10");
    } else {
        QCOMPARE(db.value("SELECT count(*) FROM keys"), "1");
    }
    // Every run, old and new, is the first learner's, named after the account.
    QCOMPARE(db.rows("SELECT id, name FROM learners"),
             QStringList("1|" + learnerName::ofAccount()));
    QCOMPARE(db.value("SELECT count(*) FROM runs WHERE learner IS NOT 1 OR mode <> 'random'"), "0");
    QVERIFY(messages().isEmpty());
}

void TestHistoryStore::leavesFilesItCannotUseAlone_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("says");

    QTest::newRow("text file") << QByteArray("run,started\r\n1,yesterday\r\n") << "not a history";

    const QString scratch = m_folder.filePath("scratch.sqlite");
    // version 0: another program's database, made by sql alone.
    const auto database = [&](int version, const char *sql) {
        QFile::remove(scratch);
        if (version > 0)
            makeDatabase(scratch, version);
        HistoryDatabase db(scratch);
        execute(db.handle(), sql);
        return contents(scratch);
    };
    QByteArray damaged = database(historySchema::currentVersion, "");
    damaged[100] = char(0x42); // the first page's b-tree header: no kind of page
    QTest::newRow("damaged history") << damaged << "damaged";
    QTest::newRow("newer version")
        << database(historySchema::currentVersion, "PRAGMA user_version = 99") << "newer version";
    QTest::newRow("another program's database")
        << database(0, "CREATE TABLE notes (text TEXT)") << "not a history";
    QTest::newRow("another program's, of version 1, in WAL mode")
        << database(0,
                    "PRAGMA journal_mode = WAL; CREATE TABLE runs (id INTEGER PRIMARY KEY, name);"
                    "CREATE TABLE keys (run, n); PRAGMA user_version = 1")
        << "not a history";
    QTest::newRow("another program's application id, a history's tables")
        << database(historySchema::currentVersion, "PRAGMA application_id = 7") << "not a history";
    QTest::newRow("empty, with no application id")
        << database(0, "PRAGMA user_version = 0") << "not a history";
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
    QVERIFY(!QFile::exists(m_path + "-shm"));
    QCOMPARE(messages().size(), 1);
    QVERIFY2(messages().first().contains(says) && messages().first().contains(m_path)
                 && messages().first().contains("练习记录已关闭"),
             qPrintable(messages().first()));
}

void TestHistoryStore::refusesPathsThatAreNoFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");
    QTest::newRow("folder") << "folder"
                            << "not a file";
    QTest::newRow("fifo") << "fifo"
                          << "not a file";
    QTest::newRow("symlink loop") << "loop"
                                  << "not a file";
    QTest::newRow("300-character name") << "long"
                                        << "not a file";
    QTest::newRow("parent a file") << "under file"
                                   << "not a file";
    QTest::newRow("folder of mode 000") << "closed folder"
                                        << "cannot be written";
    QTest::newRow("read-only file") << "read-only"
                                    << "cannot be written";
}

void TestHistoryStore::refusesPathsThatAreNoFile()
{
    QFETCH(QString, kind);
    QFETCH(QString, says);
    // Made where an ordinary user may look, since the recorder runs as one (below).
    QTemporaryDir open;
    QCOMPARE(chmod(QFile::encodeName(open.path()).constData(), 0755), 0);
    const QString base = open.filePath("history");
    QString path = base;
    if (kind == "folder") {
        QVERIFY(QDir().mkpath(path));
    } else if (kind == "fifo") {
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    } else if (kind == "loop") {
        QVERIFY(QFile::link(base + ".b", base) && QFile::link(base, base + ".b"));
    } else if (kind == "long") {
        path = open.filePath(QString(300, 'x'));
    } else if (kind == "under file") {
        QVERIFY(writeFile(base, "text"));
        path = base + "/history.sqlite";
    } else if (kind == "closed folder") {
        QVERIFY(QDir().mkpath(base));
        path = base + "/history.sqlite";
        QCOMPARE(chmod(QFile::encodeName(base).constData(), 0), 0);
    } else {
        makeDatabase(path, historySchema::currentVersion);
        QCOMPARE(chmod(QFile::encodeName(path).constData(), 0444), 0);
    }
    // A pipe is not read: that would wait for a writer.
    const auto bytes = [&] {
        return kind == "fifo" ? QByteArray() : contents(path);
    };
    const QByteArray before = bytes();

    const std::optional<QString> said = asOrdinaryUser([&] {
        std::string messages;
        HistoryRecorderOptions options;
        options.path = path.toStdString();
        options.report = [&](const std::string &message) {
            messages += message + '\n';
        };
        HistoryRecorder recorder(options);
        Typist(recorder).type(true);
        if (recorder.finish(std::chrono::seconds(5)))
            messages += "written\n";
        return messages;
    });
    QVERIFY(said);
    const QStringList lines = said->split('\n', Qt::SkipEmptyParts);
    chmod(QFile::encodeName(base).constData(), 0700);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(says) && lines.first().contains("练习记录已关闭"),
             qPrintable(lines.first()));
    QCOMPARE(bytes(), before);
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
    // At exit the file alone holds everything, for whoever copies it.
    QVERIFY(!QFile::exists(m_path + "-wal"));
    const QString copy = m_folder.filePath("copy.sqlite");
    QVERIFY(QFile::copy(m_path, copy));
    QCOMPARE(HistoryDatabase(copy).value("SELECT count(*) FROM keys"), "4");
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

    // Another open of the history in this process, and one by another program that ends: the
    // writer's locks must hold, or that program's close takes the history for unused and deletes
    // the write-ahead log under the writer, whose next keys then go nowhere.
    HistoryFault fault = HistoryFault::None;
    QVERIFY(HistoryStore::open(m_path.toStdString(), fault, {.readOnly = true}));
    QCOMPARE(QProcess::execute("python3",
                               {"-c",
                                "import sqlite3, sys; c = sqlite3.connect(sys.argv[1]); "
                                "c.execute('SELECT count(*) FROM runs').fetchall(); c.close()",
                                m_path}),
             0);
    QVERIFY(QFile::exists(m_path + "-wal"));
    typist.type(true);
    QTRY_COMPARE_WITH_TIMEOUT(HistoryDatabase(m_path).value("SELECT count(*) FROM keys"), "3",
                              5000);
}

void TestHistoryStore::keepsARunDeletedWhileItGoesOnDeleted()
{
    HistoryRecorderOptions fast = options(m_path);
    fast.writeInterval = std::chrono::milliseconds(50);
    HistoryRecorder recorder(fast);
    Typist typist(recorder);
    typist.type(true);
    typist.type(true);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_path), 5000);
    HistoryDatabase db(m_path);
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT count(*) FROM keys"), "2", 5000);
    // As the progress window deletes the history.
    QCOMPARE(execute(db.handle(), "DELETE FROM keys; DELETE FROM runs"), SQLITE_OK);
    typist.type(false);
    typist.restart();
    typist.type(true);
    typist.end(RunEnd::Exit);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));
    // The deleted run does not come back in part; the next one is recorded whole.
    QCOMPARE(db.rows("SELECT ended_by, total, correct, (SELECT count(*) FROM keys) FROM runs"),
             QStringList({"exit|1|1|1"}));
}

void TestHistoryStore::keepsEachLearnersRunsApart()
{
    // Two drills at once, for two learners; meanwhile one is renamed and the other removed.
    HistoryRecorderOptions annOptions = options(m_path), benOptions = options(m_path);
    annOptions.learner = "Ann";
    benOptions.learner = "Ben";
    annOptions.writeInterval = benOptions.writeInterval = std::chrono::milliseconds(50);
    HistoryRecorder annRecorder(annOptions), benRecorder(benOptions);
    Typist ann(annRecorder), ben(benRecorder);
    ann.type(true);
    ben.type(false);
    ann.type(true);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(m_path), 5000);
    HistoryDatabase db(m_path);
    QTRY_COMPARE_WITH_TIMEOUT(db.value("SELECT count(*) FROM keys"), "3", 5000);
    HistoryFault fault = HistoryFault::None;
    const auto store = HistoryStore::open(m_path.toStdString(), fault, {});
    QVERIFY(store);
    const std::vector<Learner> learners = listLearners(*store);
    QCOMPARE(learners.size(), std::size_t(3));
    const auto idOf = [&](const std::string &name) {
        return std::find_if(learners.begin(), learners.end(),
                            [&](const Learner &learner) { return learner.name == name; })
            ->id;
    };
    const std::int64_t first = learners[0].id, annId = idOf("Ann"), benId = idOf("Ben");
    QCOMPARE(renameLearner(*store, annId, "ＢＥＮ"), LearnerChange::NameTaken);
    QCOMPARE(renameLearner(*store, annId, "Anna"), LearnerChange::Done);
    QCOMPARE(removeLearner(*store, benId), LearnerChange::Done);

    ann.restart();
    ann.type(false);
    ben.type(true);
    ann.end(RunEnd::Exit);
    ben.end(RunEnd::Exit);
    QVERIFY(annRecorder.finish(std::chrono::seconds(5)));
    QVERIFY(benRecorder.finish(std::chrono::seconds(5)));
    // Anna keeps both her runs; Ben's run goes on whole under a Ben added again, said once.
    const char *byLearner = "SELECT l.name, r.total, r.correct FROM runs AS r "
                            "JOIN learners AS l ON l.id = r.learner ORDER BY l.name, r.total";
    QCOMPARE(db.rows(byLearner), QStringList({"Anna|1|0", "Anna|2|2", "Ben|2|1"}));
    QCOMPARE(messages().filter("was removed").size(), 1);
    QCOMPARE(db.value("SELECT count(*) FROM learners"), "3");

    // The weak-letter practice reads each learner's own keys, oldest first.
    const std::vector<PastKey> annas = recentKeys(*store, "ＡＮＮＡ", 10);
    QCOMPARE(annas.size(), std::size_t(3));
    QVERIFY(annas[0].correct && annas[1].correct && !annas[2].correct);
    QCOMPARE(recentKeys(*store, "Ben", 10).size(), std::size_t(2));
    QCOMPARE(recentKeys(*store, "Ben", 1).size(), std::size_t(1));
    QVERIFY(recentKeys(*store, "Nobody", 10).empty());

    // A run moves to another learner; the last learner stays.
    const std::int64_t annaLast = db.value("SELECT id FROM runs WHERE total = 1").toLongLong();
    QCOMPARE(moveRun(*store, annaLast, first), LearnerChange::Done);
    QCOMPARE(moveRun(*store, annaLast, 999), LearnerChange::Missing);
    for (const Learner &learner : listLearners(*store))
        QCOMPARE(removeLearner(*store, learner.id),
                 learner.id == listLearners(*store).back().id ? LearnerChange::LastLearner
                                                              : LearnerChange::Done);
    QCOMPARE(db.rows(byLearner), QStringList({"Ben|2|1"}));
}

void TestHistoryStore::keepsAtMostTheQueuesLimit()
{
    makeDatabase(m_path, historySchema::currentVersion);
    HistoryDatabase other(m_path);
    QCOMPARE(execute(other.handle(), "BEGIN EXCLUSIVE"), SQLITE_OK);
    HistoryRecorderOptions small = options(m_path);
    small.maxQueuedKeys = 3;
    small.busyTimeout = std::chrono::milliseconds(20);
    HistoryRecorder recorder(small);
    Typist typist(recorder);
    for (int i = 0; i < 6; ++i)
        typist.type(i != 1);
    QCOMPARE(execute(other.handle(), "COMMIT"), SQLITE_OK);
    typist.end(RunEnd::Exit);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));
    QCOMPARE(messages().filter("Too many keys").size(), 1);
    // The run's counts are those of the keys kept, not the drill's six.
    QCOMPARE(other.rows("SELECT total, correct, wrong, (SELECT count(*) FROM keys) FROM runs"),
             QStringList({"3|2|1|3"}));
}

void TestHistoryStore::endsAbandonedRunsAsInterrupted()
{
    {
        HistoryFault fault = HistoryFault::None;
        auto store = HistoryStore::open(m_path.toStdString(), fault, {});
        QVERIFY(store);
        // Owners: another boot, a process of this boot that is gone, a process id now reused by
        // this process, and this process.
        const std::string self = processIdentity();
        const std::string boot = self.substr(0, self.find('/'));
        const std::string pid = std::to_string(getpid());
        const auto run = [](const char *uuid, const char *hour, std::string owner) {
            return RunRow {0,
                           uuid,
                           std::string("2026-12-01T") + hour + ":00:00.000+08:00",
                           std::string("2026-12-01T") + hour + ":00:05.000+08:00",
                           "",
                           {50, 0, 0, 0, 12, 0},
                           owner,
                           {},
                           0,
                           "random"};
        };
        std::vector<RunRow> runs {run("a", "10", "gone/1/1"), run("b", "11", boot + "/4194305/1"),
                                  run("c", "12", boot + "/" + pid + "/1"), run("d", "13", self)};
        std::vector<KeyRow> keys {{0, 1, 'A', 65, true, 100, 300},
                                  {0, 2, 'B', 66, true, 100, 300},
                                  {0, 3, 'C', 66, false, 100, 300},
                                  {3, 1, 'D', 68, true, 100, 300}};
        QCOMPARE(store->write(runs, keys), HistoryFault::None);
    }
    HistoryRecorder(options(m_path)).finish();
    HistoryDatabase db(m_path);
    QCOMPARE(db.rows("SELECT ended_by, total, correct, wrong, speed, round(accuracy, 2), owner "
                     "FROM runs ORDER BY id"),
             QStringList({"interrupted|3|2|1|36.0|66.67|-", "interrupted|0|0|0|0.0|0.0|-",
                          "interrupted|0|0|0|0.0|0.0|-",
                          "-|1|1|0|12.0|100.0|" + QString::fromStdString(processIdentity())}));
}

void TestHistoryStore::keepsKeysWhileTheFileIsLocked()
{
    makeDatabase(m_path, historySchema::currentVersion);
    HistoryDatabase other(m_path);
    QCOMPARE(execute(other.handle(), "BEGIN EXCLUSIVE"), SQLITE_OK);

    HistoryRecorderOptions impatient = options(m_path);
    impatient.busyTimeout = std::chrono::milliseconds(200);
    impatient.writeInterval = std::chrono::milliseconds(20);
    HistoryRecorder recorder(impatient);
    Typist typist(recorder);
    for (int i = 0; i < 5; ++i)
        typist.type(i % 2 == 0);
    QTRY_COMPARE_WITH_TIMEOUT(messages().size(), 1, 5000);
    QVERIFY2(messages().first().contains("locked"), qPrintable(messages().first()));
    // A restart while a write waits for the lock: the run's end must not be lost to it.
    QTest::qWait(100);
    typist.restart();
    typist.type(true);
    QTest::qWait(300);
    QCOMPARE(execute(other.handle(), "COMMIT"), SQLITE_OK);
    typist.end(RunEnd::Exit);
    QVERIFY(recorder.finish(std::chrono::seconds(5)));
    QCOMPARE(other.rows("SELECT ended_by, total, correct FROM runs ORDER BY id"),
             QStringList({"restart|5|3", "exit|1|1"}));
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

void TestHistoryStore::givesUpTheLastWriteAtExit()
{
    // Locked for longer than the exit may wait: the program ends anyway, and says what it lost.
    makeDatabase(m_path, historySchema::currentVersion);
    HistoryDatabase other(m_path);
    QCOMPARE(execute(other.handle(), "BEGIN EXCLUSIVE"), SQLITE_OK);
    HistoryRecorder recorder(options(m_path));
    Typist typist(recorder);
    typist.type(true);
    typist.type(true);
    typist.end(RunEnd::Exit);
    QVERIFY(!recorder.finish(std::chrono::milliseconds(100)));
    QVERIFY2(messages().last().contains("the last 2 keys could not be written in time"),
             qPrintable(messages().join('\n')));
    QCOMPARE(execute(other.handle(), "COMMIT"), SQLITE_OK);
}

QTEST_GUILESS_MAIN(TestHistoryStore)
#include "tst_history_store.moc"

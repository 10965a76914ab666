#include "history_csv.h"
#include "history_database.h"
#include "history_files.h"
#include "history_schema.h"
#include "history_store.h"
#include "learner_name.h"
#include "run_identity.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string local(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

QString exportTo(const QString &history, const QString &folder)
{
    return QString::fromStdString(exportHistoryCsv(local(history), local(folder)));
}

// The import's message, or its summary when it succeeded.
QString importFrom(const QString &history, const QString &folder, const std::string &learner = {})
{
    std::string summary;
    const std::string error = importHistoryCsv(local(history), local(folder), &summary, learner);
    return QString::fromStdString(error.empty() ? summary : error);
}

// Stores a run of `keys` keys (every third one wrong) as the drill would, ended or going on.
void storeRun(const QString &path, const std::string &uuid, const QByteArray &started, int keys,
              const std::string &endedBy = "exit")
{
    HistoryFault fault = HistoryFault::None;
    const auto store = HistoryStore::open(local(path), fault, {});
    QVERIFY(store);
    std::vector<RunRow> runs(1);
    runs[0] = {0,
               uuid,
               started.toStdString(),
               started.toStdString(),
               endedBy,
               {keys * 7L, 0, 0, 0, 61.255, 0},
               {},
               {},
               0,
               "random"};
    std::vector<KeyRow> rows;
    for (int n = 1; n <= keys; ++n) {
        const char letter = char('A' + n % 26);
        rows.push_back({0, n, letter, letter, n % 3 != 0, 90 + n, 180 + n});
    }
    QCOMPARE(store->write(runs, rows), HistoryFault::None);
}

const QByteArray firstStart = "2026-12-01T10:00:00.000+08:00";
const QByteArray secondStart = "2026-12-01T11:30:00.000+08:00";
const QByteArray thirdStart = "2026-12-02T09:00:00.000-05:30";

const QByteArray runsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid,learner,mode\r\n";
// Files exported before runs had learners: still read, each run given the import's learner.
const QByteArray layout2RunsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid\r\n";
const QByteArray accountLearner = learnerName::ofAccount().toUtf8();
const QByteArray keysHeader = "run,n,letter,key_code,correct,press_ms,release_ms\r\n";

} // namespace

class TestHistoryCsv : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void roundTripIsExact();
    void importsBesideOtherRuns();
    void keepsEachRunOnceEndedWinning_data();
    void keepsEachRunOnceEndedWinning();
    void importsAnExportWithoutUuidsOnce();
    void acceptsByteOrderMarkLfAndTrailingBlankLines();
    void refusesMalformedFilesWhole_data();
    void refusesMalformedFilesWhole();
    void leavesAForeignFileAlone();
    void exportsAFirstLayoutHistoryAsItIs();
    void importsEachRunUnderItsLearner();
    void reportsPathFaults_data();
    void reportsPathFaults();

private:
    QString folder(const QString &name) const { return m_folder.filePath(name); }
    QString writeCsv(const QString &name, const QByteArray &runs, const QByteArray &keys);

    QTemporaryDir m_folder;
    QString m_path;
};

void TestHistoryCsv::init()
{
    QVERIFY(m_folder.isValid());
    const QString test = QTest::currentTestFunction();
    const QString row = QString(QTest::currentDataTag()).replace(' ', '-');
    m_path = folder(test + row + ".sqlite");
    QFile::remove(m_path);
}

QString TestHistoryCsv::writeCsv(const QString &name, const QByteArray &runs,
                                 const QByteArray &keys)
{
    const QString where = folder(name);
    if (!QDir().mkpath(where) || !writeFile(where + "/runs.csv", runs)
        || !writeFile(where + "/keys.csv", keys))
        qWarning("cannot write the CSV files in %s", qPrintable(where));
    return where;
}

void TestHistoryCsv::roundTripIsExact()
{
    // The history's own numbers have a gap: the export numbers its runs from 1 all the same.
    storeRun(m_path, newRunUuid(), thirdStart, 0, "restart");
    storeRun(m_path, newRunUuid(), firstStart, 3);
    storeRun(m_path, newRunUuid(), secondStart, 1, "");
    HistoryDatabase(m_path).rows("DELETE FROM runs WHERE id = 1");
    const QString copy = folder("copy.sqlite");
    QCOMPARE(exportTo(m_path, folder("first")), "");
    QVERIFY2(importFrom(copy, folder("first"))
                 .endsWith("Imported 2 runs, updated 0 (open → ended), 0 already there."),
             qPrintable(importFrom(copy, folder("first"))));
    QCOMPARE(exportTo(copy, folder("second")), "");
    for (const char *name : {"runs.csv", "keys.csv"})
        QCOMPARE(contents(folder("second/") + name), contents(folder("first/") + name));

    const QString uuid = HistoryDatabase(m_path).value("SELECT uuid FROM runs WHERE id = 2");
    QCOMPARE(contents(folder("first/runs.csv")),
             runsHeader + "1," + firstStart + ',' + firstStart + ",exit,21,3,2,1,61.26,66.67,"
                 + uuid.toLatin1() + ',' + accountLearner + ",random\r\n2," + secondStart + ','
                 + secondStart + ",,7,1,1,0,61.26,100,"
                 + HistoryDatabase(m_path).value("SELECT uuid FROM runs WHERE id = 3").toLatin1()
                 + ',' + accountLearner + ",random\r\n");
    QCOMPARE(contents(folder("first/keys.csv")),
             keysHeader + "1,1,B,66,1,91,181\r\n1,2,C,67,1,92,182\r\n1,3,D,68,0,93,183\r\n"
                 + "2,1,B,66,1,91,181\r\n");
    QCOMPARE(HistoryDatabase(copy).value("SELECT uuid FROM runs WHERE id = 1"), uuid);
}

void TestHistoryCsv::importsBesideOtherRuns()
{
    const QString other = folder("other.sqlite");
    storeRun(other, newRunUuid(), firstStart, 2);
    storeRun(other, newRunUuid(), thirdStart, 1);
    QCOMPARE(exportTo(other, folder("other")), "");
    storeRun(m_path, newRunUuid(), secondStart, 4);
    QVERIFY(importFrom(m_path, folder("other"))
                .endsWith("Imported 2 runs, updated 0 (open → ended), 0 already there."));
    // The history's own run keeps its number; the imported ones take the next.
    QCOMPARE(HistoryDatabase(m_path).rows("SELECT r.id, r.started, r.total, count(k.n) FROM runs "
                                          "AS r LEFT JOIN keys AS k ON k.run = r.id GROUP BY r.id"),
             QStringList({"1|" + QString(secondStart) + "|4|4", "2|" + QString(firstStart) + "|2|2",
                          "3|" + QString(thirdStart) + "|1|1"}));
}

void TestHistoryCsv::keepsEachRunOnceEndedWinning_data()
{
    QTest::addColumn<QStringList>("exports");
    QTest::addColumn<QString>("run");
    QTest::addColumn<QString>("lastSummary");
    QTest::newRow("open, then ended") << QStringList {"open 2", "ended 3"} << "exit|3|3"
                                      << "updated 1 (open → ended), 0 already";
    QTest::newRow("ended, then open") << QStringList {"ended 3", "open 2"} << "exit|3|3"
                                      << "updated 0 (open → ended), 1 already";
    QTest::newRow("open, then open with more keys") << QStringList {"open 2", "open 3"} << "-|3|3"
                                                    << "updated 1 (open → ended), 0 already";
    QTest::newRow("open twice") << QStringList {"open 2", "open 2"} << "-|2|2"
                                << "updated 0 (open → ended), 1 already";
    // A later start of the drill ended the imported open run as interrupted.
    QTest::newRow("interrupted, then ended")
        << QStringList {"interrupted 2", "ended 3"} << "exit|3|3"
        << "updated 1 (open → ended), 0 already";
    QTest::newRow("ended, then interrupted")
        << QStringList {"ended 3", "interrupted 2"} << "exit|3|3"
        << "updated 0 (open → ended), 1 already";
    QTest::newRow("open, then open with fewer keys") << QStringList {"open 3", "open 2"} << "-|3|3"
                                                     << "updated 0 (open → ended), 1 already";
}

void TestHistoryCsv::keepsEachRunOnceEndedWinning()
{
    QFETCH(QStringList, exports);
    QFETCH(QString, run);
    QFETCH(QString, lastSummary);
    // One run, exported as it went on and after it ended.
    const QString source = folder("source.sqlite");
    QFile::remove(source);
    const std::string uuid = newRunUuid();
    for (const QString name : {"open 2", "interrupted 2", "open 3", "ended 3"}) {
        storeRun(source, uuid, firstStart, name.back().digitValue(),
                 name.startsWith("open")        ? ""
                     : name.startsWith("ended") ? "exit"
                                                : "interrupted");
        QCOMPARE(exportTo(source, folder(name)), "");
    }
    QString summary;
    for (const QString &name : exports)
        summary = importFrom(m_path, folder(name));
    QVERIFY2(summary.contains(lastSummary), qPrintable(summary));
    QCOMPARE(HistoryDatabase(m_path).rows("SELECT coalesce(ended_by, '-'), total, "
                                          "(SELECT count(*) FROM keys) FROM runs"),
             QStringList {run});
}

void TestHistoryCsv::importsAnExportWithoutUuidsOnce()
{
    const QString from = writeCsv(
        "no uuid",
        "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy\r\n"
        "7,2026-12-01T10:00:00.000+08:00,2026-12-01T10:01:00.000+08:00,exit,600,1,1,0,2,100\r\n",
        keysHeader + "7,1,A,65,1,10,300\r\n");
    QVERIFY(importFrom(m_path, from).contains("Imported 1 runs"));
    QVERIFY(
        importFrom(m_path, from).contains("Imported 0 runs, updated 0 (open → ended), 1 already"));
    QCOMPARE(HistoryDatabase(m_path).rows("SELECT uuid, total FROM runs"),
             QStringList(QString::fromStdString(legacyRunUuid(firstStart.toStdString())) + "|1"));
}

void TestHistoryCsv::acceptsByteOrderMarkLfAndTrailingBlankLines()
{
    const QString from = writeCsv(
        "variants",
        "\xEF\xBB\xBF" + QByteArray(layout2RunsHeader).replace("\r\n", "\n") + "1," + firstStart
            + ',' + firstStart + ",exit,600,2,1,1,2,50,"
            + QByteArray::fromStdString(legacyRunUuid(firstStart.toStdString())) + "\n\n\r\n",
        "\xEF\xBB\xBF" + keysHeader + "1,1,A,65,1,10,300\n1,2,B,65,0,10,300\n\n");
    QVERIFY2(importFrom(m_path, from).contains("Imported 1 runs"),
             qPrintable(importFrom(m_path, from)));
    QCOMPARE(HistoryDatabase(m_path).value("SELECT total FROM runs"), "2");
}

void TestHistoryCsv::refusesMalformedFilesWhole_data()
{
    QTest::addColumn<QByteArray>("runs");
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<QString>("where");

    const QByteArray run = "1,2026-12-01T10:00:00.000+08:00,2026-12-01T10:01:00.000+08:00,exit,"
                           "600,2,1,1,2,50,0f0e0d0c-0b0a-4908-8706-050403020100\r\n";
    const QByteArray runs = layout2RunsHeader + run;
    const QByteArray keys = keysHeader + "1,1,A,65,1,10,300\r\n1,2,B,65,0,10,300\r\n";
    const auto runWith = [&](const QByteArray &from, const QByteArray &to) {
        return runs + QByteArray(run).replace(from, to).replace("1,", "2,");
    };
    const auto key = [&](const QByteArray &line) {
        return keys + line + "\r\n";
    };
    QTest::newRow("wrong header") << "run,started\r\n" + run << keys << "runs.csv:1";
    QTest::newRow("missing field") << runs + "2,x\r\n" << keys << "runs.csv:3";
    QTest::newRow("repeated run number") << runs + run << keys << "runs.csv:3";
    QTest::newRow("bad time") << runWith("10:00:00.000", "10:00") << keys << "runs.csv:3";
    QTest::newRow("second 60") << runWith("10:01:00", "10:00:60") << keys << "runs.csv:3";
    QTest::newRow("offset beyond 14:00") << runWith("+08:00,2", "+14:30,2") << keys << "runs.csv:3";
    QTest::newRow("29 February 2026")
        << runWith("12-01T10:01", "02-29T10:01") << keys << "runs.csv:3";
    QTest::newRow("bad ended_by") << runWith("exit", "quit") << keys << "runs.csv:3";
    QTest::newRow("counts disagree") << runWith(",2,1,1,", ",3,1,1,") << keys << "runs.csv:3";
    QTest::newRow("accuracy over 100") << runWith(",50,", ",100.01,") << keys << "runs.csv:3";
    QTest::newRow("infinite speed") << runWith(",2,50,", ",inf,50,") << keys << "runs.csv:3";
    QTest::newRow("speed not a number") << runWith(",2,50,", ",nan,50,") << keys << "runs.csv:3";
    QTest::newRow("negative speed") << runWith(",2,50,", ",-2,50,") << keys << "runs.csv:3";
    QTest::newRow("bad uuid") << runWith("0f0e", "0F0E") << keys << "runs.csv:3";
    QTest::newRow("blank line within") << runs + "\r\n" + run << keys << "runs.csv:3";
    QTest::newRow("unclosed quote") << runs << key("1,3,\"A,65,1,10,300") << "keys.csv:4";
    QTest::newRow("repeated (run, n)") << runs << key("1,2,C,67,1,10,300") << "keys.csv:4";
    QTest::newRow("key of no run") << runs << key("7,1,A,65,1,10,300") << "keys.csv:4";
    QTest::newRow("lower-case letter") << runs << key("1,3,a,65,1,10,300") << "keys.csv:4";
    QTest::newRow("key code 256") << runs << key("1,3,A,256,1,10,300") << "keys.csv:4";
    QTest::newRow("negative key code") << runs << key("1,3,A,-1,1,10,300") << "keys.csv:4";
    QTest::newRow("correct of 2") << runs << key("1,3,A,65,2,10,300") << "keys.csv:4";
    QTest::newRow("record over 64 KiB")
        << runs << key("1,3,A,65,1,10," + QByteArray(70000, '1')) << "keys.csv:4";
    const QByteArray learnerRuns = runsHeader + QByteArray(run).replace("\r\n", ",Ann,weak\r\n");
    const auto learnerRun = [&](const QByteArray &learnerAndMode) {
        return learnerRuns
            + QByteArray(run).replace("\r\n", "," + learnerAndMode + "\r\n").replace("1,", "2,");
    };
    QTest::newRow("learner of 21 characters")
        << learnerRun(QByteArray(21, 'a') + ",random") << keys << "runs.csv:3";
    QTest::newRow("learner with a control character")
        << learnerRun("\"A\tB\",random") << keys << "runs.csv:3";
    QTest::newRow("unknown mode") << learnerRun("Ann,fast") << keys << "runs.csv:3";
}

void TestHistoryCsv::refusesMalformedFilesWhole()
{
    QFETCH(QByteArray, runs);
    QFETCH(QByteArray, keys);
    QFETCH(QString, where);
    storeRun(m_path, newRunUuid(), secondStart, 2);
    const QByteArray before = contents(m_path);
    const QString from = writeCsv(QTest::currentDataTag(), runs, keys);
    const QString error = importFrom(m_path, from);
    QVERIFY2(error.startsWith(from + '/' + where + ": "), qPrintable(error));
    QCOMPARE(contents(m_path), before);
    // The valid lines before the fault did not come in either.
    QVERIFY(!QFile::exists(m_path + "-wal"));
}

void TestHistoryCsv::leavesAForeignFileAlone()
{
    {
        HistoryDatabase foreign(m_path);
        QCOMPARE(execute(foreign.handle(),
                         "CREATE TABLE notes (id INTEGER PRIMARY KEY, text "
                         "TEXT); INSERT INTO notes VALUES (1, 'kept'); "
                         "PRAGMA user_version = 1;"),
                 SQLITE_OK);
    }
    const QByteArray before = contents(m_path);
    storeRun(folder("history.sqlite"), newRunUuid(), firstStart, 1);
    QCOMPARE(exportTo(folder("history.sqlite"), folder("sound")), "");
    for (const QString &said :
         {exportTo(m_path, folder("out")), importFrom(m_path, folder("sound"))})
        QVERIFY2(
            said.startsWith("文件不是练习记录，保持原样。Not a practice history, left as it is: "),
            qPrintable(said));
    QCOMPARE(contents(m_path), before);
    for (const char *beside : {"-wal", "-shm", "-journal"})
        QVERIFY(!QFile::exists(m_path + beside));
    QVERIFY(!QFile::exists(folder("out")));
}

void TestHistoryCsv::exportsAFirstLayoutHistoryAsItIs()
{
    {
        HistoryDatabase old(m_path);
        const std::string made = std::string(historySchema::stepTo(1)) + R"sql(
            PRAGMA user_version = 1;
            INSERT INTO runs VALUES (1, '2026-12-01T10:00:00.000+08:00',
                '2026-12-01T10:01:00.000+08:00', 'exit', 600, 1, 1, 0, 6, 100, NULL);
            INSERT INTO keys VALUES (1, 1, 'Q', 81, 1, 100, 200);)sql";
        QCOMPARE(execute(old.handle(), made.c_str()), SQLITE_OK);
    }
    const QByteArray before = contents(m_path);
    QCOMPARE(exportTo(m_path, folder("old")), "");
    // Read as it is, not upgraded: its run gets the identity an upgrade would give it.
    QCOMPARE(contents(folder("old/runs.csv")),
             runsHeader + "1,2026-12-01T10:00:00.000+08:00,2026-12-01T10:01:00.000+08:00,exit,"
                 + "600,1,1,0,6,100,"
                 + QByteArray::fromStdString(legacyRunUuid(firstStart.toStdString())) + ','
                 + accountLearner + ",random\r\n");
    QCOMPARE(contents(m_path), before);
    for (const char *beside : {"-wal", "-shm"})
        QVERIFY(!QFile::exists(m_path + beside));
}

void TestHistoryCsv::importsEachRunUnderItsLearner()
{
    // Runs named for a learner go to that learner, added when missing and found whatever the
    // case; runs without one go to the import's learner, else to the history's first.
    storeRun(m_path, newRunUuid(), firstStart, 1);
    const auto runLine = [](int number, const char *hour, const QByteArray &tail) {
        const QByteArray started = "2026-12-03T" + QByteArray(hour) + ":00:00.000+08:00";
        return QByteArray::number(number) + ',' + started + ',' + started + ",exit,10,0,0,0,0,0,"
            + QByteArray::fromStdString(newRunUuid()) + tail + "\r\n";
    };
    const QString named =
        writeCsv("named",
                 runsHeader + runLine(1, "08", ",Ann,weak") + runLine(2, "09", ",ＡＮＮ,random")
                     + runLine(3, "10", ",,random"),
                 keysHeader);
    QVERIFY2(importFrom(m_path, named).contains("Imported 3 runs"),
             qPrintable(importFrom(m_path, named)));
    const QString unnamed =
        writeCsv("unnamed", layout2RunsHeader + runLine(4, "11", ""), keysHeader);
    QVERIFY(importFrom(m_path, unnamed, "小明").contains("Imported 1 runs"));
    QCOMPARE(
        HistoryDatabase(m_path).rows(
            "SELECT substr(r.started, 12, 2), l.name, r.mode FROM runs AS r "
            "JOIN learners AS l ON l.id = r.learner ORDER BY r.started"),
        QStringList({"10|" + QString(accountLearner) + "|random", "08|Ann|weak", "09|Ann|random",
                     "10|" + QString(accountLearner) + "|random", "11|小明|random"}));
    QCOMPARE(exportTo(m_path, folder("out")), "");
    QVERIFY(contents(folder("out/runs.csv")).contains(",Ann,weak\r\n"));
}

void TestHistoryCsv::reportsPathFaults_data()
{
    QTest::addColumn<bool>("exporting");
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("says");

    for (const bool exporting : {true, false}) {
        const QString verb = exporting ? "export: " : "import: ";
        for (const char *kind : {"loop", "long", "folder", "fifo", "under file"})
            QTest::addRow("%shistory %s", qPrintable(verb), kind)
                << exporting << "history" << kind << "The path is not a file that can be used";
        QTest::addRow("%sfolder a symlink loop", qPrintable(verb))
            << exporting << "folder"
            << "loop" << (exporting ? "folder cannot be created" : "Cannot read the file");
        QTest::addRow("%sfolder of a 300-character name", qPrintable(verb))
            << exporting << "folder"
            << "long" << (exporting ? "folder cannot be created" : "Cannot read the file");
        QTest::addRow("%sfolder under a file", qPrintable(verb))
            << exporting << "folder"
            << "under file" << (exporting ? "folder cannot be created" : "Cannot read the file");
        QTest::addRow("%sruns.csv a folder", qPrintable(verb))
            << exporting << "runs.csv"
            << "folder" << (exporting ? "What is there is not a file" : "Not a file");
        QTest::addRow("%sruns.csv a pipe", qPrintable(verb))
            << exporting << "runs.csv"
            << "fifo" << (exporting ? "What is there is not a file" : "Not a file");
    }
    QTest::newRow("export: read-only folder") << true << "folder"
                                              << "read-only"
                                              << "Cannot write in the folder";
    QTest::newRow("import: read-only history") << false << "history"
                                               << "read-only"
                                               << "cannot be used (read-only";
    QTest::newRow("import: history in a read-only folder") << false << "history"
                                                           << "read-only folder"
                                                           << "cannot be created there";
}

void TestHistoryCsv::reportsPathFaults()
{
    QFETCH(bool, exporting);
    QFETCH(QString, target);
    QFETCH(QString, kind);
    QFETCH(QString, says);
    // Made where an ordinary user may work, since the call runs as one (below).
    QTemporaryDir place;
    QCOMPARE(chmod(QFile::encodeName(place.path()).constData(), 0755), 0);
    QString history = place.filePath("history.sqlite");
    QString csv = place.filePath("csv");
    storeRun(history, newRunUuid(), firstStart, 1);
    QCOMPARE(exportTo(history, csv), "");
    QString &path = target == "history" ? history : csv;
    const QString base = target == "runs.csv" ? csv + "/runs.csv" : place.filePath("faulty");
    QFile::remove(base);
    if (kind == "loop")
        QVERIFY(QFile::link(base + ".b", base) && QFile::link(base, base + ".b"));
    else if (kind == "folder")
        QVERIFY(QDir().mkpath(base));
    else if (kind == "fifo")
        QCOMPARE(mkfifo(QFile::encodeName(base).constData(), 0600), 0);
    else if (kind == "under file")
        QVERIFY(writeFile(base, "text"));
    else if (kind == "read-only")
        QCOMPARE(chmod(QFile::encodeName(path).constData(), target == "folder" ? 0555 : 0444), 0);
    else if (kind == "read-only folder")
        QVERIFY(QDir().mkpath(base) && chmod(QFile::encodeName(base).constData(), 0555) == 0);
    if (target != "runs.csv")
        path = kind == "long"            ? place.filePath(QString(300, 'x'))
            : kind == "under file"       ? base + "/history.sqlite"
            : kind == "read-only folder" ? base + "/history.sqlite"
            : kind == "read-only"        ? path
                                         : base;
    if (!exporting && target == "history" && kind != "read-only")
        QFile::remove(place.filePath("history.sqlite"));

    // In a child process that is an ordinary user, as the superuser passes any mode bits.
    if (geteuid() == 0) {
        QDirIterator entries(place.path(),
                             QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                             QDirIterator::Subdirectories);
        while (entries.hasNext())
            QCOMPARE(lchown(QFile::encodeName(entries.next()).constData(), 65534, 65534), 0);
    }
    const std::optional<QString> said = asOrdinaryUser([&] {
        return exporting ? exportHistoryCsv(local(history), local(csv))
                         : importHistoryCsv(local(history), local(csv));
    });
    QVERIFY(said);
    const QString &message = *said;
    QVERIFY2(message.contains(says) && !message.contains('\n'), qPrintable(message));
}

QTEST_GUILESS_MAIN(TestHistoryCsv)
#include "tst_history_csv.moc"

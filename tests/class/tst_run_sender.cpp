// RunSender against a real PostgreSQL server that goes away, hangs and comes back: every key of
// the local history reaches the server exactly once.
#include "class_server_fixture.h"
#include "history_store.h"
#include "pg_connection.h"
#include "run_sender.h"
#include "server_history.h"
#include "sqlite_statement.h"

#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sqlite3.h>

namespace {

enum class Fault {
    None,
    ServerDownAtStart,
    ServerKilledAndRestarted,
    ServerHungThenBack,
    ServerHungThenKilled,
    SenderStoppedAndStartedAgain,
};

} // namespace

Q_DECLARE_METATYPE(Fault)

class TestRunSender : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sendsEveryKeyOnce_data();
    void sendsEveryKeyOnce();
    void wrongPinSendsNothing();
    void anotherMachineGetsThePupilsRunsOnce();

private:
    // A new pupil of the class: their login and PIN.
    std::pair<std::string, std::string> addPupil(const std::string &studentNumber);
    // Adds `count` keys to the run (and its end when `end` is given) in the local history.
    void record(const std::string &uuid, int fromKey, int count, const std::string &end = {});
    std::unique_ptr<RunSender> sender(const std::string &login, const std::string &pin);
    // "keys,ends" the server holds for the login, with the largest key number.
    QString onServer(const std::string &login) const;

    ClassServerFixture m_fixture;
    PostgresServer &m_server = m_fixture.server();
    QTemporaryDir m_folder;
    std::string m_history;
    std::atomic<int> m_reports {0};
};

void TestRunSender::initTestCase()
{
    std::string error;
    QVERIFY2(m_fixture.start(error), error.c_str());
    m_history = m_folder.filePath("history.sqlite").toStdString();
}

std::pair<std::string, std::string> TestRunSender::addPupil(const std::string &studentNumber)
{
    std::string pin;
    const std::string login = m_fixture.addPupil("一班", studentNumber, "小明", &pin);
    return {login, pin};
}

void TestRunSender::record(const std::string &uuid, int fromKey, int count, const std::string &end)
{
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(m_history, fault, {});
    QVERIFY(store);
    RunRow run;
    run.uuid = uuid;
    run.started = "2026-12-08T09:00:00.000+08:00";
    run.ended = "2026-12-08T09:05:00.000+08:00";
    run.endedBy = end;
    run.learner = "小明" + uuid.substr(0, 4);
    run.figures.ticks = 3000;
    run.figures.speed = 42.5;
    std::vector<RunRow> runs {run};
    std::vector<KeyRow> keys;
    for (int n = fromKey; n < fromKey + count; ++n)
        keys.push_back({0, n, char('A' + n % 26), 'A' + n % 26, n % 3 != 0, 300, 420});
    QCOMPARE(store->write(runs, keys), HistoryFault::None);
}

std::unique_ptr<RunSender> TestRunSender::sender(const std::string &login, const std::string &pin)
{
    RunSenderOptions options;
    options.historyPath = m_history;
    options.learner = "小明" + login.substr(login.size() - 4);
    options.conninfo = m_server.tcpConnection(login, pin) + " connect_timeout=2";
    options.interval = std::chrono::milliseconds(100);
    options.report = [this](const std::string &) {
        ++m_reports;
    };
    return std::make_unique<RunSender>(options);
}

QString TestRunSender::onServer(const std::string &login) const
{
    const PsqlResult held = m_server.psql(m_server.superuserConnection(),
                                          "SELECT (SELECT count(*) || ',' || coalesce(max(n), 0) "
                                          "FROM typing_drill.keys WHERE login = '"
                                              + login
                                              + "') || ',' || (SELECT count(*) FROM "
                                                "typing_drill.run_ends WHERE login = '"
                                              + login + "')");
    return QString::fromStdString(held.output).trimmed();
}

void TestRunSender::sendsEveryKeyOnce_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("studentNumber");
    QTest::newRow("nothing goes wrong") << Fault::None << "1001";
    QTest::newRow("the server is down at the start") << Fault::ServerDownAtStart << "1002";
    QTest::newRow("the server is killed, then restarted")
        << Fault::ServerKilledAndRestarted << "1003";
    QTest::newRow("the server hangs, then answers") << Fault::ServerHungThenBack << "1004";
    QTest::newRow("the server hangs mid-send, then is killed and restarted")
        << Fault::ServerHungThenKilled << "1008";
    QTest::newRow("the sender stops and starts again")
        << Fault::SenderStoppedAndStartedAgain << "1005";
}

void TestRunSender::sendsEveryKeyOnce()
{
    QFETCH(Fault, fault);
    QFETCH(QString, studentNumber);
    const auto [login, pin] = addPupil(studentNumber.toStdString());
    QVERIFY(!login.empty());
    // The learner's name in the local history ends with the 学号, so each row has its own.
    const std::string uuid = studentNumber.toStdString() + "aaaa-0000-4000-8000-000000000000";
    record(uuid, 1, 5);

    if (fault == Fault::ServerDownAtStart)
        m_server.stop();
    auto running = sender(login, pin);
    if (fault == Fault::ServerDownAtStart) {
        QTRY_VERIFY(running->state() == SendState::ServerAway);
        QVERIFY(m_server.start());
    }
    QTRY_COMPARE_WITH_TIMEOUT(onServer(login), QString("5,5,0"), 15000);

    // The rest of the run, and its end, while the fault lasts.
    switch (fault) {
    case Fault::ServerKilledAndRestarted:
        m_server.kill();
        record(uuid, 6, 5, "exit");
        running->sendSoon();
        QTRY_VERIFY(running->state() == SendState::ServerAway);
        QVERIFY(m_server.start());
        break;
    case Fault::ServerHungThenBack:
        m_server.freeze();
        record(uuid, 6, 5, "exit");
        running->sendSoon();
        QTest::qWait(500);
        m_server.thaw();
        break;
    case Fault::ServerHungThenKilled:
        record(uuid, 6, 5, "exit");
        running->sendSoon();
        m_server.freeze();
        QTest::qWait(300);
        m_server.kill();
        QVERIFY(m_server.start());
        break;
    case Fault::SenderStoppedAndStartedAgain:
        running.reset();
        record(uuid, 6, 5, "exit");
        running = sender(login, pin);
        break;
    default:
        record(uuid, 6, 5, "exit");
        running->sendSoon();
    }
    QTRY_COMPARE_WITH_TIMEOUT(onServer(login), QString("10,10,1"), 15000);
    QVERIFY(running->finish());
    QCOMPARE(running->state(), SendState::UpToDate);
}

void TestRunSender::wrongPinSendsNothing()
{
    const auto [login, pin] = addPupil("1006");
    record("1006aaaa-0000-4000-8000-000000000000", 1, 3);
    m_reports = 0;
    auto running = sender(login, pin == "000000" ? "000001" : "000000");
    QTRY_VERIFY(running->state() == SendState::Refused);
    running->sendSoon();
    QTest::qWait(300);
    QCOMPARE(m_reports.load(), 1);
    QCOMPARE(onServer(login), QString("0,0,0"));
}

void TestRunSender::anotherMachineGetsThePupilsRunsOnce()
{
    const auto [login, pin] = addPupil("1007");
    const std::string ended = "1007aaaa-0000-4000-8000-000000000000";
    const std::string goesOn = "1007bbbb-0000-4000-8000-000000000000";
    record(ended, 1, 4, "restart");
    record(goesOn, 1, 2);
    auto running = sender(login, pin);
    QTRY_COMPARE_WITH_TIMEOUT(onServer(login), QString("6,4,1"), 15000);
    QVERIFY(running->finish());

    // The pupil logs in on another machine, twice: the ended run comes once, with its keys and
    // under the pupil's learner there; the run still going on stays where it is.
    std::string error;
    auto asPupil = PgConnection::open(m_server.tcpConnection(login, pin), error);
    QVERIFY2(asPupil, error.c_str());
    const std::string elsewhere = m_folder.filePath("elsewhere.sqlite").toStdString();
    for (int copy : {1, 0}) {
        int copied = -1;
        QCOMPARE(serverHistory::copyRuns(*asPupil, login, elsewhere, "1007", &copied),
                 std::string());
        QCOMPARE(copied, copy);
    }
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(elsewhere, fault, {.readOnly = true});
    QVERIFY(store);
    SqliteStatement copied(store->handle(), R"sql(
        SELECT r.uuid, r.ended_by, r.total, r.correct, r.ticks, l.name,
               (SELECT group_concat(letter, '') FROM keys WHERE run = r.id)
        FROM runs r JOIN learners l ON l.id = r.learner)sql");
    QCOMPARE(copied.step(), SQLITE_ROW);
    QCOMPARE(copied.text(0), ended);
    QCOMPARE(copied.text(1), std::string("restart"));
    QCOMPARE(copied.integer(2), 4);
    QCOMPARE(copied.integer(3), 3);
    QCOMPARE(copied.integer(4), 3000);
    QCOMPARE(copied.text(5), std::string("1007"));
    QCOMPARE(copied.text(6), std::string("BCDE"));
    QCOMPARE(copied.step(), SQLITE_DONE);
}

QTEST_GUILESS_MAIN(TestRunSender)
#include "tst_run_sender.moc"

// typing-drill-class run as the school's admin runs it, on a private server: its refusals leave the
// server as it was, rosters go in whole or not at all, the login cards log in, and each pupil's and
// teacher's own credentials over TLS give them what the rules say and no more.
#include "postgres_server.h"

#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A class of two pupils and one of one, their teachers, and the runs the pupils sent.
const QByteArray classOneRoster = "学号,姓名\nA001,张三\nA002,李四\n";
const QByteArray classTwoRoster = "学号,姓名\nB001,王五\n";
const QMap<QString, QString> teacherPasswords {{"teacher_one", "teacher-one-secret"},
                                               {"teacher_two", "teacher-two-secret"}};

struct ToolResult
{
    int exitCode = -1;
    QString output;
    QString error;
};

// A run as the drill sends it: the run, `keys` keys of which the first `correct` are right, and an
// end unless it was cut off.
std::string runSql(const std::string &uuid, const std::string &started, int keys, int correct,
                   bool ended)
{
    std::string sql = "INSERT INTO typing_drill.runs (uuid, started, utc_offset_minutes, mode) "
                      "VALUES ('"
        + uuid + "', '" + started + "', 480, 'random');\n";
    for (int n = 1; n <= keys; ++n)
        sql += "INSERT INTO typing_drill.keys (run, n, letter, key_code, correct, press_ms, "
               "release_ms) VALUES ('"
            + uuid + "', " + std::to_string(n) + ", 'Q', 24, " + (n <= correct ? "true" : "false")
            + ", 310, 400);\n";
    if (ended)
        sql += "INSERT INTO typing_drill.run_ends (run, ended, ended_by, ticks, speed) VALUES ('"
            + uuid + "', '" + started
            + "'::timestamptz + interval '1 minute', 'exit', 600, 42.5);\n";
    return sql;
}

} // namespace

class TestClassAdmin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void refusedCommands_data();
    void refusedCommands();
    void rosters_data();
    void rosters();
    void loginCards();
    void rights_data();
    void rights();
    void exportOfClass();
    void certificateForAnotherHost();

private:
    // Runs typing-drill-class as the school's admin with the input on its standard input.
    ToolResult tool(const QStringList &arguments, const QByteArray &input = {}) const;
    // The same on that server ("": none given).
    ToolResult toolOn(const std::string &server, const QStringList &arguments,
                      const QByteArray &input = {}) const;
    // Everything a command may change, as one text: the tables' rows, the roles and their
    // passwords' hashes, in that database.
    QString state(const std::string &database = "school") const;
    // The file, written in the test's folder; its path.
    QString writeFile(const QString &name, const QByteArray &bytes) const;
    // The PINs on add-pupils' login cards, by login.
    QMap<QString, QString> cardPins(const QString &cards) const;
    std::string passwordOf(const QString &login) const;
    PsqlResult asLogin(const QString &login, const std::string &sql) const;

    PostgresServer m_server;
    QTemporaryDir m_folder;
    QMap<QString, QString> m_pins;
};

ToolResult TestClassAdmin::tool(const QStringList &arguments, const QByteArray &input) const
{
    return toolOn(m_server.adminConnection(), arguments, input);
}

ToolResult TestClassAdmin::toolOn(const std::string &server, const QStringList &arguments,
                                  const QByteArray &input) const
{
    QStringList withServer = arguments;
    if (!server.empty())
        withServer << "--server" << QString::fromStdString(server);
    // Only --server may say where the tool goes: none of this machine's libpq settings.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : environment.keys())
        if (name.startsWith("PG"))
            environment.remove(name);
    environment.insert("PGSERVICEFILE", m_folder.filePath("empty-service-file"));
    environment.insert("PGSYSCONFDIR", m_folder.path());
    environment.insert("PGPASSFILE", m_folder.filePath("no-password-file"));
    environment.insert("PGCONNECT_TIMEOUT", "10");
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(TYPING_DRILL_CLASS_PROGRAM, withServer);
    if (!process.waitForStarted())
        return {};
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000))
        process.kill();
    process.waitForFinished();
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

QString TestClassAdmin::state(const std::string &database) const
{
    const PsqlResult dump =
        m_server.psql(m_server.superuserConnection() + " dbname=" + database, R"sql(
        SELECT 'role ' || rolname || ' ' || md5(coalesce(rolpassword, '')) FROM pg_authid
            WHERE rolname !~ '^pg_'
        UNION ALL SELECT 'member ' || m.rolname || ' of ' || g.rolname FROM pg_auth_members a
            JOIN pg_roles m ON m.oid = a.member JOIN pg_roles g ON g.oid = a.roleid
        UNION ALL SELECT 'schema ' || coalesce(obj_description(oid, 'pg_namespace'), '')
            FROM pg_namespace WHERE nspname = 'typing_drill'
        UNION ALL SELECT 'rows ' || table_name || ' ' || query_to_xml(
                format('SELECT * FROM typing_drill.%I ORDER BY 1', table_name), false, false, '')
            FROM information_schema.tables WHERE table_schema = 'typing_drill'
        ORDER BY 1)sql");
    return QString::fromStdString(dump.exitCode == 0 ? dump.output : "cannot read: " + dump.error);
}

QString TestClassAdmin::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile file(m_folder.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qWarning() << "cannot write" << file.fileName();
    return file.fileName();
}

QMap<QString, QString> TestClassAdmin::cardPins(const QString &cards) const
{
    static const QRegularExpression card("^[^,]+,[^,]+,(pupil_[0-9a-z]+),([0-9]{6})\r$",
                                         QRegularExpression::MultilineOption);
    QMap<QString, QString> pins;
    for (const QRegularExpressionMatch &match : card.globalMatch(cards))
        pins.insert(match.captured(1), match.captured(2));
    return pins;
}

std::string TestClassAdmin::passwordOf(const QString &login) const
{
    return teacherPasswords.value(login, m_pins.value(login)).toStdString();
}

PsqlResult TestClassAdmin::asLogin(const QString &login, const std::string &sql) const
{
    return m_server.psql(m_server.tcpConnection(login.toStdString(), passwordOf(login)), sql);
}

// Whether the tool succeeded; says why not.
bool succeeded(const ToolResult &result)
{
    if (result.exitCode != 0)
        qWarning().noquote() << "typing-drill-class exited with" << result.exitCode << result.error;
    return result.exitCode == 0;
}

void TestClassAdmin::initTestCase()
{
    QVERIFY(m_folder.isValid());
    QVERIFY2(m_server.start(), m_server.log().c_str());
    writeFile("empty-service-file", {});
    writeFile("new-pupil.csv", "学号,姓名\nZ001,赵一\n");

    QVERIFY(succeeded(tool({"init"})));
    for (auto teacher = teacherPasswords.begin(); teacher != teacherPasswords.end(); ++teacher)
        QVERIFY(succeeded(tool({"add-teacher", teacher.key()}, teacher.value().toUtf8() + "\n")));
    QVERIFY(succeeded(tool({"add-class", "一班", "--teacher", "teacher_one"})));
    QVERIFY(succeeded(tool({"add-class", "二班", "--teacher", "teacher_two"})));
    for (const auto &[className, roster] :
         {std::pair {"一班", classOneRoster}, std::pair {"二班", classTwoRoster}}) {
        const ToolResult added =
            tool({"add-pupils", className, writeFile(className + QString(".csv"), roster)});
        QVERIFY(succeeded(added));
        m_pins.insert(cardPins(added.output));
    }
    QCOMPARE(m_pins.keys(), QStringList({"pupil_a001", "pupil_a002", "pupil_b001"}));

    // A001 first started a run and left it without a key, then did one of three keys.
    const std::pair<QString, std::string> sent[] = {
        {"pupil_a001",
         runSql("a0010000-0000-4000-8000-000000000001", "2024-03-01 08:00+08", 0, 0, false)
             + runSql("a0010000-0000-4000-8000-000000000002", "2024-03-01 09:00+08", 3, 2, true)},
        {"pupil_a002",
         runSql("a0020000-0000-4000-8000-000000000001", "2024-03-01 08:30+08", 2, 1, true)},
        {"pupil_b001",
         runSql("b0010000-0000-4000-8000-000000000001", "2024-03-01 08:15+08", 1, 1, true)}};
    for (const auto &[login, sql] : sent) {
        const PsqlResult result = asLogin(login, sql);
        QVERIFY2(result.exitCode == 0, result.error.c_str());
    }

    // A database of the admin's where another program has a schema of the same name.
    const PsqlResult other =
        m_server.psql(m_server.superuserConnection(), "CREATE DATABASE other OWNER school_admin");
    QVERIFY2(other.exitCode == 0, other.error.c_str());
    const PsqlResult foreign = m_server.psql(m_server.adminConnection() + " dbname=other",
                                             "CREATE SCHEMA typing_drill;\n"
                                             "CREATE TABLE typing_drill.runs (note text);\n"
                                             "INSERT INTO typing_drill.runs VALUES ('kept');");
    QVERIFY2(foreign.exitCode == 0, foreign.error.c_str());
}

void TestClassAdmin::refusedCommands_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    // "school", "other" (the admin's database where typing_drill is another's) or "none".
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("message");

    const QString newPupil = m_folder.filePath("new-pupil.csv");
    const QString noClass = "No class of that name";
    const QString noPupil = "No pupil of that 学号 in that class";
    QTest::newRow("add-pupils to no class")
        << QStringList {"add-pupils", "九班", newPupil} << QByteArray() << "school" << noClass;
    QTest::newRow("export of no class")
        << QStringList {"export", "九班", m_folder.path()} << QByteArray() << "school" << noClass;
    QTest::newRow("add-class, no such teacher")
        << QStringList {"add-class", "三班", "--teacher", "nobody"} << QByteArray() << "school"
        << "No teacher of that name";
    QTest::newRow("add-class, a pupil as teacher")
        << QStringList {"add-class", "三班", "--teacher", "pupil_a001"} << QByteArray() << "school"
        << "No teacher of that name";
    QTest::newRow("add-class twice")
        << QStringList {"add-class", "一班", "--teacher", "teacher_two"} << QByteArray() << "school"
        << "That class exists already";
    QTest::newRow("add-teacher, a teacher's name")
        << QStringList {"add-teacher", "teacher_one"} << QByteArray("another\n") << "school"
        << "A login of that name exists already";
    QTest::newRow("add-teacher, the admin's name")
        << QStringList {"add-teacher", "school_admin"} << QByteArray("another\n") << "school"
        << "A login of that name exists already";
    QTest::newRow("add-teacher, a pupil's name")
        << QStringList {"add-teacher", "pupil_z001"} << QByteArray("another\n") << "school"
        << "kept for the server or for pupils";
    QTest::newRow("add-teacher, empty password")
        << QStringList {"add-teacher", "teacher_three"} << QByteArray("\n") << "school"
        << "The password must not be empty";
    QTest::newRow("remove-pupil without --yes, not on a terminal")
        << QStringList {"remove-pupil", "一班", "A001"} << QByteArray("y\n") << "school"
        << "Add --yes to confirm";
    QTest::newRow("remove-pupil of another class")
        << QStringList {"remove-pupil", "二班", "A001", "--yes"} << QByteArray() << "school"
        << noPupil;
    QTest::newRow("reset-pin of another class")
        << QStringList {"reset-pin", "二班", "A001"} << QByteArray() << "school" << noPupil;
    QTest::newRow("no server configured") << QStringList {"init"} << QByteArray() << "none"
                                          << "No server";
    QTest::newRow("init on another program's typing_drill")
        << QStringList {"init"} << QByteArray() << "other"
        << "is not this program's";
    QTest::newRow("add-teacher where another program's typing_drill is")
        << QStringList {"add-teacher", "teacher_three"} << QByteArray("secret\n") << "other"
        << "The server is not set up yet";
}

void TestClassAdmin::refusedCommands()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QString, server);
    QFETCH(QString, message);

    const std::string database = server == "other" ? "other" : "school";
    const std::string conninfo =
        server == "none" ? std::string() : m_server.adminConnection() + " dbname=" + database;
    const QString before = state(database);
    QVERIFY2(before.contains("rows runs"), qPrintable(before));
    const ToolResult result = toolOn(conninfo, arguments, input);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.error.contains(message), qPrintable(result.error));
    QCOMPARE(result.output, QString());
    QCOMPARE(state(database), before);
}

void TestClassAdmin::rosters_data()
{
    QTest::addColumn<QByteArray>("roster");
    // What the refusal names; nothing for a roster that is taken.
    QTest::addColumn<QStringList>("reasons");

    // As a spreadsheet on Windows saves it.
    QTest::newRow("byte order mark, CR LF")
        << QByteArray("\xEF\xBB\xBF学号,姓名\r\nR001,赵六\r\nR002,钱七\r\n") << QStringList();
    QTest::newRow("学号 twice, in another case")
        << QByteArray("学号,姓名\nR003,孙八\nR004,周九\nr003,吴十\n")
        << QStringList {"line 4", "line 2"};
    QTest::newRow("学号 of an earlier roster")
        << QByteArray("学号,姓名\nR005,郑一\nA001,王二\n") << QStringList {"line 3", "taken"};
    QTest::newRow("empty name") << QByteArray("学号,姓名\nR006,冯三\nR007,\n")
                                << QStringList {"line 3"};
    QTest::newRow("Latin-1 name") << QByteArray("学号,姓名\nR008,陈四\nR009,Jos\xE9\n")
                                  << QStringList {"line 3"};
    QTest::newRow("学号 with a space") << QByteArray("学号,姓名\nR010,褚五\n12 34,卫六\n")
                                       << QStringList {"line 3", "letters or digits"};
    QTest::newRow("wrong header") << QByteArray("学号,名字\nR011,蒋七\n")
                                  << QStringList {"line 1", "学号,姓名"};
}

void TestClassAdmin::rosters()
{
    QFETCH(QByteArray, roster);
    QFETCH(QStringList, reasons);

    const QString before = state();
    QVERIFY2(before.contains("rows pupils"), qPrintable(before));
    const ToolResult result =
        tool({"add-pupils", "二班", writeFile(QTest::currentDataTag() + QString(".csv"), roster)});
    if (reasons.isEmpty()) {
        QVERIFY(succeeded(result));
        QCOMPARE(cardPins(result.output).keys(), QStringList({"pupil_r001", "pupil_r002"}));
        QVERIFY(result.output.contains("\r\nR001,赵六,pupil_r001,"));
        const PsqlResult added = m_server.psql(
            m_server.adminConnection(),
            "SELECT name FROM typing_drill.pupils WHERE class = '二班' AND student_number "
            "LIKE 'R%' ORDER BY 1");
        QCOMPARE(QString::fromStdString(added.output), QString("赵六\n钱七\n"));
        return;
    }
    QCOMPARE(result.exitCode, 1);
    for (const QString &reason : reasons)
        QVERIFY2(result.error.contains(reason), qPrintable(result.error));
    QVERIFY2(result.error.contains("Nothing of the roster was added"), qPrintable(result.error));
    QCOMPARE(state(), before);
}

void TestClassAdmin::loginCards()
{
    QVERIFY(succeeded(tool({"add-class", "三班", "--teacher", "teacher_one"})));
    const ToolResult added =
        tool({"add-pupils", "三班", writeFile("three.csv", "学号,姓名\nC001,陈一\nC002,陈二\n")});
    QVERIFY(succeeded(added));
    const QStringList lines = added.output.split("\r\n");
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines[0], QString("学号,姓名,登录名,PIN"));
    QVERIFY2(QRegularExpression("^C001,陈一,pupil_c001,[0-9]{6}$").match(lines[1]).hasMatch(),
             qPrintable(lines[1]));
    QVERIFY2(QRegularExpression("^C002,陈二,pupil_c002,[0-9]{6}$").match(lines[2]).hasMatch(),
             qPrintable(lines[2]));
    QCOMPARE(lines[3], QString());
    m_pins.insert(cardPins(added.output));

    const auto logIn = [this](const std::string &login, const std::string &pin) {
        return m_server.psql(m_server.tcpConnection(login, pin), "SELECT current_user");
    };
    const auto refused = [](const PsqlResult &result) {
        return result.exitCode != 0
            && result.error.find("password authentication failed") != std::string::npos;
    };
    const std::string pin = passwordOf("pupil_c001");
    QCOMPARE(logIn("pupil_c001", pin).output, std::string("pupil_c001\n"));
    std::string wrongPin = pin;
    wrongPin.back() = wrongPin.back() == '9' ? '0' : char(wrongPin.back() + 1);
    QVERIFY(refused(logIn("pupil_c001", wrongPin)));

    // The 学号 in any case finds the pupil.
    const ToolResult reset = tool({"reset-pin", "三班", "c001"});
    QVERIFY(succeeded(reset));
    QVERIFY2(QRegularExpression("^[0-9]{6}\n$").match(reset.output).hasMatch(),
             qPrintable(reset.output));
    const std::string newPin = reset.output.trimmed().toStdString();
    QVERIFY(refused(logIn("pupil_c001", pin)));
    QCOMPARE(logIn("pupil_c001", newPin).output, std::string("pupil_c001\n"));

    // Removing a pupil takes their runs, keys and login with them.
    const PsqlResult sent =
        asLogin("pupil_c002",
                runSql("c0020000-0000-4000-8000-000000000001", "2024-03-02 10:00+08", 2, 2, true));
    QVERIFY2(sent.exitCode == 0, sent.error.c_str());
    const std::string left = "SELECT (SELECT count(*) FROM typing_drill.runs WHERE login = "
                             "'pupil_c002') + (SELECT count(*) FROM typing_drill.run_ends WHERE "
                             "login = 'pupil_c002') + (SELECT count(*) FROM typing_drill.keys "
                             "WHERE login = 'pupil_c002') + (SELECT count(*) FROM pg_roles WHERE "
                             "rolname = 'pupil_c002')";
    QCOMPARE(m_server.psql(m_server.superuserConnection(), left).output, std::string("5\n"));
    QVERIFY(succeeded(tool({"remove-pupil", "三班", "C002", "--yes"})));
    QCOMPARE(m_server.psql(m_server.superuserConnection(), left).output, std::string("0\n"));
    QVERIFY(refused(logIn("pupil_c002", passwordOf("pupil_c002"))));
    QCOMPARE(logIn("pupil_c001", newPin).output, std::string("pupil_c001\n"));
}

void TestClassAdmin::rights_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("sql");
    // The rows psql prints, one a line; a refusal by the server when null.
    QTest::addColumn<QString>("rows");

    const QString refused;
    const QString runOfA002 = "INSERT INTO typing_drill.runs (uuid, login, started, "
                              "utc_offset_minutes, mode) VALUES ('a0020000-0000-4000-8000-"
                              "000000000009', 'pupil_a002', now(), 0, 'random')";
    QTest::newRow("pupil reads own runs")
        << "pupil_a001"
        << "SELECT uuid FROM typing_drill.runs ORDER BY started"
        << "a0010000-0000-4000-8000-000000000001\na0010000-0000-4000-8000-000000000002\n";
    QTest::newRow("pupil reads a classmate's runs")
        << "pupil_a001"
        << "SELECT count(*) FROM typing_drill.runs WHERE login = 'pupil_a002'"
        << "0\n";
    QTest::newRow("pupil reads another class's keys")
        << "pupil_a001"
        << "SELECT count(*) FROM typing_drill.keys WHERE login = 'pupil_b001'"
        << "0\n";
    QTest::newRow("pupil reads the pupils") << "pupil_a001"
                                            << "SELECT name FROM typing_drill.pupils"
                                            << "张三\n";
    QTest::newRow("pupil updates own keys")
        << "pupil_a001"
        << "UPDATE typing_drill.keys SET correct = true" << refused;
    QTest::newRow("pupil deletes own runs") << "pupil_a001"
                                            << "DELETE FROM typing_drill.runs" << refused;
    QTest::newRow("pupil adds a run as a classmate") << "pupil_a001" << runOfA002 << refused;
    QTest::newRow("pupil reads the classes") << "pupil_a001"
                                             << "SELECT * FROM typing_drill.classes" << refused;
    QTest::newRow("pupil adds a class")
        << "pupil_a001"
        << "INSERT INTO typing_drill.classes VALUES ('四班', 'pupil_a001')" << refused;
    QTest::newRow("pupil makes a role") << "pupil_a001"
                                        << "CREATE ROLE intruder" << refused;
    QTest::newRow("teacher reads own class's runs")
        << "teacher_one"
        << "SELECT login, count(*) FROM typing_drill.runs GROUP BY login ORDER BY login"
        << "pupil_a001|2\npupil_a002|1\n";
    QTest::newRow("teacher reads another class's runs")
        << "teacher_one"
        << "SELECT count(*) FROM typing_drill.runs WHERE login = 'pupil_b001'"
        << "0\n";
    QTest::newRow("other teacher reads own class's keys")
        << "teacher_two"
        << "SELECT DISTINCT login FROM typing_drill.keys"
        << "pupil_b001\n";
    QTest::newRow("teacher reads the classes") << "teacher_two"
                                               << "SELECT name FROM typing_drill.classes"
                                               << "二班\n";
    QTest::newRow("teacher adds a run") << "teacher_one" << runOfA002 << refused;
    QTest::newRow("teacher deletes keys") << "teacher_one"
                                          << "DELETE FROM typing_drill.keys" << refused;
    QTest::newRow("teacher adds a class")
        << "teacher_one"
        << "INSERT INTO typing_drill.classes VALUES ('四班', 'teacher_one')" << refused;
    QTest::newRow("teacher makes a role") << "teacher_one"
                                          << "CREATE ROLE intruder" << refused;
}

void TestClassAdmin::rights()
{
    QFETCH(QString, login);
    QFETCH(QString, sql);
    QFETCH(QString, rows);

    const PsqlResult result = asLogin(login, sql.toStdString());
    if (rows.isNull()) {
        QVERIFY2(result.exitCode != 0, result.output.c_str());
        QVERIFY2(result.error.find("permission denied") != std::string::npos
                     || result.error.find("row-level security") != std::string::npos,
                 result.error.c_str());
        return;
    }
    QVERIFY2(result.exitCode == 0, result.error.c_str());
    QCOMPARE(QString::fromStdString(result.output), rows);
}

void TestClassAdmin::exportOfClass()
{
    QTemporaryDir folder(m_folder.filePath("export-XXXXXX"));
    QVERIFY(folder.isValid());
    QVERIFY(succeeded(tool({"export", "一班", folder.path()})));
    const auto linesOf = [&](const QString &name) {
        QFile file(folder.filePath(name));
        return file.open(QIODevice::ReadOnly)
            ? QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts)
            : QStringList();
    };
    const QStringList runs = linesOf("runs.csv");
    const QStringList keys = linesOf("keys.csv");
    QVERIFY(!runs.isEmpty() && !keys.isEmpty());
    QCOMPARE(runs[0],
             QString("run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid,"
                     "learner,mode"));
    QCOMPARE(keys[0], QString("run,n,letter,key_code,correct,press_ms,release_ms"));

    // A key names its run by the run's number in runs.csv.
    QMap<QString, int> keysOfRun, correctOfRun;
    for (const QString &line : keys.mid(1)) {
        const QStringList fields = line.split(',');
        QCOMPARE(fields.size(), 7);
        ++keysOfRun[fields[0]];
        correctOfRun[fields[0]] += fields[4] == "1";
    }
    QMap<QString, QString> learnerOfRun;
    for (const QString &line : runs.mid(1)) {
        const QStringList fields = line.split(',');
        QCOMPARE(fields.size(), 13);
        QCOMPARE(fields[5].toInt(), keysOfRun.value(fields[0]));
        QCOMPARE(fields[6].toInt(), correctOfRun.value(fields[0]));
        QCOMPARE(fields[7].toInt(), fields[5].toInt() - fields[6].toInt());
        learnerOfRun.insert(fields[10], fields[11]);
    }
    // Only class one's runs, each with its pupil's 学号 and name.
    const QMap<QString, QString> expected {{"a0010000-0000-4000-8000-000000000001", "A001 张三"},
                                           {"a0010000-0000-4000-8000-000000000002", "A001 张三"},
                                           {"a0020000-0000-4000-8000-000000000001", "A002 李四"}};
    QCOMPARE(learnerOfRun, expected);
    QCOMPARE(keys.size() - 1, 5);
    // Times as the pupil's clock showed them, with its offset.
    QVERIFY2(runs[1].startsWith("1,2024-03-01T08:00:00.000+08:00,"), qPrintable(runs[1]));
}

void TestClassAdmin::certificateForAnotherHost()
{
    const std::string overTls =
        m_server.tcpConnection("school_admin", PostgresServer::adminPassword());
    m_server.presentCertificateFor("wrong.example");
    m_server.stop();
    QVERIFY2(m_server.start(), m_server.log().c_str());
    const ToolResult refused = toolOn(overTls, {"init"});
    QCOMPARE(refused.exitCode, 1);
    QVERIFY2(refused.error.contains("does not match host name"), qPrintable(refused.error));

    // The same address reaches the server once it shows its own name.
    m_server.presentCertificateFor("localhost");
    m_server.stop();
    QVERIFY2(m_server.start(), m_server.log().c_str());
    QVERIFY(succeeded(toolOn(overTls, {"init"})));
}

QTEST_GUILESS_MAIN(TestClassAdmin)
#include "tst_class_admin.moc"

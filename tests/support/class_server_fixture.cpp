#include "class_server_fixture.h"

#include "class_admin.h"
#include "class_roster.h"
#include "pg_connection.h"

#include <QtTest>

#include <charconv>

std::vector<KeyAnswer> answers(char letter, int right, int wrong, char wrongKey, int releaseMs)
{
    std::vector<KeyAnswer> keys;
    for (int i = 0; i < right; ++i)
        keys.push_back({letter, letter, true, releaseMs});
    for (int i = 0; i < wrong; ++i)
        keys.push_back({letter, wrongKey, false, releaseMs});
    return keys;
}

ClassServerFixture::ClassServerFixture() = default;
ClassServerFixture::~ClassServerFixture() = default;

bool ClassServerFixture::start(std::string &error)
{
    if (!m_server.start()) {
        error = m_server.log();
        return false;
    }
    m_admin = PgConnection::open(m_server.adminConnection(), error);
    if (!m_admin)
        return false;
    for (const std::string &step :
         {classAdmin::init(*m_admin), classAdmin::addTeacher(*m_admin, "王老师", "secret"),
          classAdmin::addTeacher(*m_admin, "李老师", "secret"),
          classAdmin::addTeacher(*m_admin, "赵老师", "secret"),
          classAdmin::addClass(*m_admin, "一班", "王老师"),
          classAdmin::addClass(*m_admin, "三班", "王老师"),
          classAdmin::addClass(*m_admin, "二班", "李老师")})
        if (!step.empty()) {
            error = step;
            return false;
        }
    return true;
}

std::string ClassServerFixture::addPupil(const std::string &className,
                                         const std::string &studentNumber, const std::string &name,
                                         std::string *pin)
{
    std::string cards, error;
    // A test may have stopped or killed the server since: the admin then logs in again.
    if (!m_admin->isOk() || !m_admin->exec("SELECT 1").ok())
        m_admin = PgConnection::open(m_server.adminConnection(), error);
    if (m_admin)
        error = classAdmin::addPupils(*m_admin, className, {{2, studentNumber, name}}, cards);
    if (!error.empty())
        qFatal("cannot add a pupil: %s", error.c_str());
    // The card's last field, on its second line: 学号,姓名,登录名,PIN.
    if (pin)
        *pin = cards.substr(cards.rfind(',') + 1, 6);
    return "pupil_" + QString::fromStdString(studentNumber).toLower().toStdString();
}

void ClassServerFixture::addRun(const std::string &login, double started, double endSeconds,
                                double speed, const std::vector<KeyAnswer> &keys)
{
    const auto number = [](double value) {
        char buffer[64];
        return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
    };
    std::string sql = "WITH run AS (INSERT INTO typing_drill.runs VALUES (gen_random_uuid(), "
        + m_admin->quotedLiteral(login) + ", to_timestamp(" + number(started)
        + "), 0, 'random') RETURNING uuid, login)";
    if (endSeconds >= 0)
        sql += ", ended AS (INSERT INTO typing_drill.run_ends SELECT uuid, login, to_timestamp("
            + number(started + endSeconds) + "), 'exit', " + number(endSeconds * 10) + ", "
            + number(speed) + " FROM run)";
    sql += " INSERT INTO typing_drill.keys SELECT run.uuid, run.login, k.* FROM run, (VALUES "
           "(0, 'A', 0, true, 0, 0)";
    for (std::size_t i = 0; i < keys.size(); ++i)
        sql += ", (" + std::to_string(i + 1) + ", '" + keys[i].letter + "', "
            + std::to_string(keys[i].keyCode) + ", " + (keys[i].correct ? "true" : "false")
            + ", 100, " + std::to_string(keys[i].releaseMs) + ")";
    // The first row only names the columns' types; it is no key.
    sql += ") k(n, letter, key_code, correct, press_ms, release_ms) WHERE k.n > 0";
    std::string error;
    if (!m_admin->run(sql, error))
        qFatal("cannot add a run: %s", error.c_str());
}

std::string ClassServerFixture::teacherConnection(const std::string &name) const
{
    return m_server.tcpConnection(name, "secret");
}

std::unique_ptr<PgConnection> ClassServerFixture::teacher(const std::string &name) const
{
    std::string error;
    auto connection = PgConnection::open(teacherConnection(name), error);
    if (!connection)
        qFatal("the teacher cannot connect: %s", error.c_str());
    return connection;
}

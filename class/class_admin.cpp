#include "class_admin.h"

#include "class_roster.h"
#include "class_schema.h"
#include "csv_table.h"
#include "format_pattern.h"
#include "pg_connection.h"
#include "pupil_login.h"
#include "server_time.h"

#include <QString>

#include <cstdio>
#include <fstream>
#include <functional>
#include <sys/stat.h>

namespace classAdmin {

namespace {

constexpr std::string_view notInitialised =
    "服务器还没有设置好，请先运行 typing-drill-class init。"
    "The server is not set up yet: run typing-drill-class init first.";

// Runs the work in one transaction on a database whose schema is this program's current one;
// commits only when the work gave no fault.
std::string inTransaction(PgConnection &db, const std::function<std::string()> &work,
                          bool needsSchema = true)
{
    PgTransaction transaction(db);
    if (!transaction.began())
        return db.exec("SELECT 1").error();
    if (needsSchema) {
        std::string error;
        const int version = classSchema::installedVersion(db, error);
        if (!error.empty())
            return error;
        if (version != classSchema::currentVersion)
            return std::string(notInitialised);
    }
    if (std::string fault = work(); !fault.empty())
        return fault;
    std::string error;
    return transaction.commit(error) ? std::string() : error;
}

bool roleExists(PgConnection &db, const std::string &role)
{
    return db.exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {role}).rows() > 0;
}

// A role's name: at most 63 bytes (the server's limit), no control characters, not one of the
// server's own (pg_…) nor a pupil's.
std::string teacherNameProblem(const std::string &name)
{
    const QString text = QString::fromStdString(name);
    if (name.empty() || text.trimmed() != text || text.toStdString() != name)
        return "老师的名字不能是空的，前后不能有空格。A teacher's name must not be empty or begin "
               "or end with spaces.";
    if (name.size() > 63)
        return "老师的名字太长（最多 63 字节）。A teacher's name is at most 63 bytes.";
    for (QChar c : text)
        if (c.category() == QChar::Other_Control)
            return "老师的名字里有控制字符。A teacher's name has a control character.";
    if (name.starts_with("pg_") || name.starts_with(pupilLogin::loginPrefix)
        || name.starts_with("typing_drill"))
        return "这个名字留给服务器或学生用。That name is kept for the server or for pupils.";
    return {};
}

// The pupil of that class with that 学号 (any case): their login, or "" with the fault.
std::string pupilOfClass(PgConnection &db, const std::string &className,
                         const std::string &studentNumber, std::string &fault)
{
    if (!pupilLogin::isStudentNumber(studentNumber)) {
        fault = "学号只能是 1 到 20 个字母或数字。A 学号 is 1 to 20 letters or digits.";
        return {};
    }
    const PgResult found =
        db.exec("SELECT login FROM typing_drill.pupils WHERE class = $1 AND login = $2",
                {className, pupilLogin::loginOf(studentNumber)});
    if (!found.ok())
        fault = found.error();
    else if (found.rows() == 0)
        fault = "班级“" + className + "”没有学号 " + studentNumber
            + "。No pupil of that 学号 in "
              "that class.";
    return found.rows() > 0 ? found.text(0, 0) : std::string();
}

std::string setPassword(PgConnection &db, const std::string &role, const std::string &password,
                        const std::string &statement)
{
    const std::string encrypted = db.encryptedPassword(password, role);
    if (encrypted.empty())
        return "无法加密密码。The password could not be encrypted.";
    std::string error;
    db.run(statement + " PASSWORD " + db.quotedLiteral(encrypted), error);
    return error;
}

std::string decimal(const std::string &value)
{
    const std::string text = formatPattern(std::stod(value), "##.##");
    return text.front() == '.' ? '0' + text : text;
}

// Writes the file through a temporary name, renamed into place once whole.
std::string writeFile(const std::string &folder, const std::string &name, const std::string &text)
{
    const std::string path = folder + "/" + name;
    const std::string temporary = path + ".part";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        out.flush();
        if (!out) {
            std::remove(temporary.c_str());
            return "写不了 Cannot write " + path;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return "写不了 Cannot write " + path;
    }
    return {};
}

} // namespace

std::string init(PgConnection &db)
{
    return inTransaction(
        db, [&] { return classSchema::createOrUpgrade(db); }, false);
}

std::string addTeacher(PgConnection &db, const std::string &name, const std::string &password)
{
    if (std::string problem = teacherNameProblem(name); !problem.empty())
        return problem;
    if (password.empty())
        return "密码不能是空的。The password must not be empty.";
    return inTransaction(db, [&]() -> std::string {
        if (roleExists(db, name))
            return "已经有叫“" + name + "”的登录。A login of that name exists already.";
        // Classes name their teacher's role: a new login of a dropped teacher's name would read
        // those classes.
        if (db.exec("SELECT 1 FROM typing_drill.classes WHERE teacher = $1", {name}).rows() > 0)
            return "还有班级记着老师“" + name
                + "”，请先把班级交给别的老师。Classes still name "
                  "that teacher: give them to another teacher first.";
        return setPassword(db, name, password,
                           "CREATE ROLE " + db.quotedIdentifier(name) + " LOGIN IN ROLE "
                               + std::string(classSchema::teachersRole));
    });
}

std::string addClass(PgConnection &db, const std::string &className, const std::string &teacher)
{
    return inTransaction(db, [&]() -> std::string {
        const PgResult isTeacher =
            db.exec("SELECT 1 FROM pg_auth_members m JOIN pg_roles r ON r.oid = m.member "
                    "JOIN pg_roles g ON g.oid = m.roleid WHERE r.rolname = $1 AND g.rolname = $2",
                    {teacher, std::string(classSchema::teachersRole)});
        if (isTeacher.rows() == 0)
            return "没有叫“" + teacher + "”的老师。No teacher of that name.";
        const PgResult added =
            db.exec("INSERT INTO typing_drill.classes (name, teacher) VALUES ($1, $2) "
                    "ON CONFLICT DO NOTHING",
                    {className, teacher});
        if (!added.ok())
            return added.sqlState() == "23514"
                ? "班级名要有 1 到 40 个字。A class name has 1 to 40 characters."
                : added.error();
        if (added.commandTag() != "INSERT 0 1")
            return "已经有班级“" + className + "”。That class exists already.";
        return std::string();
    });
}

std::string addPupils(PgConnection &db, const std::string &className,
                      const std::vector<RosterRow> &pupils, std::string &cards)
{
    std::string made;
    const std::string fault = inTransaction(db, [&]() -> std::string {
        if (db.exec("SELECT 1 FROM typing_drill.classes WHERE name = $1", {className}).rows() == 0)
            return "没有班级“" + className + "”。No class of that name.";
        std::string taken;
        for (const RosterRow &pupil : pupils) {
            const std::string login = pupilLogin::loginOf(pupil.studentNumber);
            if (roleExists(db, login))
                taken += "第 " + std::to_string(pupil.line) + " 行 line "
                    + std::to_string(pupil.line) + ": 学号 " + pupil.studentNumber
                    + " 已经有了 is taken already\n";
        }
        if (!taken.empty())
            return taken.substr(0, taken.size() - 1);
        for (const RosterRow &pupil : pupils) {
            const std::string login = pupilLogin::loginOf(pupil.studentNumber);
            const std::string pin = pupilLogin::newPin();
            std::string error =
                setPassword(db, login, pin,
                            "CREATE ROLE " + db.quotedIdentifier(login) + " LOGIN IN ROLE "
                                + std::string(classSchema::pupilsRole));
            if (error.empty())
                db.run("INSERT INTO typing_drill.pupils (student_number, name, class, login) "
                       "VALUES ($1, $2, $3, $4)",
                       error, {pupil.studentNumber, pupil.name, className, login});
            if (!error.empty())
                return "第 " + std::to_string(pupil.line) + " 行 line " + std::to_string(pupil.line)
                    + ": " + error;
            made += csvField(pupil.studentNumber) + ',' + csvField(pupil.name) + ','
                + csvField(login) + ',' + pin + "\r\n";
        }
        return std::string();
    });
    if (fault.empty())
        // With a byte order mark, so that a spreadsheet opens the cards' Chinese names as UTF-8.
        cards = "\xEF\xBB\xBF学号,姓名,登录名,PIN\r\n" + made;
    return fault;
}

std::string resetPin(PgConnection &db, const std::string &className,
                     const std::string &studentNumber, std::string &pin)
{
    const std::string newPin = pupilLogin::newPin();
    const std::string fault = inTransaction(db, [&]() -> std::string {
        std::string missing;
        const std::string login = pupilOfClass(db, className, studentNumber, missing);
        if (login.empty())
            return missing;
        return setPassword(db, login, newPin, "ALTER ROLE " + db.quotedIdentifier(login));
    });
    if (fault.empty())
        pin = newPin;
    return fault;
}

std::string removePupil(PgConnection &db, const std::string &className,
                        const std::string &studentNumber)
{
    return inTransaction(db, [&]() -> std::string {
        std::string fault;
        const std::string login = pupilOfClass(db, className, studentNumber, fault);
        if (login.empty())
            return fault;
        // The pupil's runs, their ends and keys go with the pupil (the foreign keys cascade).
        if (!db.run("DELETE FROM typing_drill.pupils WHERE login = $1", fault, {login})
            || !db.run("DROP ROLE " + db.quotedIdentifier(login), fault))
            return fault;
        return std::string();
    });
}

std::string exportClass(PgConnection &db, const std::string &className, const std::string &folder)
{
    struct stat info
    {
    };
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        return "没有这个文件夹 No such folder: " + folder;
    std::string runs = "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid,"
                       "learner,mode\r\n";
    std::string keys = "run,n,letter,key_code,correct,press_ms,release_ms\r\n";
    const std::string fault = inTransaction(db, [&]() -> std::string {
        if (db.exec("SELECT 1 FROM typing_drill.classes WHERE name = $1", {className}).rows() == 0)
            return "没有班级“" + className + "”。No class of that name.";
        const PgResult runRows =
            db.exec("SELECT " + localTimeSql("r.started") + ", "
                        + localTimeSql("coalesce(e.ended, r.started)")
                        + R"sql(, coalesce(e.ended_by, ''), coalesce(e.ticks, 0),
                   count(k.n), count(k.n) FILTER (WHERE k.correct), coalesce(e.speed, 0),
                   r.uuid, p.student_number || ' ' || p.name, r.mode
            FROM typing_drill.runs r
            JOIN typing_drill.pupils p ON p.login = r.login
            LEFT JOIN typing_drill.run_ends e ON e.run = r.uuid
            LEFT JOIN typing_drill.keys k ON k.run = r.uuid
            WHERE p.class = $1
            GROUP BY r.uuid, e.run, p.student_number
            ORDER BY r.started, r.uuid)sql",
                    {className});
        if (!runRows.ok())
            return runRows.error();
        for (int i = 0; i < runRows.rows(); ++i) {
            const long total = std::stol(runRows.text(i, 4));
            const long correct = std::stol(runRows.text(i, 5));
            const double accuracy = total == 0 ? 0 : correct * 100.0 / double(total);
            runs += std::to_string(i + 1) + ',' + runRows.text(i, 0) + ',' + runRows.text(i, 1)
                + ',' + runRows.text(i, 2) + ',' + runRows.text(i, 3) + ',' + std::to_string(total)
                + ',' + std::to_string(correct) + ',' + std::to_string(total - correct) + ','
                + decimal(runRows.text(i, 6)) + ',' + decimal(std::to_string(accuracy)) + ','
                + runRows.text(i, 7) + ',' + csvField(runRows.text(i, 8)) + ',' + runRows.text(i, 9)
                + "\r\n";
        }
        // Each key names its run by the run's line in runs.csv, runs without keys counted too.
        const PgResult keyRows = db.exec(R"sql(
            WITH numbered AS (
                SELECT r.uuid, row_number() OVER (ORDER BY r.started, r.uuid) AS number
                FROM typing_drill.runs r JOIN typing_drill.pupils p ON p.login = r.login
                WHERE p.class = $1)
            SELECT numbered.number, k.n, k.letter, k.key_code,
                   CASE WHEN k.correct THEN 1 ELSE 0 END, k.press_ms, k.release_ms
            FROM typing_drill.keys k JOIN numbered ON numbered.uuid = k.run
            ORDER BY numbered.number, k.n)sql",
                                         {className});
        if (!keyRows.ok())
            return keyRows.error();
        for (int i = 0; i < keyRows.rows(); ++i) {
            for (int column = 0; column < 7; ++column) {
                if (column > 0)
                    keys += ',';
                keys += keyRows.text(i, column);
            }
            keys += "\r\n";
        }
        return std::string();
    });
    if (!fault.empty())
        return fault;
    if (std::string failed = writeFile(folder, "runs.csv", runs); !failed.empty())
        return failed;
    return writeFile(folder, "keys.csv", keys);
}

} // namespace classAdmin

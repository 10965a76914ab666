// typing-drill-class: the school's admin sets up the class server and manages its teachers,
// classes and pupils.
#include "class_admin.h"
#include "class_roster.h"
#include "pg_connection.h"
#include "server_address.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <libpq-fe.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

struct Command
{
    const char *name;
    const char *description;
    // Each "NAME description" of the command's arguments, in order.
    std::vector<std::pair<const char *, const char *>> arguments;
    std::function<std::string(PgConnection &, const QStringList &, const QCommandLineParser &)> run;
};

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(EXIT_FAILURE);
}

// A line of standard input; on a terminal, asked with the prompt and not echoed.
std::string readSecret(const char *prompt)
{
    const bool terminal = isatty(STDIN_FILENO);
    termios saved {};
    if (terminal) {
        std::fprintf(stderr, "%s", prompt);
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::fprintf(stderr, "\n");
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

// Connects as the admin; asks for the password on a terminal when the server wants one that
// libpq did not find (PGPASSWORD, ~/.pgpass, the service file).
std::unique_ptr<PgConnection> connectAsAdmin(const std::string &option)
{
    const std::string server = serverAddress::configured(option);
    if (server.empty())
        fail("没有指定服务器：请用 --server，或定义 libpq 服务 typing-drill。"
             "No server: give --server CONNINFO, or define the libpq service typing-drill.");
    const std::string conninfo = serverAddress::withVerifiedTls(server);
    std::string error;
    if (auto db = PgConnection::open(conninfo, error))
        return db;
    if (isatty(STDIN_FILENO) && error.find("no password supplied") != std::string::npos) {
        const std::string password = readSecret("密码 Password: ");
        char *quoted = PQescapeLiteral(nullptr, password.data(), password.size());
        std::string withPassword = conninfo;
        // A keyword=value string takes a quoted value; a URI gets the password through libpq's
        // environment variable instead of its text.
        if (conninfo.find("://") == std::string::npos && quoted)
            withPassword += " password=" + std::string(quoted);
        else
            setenv("PGPASSWORD", password.c_str(), 1);
        PQfreemem(quoted);
        if (auto db = PgConnection::open(withPassword, error))
            return db;
    }
    fail("连不上服务器 Cannot connect to the server: " + error);
}

bool confirmed(const std::string &question, bool yes)
{
    if (yes)
        return true;
    if (!isatty(STDIN_FILENO))
        fail("要确认请加 --yes。Add --yes to confirm.");
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes";
}

std::string text(const QString &value)
{
    return value.toStdString();
}

std::vector<Command> commands()
{
    return {
        {"init",
         "创建或升级服务器上的表和角色。Creates or upgrades the schema and its roles.",
         {},
         [](PgConnection &db, const QStringList &, const QCommandLineParser &) {
             return classAdmin::init(db);
         }},
        {"add-teacher",
         "添加老师的登录，密码从标准输入读取。Adds a teacher's login; the password is read from "
         "standard input.",
         {{"NAME", "老师的登录名 The teacher's login name"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &) {
             const std::string password = readSecret("老师的密码 The teacher's password: ");
             return classAdmin::addTeacher(db, text(args[0]), password);
         }},
        {"add-class",
         "添加班级。Adds a class taught by the teacher given with --teacher.",
         {{"CLASS", "班级 The class"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &parser) {
             if (!parser.isSet("teacher"))
                 return std::string("请用 --teacher 指定老师。Name the teacher with --teacher.");
             return classAdmin::addClass(db, text(args[0]), text(parser.value("teacher")));
         }},
        {"add-pupils",
         "按名单（学号,姓名）添加学生，打印登录卡（学号,姓名,登录名,PIN）。Adds the pupils of a "
         "roster (学号,姓名) and prints their login cards (学号,姓名,登录名,PIN).",
         {{"CLASS", "班级 The class"}, {"ROSTER.csv", "名单 The roster"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &) {
             const ClassRoster roster = readRoster(text(args[1]));
             std::string faults;
             for (const std::string &fault : roster.faults)
                 faults += (faults.empty() ? "" : "\n") + fault;
             if (!faults.empty())
                 return faults + "\n名单没有导入。Nothing of the roster was added.";
             std::string cards;
             std::string fault = classAdmin::addPupils(db, text(args[0]), roster.rows, cards);
             if (fault.empty())
                 std::fputs(cards.c_str(), stdout);
             else
                 fault += "\n名单没有导入。Nothing of the roster was added.";
             return fault;
         }},
        {"reset-pin",
         "给学生一个新的 PIN。Gives the pupil a new PIN.",
         {{"CLASS", "班级 The class"}, {"学号", "学号 The pupil's number"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &) {
             std::string pin;
             std::string fault = classAdmin::resetPin(db, text(args[0]), text(args[1]), pin);
             if (fault.empty())
                 std::printf("%s\n", pin.c_str());
             return fault;
         }},
        {"remove-pupil",
         "删除学生和他的全部练习记录（要确认）。Removes the pupil with all their runs and keys "
         "(after confirming).",
         {{"CLASS", "班级 The class"}, {"学号", "学号 The pupil's number"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &parser) {
             if (!confirmed("删除学号 " + text(args[1])
                                + " 和他的全部练习记录？Remove the pupil and "
                                  "all their runs?",
                            parser.isSet("yes")))
                 return std::string("没有删除。Nothing was removed.");
             return classAdmin::removePupil(db, text(args[0]), text(args[1]));
         }},
        {"export",
         "把全班的练习记录导出为 runs.csv 和 keys.csv。Exports the whole class's runs and keys as "
         "runs.csv and keys.csv.",
         {{"CLASS", "班级 The class"}, {"DIR", "文件夹 The folder"}},
         [](PgConnection &db, const QStringList &args, const QCommandLineParser &) {
             return classAdmin::exportClass(db, text(args[0]), text(args[1]));
         }},
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("typing-drill-class");
    QCoreApplication::setApplicationVersion(TYPING_DRILL_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription("管理班级服务器：老师、班级和学生。Manages the class server: "
                                     "teachers, classes and pupils.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {"server", "服务器的 libpq 连接串 The server's libpq connection string.", "CONNINFO"});
    parser.addOption({"teacher", "add-class: 班级的老师 The class's teacher.", "NAME"});
    parser.addOption({"yes", "remove-pupil: 不再询问 Do not ask to confirm."});
    QString commandList;
    const std::vector<Command> all = commands();
    for (const Command &command : all)
        commandList += QStringLiteral("\n  %1").arg(command.name, -14) + command.description;
    parser.addPositionalArgument("command", "命令 The command:" + commandList, "COMMAND [ARGS]");

    // Reads the command first, so that "COMMAND --help" shows that command's arguments.
    parser.parse(app.arguments());
    const QStringList given = parser.positionalArguments();
    const Command *command = nullptr;
    for (const Command &candidate : all)
        if (!given.isEmpty() && given[0] == QString::fromUtf8(candidate.name))
            command = &candidate;
    if (command) {
        parser.clearPositionalArguments();
        parser.setApplicationDescription(QString::fromUtf8(command->description));
        parser.addPositionalArgument(command->name, QString(), command->name);
        for (const auto &[name, description] : command->arguments)
            parser.addPositionalArgument(name, description);
    }
    parser.process(app);
    if (!command)
        fail(given.isEmpty() ? "缺少命令，见 --help。A command is needed: see --help."
                             : "不认识的命令 Unknown command: " + text(given[0]));
    const QStringList arguments = parser.positionalArguments().mid(1);
    if (arguments.size() != qsizetype(command->arguments.size()))
        fail("参数不对，见 " + std::string(command->name) + " --help。Wrong arguments: see "
             + command->name + " --help.");

    auto db = connectAsAdmin(text(parser.value("server")));
    if (const std::string fault = command->run(*db, arguments, parser); !fault.empty())
        fail(fault);
    return EXIT_SUCCESS;
}

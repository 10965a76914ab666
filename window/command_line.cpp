#include "command_line.h"

#include "learner_name.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void printVersion()
{
    const QString text = QCoreApplication::applicationName() + ' '
        + QCoreApplication::applicationVersion() + QStringLiteral(R"(
Copyright (C) 2026 青禾小组
License GPL-3.0-or-later <https://www.gnu.org/licenses/gpl-3.0.html>.
This is free software: you are free to change and redistribute it.
There is NO WARRANTY, to the extent permitted by law.
)");
    std::fputs(text.toLocal8Bit().constData(), stdout);
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    std::exit(EXIT_FAILURE);
}

// The options QGuiApplication, QApplication and the xcb platform take out of argv before the
// program sees it, each with a value or without one as Qt reads it. A session manager restores
// the program with "-session ID", so every one of them must pass here unharmed.
void addQtOptions(QCommandLineParser &parser)
{
    // QGuiApplication's, QApplication's ("-style=fusion" as well as "-style fusion"), the xcb
    // platform's X11 names, and the Windows platform's, harmless elsewhere.
    const QString withValue = QStringLiteral(
        "platform platformpluginpath platformtheme plugin qwindowgeometry qwindowicon qwindowtitle"
        " session smkey style stylesheet qmljsdebugger display geometry title icon name visual"
        " dialogs fontengine");
    const QString withoutValue =
        QStringLiteral("reverse widgetcount testability nograb dograb sync");
    const auto add = [&parser](const QString &name, bool takesValue) {
        QCommandLineOption option(name, QString());
        if (takesValue)
            option.setValueName(QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    };
    for (const QString &name : withValue.split(' '))
        add(name, true);
    for (const QString &name : withoutValue.split(' '))
        add(name, false);
}

} // namespace

CommandLine parseCommandLine(int argc, char *argv[])
{
    // Started from the desktop's menu: nothing to read, and start-up is not kept waiting for it.
    if (argc <= 1)
        return {};
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "青禾打字软件：大写字母打字练习。A typing drill for the 26 capital letters."));
    // "-platform xcb" is one of Qt's options, not seven short ones.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    const QCommandLineOption version({"v", "version"},
                                     QStringLiteral("显示版本。Displays version information."));
    const QCommandLineOption historyFile(
        "history-file", QStringLiteral("使用此练习记录文件。Use this history database."),
        QStringLiteral("path"));
    const QCommandLineOption noHistory(
        "no-history", QStringLiteral("不记录练习。Record nothing of this practice."));
    const QCommandLineOption exportCsv(
        "export-csv",
        QStringLiteral("把练习记录写入 DIR/runs.csv 和 DIR/keys.csv 后退出。Write the history to "
                       "DIR/runs.csv and DIR/keys.csv, then exit."),
        QStringLiteral("DIR"));
    const QCommandLineOption importCsv(
        "import-csv",
        QStringLiteral(
            "把 DIR 中的 CSV 文件并入练习记录后退出。Merge the CSV files in DIR into the "
            "history, then exit."),
        QStringLiteral("DIR"));
    const QCommandLineOption progress(
        "progress", QStringLiteral("打开练习记录窗口。Open the progress window."));
    const QCommandLineOption learner(
        "learner",
        QStringLiteral("以此学员练习，没有就添加。Practise as this learner, added if new."),
        QStringLiteral("NAME"));
    const QCommandLineOption practice(
        "practice", QStringLiteral("weak：练薄弱字母。weak: practise the learner's weak letters."),
        QStringLiteral("MODE"));
    const QCommandLineOption server(
        "server",
        QStringLiteral(
            "把练习送到这个班级服务器（libpq 连接串）。Send the runs to this class server "
            "(a libpq connection string)."),
        QStringLiteral("CONNINFO"));
    const QCommandLineOption pupil(
        "pupil",
        QStringLiteral("以这个学号登录班级服务器。Log in to the class server as this 学号."),
        QStringLiteral("学号"));
    parser.addOptions({version, historyFile, noHistory, exportCsv, importCsv, progress, learner,
                       practice, server, pupil});
    addQtOptions(parser);

    if (!parser.parse(arguments)) {
        // As QCommandLineParser::process() words it, without needing an application object.
        fail(QCoreApplication::applicationName() + QStringLiteral(": ") + parser.errorText());
    }
    if (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"))) {
        // The help text names the program as it was called, which it learns from the application.
        QCoreApplication application(argc, argv);
        parser.process(application);
    }
    if (parser.isSet(version)) {
        printVersion();
        std::exit(EXIT_SUCCESS);
    }
    if (!parser.positionalArguments().isEmpty())
        fail(QCoreApplication::applicationName()
             + QStringLiteral(": Unexpected argument '%1'.")
                   .arg(parser.positionalArguments().first()));

    CommandLine command;
    if (parser.isSet(learner)) {
        QString problem;
        command.learner = learnerName::normalized(parser.value(learner), &problem);
        if (command.learner.isEmpty())
            fail(QCoreApplication::applicationName()
                 + QStringLiteral(": 学员名字无效。Bad learner name: ") + problem);
    }
    if (parser.isSet(practice)) {
        const QString mode = parser.value(practice);
        if (mode != QStringLiteral("weak") && mode != QStringLiteral("random"))
            fail(QCoreApplication::applicationName()
                 + QStringLiteral(": --practice takes weak or random, not '%1'.").arg(mode));
        command.weakLetters = mode == QStringLiteral("weak");
    }
    command.server = parser.value(server);
    command.pupil = parser.value(pupil);
    if (parser.isSet(pupil)) {
        const bool studentNumber = !command.pupil.isEmpty() && command.pupil.size() <= 20
            && std::all_of(command.pupil.begin(), command.pupil.end(),
                           [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); });
        if (!studentNumber)
            fail(QCoreApplication::applicationName()
                 + QStringLiteral(": 学号只能是 1 到 20 个字母或数字。A 学号 is 1 to 20 letters or "
                                  "digits: '%1'.")
                       .arg(command.pupil));
        if (parser.isSet(learner))
            fail(
                QCoreApplication::applicationName()
                + QStringLiteral(": --pupil 和 --learner 只能用一个。--pupil and --learner exclude "
                                 "each other."));
    }
    command.historyFile = parser.value(historyFile);
    command.noHistory = parser.isSet(noHistory);
    const int actions =
        int(parser.isSet(exportCsv)) + int(parser.isSet(importCsv)) + int(parser.isSet(progress));
    if (actions > 1)
        fail(QCoreApplication::applicationName()
             + QStringLiteral(
                 ": Options --export-csv, --import-csv and --progress exclude each other."));
    if (parser.isSet(exportCsv)) {
        command.action = CommandLine::Action::ExportCsv;
        command.folder = parser.value(exportCsv);
    } else if (parser.isSet(importCsv)) {
        command.action = CommandLine::Action::ImportCsv;
        command.folder = parser.value(importCsv);
    } else if (parser.isSet(progress)) {
        command.action = CommandLine::Action::Progress;
    }
    return command;
}

#include "application_info.h"
#include "history_location.h"
#include "progress_window.h"
#include "server_address.h"
#include "server_session.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // The drill's name, so that the default history is the drill's own file.
    QApplication::setApplicationName(applicationInfo::name);
    QApplication::setApplicationVersion(applicationInfo::version);
    QGuiApplication::setDesktopFileName(applicationInfo::desktopFileName);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("练习记录 — 青禾打字软件"));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption historyFile(
        "history-file",
        QStringLiteral("The history database to show (default: %1).").arg(defaultHistoryPath()),
        "PATH", defaultHistoryPath());
    parser.addOption(historyFile);
    const QCommandLineOption learner(
        "learner", QStringLiteral("The learner who practises now: shown first and selected."),
        "NAME");
    parser.addOption(learner);
    const QCommandLineOption server(
        "server",
        QStringLiteral("Show the class server's figures: a teacher's classes or a pupil's own "
                       "runs, logged in as the user of the libpq connection string."),
        "CONNINFO");
    parser.addOption(server);
    const QCommandLineOption classServer(
        "class",
        QStringLiteral("As --server, on the school's server of the libpq service %1.")
            .arg(serverAddress::serviceName));
    parser.addOption(classServer);
    parser.process(app);

    if (parser.isSet(server) || parser.isSet(classServer)) {
        const std::string conninfo = serverAddress::configured(parser.value(server).toStdString());
        if (conninfo.empty()) {
            std::fprintf(stderr,
                         "typing-drill-progress: no class server: give --server or define the "
                         "libpq service %s.\n",
                         serverAddress::serviceName);
            return 1;
        }
        ServerSession session(QString::fromStdString(conninfo));
        session.start();
        return QApplication::exec();
    }

    ProgressWindow window(parser.value(historyFile), parser.value(learner));
    window.show();
    return QApplication::exec();
}

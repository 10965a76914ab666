#include "application_info.h"
#include "history_location.h"
#include "progress_window.h"

#include <QApplication>
#include <QCommandLineParser>

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
    parser.process(app);

    ProgressWindow window(parser.value(historyFile), parser.value(learner));
    window.show();
    return QApplication::exec();
}

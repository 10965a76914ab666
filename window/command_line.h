#pragma once

#include <QString>

// What the program's command line asks for.
struct CommandLine
{
    enum class Action { Drill, ExportCsv, ImportCsv, Progress };

    Action action = Action::Drill;
    // The history database; empty for the user's own.
    QString historyFile;
    bool noHistory = false;
    // Where the CSV files of an export or import are.
    QString folder;
    // Who practises (learnerName::normalized); empty to ask, or for the only learner.
    QString learner;
    // The letters go for the learner's weak ones (练薄弱字母) instead of the fixed sequence.
    bool weakLetters = false;
    // The class server's libpq connection string; empty for the service typing-drill, if any.
    QString server;
    // The pupil's 学号 on the class server; empty to ask when a server is configured.
    QString pupil;
};

// Reads the program's arguments. Help, the version and faulty arguments are answered here, on
// standard output or error, and end the program (status 0, or 1 for a fault). Qt's own window
// options (-platform, -display, -session ID, ...) are accepted and left to the application.
CommandLine parseCommandLine(int argc, char *argv[]);

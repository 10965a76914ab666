#include "application_info.h"
#include "class_client.h"
#include "class_connection.h"
#include "command_line.h"
#include "detectable_auto_repeat.h"
#include "form1.h"
#include "history_csv.h"
#include "history_location.h"
#include "history_recorder.h"
#include "lazy_sound_cues.h"
#include "letter_choice.h"
#include "practice_learner.h"
#include "pupil_login_window.h"

#include <QApplication>
#include <QFile>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <unistd.h>

namespace {

std::string localPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// The export's and the import's answer: the summary on standard output, or what failed on
// standard error and status 1.
int reportOutcome(const char *failed, const std::string &reason, const std::string &summary = {})
{
    if (!reason.empty()) {
        std::fprintf(stderr, "typing-drill: %s%s\n", failed, reason.c_str());
        return 1;
    }
    if (!summary.empty())
        std::printf("%s\n", summary.c_str());
    return 0;
}

// The progress window is a program of its own beside this one, so that the drill never loads
// the chart library.
int openProgressWindow(const std::string &historyPath, const std::string &learner)
{
    std::error_code unreadable;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", unreadable);
    const std::string program = (self.parent_path() / "typing-drill-progress").string();
    const char *arguments[] = {program.c_str(),     "--history-file",
                               historyPath.c_str(), learner.empty() ? nullptr : "--learner",
                               learner.c_str(),     nullptr};
    execv(program.c_str(), const_cast<char *const *>(arguments));
    std::perror(program.c_str());
    return 1;
}

// The pupil of a class server, once logged in (or practising while the server is away).
struct ClassPupil
{
    std::unique_ptr<ClassClient> client;
    std::string server;
    QString studentNumber;
    QString pin;
};

void sayOnStandardError(const std::string &message)
{
    std::fprintf(stderr, "typing-drill: %s\n", message.c_str());
}

// With a class server configured, the pupil logs in before the drill opens: gives false when the
// login window was closed, or a server was asked for and cannot be used (then `status` is 1).
bool logInToClassServer(const CommandLine &command, const std::string &historyPath,
                        ClassPupil &pupil, int &status)
{
    status = 0;
    const std::string option = command.server.toStdString();
    if (!classConnection::mayBeConfigured(option)) {
        if (command.pupil.isEmpty())
            return true;
        sayOnStandardError("没有班级服务器：请用 --server。No class server: give --server.");
        status = 1;
        return false;
    }
    std::string error;
    pupil.client = classConnection::load(error);
    if (pupil.client)
        pupil.server = pupil.client->configuredServer(option);
    if (pupil.server.empty()) {
        const bool asked = !option.empty() || !command.pupil.isEmpty();
        if (asked || !error.empty())
            sayOnStandardError(error.empty()
                                   ? "没有班级服务器。No class server is configured."
                                   : "班级服务器用不了 The class server cannot be used: " + error);
        pupil.client.reset();
        status = asked ? 1 : 0;
        return !asked;
    }
    ClassClient *client = pupil.client.get();
    const std::string server = pupil.server;
    PupilLoginWindow login(
        [client, server, historyPath](const QString &studentNumber, const QString &pin) {
            std::string message;
            const PupilCheck check = client->logIn(server, studentNumber.toStdString(),
                                                   pin.toStdString(), historyPath, message);
            if (!message.empty())
                sayOnStandardError(message);
            return check == PupilCheck::Accepted ? PupilLoginWindow::Check::Accepted
                : check == PupilCheck::WrongPin  ? PupilLoginWindow::Check::WrongPin
                                                 : PupilLoginWindow::Check::ServerAway;
        },
        command.pupil);
    if (login.exec() != QDialog::Accepted)
        return false;
    pupil.studentNumber = login.studentNumber();
    pupil.pin = login.pin();
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(applicationInfo::name);
    QCoreApplication::setApplicationVersion(applicationInfo::version);
    const CommandLine command = parseCommandLine(argc, argv);
    const std::string historyPath =
        localPath(command.historyFile.isEmpty() ? defaultHistoryPath() : command.historyFile);
    switch (command.action) {
    case CommandLine::Action::ExportCsv:
        return reportOutcome("导出失败。Export failed: ",
                             exportHistoryCsv(historyPath, localPath(command.folder)));
    case CommandLine::Action::ImportCsv: {
        std::string summary;
        const std::string reason = importHistoryCsv(historyPath, localPath(command.folder),
                                                    &summary, command.learner.toStdString());
        return reportOutcome(
            "导入失败，未导入任何内容。Import failed; nothing was imported: ", reason, summary);
    }
    case CommandLine::Action::Progress:
        return openProgressWindow(historyPath, command.learner.toStdString());
    case CommandLine::Action::Drill:
        break;
    }

    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(applicationInfo::desktopFileName);
    requestDetectableAutoRepeat();

    // A pupil's runs go to the class server from the history: without one, none is used.
    ClassPupil pupil;
    if (!command.noHistory) {
        int status = 0;
        if (!logInToClassServer(command, historyPath, pupil, status))
            return status;
    }

    // Without a history there is no learner to name, and the weak letters are nobody's yet.
    PracticeLearner learner;
    if (!command.noHistory) {
        learner = choosePracticeLearner(historyPath,
                                        pupil.client ? pupil.studentNumber : command.learner);
        if (learner.cancelled)
            return 0;
    }
    Form1Practice practice;
    if (learner.oneOfSeveral)
        practice.titleSuffix = QStringLiteral(" \u2014 ") + learner.name;
    std::unique_ptr<LetterChoice> weakLetters;
    if (command.weakLetters) {
        weakLetters =
            weakLetterChoiceFor(command.noHistory ? std::string() : historyPath, learner.name);
        practice.letterChoice = weakLetters.get();
        practice.titleSuffix += QStringLiteral(" \u2014 薄弱字母");
    }

    std::unique_ptr<HistoryRecorder> history;
    if (!command.noHistory) {
        // A full file-size limit must fail the write, not end the drill.
        std::signal(SIGXFSZ, SIG_IGN);
        HistoryRecorderOptions options;
        options.path = historyPath;
        options.learner = learner.name.toStdString();
        options.mode = command.weakLetters ? "weak" : "random";
        history = std::make_unique<HistoryRecorder>(options);
    }
    std::unique_ptr<RunSending> sending;
    if (history && pupil.client) {
        RunSenderOptions options;
        options.historyPath = historyPath;
        options.learner = learner.name.toStdString();
        options.conninfo = pupil.server;
        options.interval = std::chrono::seconds(1);
        options.report = sayOnStandardError;
        sending = pupil.client->startSending(options, pupil.studentNumber.toStdString(),
                                             pupil.pin.toStdString());
    }
    // The cues outlive the window that plays them; their end stops any sound still playing.
    LazySoundCues cues;
    Form1 form([&cues](Verdict verdict) { cues.playCue(verdict); }, [&cues] { cues.prepare(); },
               history.get(), practice);
    const int status = QApplication::exec();
    if (history)
        history->finish();
    // The run's end, just written, goes to the server now; a server away is not waited for.
    if (sending)
        sending->finish(std::chrono::seconds(1));
    return status;
}

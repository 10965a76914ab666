#pragma once

#include "run_sender.h"

#include <chrono>
#include <memory>
#include <string>

// What a pupil's login found.
enum class PupilCheck {
    Accepted,
    // The server refused the 学号 and PIN.
    WrongPin,
    // The server did not answer: the pupil practises, and the PIN is checked when it does.
    ServerAway,
};

// The class server as the drill uses it. The drill holds no libpq of its own: this comes from
// the class module, loaded only when a server is configured (classClientFromModule()).
class ClassClient
{
public:
    virtual ~ClassClient() = default;

    // The server given with --server, else the libpq service typing-drill when it is defined;
    // empty: no server. Quick: reads files only.
    virtual std::string configuredServer(const std::string &option) = 0;

    // Logs the pupil in and copies their ended runs from the server into the local history,
    // under the learner named by the 学号. Waits for the network: never on the GUI thread.
    // `message` gets a line for standard error when something went wrong beside the outcome.
    virtual PupilCheck logIn(const std::string &server, const std::string &studentNumber,
                             const std::string &pin, const std::string &historyPath,
                             std::string &message) = 0;

    // Starts sending the pupil's runs from the local history (RunSender); the options' login is
    // made from the 学号 and PIN.
    virtual std::unique_ptr<RunSending> startSending(RunSenderOptions options,
                                                     const std::string &studentNumber,
                                                     const std::string &pin) = 0;
};

// The class module's one exported function, looked up by this name.
extern "C" {
using MakeClassClient = ClassClient *(*)();
}
inline constexpr const char *makeClassClientSymbol = "typing_drill_make_class_client";

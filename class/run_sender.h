#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Where a pupil's runs come from and go to.
struct RunSenderOptions
{
    // The local history the drill records into.
    std::string historyPath;
    // The pupil's learner in that history (a normalized name).
    std::string learner;
    // The class server as the pupil logs in to it: a libpq connection string with the pupil's
    // login and PIN.
    std::string conninfo;
    // How often the history is looked at for runs and keys the server lacks.
    std::chrono::milliseconds interval = std::chrono::seconds(2);
    // Takes a one-line message whenever sending changes state (the server went away, came back,
    // refused the PIN). Called on the sender's own thread, never after finish() has returned
    // (then standard error takes the message).
    std::function<void(const std::string &)> report;
};

// What became of the sender's latest attempt.
enum class SendState {
    // Nothing tried yet.
    Waiting,
    // The server holds every run and key of the learner's history.
    UpToDate,
    // The server could not be reached; trying again at the next interval.
    ServerAway,
    // The server refused the login (a wrong PIN): nothing is sent any more.
    Refused,
};

// Sends one pupil's runs, their ends and their keys from the local history to the class server,
// on a thread of its own: the drill never waits for it. What the server holds is asked once per
// connection, and from then on only what is missing is sent, each run's new keys and its end in
// one transaction; the server keeps each row once (by the run's identity and the key's number),
// so a transaction lost with the connection, or a drill killed at any moment, is simply sent
// again.
class RunSender
{
public:
    explicit RunSender(RunSenderOptions options);
    // Stops the thread, waiting for it no longer than finish() would.
    ~RunSender();
    RunSender(const RunSender &) = delete;
    RunSender &operator=(const RunSender &) = delete;

    // Looks at the history now rather than at the next interval (a run ended).
    void sendSoon();
    // One last look at the history, waiting at most `limit` for it; gives whether the server then
    // held everything. The thread is stopped either way.
    bool finish(std::chrono::milliseconds limit = std::chrono::seconds(1));

    SendState state() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

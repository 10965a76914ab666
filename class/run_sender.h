#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// Where a pupil's runs come from and go to.
struct RunSenderOptions
{
    // The local history the drill records into.
    std::string historyPath;
    // The pupil's learner in that history (a normalized name).
    std::string learner;
    // The class server: a libpq connection string, reached with verified TLS when it names a
    // host over the network (serverAddress::withVerifiedTls).
    std::string conninfo;
    // libpq parameters over the connection string's: the pupil's login and PIN
    // (pupilAccess::loginParameters).
    std::vector<std::pair<std::string, std::string>> login;
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

// What the drill holds of a sender that the class module made: it calls through this, never into
// the module's code by name.
class RunSending
{
public:
    virtual ~RunSending() = default;
    // Looks at the history now rather than at the next interval (a run ended).
    virtual void sendSoon() = 0;
    // One last look at the history, waiting at most `limit` for it; gives whether the server then
    // held everything. The sending is stopped either way.
    virtual bool finish(std::chrono::milliseconds limit) = 0;
};

// Sends one pupil's runs, their ends and their keys from the local history to the class server,
// on a thread of its own: the drill never waits for it. What the server holds is asked once per
// connection, and from then on only what is missing is sent, each run's new keys and its end in
// one transaction; the server keeps each row once (by the run's identity and the key's number),
// so a transaction lost with the connection, or a drill killed at any moment, is simply sent
// again.
class RunSender final : public RunSending
{
public:
    explicit RunSender(RunSenderOptions options);
    // Stops the thread, waiting for it no longer than finish() would.
    ~RunSender() override;
    RunSender(const RunSender &) = delete;
    RunSender &operator=(const RunSender &) = delete;

    void sendSoon() override;
    bool finish(std::chrono::milliseconds limit = std::chrono::seconds(1)) override;

    SendState state() const;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

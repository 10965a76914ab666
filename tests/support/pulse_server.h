#pragma once

#include "child_process.h"

#include <chrono>
#include <string>

// A private PulseAudio daemon with one null sink, for tests and benchmarks. It lives in a
// temporary folder of its own, never autospawns, and is started and stopped by its process id.
// Not started, it stands for "no audio server": clients pointed at it find nobody there.
class PulseServer
{
public:
    // Makes the private folder; no daemon runs yet.
    PulseServer();
    // Stops the daemon and removes the folder.
    ~PulseServer();
    PulseServer(const PulseServer &) = delete;
    PulseServer &operator=(const PulseServer &) = delete;

    // Starts the daemon and returns once its socket accepts connections (false on timeout).
    // May be called again after stop() or kill(); clients find it at the same address.
    bool start(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Has the daemon, at its next start, suspend the sink when nothing has played or recorded
    // for the given time, as a desktop's daemon does (after 5 s there): a suspended sink costs
    // the server nothing.
    void suspendIdleSinkAfter(std::chrono::seconds idle) { m_suspendAfter = idle; }
    // Ends the daemon with SIGTERM (SIGKILL if it lingers).
    void stop();
    // Ends the daemon at once with SIGKILL, as a crash would.
    void kill();
    // Stops and resumes the daemon (SIGSTOP, SIGCONT): it keeps its socket but answers nobody.
    void freeze();
    void thaw();
    bool isRunning() const { return m_pid > 0; }
    pid_t pid() const { return m_pid; }

    // "unix:FOLDER/native", the value of PULSE_SERVER for clients.
    std::string address() const;
    // The null sink's monitor source, for recording what is played.
    std::string monitorSource() const { return "cues.monitor"; }
    // PULSE_SERVER, PULSE_CLIENTCONFIG (autospawn and shared memory off) and friends, for
    // child processes.
    EnvironmentChanges clientEnvironment() const;
    // Points this process's own PulseAudio clients at this server (sets the variables above).
    void useInThisProcess() const;
    // The folder holding the socket, the client configuration and the daemon's log.
    const std::string &folder() const { return m_folder; }

private:
    std::string m_folder;
    pid_t m_pid = -1;
    std::chrono::seconds m_suspendAfter {0};
};

#pragma once

#include "practice_log.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

// Where and how often the history is written.
struct HistoryRecorderOptions
{
    std::string path;
    // Keys wait at most this long before they are written.
    std::chrono::milliseconds writeInterval = std::chrono::seconds(2);
    // How long a write waits for another process's lock before it is tried again later.
    std::chrono::milliseconds busyTimeout = std::chrono::seconds(2);
    // Keys kept in memory while the file cannot be written; later keys are not recorded.
    std::size_t maxQueuedKeys = 200000;
    // Whose runs these are (a learner's normalized name); empty for the history's first learner.
    std::string learner;
    // How the drill chooses its letters: "random" or "weak".
    std::string mode = "random";
    // Takes each fault's one-line message; standard error when empty, and once finish() has
    // returned without waiting for the last write.
    std::function<void(const std::string &)> report;
};

// Records every practice run and judged key in the history database. The window's calls only
// queue what happened; a worker thread opens the database and writes the queue in one
// transaction at least every writeInterval while keys come, at each restart and at exit. A fault
// of the file is reported once and never reaches the drill.
class HistoryRecorder final : public PracticeLog
{
public:
    explicit HistoryRecorder(HistoryRecorderOptions options);
    // Finishes with the default limit if finish() was not called.
    ~HistoryRecorder() override;
    HistoryRecorder(const HistoryRecorder &) = delete;
    HistoryRecorder &operator=(const HistoryRecorder &) = delete;

    void runStarted() override;
    void keyJudged(const JudgedKey &key, const TypingDrill &drill) override;
    void runEnded(RunEnd end, const TypingDrill &drill) override;

    // Writes what is queued and stops the worker, waiting at most `limit`; what is still unwritten
    // then is given up with a message. Gives whether everything was written.
    bool finish(std::chrono::milliseconds limit = std::chrono::milliseconds(100));

private:
    struct Shared;
    struct Run;

    void queueRun(const Run &run, bool urgent);

    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<Run> m_run;
    std::thread m_worker;
    std::uint64_t m_nextSerial = 1;
};

#include "history_recorder.h"

#include "history_store.h"
#include "history_time.h"
#include "process_identity.h"
#include "run_identity.h"
#include "statistics_text.h"

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

using Clock = std::chrono::steady_clock;
using WallClock = std::chrono::system_clock;

namespace {

constexpr std::size_t keysWrittenAtOnce = 256;

// A run as last seen by the window, waiting to be written.
struct RunSnapshot
{
    std::uint64_t serial = 0;
    std::string uuid;
    WallClock::time_point started;
    WallClock::time_point ended;
    const char *endedBy = "";
    RunFigures figures;
};

struct QueuedKey
{
    std::uint64_t serial = 0;
    KeyRow row;
};

} // namespace

struct HistoryRecorder::Shared
{
    explicit Shared(HistoryRecorderOptions recorderOptions)
        : options(std::move(recorderOptions))
    {
    }

    void report(HistoryFault fault, const std::string &detail = {});
    void work();
    std::unique_ptr<HistoryStore> openStore();
    bool writeBatch(HistoryStore &store);
    // Reports a fault once, and keeps the queue for later or, for a lasting fault, drops it.
    // Called with the mutex held.
    void noteFault(HistoryFault fault, const std::string &detail);

    const HistoryRecorderOptions options;
    // The worker's own, learnt off the window's thread.
    std::string owner;
    std::atomic<bool> abandon {false};

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable done;
    // Guarded by mutex:
    std::map<std::uint64_t, RunSnapshot> runs;
    std::vector<QueuedKey> keys;
    std::optional<Clock::time_point> oldestKey;
    bool urgent = false;
    bool finishing = false;
    bool stopped = false;
    bool everythingWritten = false;
    bool off = false;
    // Keys taken from the queue by the write under way.
    std::size_t keysInFlight = 0;
    bool queueFullReported = false;
    HistoryFault lastReported = HistoryFault::None;

    // The worker's own: database ids of the runs it stored, by serial; 0 for a run deleted from
    // the history while it went on, which stays deleted.
    std::map<std::uint64_t, std::int64_t> ids;
    // The worker's own: the learner's id once a write found it, so that a rename meanwhile (in
    // the progress window) keeps the runs that follow with the same learner.
    std::int64_t learnerId = 0;
};

struct HistoryRecorder::Run
{
    RunSnapshot snapshot;
    Clock::time_point startedAt;
};

void HistoryRecorder::Shared::report(HistoryFault fault, const std::string &detail)
{
    const std::string message = faultMessage(fault, options.path, detail);
    // Once finish() has given up on the worker, whoever took the messages may be gone. The worker
    // reports with the mutex held, and finish() gives up with it held.
    if (options.report && !abandon)
        options.report(message);
    else
        std::fprintf(stderr, "%s\n", message.c_str());
}

std::unique_ptr<HistoryStore> HistoryRecorder::Shared::openStore()
{
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(options.path, fault, {options.busyTimeout, &abandon, false});
    if (store) {
        store->endAbandonedRuns();
        return store;
    }
    std::lock_guard guard(mutex);
    noteFault(fault, {});
    return nullptr;
}

void HistoryRecorder::Shared::noteFault(HistoryFault fault, const std::string &detail)
{
    if (fault != lastReported)
        report(fault, detail);
    lastReported = fault;
    urgent = false;
    if (isLasting(fault)) {
        off = true;
        runs.clear();
        keys.clear();
        oldestKey.reset();
    } else if (!runs.empty() || !keys.empty()) {
        oldestKey = Clock::now();
    }
}

void HistoryRecorder::Shared::work()
{
    owner = processIdentity();
    // Opened at once, off the window's thread, so that the first write finds it ready.
    std::unique_ptr<HistoryStore> store = openStore();
    std::unique_lock lock(mutex);
    for (;;) {
        const auto due = [&] {
            return finishing || urgent
                || (oldestKey && Clock::now() >= *oldestKey + options.writeInterval);
        };
        if (!due()) {
            if (oldestKey)
                wake.wait_until(lock, *oldestKey + options.writeInterval);
            else
                wake.wait(lock);
            continue;
        }
        const bool last = finishing;
        bool written = true;
        if (!off && (!runs.empty() || !keys.empty())) {
            lock.unlock();
            if (!store)
                store = openStore();
            written = store && writeBatch(*store);
            lock.lock();
        }
        if (last && (written || off || abandon)) {
            everythingWritten = written && !off;
            if (store && everythingWritten) {
                // The file alone then holds the whole history, for whoever copies it.
                lock.unlock();
                store->checkpoint();
                store.reset();
                lock.lock();
            }
            stopped = true;
            done.notify_all();
            return;
        }
        // At exit a failed write is tried again until finish() gives up.
        if (last)
            wake.wait_for(lock, std::chrono::milliseconds(5), [&] { return abandon.load(); });
    }
}

bool HistoryRecorder::Shared::writeBatch(HistoryStore &store)
{
    std::map<std::uint64_t, RunSnapshot> takenRuns;
    std::vector<QueuedKey> takenKeys;
    {
        std::lock_guard guard(mutex);
        takenRuns.swap(runs);
        takenKeys.swap(keys);
        keysInFlight = takenKeys.size();
        oldestKey.reset();
        urgent = false;
    }

    std::vector<RunRow> rows;
    std::map<std::uint64_t, std::size_t> rowOf;
    for (const auto &[serial, run] : takenRuns) {
        const auto id = ids.find(serial);
        if (id != ids.end() && id->second == 0)
            continue;
        rowOf[serial] = rows.size();
        const bool goesOn = *run.endedBy == '\0';
        rows.push_back({id == ids.end() ? 0 : id->second, run.uuid, localTimestamp(run.started),
                        localTimestamp(run.ended), run.endedBy, run.figures,
                        goesOn ? owner : std::string(), options.learner, learnerId, options.mode});
    }
    std::vector<KeyRow> keyRows;
    keyRows.reserve(takenKeys.size());
    for (QueuedKey &key : takenKeys) {
        const auto row = rowOf.find(key.serial);
        if (row == rowOf.end())
            continue;
        key.row.run = row->second;
        keyRows.push_back(key.row);
    }

    const int learnersBefore = store.learnersAdded();
    const HistoryFault fault = store.write(rows, keyRows);
    std::lock_guard guard(mutex);
    keysInFlight = 0;
    if (fault == HistoryFault::None) {
        // A learner added once this drill had found theirs was removed meanwhile (in the
        // progress window); the learner of a new history, or a new name, is added at the first.
        if (learnerId != 0 && store.learnersAdded() != learnersBefore)
            report(HistoryFault::LearnerRecreated, options.learner);
        if (!rows.empty())
            learnerId = rows.front().learnerId;
        for (const auto &[serial, row] : rowOf)
            ids[serial] = rows[row].id;
        lastReported = HistoryFault::None;
        return true;
    }
    // Tried again later: what came meanwhile is newer for its run, and follows the taken keys.
    runs.merge(takenRuns);
    takenKeys.insert(takenKeys.end(), keys.begin(), keys.end());
    keys.swap(takenKeys);
    noteFault(fault, store.lastError());
    return false;
}

HistoryRecorder::HistoryRecorder(HistoryRecorderOptions options)
    : m_shared(std::make_shared<Shared>(std::move(options)))
    , m_worker([shared = m_shared] { shared->work(); })
{
}

HistoryRecorder::~HistoryRecorder()
{
    finish();
}

void HistoryRecorder::runStarted()
{
    m_run = std::make_unique<Run>();
    m_run->snapshot.serial = m_nextSerial++;
    m_run->snapshot.uuid = newRunUuid();
    m_run->snapshot.started = WallClock::now();
    m_run->snapshot.ended = m_run->snapshot.started;
    m_run->startedAt = Clock::now();
}

void HistoryRecorder::keyJudged(const JudgedKey &key, const TypingDrill &drill)
{
    if (!m_run)
        return;
    RunSnapshot &run = m_run->snapshot;
    run.ended = WallClock::now();
    run.figures = {drill.tickN(),  drill.zongshuN(),      drill.zhengqueN(),
                   drill.cuowuN(), speedPerMinute(drill), correctShare(drill) * 100};

    std::lock_guard guard(m_shared->mutex);
    if (m_shared->off)
        return;
    if (m_shared->keys.size() >= m_shared->options.maxQueuedKeys) {
        if (!std::exchange(m_shared->queueFullReported, true))
            m_shared->report(HistoryFault::QueueFull);
        return;
    }
    m_shared->keys.push_back({run.serial,
                              {0, run.figures.total, key.letter, key.keyCode,
                               key.verdict == Verdict::Correct, key.pressMs, key.releaseMs}});
    m_shared->runs[run.serial] = run;
    if (!m_shared->oldestKey) {
        m_shared->oldestKey = Clock::now();
        m_shared->wake.notify_one();
    } else if (m_shared->keys.size() == keysWrittenAtOnce) {
        // Faster than anyone types (a key repeater, a test): written sooner, so that the queue
        // stays small and leaves no large holes in the program's memory.
        m_shared->urgent = true;
        m_shared->wake.notify_one();
    }
}

void HistoryRecorder::runEnded(RunEnd end, const TypingDrill &drill)
{
    if (!m_run)
        return;
    const auto run = std::move(m_run);
    // A run without a key is kept for the time it shows, unless it was only a moment.
    if (run->snapshot.figures.total == 0 && Clock::now() - run->startedAt < std::chrono::seconds(1))
        return;
    RunSnapshot &snapshot = run->snapshot;
    snapshot.ended = WallClock::now();
    snapshot.endedBy = end == RunEnd::Restart ? "restart" : "exit";
    snapshot.figures.ticks = drill.tickN();

    std::lock_guard guard(m_shared->mutex);
    if (m_shared->off)
        return;
    m_shared->runs[snapshot.serial] = snapshot;
    m_shared->urgent = true;
    m_shared->wake.notify_one();
}

bool HistoryRecorder::finish(std::chrono::milliseconds limit)
{
    if (!m_worker.joinable())
        return false;
    std::unique_lock lock(m_shared->mutex);
    m_shared->finishing = true;
    m_shared->wake.notify_one();
    if (!m_shared->done.wait_for(lock, limit, [&] { return m_shared->stopped; })) {
        // Still folding the log into the file is no loss: the next start does the rest.
        const bool written = m_shared->everythingWritten;
        if (!written) {
            const std::size_t unwritten = m_shared->keys.size() + m_shared->keysInFlight;
            m_shared->report(HistoryFault::ExitTimeout, std::to_string(unwritten));
        }
        // The exit goes on: a slow disk or a lock held elsewhere must not keep the program.
        m_shared->abandon = true;
        m_shared->wake.notify_one();
        lock.unlock();
        m_worker.detach();
        return written;
    }
    lock.unlock();
    m_worker.join();
    return m_shared->everythingWritten;
}

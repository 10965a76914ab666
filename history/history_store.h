#pragma once

#include "history_fault.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

// A run's length in ticks, its counts, and the speed (keys per minute) and accuracy (per cent)
// the drill last showed.
struct RunFigures
{
    std::int64_t ticks = 0;
    std::int64_t total = 0;
    std::int64_t correct = 0;
    std::int64_t wrong = 0;
    double speed = 0;
    double accuracy = 0;
};

// One practice run as stored. An empty endedBy is a run that goes on.
struct RunRow
{
    // This history's number for the run: 0 for a run not stored yet.
    std::int64_t id = 0;
    // The run's identity, made when it started, the same in every history and export that holds
    // it (newRunUuid()).
    std::string uuid;
    std::string started;
    std::string ended;
    std::string endedBy;
    RunFigures figures;
    // The live process writing the run; empty once it has ended.
    std::string owner;
    // The learner's name (learnerName::normalized); empty for the history's first learner. A
    // learner not in the history is added.
    std::string learner;
    // The learner's id, once known: it finds the learner whatever they were renamed to since.
    // Set by write(); 0 or an id no longer there: found by name.
    std::int64_t learnerId = 0;
    // How the run's letters were chosen: "random" or "weak".
    std::string mode = "random";
};

// One judged key as stored; `run` indexes the runs written with it.
struct KeyRow
{
    std::size_t run = 0;
    std::int64_t n = 0;
    char letter = 'A';
    int keyCode = 0;
    bool correct = false;
    std::int64_t pressMs = 0;
    std::int64_t releaseMs = 0;
};

// An open history database, used from one thread at a time. A file is used only once it is
// recognised as a history (its application id, or the tables of the first layout, which had
// none); any other file is never written.
class HistoryStore
{
public:
    struct Options
    {
        // How long a write waits for another process's lock before it is tried again later.
        std::chrono::milliseconds busyTimeout = std::chrono::seconds(2);
        // When set, waiting for a lock ends at once.
        const std::atomic<bool> *abandon = nullptr;
        // Read only: nothing is created, upgraded or recovered.
        bool readOnly = false;
    };

    // Opens the database at path, creating it and its folder when missing, and brings an older
    // layout up to date. Gives nullptr and the fault when it cannot be used; never throws, whatever
    // the path.
    static std::unique_ptr<HistoryStore> open(const std::string &path, HistoryFault &fault,
                                              Options options);
    ~HistoryStore();
    HistoryStore(const HistoryStore &) = delete;
    HistoryStore &operator=(const HistoryStore &) = delete;

    // Stores the runs and the keys in one transaction: all or nothing. Runs are found by their
    // uuid: a run with id 0 is added (or updated, if its uuid is there already), a run with an id
    // is updated, and one stored before but gone meanwhile (deleted) stays gone, its id set to 0
    // and its keys dropped. A key already there is kept as it is. A run's total, correct, wrong
    // and accuracy are those of its stored keys; ended, ended_by, ticks, speed and owner are the
    // row's. A stored run keeps its learner and mode, unless its learner was removed meanwhile:
    // then it goes to the row's learner, added again by name.
    HistoryFault write(std::vector<RunRow> &runs, const std::vector<KeyRow> &keys);
    // The same within a transaction the caller began and ends.
    HistoryFault writeInOpenTransaction(std::vector<RunRow> &runs, const std::vector<KeyRow> &keys);

    // Ends the runs whose writing process is gone as `interrupted`, their counts those of their
    // stored keys. Gives how many it ended through `count`.
    HistoryFault endAbandonedRuns(int *count = nullptr);

    // The learner of that name (empty: the history's first learner), or 0 when there is none.
    std::int64_t findLearner(const std::string &name);
    // The learner of that name, added when the history has none: its id, or 0 when the database
    // failed. Within the caller's transaction. `added` tells whether it was added.
    std::int64_t learnerId(const std::string &name, bool *added = nullptr);
    // How many learners the writes since the store was opened added.
    int learnersAdded() const { return m_learnersAdded; }

    // The fault behind the database's last error.
    HistoryFault lastFault() const;
    // The database's own words for the fault that ended the last transaction.
    std::string lastError() const;

    // Folds the write-ahead log into the file, so that the file alone holds the whole history.
    void checkpoint();

    sqlite3 *handle() const { return m_db; }

    struct BusyWait;

private:
    explicit HistoryStore(sqlite3 *db);
    HistoryFault prepare(bool readOnly);
    // Commits the transaction under way and lets go of its cached pages.
    bool commit();
    // Ends the transaction under way without its changes; gives the fault that ended it.
    HistoryFault rollBack(HistoryFault fault);

    sqlite3 *m_db = nullptr;
    std::unique_ptr<BusyWait> m_busyWait;
    std::string m_lastError;
    int m_learnersAdded = 0;
};

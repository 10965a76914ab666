#include "history_store.h"

#include "history_schema.h"
#include "process_identity.h"
#include "sqlite_statement.h"

#include <filesystem>
#include <sqlite3.h>
#include <thread>

namespace {

HistoryFault faultOf(int code)
{
    switch (code & 0xff) {
    case SQLITE_OK:
    case SQLITE_ROW:
    case SQLITE_DONE:
        return HistoryFault::None;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return HistoryFault::Locked;
    case SQLITE_FULL:
        return HistoryFault::DiskFull;
    case SQLITE_IOERR:
        // A write cut short: a full disk or a file-size limit (SQLite keeps no errno for it).
        return code == SQLITE_IOERR_WRITE ? HistoryFault::DiskFull : HistoryFault::WriteFailed;
    case SQLITE_NOTADB:
        return HistoryFault::NotADatabase;
    case SQLITE_CORRUPT:
        return HistoryFault::Damaged;
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return HistoryFault::CannotWrite;
    default:
        return HistoryFault::WriteFailed;
    }
}

} // namespace

struct HistoryStore::BusyWait
{
    std::chrono::milliseconds timeout;
    const std::atomic<bool> *abandon;
    std::chrono::steady_clock::time_point since;
};

namespace {

// SQLite's own busy timeout cannot be cut short; this one ends at once when told to.
int waitWhileBusy(void *context, int attempts)
{
    auto &wait = *static_cast<HistoryStore::BusyWait *>(context);
    const auto now = std::chrono::steady_clock::now();
    if (attempts == 0)
        wait.since = now;
    if ((wait.abandon && wait.abandon->load()) || now - wait.since >= wait.timeout)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 1;
}

} // namespace

HistoryStore::HistoryStore(sqlite3 *db)
    : m_db(db)
{
}

HistoryStore::~HistoryStore()
{
    sqlite3_close_v2(m_db);
}

std::unique_ptr<HistoryStore> HistoryStore::open(const std::string &path, HistoryFault &fault,
                                                 Options options)
{
    namespace fs = std::filesystem;
    const fs::path file(path);
    const bool existed = fs::exists(file);
    if (!options.readOnly && !existed && file.has_parent_path()) {
        std::error_code error;
        fs::create_directories(file.parent_path(), error);
        if (error) {
            fault = HistoryFault::CannotCreateFolder;
            return nullptr;
        }
    }
    sqlite3 *db = nullptr;
    const int flags =
        options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
    if (opened != SQLITE_OK) {
        fault = existed ? faultOf(opened) : HistoryFault::CannotCreateFolder;
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<HistoryStore> store(new HistoryStore(db));
    sqlite3_extended_result_codes(db, 1);
    // Small statements, rarely run: the lookaside's slots would only add to the drill's memory.
    sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    // Leaves the write-ahead log for the next start rather than folding it in at exit.
    sqlite3_db_config(db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    store->m_busyWait.reset(new BusyWait {options.busyTimeout, options.abandon, {}});
    sqlite3_busy_handler(db, waitWhileBusy, store->m_busyWait.get());
    fault = store->prepare(options.readOnly);
    if (fault == HistoryFault::None && !options.readOnly && sqlite3_db_readonly(db, "main") == 1)
        fault = HistoryFault::CannotWrite;
    return fault == HistoryFault::None ? std::move(store) : nullptr;
}

HistoryFault HistoryStore::prepare(bool readOnly)
{
    // Only reads until the file is known to be a history database: anything else stays as it is.
    SqliteStatement version(m_db, "PRAGMA user_version");
    if (const int read = version.step(); read != SQLITE_ROW)
        return faultOf(read);
    const int fileVersion = static_cast<int>(version.integer(0));
    version.reset();
    SqliteStatement tables(m_db, "SELECT count(*) FROM sqlite_schema");
    if (const int read = tables.step(); read != SQLITE_ROW)
        return faultOf(read);
    const std::int64_t tableCount = tables.integer(0);
    tables.reset();
    if (fileVersion > historySchema::currentVersion)
        return HistoryFault::NewerVersion;
    // Another program's database: tables, but no version of ours.
    if (fileVersion == 0 && tableCount > 0)
        return HistoryFault::NotADatabase;
    if (readOnly)
        return HistoryFault::None;

    SqliteStatement journal(m_db, "PRAGMA journal_mode = WAL");
    if (const int set = journal.step(); set != SQLITE_ROW)
        return faultOf(set);
    journal.reset();
    // In write-ahead mode a commit without sync survives a crash of the program, not of the system.
    // The writer only appends: a small page cache keeps the drill's memory as it was.
    if (const int set = execute(m_db,
                                "PRAGMA synchronous = NORMAL; PRAGMA foreign_keys = ON; "
                                "PRAGMA cache_size = -256");
        set != SQLITE_OK)
        return faultOf(set);
    if (fileVersion == historySchema::currentVersion)
        return HistoryFault::None;

    if (const int begun = execute(m_db, "BEGIN IMMEDIATE"); begun != SQLITE_OK)
        return faultOf(begun);
    // Another drill may have upgraded it meanwhile.
    SqliteStatement again(m_db, "PRAGMA user_version");
    const int stepped = again.step();
    const int current = stepped == SQLITE_ROW ? static_cast<int>(again.integer(0)) : -1;
    again.reset();
    if (current < 0 || !historySchema::upgrade(m_db, current)
        || execute(m_db, "COMMIT") != SQLITE_OK)
        return rollBack(HistoryFault::None);
    return HistoryFault::None;
}

HistoryFault HistoryStore::write(std::vector<RunRow> &runs, const std::vector<KeyRow> &keys)
{
    if (execute(m_db, "BEGIN IMMEDIATE") != SQLITE_OK)
        return rollBack(HistoryFault::None);
    std::vector<std::int64_t> idsBefore;
    for (const RunRow &run : runs)
        idsBefore.push_back(run.id);
    const HistoryFault fault = writeInOpenTransaction(runs, keys);
    if (fault == HistoryFault::None && commit())
        return HistoryFault::None;
    for (std::size_t i = 0; i < runs.size(); ++i)
        runs[i].id = idsBefore[i];
    return rollBack(fault);
}

HistoryFault HistoryStore::writeInOpenTransaction(std::vector<RunRow> &runs,
                                                  const std::vector<KeyRow> &keys)
{
    const auto fail = [&] {
        const HistoryFault fault = lastFault();
        return fault == HistoryFault::None ? HistoryFault::WriteFailed : fault;
    };
    // A run deleted meanwhile (the progress window's delete) is stored again under its id.
    SqliteStatement storeRun(m_db, R"sql(
        INSERT INTO runs (id, started, ended, ended_by, ticks, total, correct, wrong, speed,
                          accuracy, owner)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)
        ON CONFLICT (id) DO UPDATE SET ended = excluded.ended, ended_by = excluded.ended_by,
            ticks = excluded.ticks, total = excluded.total, correct = excluded.correct,
            wrong = excluded.wrong, speed = excluded.speed, accuracy = excluded.accuracy,
            owner = excluded.owner)sql");
    for (RunRow &run : runs) {
        if (run.id == 0)
            storeRun.bindNull(1);
        else
            storeRun.bind(1, run.id);
        storeRun.bind(2, run.started).bind(3, run.ended);
        if (run.endedBy.empty())
            storeRun.bindNull(4);
        else
            storeRun.bind(4, run.endedBy);
        const RunFigures &figures = run.figures;
        storeRun.bind(5, figures.ticks).bind(6, figures.total).bind(7, figures.correct);
        storeRun.bind(8, figures.wrong).bind(9, figures.speed).bind(10, figures.accuracy);
        if (run.owner.empty())
            storeRun.bindNull(11);
        else
            storeRun.bind(11, run.owner);
        if (storeRun.step() != SQLITE_DONE)
            return fail();
        storeRun.reset();
        if (run.id == 0)
            run.id = sqlite3_last_insert_rowid(m_db);
    }

    SqliteStatement storeKey(m_db, R"sql(
        INSERT OR IGNORE INTO keys (run, n, letter, key_code, correct, press_ms, release_ms)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7))sql");
    for (const KeyRow &key : keys) {
        storeKey.bind(1, runs.at(key.run).id).bind(2, key.n);
        storeKey.bind(3, std::string_view(&key.letter, 1));
        storeKey.bind(4, std::int64_t {key.keyCode}).bind(5, std::int64_t {key.correct});
        storeKey.bind(6, key.pressMs).bind(7, key.releaseMs);
        if (storeKey.step() != SQLITE_DONE)
            return fail();
        storeKey.reset();
    }
    return HistoryFault::None;
}

HistoryFault HistoryStore::endAbandonedRuns(int *count)
{
    if (execute(m_db, "BEGIN IMMEDIATE") != SQLITE_OK)
        return rollBack(HistoryFault::None);
    std::vector<std::int64_t> abandoned;
    {
        SqliteStatement open(m_db, "SELECT id, owner FROM runs WHERE ended_by IS NULL");
        while (open.step() == SQLITE_ROW) {
            if (!isProcessAlive(open.text(1)))
                abandoned.push_back(open.integer(0));
        }
    }
    SqliteStatement end(m_db, R"sql(
        UPDATE runs SET ended_by = 'interrupted', owner = NULL, total = k.total,
            correct = k.correct, wrong = k.total - k.correct,
            speed = CASE WHEN k.total = 0 THEN 0 ELSE k.total * 600.0 / max(ticks, 1) END,
            accuracy = CASE WHEN k.total = 0 THEN 0 ELSE k.correct * 100.0 / k.total END
        FROM (SELECT count(*) AS total, coalesce(sum(correct), 0) AS correct
              FROM keys WHERE run = ?1) AS k
        WHERE id = ?1)sql");
    for (const std::int64_t id : abandoned) {
        end.bind(1, id);
        if (end.step() != SQLITE_DONE)
            return rollBack(HistoryFault::None);
        end.reset();
    }
    if (!commit())
        return rollBack(HistoryFault::None);
    if (count)
        *count = static_cast<int>(abandoned.size());
    return HistoryFault::None;
}

bool HistoryStore::commit()
{
    if (execute(m_db, "COMMIT") != SQLITE_OK)
        return false;
    // Seconds pass between writes: the few pages the next one needs are read again sooner than
    // they would be worth keeping in the drill's memory meanwhile.
    sqlite3_db_release_memory(m_db);
    return true;
}

HistoryFault HistoryStore::lastFault() const
{
    return faultOf(sqlite3_extended_errcode(m_db));
}

std::string HistoryStore::lastError() const
{
    return m_lastError;
}

HistoryFault HistoryStore::rollBack(HistoryFault fault)
{
    if (fault == HistoryFault::None)
        fault = lastFault();
    m_lastError = sqlite3_errmsg(m_db);
    execute(m_db, "ROLLBACK");
    return fault == HistoryFault::None ? HistoryFault::WriteFailed : fault;
}

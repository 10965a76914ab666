#include "history_store.h"

#include "history_schema.h"
#include "learner_name.h"
#include "process_identity.h"
#include "sqlite_statement.h"

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

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

namespace {

// What a file's first bytes tell of it, before SQLite is let near it.
enum class FileKind {
    Missing,
    Empty,
    // Marked with the history's application id.
    Marked,
    // A SQLite database without an application id: a history of the first layout, or not ours.
    Unmarked,
    Unusable,
};

HistoryFault faultOfErrno(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
        return HistoryFault::CannotWrite;
    default:
        // ENOTDIR, ELOOP, ENAMETOOLONG, EISDIR...: no file there that could be a history.
        return HistoryFault::NotAFile;
    }
}

// Reads the first bytes of a file through SQLite's own file layer rather than a file of our own:
// closing any descriptor of a file drops every lock this process holds on it (POSIX locks belong
// to the process), and SQLite's layer keeps such a descriptor open instead. A history this
// process writes (the recorder) would otherwise look unused to another program, whose close could
// then delete the write-ahead log under the writer.
int readHeader(const std::string &path, unsigned char (&header)[100])
{
    sqlite3_vfs *vfs = sqlite3_vfs_find(nullptr);
    std::vector<std::max_align_t> storage(std::size_t(vfs->szOsFile) / sizeof(std::max_align_t)
                                          + 1);
    auto *file = reinterpret_cast<sqlite3_file *>(storage.data());
    int flags = 0;
    const int opened =
        vfs->xOpen(vfs, path.c_str(), file, SQLITE_OPEN_READONLY | SQLITE_OPEN_MAIN_DB, &flags);
    if (opened != SQLITE_OK) {
        if (file->pMethods)
            file->pMethods->xClose(file);
        return opened;
    }
    const int read = file->pMethods->xRead(file, header, sizeof header, 0);
    file->pMethods->xClose(file);
    return read;
}

FileKind inspect(const std::string &path, HistoryFault &fault)
{
    struct stat info
    {
    };
    if (::stat(path.c_str(), &info) != 0) {
        if (errno == ENOENT)
            return FileKind::Missing;
        fault = faultOfErrno(errno);
        return FileKind::Unusable;
    }
    if (!S_ISREG(info.st_mode)) {
        fault = HistoryFault::NotAFile;
        return FileKind::Unusable;
    }
    if (info.st_size == 0)
        return FileKind::Empty;
    unsigned char header[100] = {};
    const int read = readHeader(path, header);
    if (read != SQLITE_OK && read != SQLITE_IOERR_SHORT_READ) {
        fault = faultOfErrno(errno);
        return FileKind::Unusable;
    }
    constexpr char magic[] = "SQLite format 3";
    if (read != SQLITE_OK || std::memcmp(header, magic, sizeof magic) != 0) {
        fault = HistoryFault::NotADatabase;
        return FileKind::Unusable;
    }
    // The application id: a big-endian word at offset 68 of the header.
    const std::uint32_t id = std::uint32_t(header[68]) << 24 | std::uint32_t(header[69]) << 16
        | std::uint32_t(header[70]) << 8 | std::uint32_t(header[71]);
    if (id == std::uint32_t(historySchema::applicationId))
        return FileKind::Marked;
    if (id != 0) {
        fault = HistoryFault::NotADatabase;
        return FileKind::Unusable;
    }
    return FileKind::Unmarked;
}

// A path as a SQLite URI, for the query parameters only a URI can carry.
std::string uriOf(const std::string &path)
{
    std::string uri = "file:";
    for (const char c : path) {
        if (c == '%' || c == '?' || c == '#') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
            uri += escaped;
        } else {
            uri += c;
        }
    }
    return uri;
}

// Whether an unmarked database is a history of the first layout, or has become one of a later
// layout in a write-ahead log not yet folded into the file. Only reads: without a log beside it
// the file is opened immutable, so that not even a lock or a shared-memory file is made.
bool isUnmarkedHistory(const std::string &path, HistoryFault &fault)
{
    struct stat log
    {
    };
    const bool hasLog = ::stat((path + "-wal").c_str(), &log) == 0;
    sqlite3 *db = nullptr;
    const int opened = sqlite3_open_v2((uriOf(path) + (hasLog ? "" : "?immutable=1")).c_str(), &db,
                                       SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, nullptr);
    const std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)> closing(db, &sqlite3_close_v2);
    if (opened != SQLITE_OK) {
        fault = faultOf(opened);
        return false;
    }
    sqlite3_busy_timeout(db, 2000);
    SqliteStatement header(db, "SELECT * FROM pragma_application_id, pragma_user_version");
    if (const int read = header.step(); read != SQLITE_ROW) {
        fault = faultOf(read);
        return false;
    }
    const bool ours = header.integer(0) == historySchema::applicationId
        || (header.integer(0) == 0 && header.integer(1) == 1
            && historySchema::hasVersion1Tables(db));
    if (!ours)
        fault = HistoryFault::NotADatabase;
    return ours;
}

} // namespace

std::unique_ptr<HistoryStore> HistoryStore::open(const std::string &path, HistoryFault &fault,
                                                 Options options)
{
    fault = HistoryFault::None;
    const FileKind kind = inspect(path, fault);
    if (kind == FileKind::Unusable
        || (kind == FileKind::Unmarked && !isUnmarkedHistory(path, fault)))
        return nullptr;
    if (kind == FileKind::Missing && !options.readOnly) {
        const std::string::size_type slash = path.find_last_of('/');
        std::error_code error;
        if (slash != std::string::npos && slash > 0)
            std::filesystem::create_directories(path.substr(0, slash), error);
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
        fault = kind == FileKind::Missing ? HistoryFault::CannotCreateFolder : faultOf(opened);
        sqlite3_close_v2(db);
        return nullptr;
    }
    std::unique_ptr<HistoryStore> store(new HistoryStore(db));
    sqlite3_extended_result_codes(db, 1);
    // Small statements, rarely run: the lookaside's slots would only add to the drill's memory.
    sqlite3_db_config(db, SQLITE_DBCONFIG_LOOKASIDE, nullptr, 0, 0);
    store->m_busyWait.reset(new BusyWait {options.busyTimeout, options.abandon, {}});
    sqlite3_busy_handler(db, waitWhileBusy, store->m_busyWait.get());
    fault = store->prepare(options.readOnly);
    if (fault == HistoryFault::None && !options.readOnly && sqlite3_db_readonly(db, "main") == 1)
        fault = HistoryFault::CannotWrite;
    return fault == HistoryFault::None ? std::move(store) : nullptr;
}

HistoryFault HistoryStore::prepare(bool readOnly)
{
    // The file is known to be a history (or empty) by now; its version decides the rest.
    SqliteStatement version(m_db, "PRAGMA user_version");
    if (const int read = version.step(); read != SQLITE_ROW)
        return faultOf(read);
    const int fileVersion = static_cast<int>(version.integer(0));
    version.reset();
    if (fileVersion > historySchema::currentVersion)
        return HistoryFault::NewerVersion;
    // A damaged file shows it here, before anything is written to it.
    SqliteStatement tables(m_db, "SELECT count(*) FROM sqlite_schema");
    if (const int read = tables.step(); read != SQLITE_ROW)
        return faultOf(read);
    tables.reset();
    if (readOnly)
        return HistoryFault::None;

    // A new file gets its layout and application id in one transaction before anything else, so
    // that no moment leaves a file there that would not be recognised as a history.
    if (fileVersion < historySchema::currentVersion) {
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
    }
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
    // Counts start at nothing and grow with each key stored, so that they are always the keys'.
    SqliteStatement addRun(m_db, R"sql(
        INSERT INTO runs (uuid, started, ended, ended_by, ticks, total, correct, wrong, speed,
                          accuracy, owner, learner, mode)
        VALUES (?1, ?2, ?3, ?4, ?5, 0, 0, 0, ?6, 0, ?7, ?8, ?9)
        ON CONFLICT (uuid) DO UPDATE SET ended = excluded.ended, ended_by = excluded.ended_by,
            ticks = excluded.ticks, speed = excluded.speed, owner = excluded.owner,
            learner = coalesce(learner, excluded.learner)
        RETURNING id)sql");
    SqliteStatement updateRun(m_db, R"sql(
        UPDATE runs SET ended = ?2, ended_by = ?3, ticks = ?4, speed = ?5, owner = ?6,
            learner = coalesce(learner, ?7)
        WHERE uuid = ?1 RETURNING id)sql");
    SqliteStatement learnerThere(m_db, "SELECT 1 FROM learners WHERE id = ?1");
    for (RunRow &run : runs) {
        learnerThere.bind(1, run.learnerId);
        const int there = learnerThere.step();
        learnerThere.reset();
        if (there != SQLITE_ROW && there != SQLITE_DONE)
            return fail();
        if (there == SQLITE_DONE)
            run.learnerId = learnerId(run.learner);
        const std::int64_t learner = run.learnerId;
        if (learner == 0)
            return fail();
        const bool stored = run.id != 0;
        SqliteStatement &statement = stored ? updateRun : addRun;
        int at = 1;
        statement.bind(at++, run.uuid);
        if (!stored)
            statement.bind(at++, run.started);
        statement.bind(at++, run.ended);
        if (run.endedBy.empty())
            statement.bindNull(at++);
        else
            statement.bind(at++, run.endedBy);
        statement.bind(at, run.figures.ticks).bind(at + 1, run.figures.speed);
        at += 2;
        if (run.owner.empty())
            statement.bindNull(at++);
        else
            statement.bind(at++, run.owner);
        statement.bind(at++, learner);
        if (!stored)
            statement.bind(at++, run.mode.empty() ? std::string_view("random") : run.mode);
        const int result = statement.step();
        if (result != SQLITE_ROW && result != SQLITE_DONE)
            return fail();
        // A stored run not found was deleted meanwhile (the progress window's delete): it stays so.
        run.id = result == SQLITE_ROW ? statement.integer(0) : 0;
        statement.reset();
    }

    SqliteStatement storeKey(m_db, R"sql(
        INSERT OR IGNORE INTO keys (run, n, letter, key_code, correct, press_ms, release_ms)
        VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7))sql");
    struct Added
    {
        std::int64_t total = 0;
        std::int64_t correct = 0;
    };
    std::vector<Added> added(runs.size());
    for (const KeyRow &key : keys) {
        const std::int64_t run = runs.at(key.run).id;
        if (run == 0)
            continue;
        storeKey.bind(1, run).bind(2, key.n);
        storeKey.bind(3, std::string_view(&key.letter, 1));
        storeKey.bind(4, std::int64_t {key.keyCode}).bind(5, std::int64_t {key.correct});
        storeKey.bind(6, key.pressMs).bind(7, key.releaseMs);
        if (storeKey.step() != SQLITE_DONE)
            return fail();
        storeKey.reset();
        if (sqlite3_changes(m_db) == 1) {
            ++added[key.run].total;
            added[key.run].correct += key.correct ? 1 : 0;
        }
    }
    SqliteStatement count(m_db, R"sql(
        UPDATE runs SET total = total + ?2, correct = correct + ?3, wrong = wrong + ?2 - ?3,
            accuracy = (correct + ?3) * 100.0 / (total + ?2)
        WHERE id = ?1)sql");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (added[i].total == 0)
            continue;
        count.bind(1, runs[i].id).bind(2, added[i].total).bind(3, added[i].correct);
        if (count.step() != SQLITE_DONE)
            return fail();
        count.reset();
    }
    return HistoryFault::None;
}

std::int64_t HistoryStore::findLearner(const std::string &name)
{
    SqliteStatement find(m_db,
                         name.empty() ? "SELECT min(id) FROM learners"
                                      : "SELECT id FROM learners WHERE name_key = ?1");
    if (!name.empty())
        find.bind(1, learnerName::key(QString::fromStdString(name)).toStdString());
    return find.step() == SQLITE_ROW ? find.integer(0) : 0;
}

std::int64_t HistoryStore::learnerId(const std::string &name, bool *added)
{
    if (added)
        *added = false;
    if (const std::int64_t found = findLearner(name); found != 0 || name.empty())
        return found;
    SqliteStatement add(m_db, "INSERT INTO learners (name, name_key) VALUES (?1, ?2) RETURNING id");
    add.bind(1, name).bind(2, learnerName::key(QString::fromStdString(name)).toStdString());
    if (add.step() != SQLITE_ROW)
        return 0;
    ++m_learnersAdded;
    if (added)
        *added = true;
    return add.integer(0);
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
    // A run whose learner was removed while it went on was its drill's to give a learner again.
    if (execute(m_db, "DELETE FROM runs WHERE learner IS NULL AND ended_by IS NOT NULL")
        != SQLITE_OK)
        return rollBack(HistoryFault::None);
    if (!commit())
        return rollBack(HistoryFault::None);
    if (count)
        *count = static_cast<int>(abandoned.size());
    return HistoryFault::None;
}

void HistoryStore::checkpoint()
{
    // Passive: a reader elsewhere (the progress window) is never waited for; what it still holds
    // is folded in by the next writer's close.
    sqlite3_wal_checkpoint_v2(m_db, nullptr, SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
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

#include "history_csv.h"

#include "csv_table.h"
#include "format_pattern.h"
#include "history_store.h"
#include "history_time.h"
#include "learner_name.h"
#include "run_identity.h"
#include "sqlite_statement.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view layout1RunsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy";
constexpr std::string_view layout2RunsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid";
constexpr std::string_view runsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid,learner,mode";
constexpr std::string_view keysHeader = "run,n,letter,key_code,correct,press_ms,release_ms";

// Up to two decimals, exact halves away from zero, always a digit before the point.
std::string decimal(double value)
{
    const std::string text = formatPattern(value, "##.##");
    return text.front() == '.' ? '0' + text : text;
}

std::string withErrno(const std::string &text, int error)
{
    return text + " (" + std::strerror(error) + ")";
}

// Why the history cannot be used, in the commands' own words: unlike the drill, they stop there.
std::string historyReason(HistoryFault fault, const std::string &path, const std::string &detail)
{
    std::string text;
    switch (fault) {
    case HistoryFault::None:
        return {};
    case HistoryFault::Locked:
        text = "练习记录正忙（练习正在写入），请稍后再试。The history is busy (a drill is writing "
               "it); try again: ";
        break;
    case HistoryFault::NotADatabase:
        text = "文件不是练习记录，保持原样。Not a practice history, left as it is: ";
        break;
    case HistoryFault::NotAFile:
        text = "路径不是可用的文件。The path is not a file that can be used: ";
        break;
    case HistoryFault::CannotWrite:
        text = "练习记录无法读写（只读或无权限）。The history cannot be used (read-only or no "
               "permission): ";
        break;
    case HistoryFault::CannotCreateFolder:
        text = "无法在此创建练习记录。The history cannot be created there: ";
        break;
    case HistoryFault::Damaged:
        text = "练习记录已损坏，保持原样。The history is damaged and left as it is: ";
        break;
    case HistoryFault::NewerVersion:
        text = "练习记录来自更新版本的程序，保持原样。The history is of a newer version of the "
               "program and left as it is: ";
        break;
    case HistoryFault::DiskFull:
        text = "磁盘已满或文件无法增大。The disk is full or the file cannot grow: ";
        break;
    default:
        text = "读写出错（" + detail + "）。Reading or writing failed (" + detail + "): ";
        break;
    }
    return text + path;
}

std::string historyReason(const HistoryStore &store, const std::string &path)
{
    const HistoryFault fault = store.lastFault();
    return historyReason(fault == HistoryFault::None ? HistoryFault::WriteFailed : fault, path,
                         sqlite3_errmsg(store.handle()));
}

// One file of an export, written under a passing name beside its place and put there only once
// both are complete, so that a failed export leaves the files of an earlier one as they were.
class OutputFile
{
public:
    OutputFile(const fs::path &folder, const std::string &name)
        : m_path((folder / name).string())
        , m_part((folder / ("." + name + "." + std::to_string(::getpid()) + ".part")).string())
    {
    }
    ~OutputFile()
    {
        if (m_file)
            std::fclose(m_file);
        if (m_made && !m_placed)
            ::unlink(m_part.c_str());
    }
    OutputFile(const OutputFile &) = delete;
    OutputFile &operator=(const OutputFile &) = delete;

    bool open(std::string &error)
    {
        // A part left by an export that died under this process id.
        ::unlink(m_part.c_str());
        const int file = ::open(m_part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        m_made = file >= 0;
        if (file >= 0)
            m_file = ::fdopen(file, "wb");
        if (!m_file) {
            if (file >= 0)
                ::close(file);
            error = withErrno("无法在文件夹中写入。Cannot write in the folder: " + m_path, errno);
            return false;
        }
        return true;
    }

    void write(std::string_view text) { std::fwrite(text.data(), 1, text.size(), m_file); }

    // Completes the file; its place must be free or hold a file.
    bool close(std::string &error)
    {
        const bool written = !std::ferror(m_file);
        const bool closed = std::fclose(m_file) == 0;
        m_file = nullptr;
        if (!written || !closed) {
            error = withErrno("无法写入文件。Cannot write the file: " + m_path, errno);
            return false;
        }
        struct stat there = {};
        if (::stat(m_path.c_str(), &there) == 0 ? !S_ISREG(there.st_mode) : errno != ENOENT) {
            error = "此处已有的不是文件。What is there is not a file: " + m_path;
            return false;
        }
        return true;
    }

    bool place(std::string &error)
    {
        m_placed = ::rename(m_part.c_str(), m_path.c_str()) == 0;
        if (!m_placed)
            error = withErrno("无法写入文件。Cannot write the file: " + m_path, errno);
        return m_placed;
    }

private:
    std::string m_path;
    std::string m_part;
    std::FILE *m_file = nullptr;
    bool m_made = false;
    bool m_placed = false;
};

// Writes each run and its keys as the read steps through them, numbering the runs from 1.
std::string exportRuns(HistoryStore &store, const std::string &path, OutputFile &runs,
                       OutputFile &keys)
{
    sqlite3 *db = store.handle();
    // An older layout, read only, is not upgraded: its runs may lack an identity, and are the
    // account's learner's, as an upgrade would make them.
    bool hasRuns = false, hasUuid = false, hasLearner = false;
    {
        SqliteStatement columns(db, "SELECT name FROM pragma_table_info('runs')");
        while (columns.step() == SQLITE_ROW) {
            hasRuns = true;
            hasUuid = hasUuid || columns.text(0) == "uuid";
            hasLearner = hasLearner || columns.text(0) == "learner";
        }
    }
    if (!hasRuns)
        return {};
    const std::string learnerOfOlderLayout = learnerName::ofAccount().toStdString();
    SqliteStatement runRows(db,
                            std::string(R"sql(
        SELECT id, started, ended, coalesce(ended_by, ''), ticks, total, correct, wrong, speed,
               accuracy, )sql") + (hasUuid ? "uuid" : "NULL")
                                + (hasLearner
                                       ? ", (SELECT name FROM learners WHERE id = learner), mode"
                                       : ", NULL, 'random'")
                                + " FROM runs ORDER BY julianday(started), id");
    SqliteStatement keyRows(db, R"sql(
        SELECT n, letter, key_code, correct, press_ms, release_ms FROM keys WHERE run = ?1
        ORDER BY n)sql");
    std::int64_t number = 0;
    int read = SQLITE_ROW;
    while ((read = runRows.step()) == SQLITE_ROW) {
        const std::string run = std::to_string(++number);
        std::string line = run + ',' + csvField(runRows.text(1)) + ',' + csvField(runRows.text(2))
            + ',' + csvField(runRows.text(3));
        for (int column = 4; column <= 7; ++column)
            line += ',' + std::to_string(runRows.integer(column));
        const std::string uuid =
            runRows.isNull(10) ? legacyRunUuid(runRows.text(1)) : runRows.text(10);
        // A run whose learner was removed while it went on has none until its drill names one.
        const std::string learner = hasLearner ? runRows.text(11) : learnerOfOlderLayout;
        line += ',' + decimal(runRows.real(8)) + ',' + decimal(runRows.real(9)) + ','
            + csvField(uuid) + ',' + csvField(learner) + ',' + csvField(runRows.text(12)) + "\r\n";
        runs.write(line);
        keyRows.bind(1, runRows.integer(0));
        while ((read = keyRows.step()) == SQLITE_ROW) {
            line = run + ',' + std::to_string(keyRows.integer(0)) + ',' + csvField(keyRows.text(1));
            for (int column = 2; column <= 5; ++column)
                line += ',' + std::to_string(keyRows.integer(column));
            keys.write(line + "\r\n");
        }
        keyRows.reset();
        if (read != SQLITE_DONE)
            break;
    }
    return read == SQLITE_DONE ? std::string() : historyReason(store, path);
}

} // namespace

std::string exportHistoryCsv(const std::string &databasePath, const std::string &folder)
{
    std::unique_ptr<HistoryStore> store;
    // Only a history that is not there at all is an empty one: a path under a file is a fault.
    struct stat there = {};
    if (::stat(databasePath.c_str(), &there) == 0 || errno != ENOENT) {
        HistoryFault fault = HistoryFault::None;
        store = HistoryStore::open(databasePath, fault, {std::chrono::seconds(2), nullptr, true});
        if (!store)
            return historyReason(fault, databasePath, {});
    }
    std::error_code made;
    fs::create_directories(folder, made);
    if (made)
        return "无法创建文件夹。The folder cannot be created: " + folder + " (" + made.message()
            + ")";
    std::string error;
    OutputFile runs(folder, "runs.csv"), keys(folder, "keys.csv");
    if (!runs.open(error) || !keys.open(error))
        return error;
    runs.write(std::string(runsHeader) + "\r\n");
    keys.write(std::string(keysHeader) + "\r\n");
    if (store) {
        // One read transaction: both files show the same moment of the history.
        execute(store->handle(), "BEGIN");
        error = exportRuns(*store, databasePath, runs, keys);
        execute(store->handle(), "COMMIT");
        if (!error.empty())
            return error;
    }
    if (!runs.close(error) || !keys.close(error) || !runs.place(error) || !keys.place(error))
        return error;
    return {};
}

namespace {

bool readInteger(const std::string &text, std::int64_t &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && stop == end;
}

// A finite number, not negative, in decimal notation.
bool readDecimal(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(value)
        && !std::signbit(value);
}

// As newRunUuid() and legacyRunUuid() write them: lower-case hexadecimal in groups of 8-4-4-4-12.
bool isUuid(const std::string &text)
{
    constexpr std::string_view shape = "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = text[i];
        if (shape[i] == '-' ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

// A CSV file of the import, opened without waiting on a pipe and refused unless it is a file.
class InputFile
{
public:
    explicit InputFile(const fs::path &path)
        : m_path(path.string())
    {
    }
    ~InputFile()
    {
        if (m_file >= 0)
            ::close(m_file);
    }
    InputFile(const InputFile &) = delete;
    InputFile &operator=(const InputFile &) = delete;

    std::string open()
    {
        m_file = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (m_file < 0)
            return withErrno("无法读取文件。Cannot read the file: " + m_path, errno);
        struct stat info = {};
        if (::fstat(m_file, &info) != 0 || !S_ISREG(info.st_mode))
            return "不是文件。Not a file: " + m_path;
        return {};
    }

    int descriptor() const { return m_file; }
    std::string at(int line, const std::string &reason) const
    {
        return m_path + ":" + std::to_string(line) + ": " + reason;
    }

private:
    std::string m_path;
    int m_file = -1;
};

using Database = std::unique_ptr<sqlite3, decltype(&sqlite3_close_v2)>;

std::string stagingReason(sqlite3 *db)
{
    return std::string("暂存导入的行出错。Staging the rows failed (") + sqlite3_errmsg(db) + ").";
}

// The import's rows wait in a private temporary database, which SQLite keeps on disk past a few
// megabytes: the files are checked whole, repeats found by its keys, before the history is
// opened, so a refused import never touches it and a sound one holds its lock only to merge.
Database openStaging(std::string &error)
{
    sqlite3 *handle = nullptr;
    sqlite3_open_v2("", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    Database db(handle, &sqlite3_close_v2);
    if (db)
        sqlite3_extended_result_codes(handle, 1);
    if (!db
        || execute(handle, R"sql(
            PRAGMA journal_mode = OFF;
            PRAGMA synchronous = OFF;
            PRAGMA cache_size = -8192;
            CREATE TABLE runs (
                line INTEGER PRIMARY KEY,
                run INTEGER NOT NULL UNIQUE,
                uuid TEXT NOT NULL,
                started TEXT NOT NULL,
                ended TEXT NOT NULL,
                ended_by TEXT NOT NULL,
                ticks INTEGER NOT NULL,
                speed REAL NOT NULL,
                learner TEXT NOT NULL,
                mode TEXT NOT NULL);
            CREATE TABLE keys (
                run INTEGER NOT NULL,
                n INTEGER NOT NULL,
                letter TEXT NOT NULL,
                key_code INTEGER NOT NULL,
                correct INTEGER NOT NULL,
                press_ms INTEGER NOT NULL,
                release_ms INTEGER NOT NULL,
                PRIMARY KEY (run, n)) WITHOUT ROWID;
            BEGIN;)sql")
            != SQLITE_OK) {
        error = db ? stagingReason(handle) : "暂存导入的行出错。Staging the rows failed.";
        return Database(nullptr, &sqlite3_close_v2);
    }
    return db;
}

std::string joined(const std::vector<std::string> &fields)
{
    std::string text;
    for (const std::string &field : fields)
        text += (text.empty() ? "" : ",") + field;
    return text;
}

// Reads a file's header, which fieldsOf() turns into the number of fields each record has (0:
// not a header it knows), then its records into stage(), which gives "" or a reason. Blank lines
// may end a file, as editors leave them.
template<typename FieldsOf, typename Stage>
std::string readFile(const InputFile &file, std::string_view wanted, FieldsOf fieldsOf, Stage stage)
{
    CsvReader reader(file.descriptor());
    CsvRecord record;
    reader.next(record);
    const std::size_t fields = reader.fault().empty() ? fieldsOf(joined(record.fields)) : 0;
    if (fields == 0)
        return file.at(1, "表头应为 The header must be: " + std::string(wanted));
    int blank = 0;
    while (reader.next(record)) {
        if (record.fields.size() == 1 && record.fields.front().empty()) {
            blank = blank ? blank : record.line;
            continue;
        }
        if (blank)
            return file.at(blank, "空行。An empty line.");
        if (record.fields.size() != fields)
            return file.at(record.line,
                           "应有 " + std::to_string(fields) + " 个字段。Expected "
                               + std::to_string(fields) + " fields.");
        if (std::string reason = stage(record.fields); !reason.empty())
            return file.at(record.line, reason);
    }
    return reader.fault().empty() ? std::string() : file.at(reader.faultLine(), reader.fault());
}

std::string stageRuns(const InputFile &file, sqlite3 *db)
{
    // Files of older layouts lack the last columns: uuid, then learner and mode.
    std::size_t fields = 0;
    const auto fieldsOf = [&](const std::string &header) -> std::size_t {
        fields = header == runsHeader     ? 13
            : header == layout2RunsHeader ? 11
            : header == layout1RunsHeader ? 10
                                          : 0;
        return fields;
    };
    SqliteStatement add(db, "INSERT INTO runs VALUES (NULL, ?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
    return readFile(file, runsHeader, fieldsOf, [&](const std::vector<std::string> &f) {
        std::int64_t run = 0;
        if (!readInteger(f[0], run) || run <= 0)
            return std::string("run 编号无效。Bad run number.");
        if (!isLocalTimestamp(f[1]) || !isLocalTimestamp(f[2]))
            return std::string("时间无效。Bad time: YYYY-MM-DDTHH:MM:SS.mmm+HH:MM, a date that "
                               "exists, an offset within ±14:00.");
        if (!f[3].empty() && f[3] != "restart" && f[3] != "exit" && f[3] != "interrupted")
            return std::string("ended_by 无效。ended_by must be empty, restart, exit or "
                               "interrupted.");
        RunFigures figures;
        if (!readInteger(f[4], figures.ticks) || !readInteger(f[5], figures.total)
            || !readInteger(f[6], figures.correct) || !readInteger(f[7], figures.wrong)
            || figures.ticks < 0 || figures.correct < 0 || figures.wrong < 0
            || figures.total != figures.correct + figures.wrong)
            return std::string("计数无效。Bad counts: total must be correct + wrong.");
        if (!readDecimal(f[8], figures.speed))
            return std::string("速度无效。Bad speed: a number, not negative.");
        if (!readDecimal(f[9], figures.accuracy) || figures.accuracy > 100)
            return std::string("正确率无效。Bad accuracy: a number from 0 to 100.");
        const std::string uuid = fields > 10 ? f[10] : legacyRunUuid(f[1]);
        if (!isUuid(uuid))
            return std::string("uuid 无效。Bad uuid.");
        // An empty learner is the import's own (--learner, else the history's first).
        QString problem;
        const std::string learner = fields < 13 || f[11].empty()
            ? std::string()
            : learnerName::normalized(QString::fromStdString(f[11]), &problem).toStdString();
        if (!problem.isEmpty())
            return "学员名字无效。Bad learner: " + problem.toStdString();
        const std::string mode = fields < 13 ? "random" : f[12];
        if (mode != "random" && mode != "weak")
            return std::string("mode 无效。mode must be random or weak.");
        add.bind(1, run).bind(2, uuid).bind(3, f[1]).bind(4, f[2]).bind(5, f[3]);
        add.bind(6, figures.ticks).bind(7, figures.speed).bind(8, learner).bind(9, mode);
        const int added = add.step();
        add.reset();
        if (added == SQLITE_CONSTRAINT_UNIQUE)
            return std::string("run 编号重复。Repeated run number.");
        return added == SQLITE_DONE ? std::string() : stagingReason(db);
    });
}

std::string stageKeys(const InputFile &file, sqlite3 *db)
{
    const auto fieldsOf = [](const std::string &header) -> std::size_t {
        return header == keysHeader ? 7 : 0;
    };
    SqliteStatement known(db, "SELECT 1 FROM runs WHERE run = ?1");
    SqliteStatement add(db, "INSERT INTO keys VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    return readFile(file, keysHeader, fieldsOf, [&](const std::vector<std::string> &f) {
        std::int64_t run = 0, n = 0, code = 0, correct = 0, press = 0, release = 0;
        if (!readInteger(f[0], run))
            return std::string("run 无效。Bad run.");
        known.bind(1, run);
        const int found = known.step();
        known.reset();
        if (found != SQLITE_ROW)
            return found == SQLITE_DONE ? std::string("run 不在 runs.csv 中。Run not in runs.csv.")
                                        : stagingReason(db);
        if (!readInteger(f[1], n) || n <= 0)
            return std::string("n 无效。Bad n.");
        if (f[2].size() != 1 || f[2][0] < 'A' || f[2][0] > 'Z')
            return std::string("letter 应为 A-Z。The letter must be A-Z.");
        if (!readInteger(f[3], code) || code < 0 || code > 255)
            return std::string("key_code 应为 0-255。key_code must be 0 to 255.");
        if (!readInteger(f[4], correct) || (correct != 0 && correct != 1))
            return std::string("correct 应为 1 或 0。correct must be 1 or 0.");
        if (!readInteger(f[5], press) || !readInteger(f[6], release))
            return std::string("时间无效。Bad press_ms or release_ms.");
        add.bind(1, run).bind(2, n).bind(3, f[2]).bind(4, code).bind(5, correct);
        add.bind(6, press).bind(7, release);
        const int added = add.step();
        add.reset();
        if (added == SQLITE_CONSTRAINT_PRIMARYKEY)
            return std::string("(run, n) 重复。Repeated (run, n).");
        return added == SQLITE_DONE ? std::string() : stagingReason(db);
    });
}

struct Tally
{
    int added = 0;
    int updated = 0;
    int there = 0;
};

// Writes the staged runs into the history, within its transaction, each as its uuid decides.
std::string merge(sqlite3 *staging, HistoryStore &store, const std::string &path,
                  const std::string &learner, Tally &tally)
{
    sqlite3 *db = store.handle();
    SqliteStatement runs(staging, R"sql(
        SELECT run, uuid, started, ended, ended_by, ticks, speed,
               (SELECT count(*) FROM keys WHERE keys.run = runs.run), learner, mode
        FROM runs ORDER BY line)sql");
    SqliteStatement keys(staging, R"sql(
        SELECT n, letter, key_code, correct, press_ms, release_ms FROM keys WHERE run = ?1
        ORDER BY n)sql");
    SqliteStatement stored(db, R"sql(
        SELECT id, coalesce(ended_by, ''), (SELECT count(*) FROM keys WHERE run = runs.id)
        FROM runs WHERE uuid = ?1)sql");
    // Keys go to the store a batch at a time: a run of any length needs no more memory.
    constexpr std::size_t batchSize = 4096;
    std::vector<KeyRow> batch;
    batch.reserve(batchSize);
    int read = SQLITE_ROW;
    while ((read = runs.step()) == SQLITE_ROW) {
        std::vector<RunRow> row(1);
        RunRow &run = row.front();
        run.uuid = runs.text(1);
        run.started = runs.text(2);
        run.ended = runs.text(3);
        run.endedBy = runs.text(4);
        run.figures.ticks = runs.integer(5);
        run.figures.speed = runs.real(6);
        run.learner = runs.text(8).empty() ? learner : runs.text(8);
        run.mode = runs.text(9);
        stored.bind(1, run.uuid);
        const int found = stored.step();
        if (found == SQLITE_ROW) {
            // A run's real end (restart, exit) is final. An open run, or one a later start
            // ended as interrupted for want of its process, gives way to its real end, to a
            // later moment of it, or an open one to its interruption.
            const auto isFinal = [](const std::string &endedBy) {
                return endedBy == "restart" || endedBy == "exit";
            };
            const std::string storedEnd = stored.text(1);
            const bool later = isFinal(run.endedBy) || runs.integer(7) > stored.integer(2)
                || (storedEnd.empty() && run.endedBy == "interrupted");
            if (isFinal(storedEnd) || !later) {
                stored.reset();
                ++tally.there;
                continue;
            }
            run.id = stored.integer(0);
            ++tally.updated;
        } else if (found == SQLITE_DONE) {
            ++tally.added;
        } else {
            return historyReason(store, path);
        }
        stored.reset();

        keys.bind(1, runs.integer(0));
        bool written = false;
        for (;;) {
            const int step = keys.step();
            if (step == SQLITE_ROW) {
                const std::string letter = keys.text(1);
                batch.push_back({0, keys.integer(0), letter.front(),
                                 static_cast<int>(keys.integer(2)), keys.integer(3) == 1,
                                 keys.integer(4), keys.integer(5)});
                if (batch.size() < batchSize)
                    continue;
            } else if (step != SQLITE_DONE) {
                return stagingReason(staging);
            }
            if (!batch.empty() || !written) {
                if (store.writeInOpenTransaction(row, batch) != HistoryFault::None)
                    return historyReason(store, path);
                written = true;
                batch.clear();
            }
            if (step == SQLITE_DONE)
                break;
        }
        keys.reset();
    }
    return read == SQLITE_DONE ? std::string() : stagingReason(staging);
}

} // namespace

std::string importHistoryCsv(const std::string &databasePath, const std::string &folder,
                             std::string *summary, const std::string &learner)
{
    InputFile runsFile(fs::path(folder) / "runs.csv"), keysFile(fs::path(folder) / "keys.csv");
    std::string error;
    for (InputFile *file : {&runsFile, &keysFile}) {
        if (error = file->open(); !error.empty())
            return error;
    }
    const Database staging = openStaging(error);
    if (!staging)
        return error;
    if (error = stageRuns(runsFile, staging.get()); !error.empty())
        return error;
    if (error = stageKeys(keysFile, staging.get()); !error.empty())
        return error;

    HistoryFault fault = HistoryFault::None;
    const auto store = HistoryStore::open(databasePath, fault, {});
    if (!store)
        return historyReason(fault, databasePath, {});
    sqlite3 *db = store->handle();
    // The store's small cache suits the drill's few keys at a time, not a merge of many.
    execute(db, "PRAGMA cache_size = -16384");
    if (execute(db, "BEGIN IMMEDIATE") != SQLITE_OK)
        return historyReason(*store, databasePath);
    Tally tally;
    error = merge(staging.get(), *store, databasePath, learner, tally);
    if (error.empty() && execute(db, "COMMIT") != SQLITE_OK)
        error = historyReason(*store, databasePath);
    if (!error.empty()) {
        execute(db, "ROLLBACK");
        return error;
    }
    if (summary)
        *summary = "新增 " + std::to_string(tally.added) + " 次练习，更新 "
            + std::to_string(tally.updated) + " 次（进行中 → 已结束），已有 "
            + std::to_string(tally.there) + " 次。Imported " + std::to_string(tally.added)
            + " runs, updated " + std::to_string(tally.updated) + " (open → ended), "
            + std::to_string(tally.there) + " already there.";
    return {};
}

#include "history_csv.h"

#include "csv_table.h"
#include "format_pattern.h"
#include "history_store.h"
#include "history_time.h"
#include "sqlite_statement.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sqlite3.h>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view runsHeader =
    "run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy";
constexpr std::string_view keysHeader = "run,n,letter,key_code,correct,press_ms,release_ms";

// Up to two decimals, exact halves away from zero, always a digit before the point.
std::string decimal(double value)
{
    std::string text = formatPattern(value, "##.##");
    if (text.front() == '.')
        text.insert(0, "0");
    return text;
}

// Opens an existing history for reading, even one this user may not write.
std::unique_ptr<HistoryStore> openExisting(const std::string &path, std::string &error)
{
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(path, fault, {});
    if (!store && fault == HistoryFault::CannotWrite)
        store = HistoryStore::open(path, fault, {std::chrono::seconds(2), nullptr, true});
    if (!store)
        error = faultMessage(fault, path);
    return store;
}

bool writeFile(const fs::path &path, const std::string &text, std::string &error)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) {
        error = "typing-drill: 无法写入文件。Cannot write the file: " + path.string();
        return false;
    }
    return true;
}

} // namespace

std::string exportHistoryCsv(const std::string &databasePath, const std::string &folder)
{
    std::string runs = std::string(runsHeader) + "\r\n";
    std::string keys = std::string(keysHeader) + "\r\n";
    std::string error;
    if (fs::exists(databasePath)) {
        const auto store = openExisting(databasePath, error);
        if (!store)
            return error;
        sqlite3 *db = store->handle();
        // One read transaction: both files show the same moment of the history.
        execute(db, "BEGIN");
        SqliteStatement runRows(db, R"sql(
            SELECT id, started, ended, coalesce(ended_by, ''), ticks, total, correct, wrong,
                   speed, accuracy
            FROM runs ORDER BY julianday(started), id)sql");
        int runsRead = SQLITE_ROW;
        while ((runsRead = runRows.step()) == SQLITE_ROW) {
            runs += std::to_string(runRows.integer(0)) + ',' + csvField(runRows.text(1)) + ','
                + csvField(runRows.text(2)) + ',' + csvField(runRows.text(3));
            for (int column = 4; column <= 7; ++column)
                runs += ',' + std::to_string(runRows.integer(column));
            runs += ',' + decimal(runRows.real(8)) + ',' + decimal(runRows.real(9)) + "\r\n";
        }
        SqliteStatement keyRows(db, R"sql(
            SELECT k.run, k.n, k.letter, k.key_code, k.correct, k.press_ms, k.release_ms
            FROM keys AS k JOIN runs AS r ON r.id = k.run
            ORDER BY julianday(r.started), r.id, k.n)sql");
        int keysRead = SQLITE_ROW;
        while ((keysRead = keyRows.step()) == SQLITE_ROW) {
            keys += std::to_string(keyRows.integer(0)) + ',' + std::to_string(keyRows.integer(1))
                + ',' + csvField(keyRows.text(2));
            for (int column = 3; column <= 6; ++column)
                keys += ',' + std::to_string(keyRows.integer(column));
            keys += "\r\n";
        }
        if (runsRead != SQLITE_DONE || keysRead != SQLITE_DONE)
            return faultMessage(HistoryFault::WriteFailed, databasePath, sqlite3_errmsg(db));
        execute(db, "COMMIT");
    }
    std::error_code made;
    fs::create_directories(folder, made);
    if (made)
        return faultMessage(HistoryFault::CannotCreateFolder, folder);
    if (!writeFile(fs::path(folder) / "runs.csv", runs, error)
        || !writeFile(fs::path(folder) / "keys.csv", keys, error))
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

bool readDecimal(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    return !text.empty() && error == std::errc() && stop == end && value >= 0;
}

struct CsvFile
{
    std::string path;
    std::vector<CsvRecord> records;
};

// Reads a file's records after its header line; "" or "FILE:LINE: reason".
std::string readCsvFile(const fs::path &path, std::string_view header, CsvFile &file)
{
    file.path = path.string();
    std::ifstream stream(path, std::ios::binary);
    if (!stream)
        return "typing-drill: 无法读取文件。Cannot read the file: " + file.path;
    std::ostringstream text;
    text << stream.rdbuf();
    int errorLine = 0;
    if (!parseCsv(text.str(), file.records, errorLine))
        return file.path + ":" + std::to_string(errorLine) + ": 引号未闭合。Unbalanced quotes.";
    // The header's names hold no commas: joined again, the first record must read as the header.
    std::string seen;
    if (!file.records.empty()) {
        for (const std::string &field : file.records.front().fields)
            seen += (seen.empty() ? "" : ",") + field;
    }
    if (seen != header)
        return file.path + ":1: 表头应为 Header must be: " + std::string(header);
    const std::size_t fields = file.records.front().fields.size();
    file.records.erase(file.records.begin());
    for (const CsvRecord &record : file.records) {
        if (record.fields.size() != fields)
            return file.path + ":" + std::to_string(record.line) + ": 应有 "
                + std::to_string(fields) + " 个字段。Expected " + std::to_string(fields)
                + " fields.";
    }
    return {};
}

std::string at(const CsvFile &file, const CsvRecord &record, const std::string &reason)
{
    return file.path + ":" + std::to_string(record.line) + ": " + reason;
}

struct ImportedRun
{
    RunRow row;
    std::vector<KeyRow> keys;
};

std::string readRuns(const CsvFile &file, std::map<std::int64_t, ImportedRun> &runs)
{
    for (const CsvRecord &record : file.records) {
        const auto &f = record.fields;
        RunRow row;
        if (!readInteger(f[0], row.id) || row.id <= 0 || runs.count(row.id))
            return at(file, record, "run 编号无效或重复。Bad or repeated run number.");
        if (!isLocalTimestamp(f[1]) || !isLocalTimestamp(f[2]))
            return at(file, record, "时间格式无效。Bad time: YYYY-MM-DDTHH:MM:SS.mmm+HH:MM.");
        row.started = f[1];
        row.ended = f[2];
        if (!f[3].empty() && f[3] != "restart" && f[3] != "exit" && f[3] != "interrupted")
            return at(file, record, "ended_by 无效。Bad ended_by.");
        row.endedBy = f[3];
        RunFigures &figures = row.figures;
        if (!readInteger(f[4], figures.ticks) || !readInteger(f[5], figures.total)
            || !readInteger(f[6], figures.correct) || !readInteger(f[7], figures.wrong)
            || figures.ticks < 0 || figures.correct < 0 || figures.wrong < 0
            || figures.total != figures.correct + figures.wrong)
            return at(file, record, "计数无效。Bad counts: total must be correct + wrong.");
        if (!readDecimal(f[8], figures.speed) || !readDecimal(f[9], figures.accuracy)
            || figures.accuracy > 100)
            return at(file, record, "速度或正确率无效。Bad speed or accuracy.");
        runs[row.id].row = row;
    }
    return {};
}

std::string readKeys(const CsvFile &file, std::map<std::int64_t, ImportedRun> &runs)
{
    std::set<std::pair<std::int64_t, std::int64_t>> numbers;
    for (const CsvRecord &record : file.records) {
        const auto &f = record.fields;
        std::int64_t run = 0, code = 0, correct = 0;
        KeyRow key;
        if (!readInteger(f[0], run) || !runs.count(run))
            return at(file, record, "run 不在 runs.csv 中。Run not in runs.csv.");
        if (!readInteger(f[1], key.n) || key.n <= 0 || !numbers.insert({run, key.n}).second)
            return at(file, record, "n 无效或重复。Bad or repeated n.");
        if (f[2].size() != 1 || f[2][0] < 'A' || f[2][0] > 'Z')
            return at(file, record, "letter 应为 A-Z。The letter must be A-Z.");
        key.letter = f[2][0];
        if (!readInteger(f[3], code) || code < -32768 || code > 32767)
            return at(file, record, "key_code 无效。Bad key_code.");
        key.keyCode = static_cast<int>(code);
        if (!readInteger(f[4], correct) || (correct != 0 && correct != 1))
            return at(file, record, "correct 应为 1 或 0。correct must be 1 or 0.");
        key.correct = correct == 1;
        if (!readInteger(f[5], key.pressMs) || !readInteger(f[6], key.releaseMs))
            return at(file, record, "时间无效。Bad press_ms or release_ms.");
        runs[run].keys.push_back(key);
    }
    return {};
}

} // namespace

std::string importHistoryCsv(const std::string &databasePath, const std::string &folder,
                             std::string *summary)
{
    CsvFile runsFile, keysFile;
    std::map<std::int64_t, ImportedRun> runs;
    for (const std::string &error :
         {readCsvFile(fs::path(folder) / "runs.csv", runsHeader, runsFile),
          readCsvFile(fs::path(folder) / "keys.csv", keysHeader, keysFile)}) {
        if (!error.empty())
            return error;
    }
    if (std::string error = readRuns(runsFile, runs); !error.empty())
        return error;
    if (std::string error = readKeys(keysFile, runs); !error.empty())
        return error;

    HistoryFault fault = HistoryFault::None;
    const auto store = HistoryStore::open(databasePath, fault, {});
    if (!store)
        return faultMessage(fault, databasePath);
    sqlite3 *db = store->handle();
    if (execute(db, "BEGIN IMMEDIATE") != SQLITE_OK)
        return faultMessage(store->lastFault(), databasePath, sqlite3_errmsg(db));
    SqliteStatement known(db, R"sql(
        SELECT count(*) FROM runs WHERE started = ?1 AND total = ?2 AND correct = ?3
            AND wrong = ?4)sql");
    SqliteStatement taken(db, "SELECT count(*) FROM runs WHERE id = ?1");
    int imported = 0, skipped = 0;
    for (auto &[id, run] : runs) {
        const RunFigures &figures = run.row.figures;
        known.bind(1, run.row.started).bind(2, figures.total).bind(3, figures.correct);
        known.bind(4, figures.wrong);
        const bool there = known.step() == SQLITE_ROW && known.integer(0) > 0;
        known.reset();
        if (there) {
            ++skipped;
            continue;
        }
        taken.bind(1, id);
        if (taken.step() == SQLITE_ROW && taken.integer(0) > 0)
            run.row.id = 0;
        taken.reset();
        std::vector<RunRow> rows {run.row};
        for (KeyRow &key : run.keys)
            key.run = 0;
        if (const HistoryFault failed = store->writeInOpenTransaction(rows, run.keys);
            failed != HistoryFault::None) {
            const std::string error = sqlite3_errmsg(db);
            execute(db, "ROLLBACK");
            return faultMessage(failed, databasePath, error);
        }
        ++imported;
    }
    if (execute(db, "COMMIT") != SQLITE_OK) {
        const std::string error =
            faultMessage(store->lastFault(), databasePath, sqlite3_errmsg(db));
        execute(db, "ROLLBACK");
        return error;
    }
    if (summary)
        *summary = "导入 " + std::to_string(imported) + " 次练习，" + std::to_string(skipped)
            + " 次已有。Imported " + std::to_string(imported) + " runs, " + std::to_string(skipped)
            + " already there.";
    return {};
}

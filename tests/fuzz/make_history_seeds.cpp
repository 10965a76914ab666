// Writes the seed files of fuzz_history_open into the folder given: histories as the store makes
// them, one of the first layout, and SQLite files of other programs that must be left alone. Pages
// of 512 bytes keep the files small, so that the fuzzer's mutations reach every page sooner.
#include "history_schema.h"
#include "history_store.h"
#include "sqlite_statement.h"

#include <cstdio>
#include <filesystem>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool run(sqlite3 *db, const std::string &sql)
{
    if (execute(db, sql.c_str()) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "make_history_seeds: %s\n", sqlite3_errmsg(db));
    return false;
}

// Rewrites a database with small pages, in the journal mode given.
bool compact(const fs::path &path, const std::string &journal)
{
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const bool done = run(db,
                          "PRAGMA journal_mode = DELETE; PRAGMA page_size = 512; VACUUM; "
                          "PRAGMA journal_mode = "
                              + journal);
    sqlite3_close(db);
    return done;
}

bool makeHistory(const fs::path &path, int runs, const std::string &journal)
{
    fs::remove(path);
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(path.string(), fault, {});
    if (!store)
        return false;
    std::vector<RunRow> rows;
    std::vector<KeyRow> keys;
    for (int i = 0; i < runs; ++i) {
        RunRow row;
        row.uuid = "5b0e8c1d-2a3f-4e6b-8d7c-9f1a2b3c4d5" + std::to_string(i);
        row.started = "2026-12-0" + std::to_string(i + 1) + "T08:15:00.000+08:00";
        row.ended = "2026-12-0" + std::to_string(i + 1) + "T08:16:30.250+08:00";
        // The last run goes on: no end yet, and a live owner.
        row.endedBy = i + 1 < runs ? "restart" : "";
        row.owner = i + 1 < runs ? "" : "boot:1234:5678";
        row.figures = {900, 0, 0, 0, 42.5, 0};
        rows.push_back(row);
        for (int n = 1; n <= 3; ++n) {
            const char letter = static_cast<char>('A' + (i * 3 + n) % 26);
            keys.push_back({static_cast<std::size_t>(i), n, letter, n == 2 ? 'Z' : letter, n != 2,
                            120 * n, 120 * n + 70});
        }
    }
    if (store->write(rows, keys) != HistoryFault::None)
        return false;
    store->checkpoint();
    store.reset();
    return compact(path, journal);
}

// A database made by statements alone, as the first layout's program or another program would.
bool makeDatabase(const fs::path &path, const std::string &sql)
{
    fs::remove(path);
    sqlite3 *db = nullptr;
    sqlite3_open(path.c_str(), &db);
    const bool done = run(db, "PRAGMA page_size = 512;" + sql);
    sqlite3_close(db);
    return done;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_history_seeds FOLDER\n");
        return 2;
    }
    const fs::path folder = argv[1];
    const std::string version1(historySchema::stepTo(1));
    const std::string version1Run = R"sql(
        INSERT INTO runs VALUES (1, '2025-03-02T21:04:11.500+08:00',
            '2025-03-02T21:05:00.000+08:00', 'exit', 490, 2, 1, 1, 14.7, 50, NULL);
        INSERT INTO keys VALUES (1, 1, 'K', 75, 1, 300, 380), (1, 2, 'W', 69, 0, 800, 860);)sql";
    // The store keeps a history in WAL mode; a copy restored from a backup may be in rollback mode,
    // which the store switches, a write that must wait until the file is known to be sound.
    const bool made = makeHistory(folder / "seed-empty-history", 0, "WAL")
        && makeHistory(folder / "seed-three-runs", 3, "WAL")
        && makeHistory(folder / "seed-one-run-rollback-journal", 1, "DELETE")
        && makeDatabase(folder / "seed-layout-1", version1 + version1Run + "PRAGMA user_version = 1;")
        // The first layout's tables, but another program's file: never to be taken for a history.
        && makeDatabase(folder / "seed-other-program",
                        version1 + "PRAGMA application_id = 1179208773; PRAGMA user_version = 2;")
        && makeDatabase(folder / "seed-unmarked-version-2",
                        "CREATE TABLE notes (id INTEGER PRIMARY KEY, text TEXT);"
                        "INSERT INTO notes VALUES (1, 'runs'); PRAGMA user_version = 2;"
                        "PRAGMA journal_mode = WAL;");
    return made ? 0 : 1;
}

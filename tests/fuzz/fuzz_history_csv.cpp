// libFuzzer target: importing any pair of CSV files into a new history ends with "" or a one-line
// message, and a refused import leaves no run behind. The input is runs.csv, a NUL byte, then
// keys.csv.
#include "history_csv.h"
#include "scratch_folder.h"
#include "sqlite_statement.h"

#include <cstdint>
#include <cstdlib>
#include <sqlite3.h>
#include <string>
#include <string_view>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The runs in the history at path, read without the store so that its own reading is not trusted.
std::int64_t storedRuns(const std::string &path)
{
    sqlite3 *db = nullptr;
    check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK);
    std::int64_t runs = -1;
    {
        SqliteStatement count(db, "SELECT count(*) FROM runs");
        if (count.step() == SQLITE_ROW)
            runs = count.integer(0);
    }
    sqlite3_close_v2(db);
    return runs;
}

const ScratchFolder &scratch()
{
    static const ScratchFolder folder;
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    // The import stages its rows in a temporary database, which SQLite would put on the disk.
    ::setenv("SQLITE_TMPDIR", scratch().path().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const ScratchFolder &folder = scratch();
    folder.clear();
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view runs = input.substr(0, split);
    const std::string_view keys =
        split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    writeWhole(folder.path() / "runs.csv", runs);
    writeWhole(folder.path() / "keys.csv", keys);

    const std::string database = (folder.path() / "history.sqlite").string();
    std::string summary;
    const std::string message = importHistoryCsv(database, folder.path().string(), &summary);
    check(message.find('\n') == std::string::npos);
    if (message.empty()) {
        check(!summary.empty());
    } else {
        std::error_code error;
        if (std::filesystem::exists(database, error))
            check(storedRuns(database) == 0);
    }
    return 0;
}

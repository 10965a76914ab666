// libFuzzer target: any file opened as a history either opens and takes a run, or is left byte
// for byte as it was, with nothing beside it (no journal, log or shared-memory file).
#include "history_schema.h"
#include "history_store.h"
#include "scratch_folder.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

// A big-endian word of a SQLite file's header.
std::uint32_t headerWord(std::string_view file, std::size_t at)
{
    std::uint32_t word = 0;
    for (std::size_t i = at; i < at + 4; ++i)
        word = word << 8 | static_cast<unsigned char>(file[i]);
    return word;
}

// Whether the header alone rules the file out as a history: not SQLite, another program's
// application id, a layout newer than ours, or unmarked but not of the first layout.
bool headerRulesOut(std::string_view file)
{
    constexpr std::string_view magic("SQLite format 3\0", 16);
    if (file.empty())
        return false;
    if (file.size() < 100 || !file.starts_with(magic))
        return true;
    const std::uint32_t version = headerWord(file, 60);
    const std::uint32_t id = headerWord(file, 68);
    if (id == std::uint32_t(historySchema::applicationId))
        return version > std::uint32_t(historySchema::currentVersion);
    return id != 0 || version != 1;
}

std::string contents(const fs::path &path)
{
    std::ifstream file(path, std::ios::binary);
    check(file.good());
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// A finished run of two keys, as the drill would write it.
void writeOneRun(HistoryStore &store)
{
    RunRow run;
    run.uuid = "0f6c3a52-8d41-4b7e-9c2a-5e7d1b3f9a60";
    run.started = "2026-12-07T19:29:56.120+08:00";
    run.ended = "2026-12-07T19:30:02.480+08:00";
    run.endedBy = "exit";
    run.figures = {64, 2, 1, 1, 18.75, 50};
    std::vector<RunRow> runs {run};
    const std::vector<KeyRow> keys {{0, 1, 'Q', 'Q', true, 180, 260},
                                    {0, 2, 'H', 'J', false, 910, 1004}};
    // A damaged or full file may refuse the write; the store must only say so.
    store.write(runs, keys);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const ScratchFolder scratch;
    scratch.clear();
    const fs::path path = scratch.path() / "history.sqlite";
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    writeWhole(path, input);

    HistoryFault fault = HistoryFault::None;
    HistoryStore::Options options;
    options.busyTimeout = std::chrono::milliseconds(0);
    if (auto store = HistoryStore::open(path.string(), fault, options)) {
        check(fault == HistoryFault::None && !headerRulesOut(input));
        writeOneRun(*store);
        return 0;
    }
    check(fault != HistoryFault::None);
    check(contents(path) == input);
    for (const fs::directory_entry &entry : fs::directory_iterator(scratch.path()))
        check(entry.path() == path);
    return 0;
}

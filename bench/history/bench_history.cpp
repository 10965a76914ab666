// Prints what the history costs: opening the database (SQLite's C API beside Qt SQL), the call
// the window makes for each key, the file size and CPU time of 1,000,000 stored keys, the final
// write at exit, and the time and peak memory of exporting those keys to CSV and importing them.
// With --csv, only the last two.
#include "figures.h"
#include "history_csv.h"
#include "history_recorder.h"
#include "history_store.h"
#include "run_identity.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

int mappedLibraries()
{
    std::ifstream maps("/proc/self/maps");
    std::set<std::string> libraries;
    for (std::string line; std::getline(maps, line);) {
        const auto at = line.find('/');
        if (at != std::string::npos && line.find(".so", at) != std::string::npos)
            libraries.insert(line.substr(at));
    }
    return int(libraries.size());
}

// One first open in a fresh process, as the drill does it at start: prints milliseconds and the
// shared libraries it added.
int openOnce(const std::string &how, const std::string &path)
{
    const int before = mappedLibraries();
    const auto start = Clock::now();
    if (how == "capi") {
        HistoryFault fault = HistoryFault::None;
        const auto store = HistoryStore::open(path, fault, {});
        if (!store)
            return 1;
    } else {
        int argc = 1;
        char name[] = "bench_history";
        char *argv[] = {name, nullptr};
        QCoreApplication application(argc, argv);
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
        db.setDatabaseName(QString::fromStdString(path));
        if (!db.open())
            return 1;
        QSqlQuery query(db);
        query.exec("PRAGMA user_version");
        query.next();
        query.exec("PRAGMA journal_mode = WAL");
    }
    std::printf("%.3f %d\n", millisecondsSince(start), mappedLibraries() - before);
    return 0;
}

TableRow firstOpen(const char *self, const std::string &how, const std::string &path)
{
    std::vector<double> times, libraries;
    for (int run = 0; run < 9; ++run) {
        const std::string command = std::string(self) + " --open-once " + how + " " + path;
        FILE *child = popen(command.c_str(), "r");
        double time = 0;
        int added = 0;
        if (child && std::fscanf(child, "%lf %d", &time, &added) == 2) {
            times.push_back(time);
            libraries.push_back(added);
        }
        if (child)
            pclose(child);
    }
    std::printf("  %s: libraries added by the open: %.0f\n", how.c_str(),
                summarise(libraries).median);
    return {"first open of the history, " + how, "ms", summarise(times), {}, ""};
}

// A recorder with a run started, as the window has it after its start.
struct RecordedDrill
{
    explicit RecordedDrill(const std::string &path)
        : recorder([&] {
            HistoryRecorderOptions options;
            options.path = path;
            return options;
        }())
    {
        drill.reset();
        recorder.runStarted();
    }

    HistoryRecorder recorder;
    TypingDrill drill;
};

void typeKeys(HistoryRecorder &recorder, TypingDrill &drill, int count)
{
    for (int i = 0; i < count; ++i) {
        drill.tick();
        const char letter = drill.zimuText().front();
        const KeyCode code = i % 5 == 0 ? KeyCode('A') : KeyCode(letter);
        recorder.keyJudged({letter, code, drill.keyReleased(code), 90, 310}, drill);
    }
}

TableRow keyCall(const std::string &path)
{
    RecordedDrill recorded(path);
    auto &[recorder, drill] = recorded;
    std::vector<double> perKey;
    for (int round = 0; round < 200; ++round) {
        const auto start = Clock::now();
        typeKeys(recorder, drill, 100);
        perKey.push_back(millisecondsSince(start) * 1000 / 100);
        // About what a fast typist gives between two writes.
        usleep(2000);
    }
    recorder.runEnded(RunEnd::Exit, drill);
    recorder.finish(std::chrono::seconds(10));
    return {"keyJudged call on the window's thread", "us", summarise(perKey), {}, "< 1 us"};
}

// The start of the run-th run: one a minute from the first of December.
std::string startOfRun(int run)
{
    char text[40];
    std::snprintf(text, sizeof text, "2026-12-%02dT%02d:%02d:00.000+08:00", 1 + run / 1440,
                  run / 60 % 24, run % 60);
    return text;
}

std::vector<TableRow> millionKeys(const std::string &path)
{
    HistoryFault fault = HistoryFault::None;
    auto store = HistoryStore::open(path, fault, {});
    constexpr int batch = 20, keys = 1000000, keysPerRun = 200;
    std::vector<RunRow> runs(1);
    std::vector<KeyRow> rows(batch);
    const double cpuBefore = processCpuSeconds();
    const auto start = Clock::now();
    for (int n = 0; n < keys; n += batch) {
        // A new run every 200 keys, as practice comes.
        if (n % keysPerRun == 0) {
            runs[0] = {};
            runs[0].uuid = newRunUuid();
            runs[0].started = runs[0].ended = startOfRun(n / keysPerRun);
            runs[0].endedBy = "exit";
        }
        for (int i = 0; i < batch; ++i) {
            const int number = n % keysPerRun + i + 1;
            rows[i] = {0,
                       number,
                       char('A' + number % 26),
                       65 + (number * 7) % 26,
                       number % 5 != 0,
                       60 + number % 300,
                       250 + number % 900};
        }
        runs[0].figures.ticks = (n % keysPerRun + batch) * 4;
        runs[0].figures.speed = 150;
        if (store->write(runs, rows) != HistoryFault::None)
            break;
    }
    const double cpu = processCpuSeconds() - cpuBefore;
    const double wall = millisecondsSince(start) / 1000;
    store.reset();
    namespace fs = std::filesystem;
    const double bytes = double(fs::file_size(path))
        + (fs::exists(path + "-wal") ? double(fs::file_size(path + "-wal")) : 0);
    std::printf("  1,000,000 keys in %d-key transactions: %.1f s wall\n", batch, wall);
    return {{"file size per 1,000,000 keys (db + log)",
             "MiB",
             {bytes / 1048576, bytes / 1048576, bytes / 1048576, 1},
             {},
             ""},
            {"CPU to store 1,000,000 keys", "s", {cpu, cpu, cpu, 1}, {}, ""}};
}

// The peak resident memory of this process so far (VmHWM), in MiB.
double peakResidentMiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024;
    }
    return 0;
}

// One export or import in a fresh process, which does nothing else: prints its seconds and the
// process's peak resident memory, or nothing when it failed.
int csvOnce(const std::string &what, const std::string &history, const std::string &folder)
{
    const auto start = Clock::now();
    std::string error;
    if (what == "export")
        error = exportHistoryCsv(history, folder);
    else if (what == "import")
        error = importHistoryCsv(history, folder);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%.3f %.1f\n", millisecondsSince(start) / 1000, peakResidentMiB());
    return 0;
}

// Export and import of the history of 1,000,000 keys, each in a process of its own, beside a
// process that only starts ("none"): the floor of its peak memory.
std::vector<TableRow> csvOfMillionKeys(const char *self, const std::string &million,
                                       const std::string &scratch)
{
    const std::string folder = scratch + "/csv", copy = scratch + "/imported.sqlite";
    struct Step
    {
        const char *what;
        std::string history;
        const char *figure;
    };
    const Step steps[] = {
        {"none", million, "process that only starts"},
        {"export", million, "CSV export of 1,000,000 keys"},
        {"import", copy, "CSV import, empty history"},
        {"import", copy, "CSV import, all there already"},
    };
    std::vector<TableRow> rows;
    for (const Step &step : steps) {
        const std::string command =
            std::string(self) + " --csv-once " + step.what + " " + step.history + " " + folder;
        FILE *child = popen(command.c_str(), "r");
        double seconds = 0, peak = 0;
        const bool read = child && std::fscanf(child, "%lf %lf", &seconds, &peak) == 2;
        if (child)
            pclose(child);
        if (!read)
            std::printf("  %s: failed\n", step.figure);
        if (step.what != std::string("none"))
            rows.push_back(
                {std::string(step.figure) + ": time", "s", {seconds, seconds, seconds, 1}, {}, ""});
        rows.push_back({std::string(step.figure) + ": peak resident",
                        "MiB",
                        {peak, peak, peak, 1},
                        {},
                        step.what == std::string("none") ? "" : "<= 100 MiB"});
    }
    return rows;
}

TableRow finalWrite(const std::string &path)
{
    std::vector<double> times;
    for (int round = 0; round < 20; ++round) {
        RecordedDrill recorded(path);
        auto &[recorder, drill] = recorded;
        typeKeys(recorder, drill, 20);
        usleep(50000);
        recorder.runEnded(RunEnd::Exit, drill);
        const auto start = Clock::now();
        recorder.finish(std::chrono::seconds(10));
        times.push_back(millisecondsSince(start));
    }
    return {"final write at exit (20 keys queued)", "ms", summarise(times), {}, "<= 100 ms"};
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 4 && std::string(argv[1]) == "--open-once")
        return openOnce(argv[2], argv[3]);
    if (argc == 5 && std::string(argv[1]) == "--csv-once")
        return csvOnce(argv[2], argv[3], argv[4]);
    // --csv: the million keys and their export and import alone.
    const bool csvOnly = argc == 2 && std::string(argv[1]) == "--csv";
    QTemporaryDir folder;
    std::vector<TableRow> rows;
    if (!csvOnly) {
        const std::string existing = folder.filePath("existing.sqlite").toStdString();
        {
            HistoryFault fault = HistoryFault::None;
            HistoryStore::open(existing, fault, {});
        }
        rows.push_back(firstOpen(argv[0], "capi", existing));
        rows.push_back(firstOpen(argv[0], "qtsql", existing));
        rows.push_back(keyCall(folder.filePath("keys.sqlite").toStdString()));
        rows.push_back(finalWrite(folder.filePath("exit.sqlite").toStdString()));
    }
    const std::string million = folder.filePath("million.sqlite").toStdString();
    for (TableRow &row : millionKeys(million))
        rows.push_back(row);
    for (TableRow &row : csvOfMillionKeys(argv[0], million, folder.path().toStdString()))
        rows.push_back(row);
    printTable(rows);
    return 0;
}

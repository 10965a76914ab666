// A lab of drills sending at once: each drill's history gets keys at a steady rate, written every
// two seconds as the drill's recorder writes them, and a RunSender per drill sends them to one
// private PostgreSQL server. Prints how long a key took from its release to its row on the server
// (sampled by watching the server), whether every key arrived once, and the server's CPU time.
//
//   bench_class_sending [DRILLS [KEYS_PER_SECOND [SECONDS]]]    (default 60 10 600)
#include "class_admin.h"
#include "class_roster.h"
#include "history_store.h"
#include "pg_connection.h"
#include "postgres_server.h"
#include "pupil_access.h"
#include "run_sender.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <unistd.h>

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

namespace {

// CPU seconds used so far by the process and its children still running (the server's backends).
double cpuSeconds(pid_t root)
{
    double total = 0;
    const long ticks = sysconf(_SC_CLK_TCK);
    DIR *proc = opendir("/proc");
    while (dirent *entry = proc ? readdir(proc) : nullptr) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string line;
        std::getline(stat, line);
        const std::size_t close = line.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(line.substr(close + 2));
        std::string state;
        long parent = 0, skip = 0, user = 0, system = 0;
        fields >> state >> parent;
        for (int i = 0; i < 9; ++i)
            fields >> skip;
        fields >> user >> system;
        if (pid == root || parent == root)
            total += double(user + system) / double(ticks);
    }
    if (proc)
        closedir(proc);
    return total;
}

struct Drill
{
    std::string studentNumber;
    std::string pin;
    std::string history;
    std::string uuid;
    // When each key was released, by its number.
    std::vector<Clock::time_point> released;
    std::mutex mutex;
    std::unique_ptr<RunSender> sender;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int drills = argc > 1 ? std::atoi(argv[1]) : 60;
    const double rate = argc > 2 ? std::atof(argv[2]) : 10;
    const int seconds = argc > 3 ? std::atoi(argv[3]) : 600;

    PostgresServer server;
    if (!server.start()) {
        std::fprintf(stderr, "the server did not start: %s\n", server.log().c_str());
        return 1;
    }
    std::string error, cards;
    auto admin = PgConnection::open(server.adminConnection(), error);
    std::vector<RosterRow> roster;
    for (int i = 0; i < drills; ++i)
        roster.push_back({i + 2, "S" + std::to_string(1000 + i), "学生" + std::to_string(i)});
    if (!admin || !classAdmin::init(*admin).empty()
        || !classAdmin::addTeacher(*admin, "teacher", "secret").empty()
        || !classAdmin::addClass(*admin, "lab", "teacher").empty()
        || !classAdmin::addPupils(*admin, "lab", roster, cards).empty()) {
        std::fprintf(stderr, "the class could not be set up: %s\n", error.c_str());
        return 1;
    }
    std::istringstream cardLines(cards);
    std::string line;
    std::getline(cardLines, line);
    QTemporaryDir folder;
    std::vector<std::unique_ptr<Drill>> lab;
    for (int i = 0; i < drills && std::getline(cardLines, line); ++i) {
        auto drill = std::make_unique<Drill>();
        const std::size_t last = line.rfind(',');
        drill->studentNumber = roster[std::size_t(i)].studentNumber;
        drill->pin = line.substr(last + 1, 6);
        drill->history = folder.filePath(QString("drill-%1.sqlite").arg(i)).toStdString();
        char uuid[37];
        std::snprintf(uuid, sizeof uuid, "%08x-0000-4000-8000-%012d", 0xc0de0000 + i, i);
        drill->uuid = uuid;
        lab.push_back(std::move(drill));
    }

    const std::string conninfo =
        "host=localhost hostaddr=127.0.0.1 port=" + std::to_string(server.port())
        + " dbname=school sslmode=verify-full sslrootcert='" + server.caCertificate() + "'";
    const double cpuBefore = cpuSeconds(server.pid());
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    std::atomic<bool> typing {true};

    // Each drill: keys at the rate, written every two seconds, and its sender at the drill's
    // interval.
    std::vector<std::thread> typists;
    for (auto &drill : lab) {
        RunSenderOptions options;
        options.historyPath = drill->history;
        options.learner = drill->studentNumber;
        options.conninfo = conninfo;
        options.login = pupilAccess::loginParameters(drill->studentNumber, drill->pin);
        options.interval = 1s;
        options.report = [](const std::string &message) {
            std::fprintf(stderr, "%s\n", message.c_str());
        };
        typists.emplace_back([&, d = drill.get(), options] {
            HistoryFault fault = HistoryFault::None;
            auto store = HistoryStore::open(d->history, fault, {});
            d->sender = std::make_unique<RunSender>(options);
            RunRow run;
            run.uuid = d->uuid;
            run.started = "2026-12-08T09:00:00.000+08:00";
            run.ended = run.started;
            run.learner = d->studentNumber;
            std::vector<RunRow> runs {run};
            const auto gap = std::chrono::duration<double>(1 / rate);
            auto nextKey = Clock::now();
            auto nextWrite = nextKey + 2s;
            std::vector<KeyRow> pending;
            std::int64_t n = 0;
            while (typing) {
                std::this_thread::sleep_until(std::min(nextKey, nextWrite));
                const auto now = Clock::now();
                if (now >= nextKey) {
                    ++n;
                    pending.push_back(
                        {0, n, char('A' + n % 26), int('A' + n % 26), true, 200, 300});
                    std::lock_guard guard(d->mutex);
                    d->released.push_back(now);
                    nextKey += std::chrono::duration_cast<Clock::duration>(gap);
                }
                if (now >= nextWrite) {
                    if (store && store->write(runs, pending) == HistoryFault::None)
                        pending.clear();
                    nextWrite += 2s;
                }
            }
            if (store)
                store->write(runs, pending);
        });
    }

    // Watches the server: the first moment each key's row was seen there.
    std::vector<double> latencies;
    std::map<std::string, long> seen;
    auto watcher = PgConnection::open(server.superuserConnection(), error);
    while (Clock::now() < end + 15s) {
        if (Clock::now() >= end)
            typing = false;
        const PgResult held =
            watcher->exec("SELECT run, max(n) FROM typing_drill.keys GROUP BY run");
        const auto now = Clock::now();
        for (int row = 0; row < held.rows(); ++row) {
            const std::string uuid = held.text(row, 0);
            const long upTo = std::stol(held.text(row, 1));
            for (auto &drill : lab) {
                if (drill->uuid != uuid)
                    continue;
                std::lock_guard guard(drill->mutex);
                for (long k = seen[uuid]; k < upTo && k < long(drill->released.size()); ++k)
                    latencies.push_back(
                        std::chrono::duration<double>(now - drill->released[std::size_t(k)])
                            .count());
                seen[uuid] = std::max(seen[uuid], upTo);
            }
        }
        std::this_thread::sleep_for(200ms);
    }
    for (auto &typist : typists)
        typist.join();
    const double cpu = cpuSeconds(server.pid()) - cpuBefore;
    long typed = 0;
    for (auto &drill : lab) {
        drill->sender->finish(5s);
        typed += long(drill->released.size());
    }
    const PgResult stored =
        watcher->exec("SELECT count(*), count(DISTINCT (run, n)) FROM typing_drill.keys");
    std::sort(latencies.begin(), latencies.end());
    const auto at = [&](double share) {
        return latencies.empty() ? 0.0
                                 : latencies[std::size_t(share * double(latencies.size() - 1))];
    };
    std::printf("%d drills x %.0f keys/s for %d s: %ld keys typed, %s rows on the server (%s "
                "distinct)\n",
                drills, rate, seconds, typed, stored.text(0, 0).c_str(), stored.text(0, 1).c_str());
    std::printf("release to row on the server: median %.2f s, 99th percentile %.2f s, largest "
                "%.2f s (%zu keys seen arriving, watched every 0.2 s)\n",
                at(0.5), at(0.99), latencies.empty() ? 0.0 : latencies.back(), latencies.size());
    std::printf("server CPU: %.1f s in %d s (%.1f %% of one core)\n", cpu, seconds + 15,
                cpu * 100 / (seconds + 15));
    return 0;
}

// Writes a plausible practice history with the drill's exact database layout: a learner who
// practises most days, grows faster and more accurate, finds some letters harder than others and
// mostly presses a neighbouring key by mistake. The same arguments always give the same file.
//
// Usage: generate_history PATH [--runs N] [--keys N] [--days N] [--end YYYY-MM-DD]
#include "history_schema.h"
#include "run_identity.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <sqlite3.h>
#include <string>
#include <vector>

namespace {

struct Options
{
    std::string path;
    int runs = 300;
    long long keys = 30000;
    int days = 60;
    QDate end = QDate::currentDate();
};

// Keys next to each letter on a QWERTY keyboard, as virtual-key codes.
const char *neighbours(char letter)
{
    static const char *near[26] = {
        "QSZW",   "VGHN",  "XDFV", "SERFCX", "WSDR", "DRTGVC", "FTYHBV", "GYUJNB", "UJKO",
        "HUIKMN", "JIOLM", "KOP",  "NJK",    "BHJM", "IKLP",   "OL",     "WA",     "EDFT",
        "AWEDXZ", "RFGY",  "YHJI", "CFGB",   "QASE", "ZSDC",   "TGHU",   "ASX"};
    return near[letter - 'A'];
}

// How hard each letter is: a multiplier of the chance of a mistake and of the reaction time.
double difficulty(char letter)
{
    static const std::string hard = "QZXVBPY";
    static const std::string easy = "AEIOST";
    if (hard.find(letter) != std::string::npos)
        return 1.8;
    return easy.find(letter) != std::string::npos ? 0.7 : 1.0;
}

bool parse(int argc, char **argv, Options &options)
{
    if (argc < 2)
        return false;
    options.path = argv[1];
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const char *value = argv[i + 1];
        if (name == "--runs")
            options.runs = std::atoi(value);
        else if (name == "--keys")
            options.keys = std::atoll(value);
        else if (name == "--days")
            options.days = std::atoi(value);
        else if (name == "--end")
            options.end = QDate::fromString(value, Qt::ISODate);
        else
            return false;
    }
    return options.runs > 0 && options.keys >= options.runs && options.days > 0
        && options.end.isValid();
}

std::string timeText(const QDateTime &time)
{
    return time.toString(Qt::ISODateWithMs).toStdString();
}

bool exec(sqlite3 *db, const char *sql)
{
    if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "generate_history: %s\n", sqlite3_errmsg(db));
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    Options options;
    if (!parse(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: generate_history PATH [--runs N] [--keys N] [--days N]"
                     " [--end YYYY-MM-DD]\n");
        return 2;
    }
    std::remove(options.path.c_str());
    sqlite3 *db = nullptr;
    if (sqlite3_open(options.path.c_str(), &db) != SQLITE_OK)
        return 1;
    if (!exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = OFF; BEGIN")
        || !historySchema::upgrade(db, 0))
        return 1;

    std::mt19937_64 random(20261207);
    std::uniform_real_distribution<double> uniform(0, 1);
    std::normal_distribution<double> normal(0, 1);

    // Practice days: most days, sometimes a gap; every run on one of them, in order.
    std::vector<QDate> days;
    for (int back = options.days - 1; back >= 0; --back) {
        if (back == 0 || uniform(random) < 0.8)
            days.push_back(options.end.addDays(-back));
    }
    std::vector<int> runsOnDay(days.size(), 0);
    for (int run = 0; run < options.runs; ++run)
        ++runsOnDay[std::min(days.size() - 1, std::size_t(run * days.size() / options.runs))];

    sqlite3_stmt *insertRun = nullptr;
    sqlite3_stmt *insertKey = nullptr;
    sqlite3_prepare_v2(
        db,
        "INSERT INTO runs (id, started, ended, ended_by, ticks, total, correct,"
        " wrong, speed, accuracy, owner, uuid) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL, ?)",
        -1, &insertRun, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO keys VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insertKey,
                       nullptr);

    long long keysLeft = options.keys;
    int run = 0;
    for (std::size_t day = 0; day < days.size(); ++day) {
        QDateTime clock(days[day], QTime(8 + int(uniform(random) * 10), int(uniform(random) * 60)),
                        Qt::OffsetFromUTC, 8 * 3600);
        for (int i = 0; i < runsOnDay[day]; ++i, ++run) {
            // Progress: from a beginner's 900 ms and 12 % mistakes to 350 ms and 3 %.
            const double progress = double(run) / std::max(1, options.runs - 1);
            const double medianMs = 900 - 550 * progress;
            const double mistakes = 0.12 - 0.09 * progress;
            // Runs vary in length around what is left to share, so every run gets its part.
            const int runsLeft = options.runs - run;
            const double share = double(keysLeft) / runsLeft;
            const long long total = runsLeft == 1
                ? keysLeft
                : std::clamp<long long>(std::llround(share * (0.5 + uniform(random))), 1,
                                        keysLeft - (runsLeft - 1));
            keysLeft -= total;
            long long correct = 0;
            double elapsedMs = 0;
            for (long long n = 1; n <= total; ++n) {
                const char letter = char('A' + int(uniform(random) * 26));
                const bool right = uniform(random) >= mistakes * difficulty(letter);
                int keyCode = letter;
                if (!right) {
                    const char *near = neighbours(letter);
                    const double pick = uniform(random);
                    keyCode = pick < 0.85 ? near[int(uniform(random) * std::strlen(near))]
                        : pick < 0.92     ? 16
                        : pick < 0.97     ? 32
                                          : '0' + int(uniform(random) * 10);
                }
                double ms = medianMs * difficulty(letter) * std::exp(0.35 * normal(random));
                if (uniform(random) < 0.003)
                    ms = 10000 + uniform(random) * 20000; // looked away
                else if (uniform(random) < 0.003)
                    ms = uniform(random) * 40; // typed ahead of the letter
                const int releaseMs = int(ms);
                elapsedMs += releaseMs + 60;
                correct += right;
                sqlite3_bind_int(insertKey, 1, run + 1);
                sqlite3_bind_int64(insertKey, 2, n);
                sqlite3_bind_text(insertKey, 3, &letter, 1, SQLITE_TRANSIENT);
                sqlite3_bind_int(insertKey, 4, keyCode);
                sqlite3_bind_int(insertKey, 5, right);
                sqlite3_bind_int(insertKey, 6, releaseMs - 70 - int(uniform(random) * 40));
                sqlite3_bind_int(insertKey, 7, releaseMs);
                sqlite3_step(insertKey);
                sqlite3_reset(insertKey);
            }
            const int ticks = std::min(32767, std::max(1, int(elapsedMs / 100)));
            const QDateTime ended = clock.addMSecs(qint64(elapsedMs));
            const char *endedBy = i + 1 == runsOnDay[day] ? "exit"
                : uniform(random) < 0.05                  ? "interrupted"
                                                          : "restart";
            sqlite3_bind_int(insertRun, 1, run + 1);
            sqlite3_bind_text(insertRun, 11, newRunUuid().c_str(), -1, SQLITE_TRANSIENT);
            const std::string started = timeText(clock);
            const std::string endedText = timeText(ended);
            sqlite3_bind_text(insertRun, 2, started.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertRun, 3, endedText.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insertRun, 4, endedBy, -1, SQLITE_STATIC);
            sqlite3_bind_int(insertRun, 5, ticks);
            sqlite3_bind_int64(insertRun, 6, total);
            sqlite3_bind_int64(insertRun, 7, correct);
            sqlite3_bind_int64(insertRun, 8, total - correct);
            sqlite3_bind_double(insertRun, 9, double(total) * 600.0 / ticks);
            sqlite3_bind_double(insertRun, 10, 100.0 * double(correct) / double(total));
            if (sqlite3_step(insertRun) != SQLITE_DONE) {
                std::fprintf(stderr, "generate_history: %s\n", sqlite3_errmsg(db));
                return 1;
            }
            sqlite3_reset(insertRun);
            clock = ended.addSecs(20 + int(uniform(random) * 600));
        }
    }
    sqlite3_finalize(insertRun);
    sqlite3_finalize(insertKey);
    const bool committed = exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    return committed ? 0 : 1;
}

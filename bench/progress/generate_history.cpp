// Writes a plausible practice history with the drill's exact database layout: learners who
// practise most days, grow faster and more accurate, find some letters harder than others and
// mostly press a neighbouring key by mistake; now and then a run practises the weak letters. Each
// learner has the runs and keys asked for. The same arguments always give the same file.
//
// Usage: generate_history PATH [--runs N] [--keys N] [--days N] [--end YYYY-MM-DD]
//                              [--learners N]
#include "history_schema.h"
#include "learner_name.h"
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
    int learners = 1;
};

// The learners' names, the first for the learner every history starts with; then numbered.
std::string learnerNameOf(int learner)
{
    static const char *names[] = {"小明", "小红", "小华", "乐乐", "Anna", "Ben", "朵朵", "小雨"};
    constexpr int named = int(std::size(names));
    return learner < named ? names[learner] : "学员 " + std::to_string(learner + 1);
}

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
        else if (name == "--learners")
            options.learners = std::atoi(value);
        else
            return false;
    }
    return options.runs > 0 && options.keys >= options.runs && options.days > 0
        && options.end.isValid() && options.learners > 0;
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
                     " [--end YYYY-MM-DD] [--learners N]\n");
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

    sqlite3_stmt *insertRun = nullptr;
    sqlite3_stmt *insertKey = nullptr;
    sqlite3_stmt *insertLearner = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO runs (id, started, ended, ended_by, ticks, total, correct,"
                       " wrong, speed, accuracy, owner, uuid, learner, mode)"
                       " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, NULL, ?, ?, ?)",
                       -1, &insertRun, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO keys VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insertKey,
                       nullptr);
    // The first learner, whom every history has, is renamed: the account's name would differ
    // from machine to machine.
    sqlite3_prepare_v2(db,
                       "INSERT INTO learners (id, name, name_key) VALUES (?1, ?2, ?3)"
                       " ON CONFLICT (id) DO UPDATE SET name = ?2, name_key = ?3",
                       -1, &insertLearner, nullptr);

    int run = 0;
    for (int learner = 1; learner <= options.learners; ++learner) {
        const std::string name = learnerNameOf(learner - 1);
        const std::string key = learnerName::key(QString::fromStdString(name)).toStdString();
        sqlite3_bind_int(insertLearner, 1, learner);
        sqlite3_bind_text(insertLearner, 2, name.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(insertLearner, 3, key.c_str(), -1, SQLITE_TRANSIENT);
        if (sqlite3_step(insertLearner) != SQLITE_DONE) {
            std::fprintf(stderr, "generate_history: %s\n", sqlite3_errmsg(db));
            return 1;
        }
        sqlite3_reset(insertLearner);
        // Learners differ in how quick they are, and practise at different hours.
        const double pace = 0.8 + 0.4 * uniform(random);
        const int firstHour = 8 + (learner - 1) * 3 % 10;
        // Practice days: most days, sometimes a gap; every run on one of them, in order.
        std::vector<QDate> days;
        for (int back = options.days - 1; back >= 0; --back) {
            if (back == 0 || uniform(random) < 0.8)
                days.push_back(options.end.addDays(-back));
        }
        std::vector<int> runsOnDay(days.size(), 0);
        for (int nth = 0; nth < options.runs; ++nth)
            ++runsOnDay[std::min(days.size() - 1, std::size_t(nth * days.size() / options.runs))];

        long long keysLeft = options.keys;
        const int first = run;
        for (std::size_t day = 0; day < days.size(); ++day) {
            QDateTime clock(days[day],
                            QTime(firstHour + int(uniform(random) * 4), int(uniform(random) * 60)),
                            Qt::OffsetFromUTC, 8 * 3600);
            for (int i = 0; i < runsOnDay[day]; ++i, ++run) {
                // Progress: from a beginner's 900 ms and 12 % mistakes to 350 ms and 3 %.
                const double progress = double(run - first) / std::max(1, options.runs - 1);
                const double medianMs = (900 - 550 * progress) * pace;
                const double mistakes = 0.12 - 0.09 * progress;
                // Runs vary in length around what is left to share, so every run gets its part.
                const int runsLeft = options.runs - (run - first);
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
                // After the first weeks, one run in five practises the weak letters.
                const bool weak = progress > 0.2 && uniform(random) < 0.2;
                sqlite3_bind_int(insertRun, 1, run + 1);
                sqlite3_bind_int(insertRun, 12, learner);
                sqlite3_bind_text(insertRun, 13, weak ? "weak" : "random", -1, SQLITE_STATIC);
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
    }
    sqlite3_finalize(insertRun);
    sqlite3_finalize(insertKey);
    sqlite3_finalize(insertLearner);
    const bool committed = exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    return committed ? 0 : 1;
}

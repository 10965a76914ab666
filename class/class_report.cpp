#include "class_report.h"

#include "pg_connection.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <tuple>

namespace classReport {

namespace {

// The runs that started from $2 up to $3, with their pupil p, for joins that end with inClass
// ($1 is the class). Runs are found by the index on (login, started), their keys by the keys'
// primary key (run, n).
constexpr const char *classRuns = R"sql(
    FROM typing_drill.pupils p
    JOIN typing_drill.runs r ON r.login = p.login
        AND r.started >= to_timestamp($2) AND r.started < to_timestamp($3)
)sql";
constexpr const char *inClass = " WHERE p.class = $1";

// Numbers are read and written the C way whatever the program's locale (a Qt program's is the
// user's, which may write a decimal comma).
std::optional<double> number(const PgResult &result, int row, int column)
{
    const std::optional<std::string> value = result.value(row, column);
    double parsed = 0;
    if (!value
        || std::from_chars(value->data(), value->data() + value->size(), parsed).ec != std::errc())
        return std::nullopt;
    return parsed;
}

std::int64_t count(const PgResult &result, int row, int column)
{
    const std::string value = result.text(row, column);
    std::int64_t parsed = 0;
    std::from_chars(value.data(), value.data() + value.size(), parsed);
    return parsed;
}

std::string text(double value)
{
    char buffer[64];
    const auto written = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, written.ptr);
}

std::optional<double> median(std::vector<double> values)
{
    if (values.empty())
        return std::nullopt;
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    if (values.size() % 2)
        return *middle;
    return (*middle + *std::max_element(values.begin(), middle)) / 2;
}

// How often each letter was asked and answered right, and each wrong key pressed for it.
struct LetterCounts
{
    std::int64_t asked = 0;
    std::int64_t correct = 0;
    std::map<int, std::int64_t> wrongKeys;
};

// The key pressed most often instead of the letter, the lower code on a tie.
std::pair<int, std::int64_t> mostConfused(const LetterCounts &counts)
{
    std::pair<int, std::int64_t> most {0, 0};
    for (const auto &[code, times] : counts.wrongKeys)
        if (times > most.second)
            most = {code, times};
    return most;
}

std::string weakest(const std::array<LetterCounts, 26> &letters)
{
    std::vector<int> candidates;
    for (int i = 0; i < 26; ++i)
        if (letters[i].asked >= fewestAsked && letters[i].correct < letters[i].asked)
            candidates.push_back(i);
    // Lowest accuracy first; of equal accuracy the letter asked more often, then A to Z.
    std::sort(candidates.begin(), candidates.end(), [&](int a, int b) {
        const auto &x = letters[a];
        const auto &y = letters[b];
        const std::int64_t left = x.correct * y.asked;
        const std::int64_t right = y.correct * x.asked;
        return std::tie(left, y.asked, a) < std::tie(right, x.asked, b);
    });
    std::string text;
    for (std::size_t i = 0; i < candidates.size() && i < 3; ++i)
        text += char('A' + candidates[i]);
    return text;
}

void addRuns(PgConnection &db, std::map<std::string, PupilRow *> &byLogin,
             const std::vector<std::optional<std::string>> &params, std::string &error)
{
    const PgResult runs = db.exec(std::string(R"sql(
        SELECT r.login, r.started >= to_timestamp($4),
               CASE WHEN e.run IS NOT NULL
                   THEN greatest(0, extract(epoch FROM e.ended - r.started)) END, e.speed,
               k.keys, k.correct, k.release_ms
        )sql") + classRuns + R"sql(
        LEFT JOIN typing_drill.run_ends e ON e.run = r.uuid
        CROSS JOIN LATERAL (
            SELECT count(*) AS keys, count(*) FILTER (WHERE correct) AS correct,
                   coalesce(sum(release_ms), 0) AS release_ms
            FROM typing_drill.keys WHERE run = r.uuid) k
        )sql" + inClass,
                                  params);
    if (!runs.ok()) {
        error = runs.error();
        return;
    }
    std::map<std::pair<PupilRow *, bool>, std::vector<double>> speeds;
    for (int i = 0; i < runs.rows(); ++i) {
        PupilRow *pupil = byLogin[runs.text(i, 0)];
        if (!pupil)
            continue;
        const bool thisWeek = runs.text(i, 1) == "t";
        WeekFigures &week = thisWeek ? pupil->thisWeek : pupil->lastWeek;
        const std::optional<double> seconds = number(runs, i, 2);
        const std::int64_t keys = count(runs, i, 4);
        week.practiceSeconds += seconds ? *seconds : double(count(runs, i, 6)) / 1000.0;
        ++week.runs;
        week.keys += keys;
        week.correct += count(runs, i, 5);
        if (const std::optional<double> speed = number(runs, i, 3); speed && keys > 0)
            speeds[{pupil, thisWeek}].push_back(*speed);
    }
    for (auto &[whose, values] : speeds)
        (whose.second ? whose.first->thisWeek : whose.first->lastWeek).medianSpeed = median(values);
}

void addLetters(PgConnection &db, ClassReport &report, std::map<std::string, PupilRow *> &byLogin,
                const std::vector<std::optional<std::string>> &params, std::string &error)
{
    const PgResult keys =
        db.exec(std::string("SELECT r.login, k.letter, k.key_code, k.correct, "
                            "count(*)")
                    + classRuns + " JOIN typing_drill.keys k ON k.run = r.uuid" + inClass
                    + " GROUP BY r.login, k.letter, k.key_code, k.correct",
                params);
    if (!keys.ok()) {
        error = keys.error();
        return;
    }
    std::map<PupilRow *, std::array<LetterCounts, 26>> pupils;
    std::array<LetterCounts, 26> all;
    for (int i = 0; i < keys.rows(); ++i) {
        PupilRow *pupil = byLogin[keys.text(i, 0)];
        const std::string letter = keys.text(i, 1);
        if (!pupil || letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
            continue;
        const int index = letter[0] - 'A';
        const int code = int(count(keys, i, 2));
        const bool correct = keys.text(i, 3) == "t";
        const std::int64_t times = count(keys, i, 4);
        for (LetterCounts *counts : {&pupils[pupil][index], &all[index]}) {
            counts->asked += times;
            if (correct)
                counts->correct += times;
            // A wrong answer on the letter's own key (typed too early) is no confusion.
            else if (code != letter[0])
                counts->wrongKeys[code] += times;
        }
    }
    for (auto &[pupil, letters] : pupils) {
        pupil->weakestLetters = weakest(letters);
        for (int i = 0; i < 26; ++i) {
            const auto [code, times] = mostConfused(letters[i]);
            if (times > pupil->confusedCount) {
                pupil->confusedLetter = char('A' + i);
                pupil->confusedKeyCode = code;
                pupil->confusedCount = times;
            }
        }
    }
    for (int i = 0; i < 26; ++i) {
        ClassLetter &letter = report.letters[i];
        letter.asked = all[i].asked;
        letter.correct = all[i].correct;
        std::tie(letter.mostConfusedKey, letter.mostConfusedCount) = mostConfused(all[i]);
    }

    const PgResult times =
        db.exec(std::string("SELECT k.letter, round(percentile_cont(0.5) WITHIN GROUP (ORDER BY "
                            "k.release_ms)), min(k.release_ms)")
                    + classRuns + " JOIN typing_drill.keys k ON k.run = r.uuid" + inClass
                    + " AND k.correct AND k.release_ms BETWEEN 40 AND 10000 GROUP BY k.letter",
                params);
    if (!times.ok()) {
        error = times.error();
        return;
    }
    for (int i = 0; i < times.rows(); ++i) {
        const std::string letter = times.text(i, 0);
        if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
            continue;
        report.letters[letter[0] - 'A'].medianMs = int(count(times, i, 1));
        report.letters[letter[0] - 'A'].bestMs = int(count(times, i, 2));
    }
}

} // namespace

ServerRole roleOf(PgConnection &db, std::string &error)
{
    const PgResult role = db.exec(R"sql(
        SELECT rolsuper OR EXISTS (SELECT 1 FROM pg_namespace
                                   WHERE nspname = 'typing_drill' AND nspowner = r.oid),
               EXISTS (SELECT 1 FROM pg_roles t WHERE t.rolname = 'typing_drill_teachers'
                       AND pg_has_role(r.oid, t.oid, 'MEMBER')),
               EXISTS (SELECT 1 FROM pg_roles t WHERE t.rolname = 'typing_drill_pupils'
                       AND pg_has_role(r.oid, t.oid, 'MEMBER'))
        FROM pg_roles r WHERE r.rolname = current_user)sql");
    if (!role.ok() || role.rows() != 1) {
        error = role.ok() ? "The login's role was not found." : role.error();
        return ServerRole::Other;
    }
    if (role.text(0, 0) == "t")
        return ServerRole::Admin;
    if (role.text(0, 1) == "t")
        return ServerRole::Teacher;
    if (role.text(0, 2) == "t")
        return ServerRole::Pupil;
    return ServerRole::Other;
}

std::vector<std::string> classes(PgConnection &db, std::string &error)
{
    std::vector<std::string> names;
    const PgResult found = db.exec("SELECT name FROM typing_drill.classes ORDER BY name");
    if (!found.ok()) {
        error = found.error();
        return names;
    }
    for (int i = 0; i < found.rows(); ++i)
        names.push_back(found.text(i, 0));
    return names;
}

ClassReport read(PgConnection &db, const std::string &className, double lastWeekStart,
                 double weekStart, double now, std::string &error)
{
    ClassReport report;
    for (int i = 0; i < 26; ++i)
        report.letters[i].letter = char('A' + i);
    PgTransaction transaction(db);
    if (!transaction.began()
        || !db.run("SET TRANSACTION ISOLATION LEVEL REPEATABLE READ, READ ONLY", error)) {
        if (error.empty())
            error = "The server did not begin a transaction.";
        return report;
    }
    const PgResult pupils = db.exec(R"sql(
        SELECT p.student_number, p.name, p.login,
               extract(epoch FROM (SELECT max(r.started) FROM typing_drill.runs r
                                   WHERE r.login = p.login))
        FROM typing_drill.pupils p WHERE p.class = $1 ORDER BY p.student_number)sql",
                                    {className});
    if (!pupils.ok()) {
        error = pupils.error();
        return report;
    }
    report.pupils.resize(std::size_t(pupils.rows()));
    std::map<std::string, PupilRow *> byLogin;
    for (int i = 0; i < pupils.rows(); ++i) {
        PupilRow &row = report.pupils[std::size_t(i)];
        row.studentNumber = pupils.text(i, 0);
        row.name = pupils.text(i, 1);
        row.login = pupils.text(i, 2);
        row.lastStarted = number(pupils, i, 3);
        byLogin[row.login] = &row;
    }
    addRuns(db, byLogin, {className, text(lastWeekStart), text(now), text(weekStart)}, error);
    if (error.empty())
        addLetters(db, report, byLogin, {className, text(weekStart), text(now)}, error);
    if (error.empty())
        transaction.commit(error);
    return report;
}

std::string ownName(PgConnection &db, std::string &error)
{
    const PgResult found =
        db.exec("SELECT name FROM typing_drill.pupils WHERE login = current_user");
    if (!found.ok())
        error = found.error();
    return found.ok() && found.rows() == 1 ? found.text(0, 0) : std::string();
}

} // namespace classReport

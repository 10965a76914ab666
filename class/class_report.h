#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class PgConnection;

// A pupil's figures of one week: the runs that started in it.
struct WeekFigures
{
    // Ended runs count from start to end; a run without an end counts its keys' release times.
    double practiceSeconds = 0;
    int runs = 0;
    std::int64_t keys = 0;
    std::int64_t correct = 0;
    // Keys per minute as the drill showed it at each run's end, over the runs that ended and have
    // at least one key; nullopt without such a run. The drill's own figure is what the pupil saw,
    // so the teacher's table and the pupil's progress window agree.
    std::optional<double> medianSpeed;

    std::optional<double> accuracy() const
    {
        if (keys == 0)
            return std::nullopt;
        return 100.0 * double(correct) / double(keys);
    }
};

// One row of the teacher's class table.
struct PupilRow
{
    std::string studentNumber;
    std::string name;
    std::string login;
    WeekFigures thisWeek;
    WeekFigures lastWeek;
    // This week's letters of lowest accuracy (asked at least 5 times, missed at least once), the
    // weakest first, at most three.
    std::string weakestLetters;
    // This week's most frequent wrong key: the letter shown and the key code pressed instead;
    // letter 0 when no key was wrong.
    char confusedLetter = 0;
    int confusedKeyCode = 0;
    std::int64_t confusedCount = 0;
    // Seconds since the epoch of the latest run's start, whenever it was.
    std::optional<double> lastStarted;
};

// One letter's figures over the whole class this week, for the keyboard map.
struct ClassLetter
{
    char letter = 'A';
    std::int64_t asked = 0;
    std::int64_t correct = 0;
    // Release times of correct keys from 40 ms to 10 s; -1 without any.
    int medianMs = -1;
    int bestMs = -1;
    int mostConfusedKey = 0;
    std::int64_t mostConfusedCount = 0;
};

// A class's table and letters.
struct ClassReport
{
    // By 学号.
    std::vector<PupilRow> pupils;
    std::array<ClassLetter, 26> letters {};
};

// Who the connection's login is to the class server.
enum class ServerRole { Admin, Teacher, Pupil, Other };

namespace classReport {

// The fewest times a letter must have been asked to be among the weakest.
constexpr int fewestAsked = 5;

// The login's role: the schema's owner, a member of the teachers' role, of the pupils' role.
ServerRole roleOf(PgConnection &db, std::string &error);

// The classes the connection may read, by name: a teacher's own, or all of them for the admin.
std::vector<std::string> classes(PgConnection &db, std::string &error);

// The class's pupils and letters for the week that started at weekStart and the one before it,
// up to `now` (seconds since the epoch). One read-only snapshot of the server; the connection
// sees only what its policies let it see.
ClassReport read(PgConnection &db, const std::string &className, double lastWeekStart,
                 double weekStart, double now, std::string &error);

// The pupil's name on the server for the connection's own login (a pupil's), or "".
std::string ownName(PgConnection &db, std::string &error);

} // namespace classReport

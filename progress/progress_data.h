#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// Figures of the runs that started within some local days. The speed is the drill's own figure
// as stored; the practice time runs from each start to its end.
struct PeriodSummary
{
    qint64 practiceSeconds = 0;
    int runs = 0;
    qint64 keys = 0;
    qint64 correct = 0;
    // Of the runs with at least one key; 0 without any.
    double medianSpeed = 0;

    double accuracy() const { return keys ? 100.0 * double(correct) / double(keys) : 0; }
};

// One run as the runs list shows it.
struct RunListRow
{
    qint64 id = 0;
    QDateTime started;
    // From its start to its end, or to its last write while it goes on.
    int seconds = 0;
    qint64 total = 0;
    qint64 correct = 0;
    qint64 wrong = 0;
    double speed = 0;
    double accuracy = 0;
    // 'restart', 'exit', 'interrupted', or empty while the run goes on.
    QString endedBy;
    // How its letters were chosen: 'random' or 'weak'.
    QString mode = QStringLiteral("random");

    bool operator==(const RunListRow &) const = default;
};

// One point of the chart: a run, or a day's runs together.
struct ChartPoint
{
    QDateTime when;
    int runs = 0;
    qint64 keys = 0;
    double speed = 0;
    double accuracy = 0;
    // Of the point's runs, those that practised the weak letters.
    int weakRuns = 0;
};

// What the history says of one letter. Reaction times count only correct answers between 40 ms
// and 10 s after the letter showed; -1 when there are none.
struct LetterRow
{
    QChar letter;
    qint64 asked = 0;
    qint64 correct = 0;
    int medianMs = -1;
    int bestMs = -1;
    // The key pressed most often instead of this letter; 0 when never wrong.
    int mostConfusedKey = 0;
    qint64 mostConfusedCount = 0;

    double accuracy() const { return asked ? 100.0 * double(correct) / double(asked) : 0; }
    bool operator==(const LetterRow &) const = default;
};

// A letter asked and the key pressed instead, with how often it happened.
struct Confusion
{
    QChar letter;
    int keyCode = 0;
    qint64 count = 0;
};

// A learner of the history, with all their runs and keys.
struct LearnerInfo
{
    qint64 id = 0;
    QString name;
    int runs = 0;
    qint64 keys = 0;

    bool operator==(const LearnerInfo &) const = default;
};

// One learner's row of the overview (全部学员): their last 7 days.
struct OverviewRow
{
    qint64 learner = 0;
    PeriodSummary lastWeek;
    // The letters of lowest accuracy in those days, the weakest first: at most three, each asked
    // at least weakLetterFewestAsked times and missed at least once.
    QList<QChar> weakest;
};

constexpr int weakLetterFewestAsked = 5;

// Whose figures to read. Learners are found by id, which a rename keeps.
struct LearnerRequest
{
    // Who practises now: by id once known, else by name (`--learner`), else the learner of the
    // latest run.
    qint64 current = 0;
    QString currentName;
    // The learner to read; 0 or one no longer there: the current learner.
    qint64 selected = 0;
    // Read the overview of every learner instead of one learner's figures.
    bool overview = false;

    bool operator==(const LearnerRequest &) const = default;
};

// The days the chart covers, counted back from today; All covers the whole history.
enum class ChartRange { Week, Month, Year, All };

// Everything the progress window shows, read from the history in one read transaction.
struct ProgressSnapshot
{
    enum class State { Ready, Absent, Empty, Unreadable };
    State state = State::Absent;
    // Why the history could not be read, for Unreadable.
    QString reason;

    PeriodSummary today;
    PeriodSummary lastWeek;
    PeriodSummary allTime;
    int streakDays = 0;
    QList<ChartPoint> chart;
    bool chartByDay = false;
    // 'A' to 'Z', all 26.
    QList<LetterRow> letters;
    // The most frequent first, at most 10.
    QList<Confusion> confusions;
    // Oldest first.
    QList<RunListRow> runs;

    // Every learner, in the order they were added; empty for a history of a layout before
    // learners, whose runs are all shown as one learner's.
    QList<LearnerInfo> learners;
    qint64 currentLearner = 0;
    // The learner whose figures these are; 0 for the overview or a layout before learners.
    qint64 learner = 0;
    // Read for LearnerRequest::overview: one row per learner, in the order of `learners`; the
    // figures above are then left empty.
    bool isOverview = false;
    QList<OverviewRow> overview;
};

// Above this many runs in range the chart shows one point per day.
constexpr int chartRunsPerPointLimit = 200;

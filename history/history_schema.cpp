#include "history_schema.h"

#include "learner_name.h"
#include "run_identity.h"
#include "sqlite_statement.h"

#include <sqlite3.h>
#include <string>
#include <vector>

namespace historySchema {

namespace {

// Times are local wall-clock times with their UTC offset, ISO 8601 with milliseconds
// ("2026-12-07T19:29:56.120+08:00"), so the first ten characters are the local day.
constexpr std::string_view version1 = R"sql(
CREATE TABLE runs (
    id INTEGER PRIMARY KEY,
    started TEXT NOT NULL,
    -- While the run goes on: the time of its last write.
    ended TEXT NOT NULL,
    -- NULL while the run goes on.
    ended_by TEXT CHECK (ended_by IN ('restart', 'exit', 'interrupted')),
    ticks INTEGER NOT NULL,
    total INTEGER NOT NULL,
    correct INTEGER NOT NULL,
    wrong INTEGER NOT NULL,
    -- Keys per minute and per cent correct, as the drill last showed them.
    speed REAL NOT NULL,
    accuracy REAL NOT NULL,
    -- The live process that writes the run (boot id, process id and its start time); NULL once
    -- the run has ended.
    owner TEXT
);
CREATE INDEX runs_by_start ON runs (started);
CREATE INDEX runs_open ON runs (owner) WHERE ended_by IS NULL;

CREATE TABLE keys (
    run INTEGER NOT NULL REFERENCES runs (id) ON DELETE CASCADE,
    n INTEGER NOT NULL,
    letter TEXT NOT NULL,
    key_code INTEGER NOT NULL,
    correct INTEGER NOT NULL CHECK (correct IN (0, 1)),
    -- Milliseconds from the moment the letter was shown to the key's press and release; a key
    -- pressed before its letter showed (typing ahead) has a negative press time.
    press_ms INTEGER NOT NULL,
    release_ms INTEGER NOT NULL,
    PRIMARY KEY (run, n)
) WITHOUT ROWID;
CREATE INDEX keys_by_letter ON keys (letter, correct, key_code, release_ms);
)sql";

// Each run gets the identity it keeps in every history and export; the application id marks the
// file as a history. Runs of version 1 get theirs from their start time (giveLegacyIdentities).
constexpr std::string_view version2 = R"sql(
ALTER TABLE runs ADD COLUMN uuid TEXT;
)sql";
constexpr std::string_view version2Index = R"sql(
CREATE UNIQUE INDEX runs_by_uuid ON runs (uuid);
)sql";

// Each run belongs to a learner, and records how its letters were chosen. The runs of an older
// history become the first learner's, named after the account (addAccountLearner). A run whose
// learner is removed while a drill still writes it keeps no learner until that drill names its
// learner again.
constexpr std::string_view version3 = R"sql(
CREATE TABLE learners (
    id INTEGER PRIMARY KEY,
    name TEXT NOT NULL,
    -- The name folded as names are compared (case, full and half width): one learner per key.
    name_key TEXT NOT NULL UNIQUE
);
ALTER TABLE runs ADD COLUMN learner INTEGER REFERENCES learners (id) ON DELETE CASCADE;
ALTER TABLE runs ADD COLUMN mode TEXT NOT NULL DEFAULT 'random' CHECK (mode IN ('random', 'weak'));
CREATE INDEX runs_by_learner ON runs (learner, started);
)sql";

bool addAccountLearner(sqlite3 *db)
{
    const QString name = learnerName::ofAccount();
    SqliteStatement add(db, "INSERT INTO learners (name, name_key) VALUES (?1, ?2)");
    add.bind(1, name.toStdString()).bind(2, learnerName::key(name).toStdString());
    return add.step() == SQLITE_DONE
        && execute(db, "UPDATE runs SET learner = last_insert_rowid()") == SQLITE_OK;
}

// Version 1 stored one run twice when an import met an export of it taken while it went on; such
// copies share their start time. The one that got furthest stays (ended before open, then more
// keys), and every run's counts become those of its stored keys.
bool giveLegacyIdentities(sqlite3 *db)
{
    struct Named
    {
        std::int64_t id;
        std::string started;
    };
    std::vector<Named> runs;
    {
        SqliteStatement all(db, R"sql(
            SELECT id, started FROM runs
            ORDER BY started, ended_by IS NULL, (SELECT count(*) FROM keys WHERE run = id) DESC,
                     id)sql");
        while (all.step() == SQLITE_ROW)
            runs.push_back({all.integer(0), all.text(1)});
    }
    SqliteStatement name(db, "UPDATE runs SET uuid = ?2 WHERE id = ?1");
    SqliteStatement drop(db, "DELETE FROM runs WHERE id = ?1");
    for (std::size_t i = 0; i < runs.size(); ++i) {
        const bool copy = i > 0 && runs[i].started == runs[i - 1].started;
        SqliteStatement &statement = copy ? drop : name;
        statement.bind(1, runs[i].id);
        if (!copy)
            statement.bind(2, legacyRunUuid(runs[i].started));
        if (statement.step() != SQLITE_DONE)
            return false;
        statement.reset();
    }
    return execute(db, R"sql(
        DELETE FROM keys WHERE run NOT IN (SELECT id FROM runs);
        UPDATE runs SET total = k.total, correct = k.correct, wrong = k.total - k.correct,
            accuracy = CASE WHEN k.total = 0 THEN 0 ELSE k.correct * 100.0 / k.total END
        FROM (SELECT run, count(*) AS total, sum(correct) AS correct FROM keys GROUP BY run) AS k
        WHERE runs.id = k.run;
        UPDATE runs SET total = 0, correct = 0, wrong = 0, accuracy = 0
        WHERE total <> 0 AND NOT EXISTS (SELECT 1 FROM keys WHERE run = runs.id);)sql")
        == SQLITE_OK;
}

} // namespace

std::string_view stepTo(int to)
{
    switch (to) {
    case 1:
        return version1;
    case 2:
        return version2;
    case 3:
        return version3;
    default:
        return {};
    }
}

bool upgrade(sqlite3 *db, int fromVersion)
{
    for (int to = fromVersion + 1; to <= currentVersion; ++to) {
        if (execute(db, std::string(stepTo(to)).c_str()) != SQLITE_OK)
            return false;
        if (to == 2
            && (!giveLegacyIdentities(db)
                || execute(db, std::string(version2Index).c_str()) != SQLITE_OK))
            return false;
        if (to == 3 && !addAccountLearner(db))
            return false;
        const std::string version = "PRAGMA user_version = " + std::to_string(to);
        if (execute(db, version.c_str()) != SQLITE_OK)
            return false;
    }
    const std::string id = "PRAGMA application_id = " + std::to_string(applicationId);
    return execute(db, id.c_str()) == SQLITE_OK;
}

bool hasVersion1Tables(sqlite3 *db)
{
    // Every table and column, in order; indexes may differ (a later program might add some).
    SqliteStatement columns(db, R"sql(
        SELECT group_concat(name, ',') FROM (
            SELECT m.name || '.' || c.name AS name
            FROM sqlite_schema AS m, pragma_table_info(m.name) AS c
            WHERE m.type = 'table' ORDER BY m.name, c.cid))sql");
    if (columns.step() != SQLITE_ROW)
        return false;
    return columns.text(0)
        == "keys.run,keys.n,keys.letter,keys.key_code,keys.correct,keys.press_ms,"
           "keys.release_ms,runs.id,runs.started,runs.ended,runs.ended_by,runs.ticks,"
           "runs.total,runs.correct,runs.wrong,runs.speed,runs.accuracy,runs.owner";
}

} // namespace historySchema

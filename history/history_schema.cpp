#include "history_schema.h"

#include <sqlite3.h>
#include <string>

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

} // namespace

std::string_view stepTo(int to)
{
    switch (to) {
    case 1:
        return version1;
    default:
        return {};
    }
}

bool upgrade(sqlite3 *db, int fromVersion)
{
    for (int to = fromVersion + 1; to <= currentVersion; ++to) {
        const std::string statements =
            std::string(stepTo(to)) + "PRAGMA user_version = " + std::to_string(to) + ";";
        if (sqlite3_exec(db, statements.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
            return false;
    }
    return true;
}

} // namespace historySchema

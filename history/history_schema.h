#pragma once

#include <cstdint>
#include <string_view>

struct sqlite3;

// The layout of the history database. Its version is kept in `PRAGMA user_version`; a file of a
// newer version than this program knows is left alone.
namespace historySchema {

constexpr int currentVersion = 3;

// `PRAGMA application_id` of every history since version 2: how a history is told from any other
// SQLite file before anything is written to it.
constexpr std::int32_t applicationId = 0x51484454;

// Brings a database of an older version (0: new and empty) up to currentVersion, each step in the
// caller's transaction. Gives false, with the database's error standing, when a step fails.
bool upgrade(sqlite3 *db, int fromVersion);

// The statements that take a database from version `to - 1` to `to`.
std::string_view stepTo(int to);

// Whether a database without an application id holds exactly the tables and columns of version 1,
// the only layout that had none.
bool hasVersion1Tables(sqlite3 *db);

} // namespace historySchema

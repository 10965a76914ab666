#pragma once

#include <string_view>

struct sqlite3;

// The layout of the history database. Its version is kept in `PRAGMA user_version`; a file of a
// newer version than this program knows is left alone.
namespace historySchema {

constexpr int currentVersion = 1;

// Brings a database of an older version (0: new and empty) up to currentVersion, each step in the
// caller's transaction. Gives false, with the database's error standing, when a step fails.
bool upgrade(sqlite3 *db, int fromVersion);

// The statements that take a database from version `to - 1` to `to`.
std::string_view stepTo(int to);

} // namespace historySchema

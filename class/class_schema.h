#pragma once

#include <string>
#include <string_view>

class PgConnection;

// The class server's tables, roles and rules, in the schema `typing_drill` of the school's
// database. Its version is the one row of typing_drill.layout; the schema's comment marks it as
// this program's, so that a schema of the same name made by anything else is never touched.
namespace classSchema {

constexpr int currentVersion = 1;

// The group roles every teacher's and every pupil's login is a member of. Roles belong to the
// whole server, not to one database.
constexpr std::string_view teachersRole = "typing_drill_teachers";
constexpr std::string_view pupilsRole = "typing_drill_pupils";

// Creates the schema or brings an older version up to date, in the caller's transaction; gives
// "" or why it cannot (a newer version, a schema or tables that are not ours, the server's error).
std::string createOrUpgrade(PgConnection &db);

// The version of the schema in the database: 0 when there is none, -1 when `typing_drill` is not
// this program's.
int installedVersion(PgConnection &db, std::string &error);

} // namespace classSchema

#pragma once

#include <string>
#include <vector>

class PgConnection;
struct RosterRow;

// What the school's admin does on the class server, as the database's owner. Each command is one
// transaction: on any fault it gives the reason and the database is as it was.
namespace classAdmin {

// Creates the schema and its roles, or brings them up to date.
std::string init(PgConnection &db);
// A login role for a teacher, with that password.
std::string addTeacher(PgConnection &db, const std::string &name, const std::string &password);
std::string addClass(PgConnection &db, const std::string &className, const std::string &teacher);
// A login for each pupil, with a new PIN; `cards` gets "学号,姓名,登录名,PIN" lines as CSV.
std::string addPupils(PgConnection &db, const std::string &className,
                      const std::vector<RosterRow> &pupils, std::string &cards);
// A new PIN for the pupil; the old one no longer logs in.
std::string resetPin(PgConnection &db, const std::string &className,
                     const std::string &studentNumber, std::string &pin);
// The pupil, their login and all their runs and keys.
std::string removePupil(PgConnection &db, const std::string &className,
                        const std::string &studentNumber);
// runs.csv and keys.csv of the whole class in the folder, as the drill exports its history, with
// the learner column holding each pupil's 学号 and name.
std::string exportClass(PgConnection &db, const std::string &className, const std::string &folder);

} // namespace classAdmin

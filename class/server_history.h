#pragma once

#include <string>

class PgConnection;

// A pupil's runs on the class server, copied into a local history.
namespace serverHistory {

// Copies every ended run of the login (with its keys) that the server lets this connection read
// into the history at historyPath (created when missing), under the learner of that name (added
// when missing). Runs the history has already (by their identity) keep what they have; a run
// still going on elsewhere is left for a later copy. Gives "" or why it failed; the history is
// then as it was.
std::string copyRuns(PgConnection &db, const std::string &login, const std::string &historyPath,
                     const std::string &learner, int *copied = nullptr);

} // namespace serverHistory

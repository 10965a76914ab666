#pragma once

#include <string>

// The history as two CSV files (RFC 4180, UTF-8, a header line, CRLF line ends):
//   runs.csv  run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy,uuid,learner,
//             mode
//   keys.csv  run,n,letter,key_code,correct,press_ms,release_ms
// `run` numbers the runs of one export from 1 in the order they started and only links keys to
// runs; a run is known by its uuid, the same in every history and export. An empty ended_by is
// a run that went on when it was exported. Keys come by run and number; speed (keys per minute)
// and accuracy (per cent) carry up to two decimals with "." as separator; key_code is a Windows
// virtual-key code (0 to 255). learner is the learner's name, mode how the letters were chosen
// (random or weak).

// Writes folder/runs.csv and folder/keys.csv from the history at databasePath, read only and in
// one read transaction; an absent history gives the header lines alone. Gives "" or a one-line
// reason, and then leaves any earlier files there as they were.
std::string exportHistoryCsv(const std::string &databasePath, const std::string &folder);

// Merges folder/runs.csv and folder/keys.csv into the history in one transaction. runs.csv may
// lack the uuid column (files written before runs had one): its runs get legacyRunUuid(started).
// Without the learner column (or with it empty) runs go to `learner`, or when that is empty to
// the history's first learner; learners missing from the history are added by name.
// A run whose uuid the history lacks is added under a number of the history's; one it holds is
// kept when stored as ended by a restart or the exit, and otherwise (going on, or interrupted
// because its drill was gone) replaced by its real end or by a later moment with more keys. So
// any exports, imported in any order, give each run once, its ended state winning.
// A malformed file is refused whole, nothing imported, with "FILE:LINE: reason". Gives "" or a
// one-line reason; `summary` tells how many runs were added, updated and there already.
std::string importHistoryCsv(const std::string &databasePath, const std::string &folder,
                             std::string *summary = nullptr, const std::string &learner = {});

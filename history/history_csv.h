#pragma once

#include <string>

// The history as two CSV files (RFC 4180, UTF-8, a header line, CRLF line ends):
//   runs.csv  run,started,ended,ended_by,ticks,total,correct,wrong,speed,accuracy
//   keys.csv  run,n,letter,key_code,correct,press_ms,release_ms
// Runs come in the order they started, keys by run and number; speed (keys per minute) and
// accuracy (per cent) carry up to two decimals with "." as separator.

// Writes folder/runs.csv and folder/keys.csv from the history at databasePath; an absent history
// gives the header lines alone. Gives "" or a one-line message.
std::string exportHistoryCsv(const std::string &databasePath, const std::string &folder);

// Merges folder/runs.csv and folder/keys.csv into the history, skipping runs already there (same
// start time and counts) and keeping each run's number where it is free. A malformed file is
// refused whole, nothing imported, with "FILE:LINE: reason". Gives "" or a one-line message;
// `summary` tells how many runs came in and how many were there already.
std::string importHistoryCsv(const std::string &databasePath, const std::string &folder,
                             std::string *summary = nullptr);

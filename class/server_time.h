#pragma once

#include <string>

// SQL giving a moment of a run (a timestamptz expression over the alias `r` of typing_drill.runs)
// as the drill writes it: the local time of the pupil's clock when the run started, with its
// offset, "2026-12-07T19:29:56.120+08:00".
std::string localTimeSql(const std::string &moment);

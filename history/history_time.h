#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A wall-clock moment as the history writes it: local time with its UTC offset, ISO 8601 with
// milliseconds, "2026-12-07T19:29:56.120+08:00".
std::string localTimestamp(std::chrono::system_clock::time_point moment);

// Whether text has exactly that form, with a date that exists, a time without a leap second and
// an offset within ±14:00.
bool isLocalTimestamp(std::string_view text);

#pragma once

#include <string>
#include <string_view>

// A new run's identity: a random UUID (version 4), "xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx".
std::string newRunUuid();

// The identity of a run that was stored or exported before runs had one, made from its start time
// (which no two runs of one drill share), so that the same run gets the same identity in every
// history and export: a name-based UUID (version 5).
std::string legacyRunUuid(std::string_view started);

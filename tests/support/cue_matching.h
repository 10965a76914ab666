#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Finding a cue in a recording of what was played. The null sink passes samples through
// unchanged (same format, full volume), so a played cue shows up sample for sample, give or take
// a little rounding; matchTolerance allows for that.
inline constexpr int matchTolerance = 8;

// Indices, at or after from, where the recording starts to play the cue: its next
// templateLength samples follow the cue's first ones.
std::vector<std::size_t> findCueStarts(std::span<const std::int16_t> recording,
                                       std::span<const std::int16_t> cue, std::size_t from = 0,
                                       std::size_t templateLength = 441);

// How many samples, from start on, the recording follows the cue before it first differs (the
// cue's whole length when it was played to its end).
std::size_t matchingLength(std::span<const std::int16_t> recording, std::size_t start,
                           std::span<const std::int16_t> cue);

// The length of the longest run of near-silent samples in recording[from, to).
std::size_t longestSilence(std::span<const std::int16_t> recording, std::size_t from,
                           std::size_t to, int threshold = 16);

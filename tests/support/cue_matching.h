#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
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

// How a recording follows a cue from start on, up to (not including) the index until.
struct FollowedCue
{
    // Recording index just past the last sample that followed the cue.
    std::size_t end = 0;
    // Cue samples heard, in order.
    std::size_t samples = 0;
    // The underruns met inside the cue, each as its length in samples: a server starved of its
    // data plays silence for a moment and then either goes on where the stream stood or skips
    // what came too late.
    std::vector<std::size_t> gaps;
};
FollowedCue followCue(std::span<const std::int16_t> recording, std::size_t start,
                      std::span<const std::int16_t> cue,
                      std::size_t until = std::numeric_limits<std::size_t>::max(),
                      std::size_t longestGap = 4410);

// Whether the recording at index plays the cue from somewhere in its first longestGap samples,
// perhaps after a moment of silence: a cue whose first samples an underrun skipped.
bool startsLate(std::span<const std::int16_t> recording, std::size_t index,
                std::span<const std::int16_t> cue, std::size_t longestGap = 4410);

// The length of the longest run of near-silent samples in recording[from, to).
std::size_t longestSilence(std::span<const std::int16_t> recording, std::size_t from,
                           std::size_t to, int threshold = 16);

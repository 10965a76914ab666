#pragma once

#include <cstdint>
#include <vector>

// Sample rates and lengths of the two cues, as the program's assets must have them.
inline constexpr int correctCueRate = 22050;
inline constexpr int correctCueLength = 20160;
inline constexpr int wrongCueRate = 44100;
inline constexpr int wrongCueLength = 48582;

// The correct-key cue: a bright major chord (C6, E6, G6) that holds its level, then fades out
// over its last third.
std::vector<std::int16_t> correctCueSamples();

// The wrong-key cue: a soft low tone gliding down from A3 to F#3, loudest at its start and
// decaying steadily to near silence.
std::vector<std::int16_t> wrongCueSamples();

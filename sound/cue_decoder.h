#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The format every cue is played in, and the one the audio device is opened with.
inline constexpr int cueDeviceRate = 44100;

// Decodes a WAVE file held in memory and converts it once to mono 16-bit at cueDeviceRate.
// Gives nothing for a file that is not a WAVE file SDL can read, or is cut short.
std::optional<std::vector<std::int16_t>> decodeCue(const void *bytes, std::size_t size);

// Reads a cue from a Qt resource path (":/sounds/101.wav") or a file path and decodes it.
// Gives no samples for an asset that cannot be read or decoded.
std::vector<std::int16_t> loadCue(const std::string &path);

#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One RIFF chunk: a four-character id and its payload (the pad byte is added on writing).
struct RiffChunk
{
    std::string id;
    std::vector<std::uint8_t> payload;
};

// The bytes of a mono 16-bit PCM WAVE file: "fmt " (16 bytes, or 18 with an extra-size field of
// 0), one "data" chunk, then the given trailing chunks in order.
std::vector<std::uint8_t> monoWaveFile(int sampleRate, const std::vector<std::int16_t> &samples,
                                       bool withExtraSizeField,
                                       const std::vector<RiffChunk> &trailingChunks = {});

// The bytes of a text, with a terminating zero when asked.
std::vector<std::uint8_t> textBytes(const std::string &text, bool zeroTerminated);

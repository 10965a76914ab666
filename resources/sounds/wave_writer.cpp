#include "wave_writer.h"

#include <stdexcept>

namespace {

void appendLittleEndian(std::vector<std::uint8_t> &bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void appendChunk(std::vector<std::uint8_t> &bytes, const std::string &id,
                 const std::vector<std::uint8_t> &payload)
{
    if (id.size() != 4)
        throw std::invalid_argument("a RIFF chunk id has four characters");
    bytes.insert(bytes.end(), id.begin(), id.end());
    appendLittleEndian(bytes, static_cast<std::uint32_t>(payload.size()), 4);
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    // RIFF keeps every chunk at an even offset; the pad byte is not part of the chunk's size.
    if (payload.size() % 2 != 0)
        bytes.push_back(0);
}

} // namespace

std::vector<std::uint8_t> monoWaveFile(int sampleRate, const std::vector<std::int16_t> &samples,
                                       bool withExtraSizeField,
                                       const std::vector<RiffChunk> &trailingChunks)
{
    constexpr int bytesPerSample = 2;
    std::vector<std::uint8_t> format;
    appendLittleEndian(format, 1, 2); // PCM
    appendLittleEndian(format, 1, 2); // one channel
    appendLittleEndian(format, static_cast<std::uint32_t>(sampleRate), 4);
    appendLittleEndian(format, static_cast<std::uint32_t>(sampleRate * bytesPerSample), 4);
    appendLittleEndian(format, bytesPerSample, 2);
    appendLittleEndian(format, 8 * bytesPerSample, 2);
    if (withExtraSizeField)
        appendLittleEndian(format, 0, 2);

    std::vector<std::uint8_t> data;
    for (std::int16_t sample : samples)
        appendLittleEndian(data, static_cast<std::uint16_t>(sample), 2);

    std::vector<std::uint8_t> body(std::begin("WAVE"), std::begin("WAVE") + 4);
    appendChunk(body, "fmt ", format);
    appendChunk(body, "data", data);
    for (const RiffChunk &chunk : trailingChunks)
        appendChunk(body, chunk.id, chunk.payload);

    std::vector<std::uint8_t> file;
    appendChunk(file, "RIFF", body);
    return file;
}

std::vector<std::uint8_t> textBytes(const std::string &text, bool zeroTerminated)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    if (zeroTerminated)
        bytes.push_back(0);
    return bytes;
}

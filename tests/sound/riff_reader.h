#pragma once

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

// One chunk of a RIFF file as stored: its id, declared size and payload.
struct StoredChunk
{
    std::string id;
    std::uint32_t size = 0;
    QByteArray payload;
};

// The chunks inside a RIFF WAVE file, in file order; empty when the header is not RIFF/WAVE or
// a chunk runs past the end.
std::vector<StoredChunk> waveChunks(const QByteArray &file);

// A little-endian unsigned field of a payload.
std::uint32_t fieldAt(const QByteArray &bytes, int offset, int size);

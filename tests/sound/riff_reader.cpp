#include "riff_reader.h"

std::uint32_t fieldAt(const QByteArray &bytes, int offset, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = value << 8 | std::uint8_t(bytes.at(offset + i));
    return value;
}

std::vector<StoredChunk> waveChunks(const QByteArray &file)
{
    if (file.size() < 12 || file.left(4) != "RIFF" || file.mid(8, 4) != "WAVE")
        return {};
    std::vector<StoredChunk> chunks;
    qsizetype offset = 12;
    while (offset + 8 <= file.size()) {
        StoredChunk chunk;
        chunk.id = file.mid(offset, 4).toStdString();
        chunk.size = fieldAt(file, int(offset) + 4, 4);
        if (offset + 8 + qsizetype(chunk.size) > file.size())
            return {};
        chunk.payload = file.mid(offset + 8, chunk.size);
        chunks.push_back(chunk);
        offset += 8 + chunk.size + chunk.size % 2; // chunks sit at even offsets
    }
    return chunks;
}

#include "ico_file.h"

#include <QtEndian>

#include <cstdint>

namespace {

void appendLittleEndian16(QByteArray &bytes, std::uint16_t value)
{
    char buffer[2];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, sizeof buffer);
}

void appendLittleEndian32(QByteArray &bytes, std::uint32_t value)
{
    char buffer[4];
    qToLittleEndian(value, buffer);
    bytes.append(buffer, sizeof buffer);
}

} // namespace

QByteArray icoFile(const QList<IcoImage> &images)
{
    constexpr int headerSize = 6;
    constexpr int entrySize = 16;
    QByteArray bytes;
    appendLittleEndian16(bytes, 0); // reserved
    appendLittleEndian16(bytes, 1); // type: icon
    appendLittleEndian16(bytes, static_cast<std::uint16_t>(images.size()));

    std::uint32_t offset = headerSize + entrySize * images.size();
    for (const IcoImage &image : images) {
        // A width or height of 256 is written as 0: the field is one byte.
        const char side = static_cast<char>(image.size >= 256 ? 0 : image.size);
        bytes.append(side);
        bytes.append(side);
        bytes.append('\0'); // palette size: none, the PNG carries its own
        bytes.append('\0'); // reserved
        appendLittleEndian16(bytes, 1); // colour planes
        appendLittleEndian16(bytes, 32); // bits per pixel
        appendLittleEndian32(bytes, static_cast<std::uint32_t>(image.png.size()));
        appendLittleEndian32(bytes, offset);
        offset += image.png.size();
    }
    for (const IcoImage &image : images)
        bytes.append(image.png);
    return bytes;
}

// Draws the program icon into a folder: typing-drill-SIZE.png for each size, typing-drill.svg
// and typing-drill.ico.

#include "ico_file.h"
#include "smiley.h"

#include <QBuffer>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

QByteArray pngBytes(const QImage &image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        return true;
    std::fprintf(stderr, "generate_icon: cannot write %s\n", qPrintable(path));
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: generate_icon OUTPUT_FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "generate_icon: cannot create %s\n", argv[1]);
        return 1;
    }

    QList<IcoImage> icoImages;
    bool written = true;
    for (const int size : smileySizes) {
        const QByteArray png = pngBytes(drawSmiley(size));
        written &= writeFile(folder.filePath(QString("typing-drill-%1.png").arg(size)), png);
        icoImages.append({size, png});
    }
    written &= writeFile(folder.filePath("typing-drill.svg"), smileySvg());
    written &= writeFile(folder.filePath("typing-drill.ico"), icoFile(icoImages));
    return written ? 0 : 1;
}

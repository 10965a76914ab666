#include "program_icon.h"

#include <QFile>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

const QStringList drawnFiles = {
    "typing-drill-32.png",  "typing-drill-48.png", "typing-drill-64.png", "typing-drill-128.png",
    "typing-drill-256.png", "typing-drill.svg",    "typing-drill.ico"};

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool isYellow(QRgb colour)
{
    const QColor c = QColor::fromRgba(colour);
    return c.alpha() == 255 && c.hue() >= 38 && c.hue() <= 60 && c.saturation() >= 150
        && c.value() >= 200;
}

// The share of opaque yellow pixels in the middle of the face, eyes and mouth included.
double yellowShareOfFace(const QImage &image)
{
    const double centre = image.width() / 2.0;
    const double radius = image.width() * 0.4;
    int inside = 0;
    int yellow = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (std::hypot(x + 0.5 - centre, y + 0.5 - centre) > radius)
                continue;
            ++inside;
            yellow += isYellow(image.pixel(x, y));
        }
    }
    return double(yellow) / inside;
}

quint32 littleEndian32(const QByteArray &bytes, int at)
{
    return qFromLittleEndian<quint32>(bytes.constData() + at);
}

} // namespace

class TestIcon : public QObject
{
    Q_OBJECT

private slots:
    void embeddedImages_data();
    void embeddedImages();
    void smallIconHasAtMostSixteenColours();
    void programIconOffersEverySize();
    void regeneratingGivesTheSameBytes();
    void svgIsWellFormed();
    void svgDrawsTheSameFace();
    void icoHoldsEveryPng();
};

void TestIcon::embeddedImages_data()
{
    QTest::addColumn<int>("size");
    for (const int size : {32, 48, 64, 128, 256})
        QTest::addRow("%d px", size) << size;
}

void TestIcon::embeddedImages()
{
    QFETCH(int, size);
    const QString path = QString(":/icons/typing-drill-%1.png").arg(size);
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("png"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(size, size));

    for (const QPoint corner :
         {QPoint(0, 0), QPoint(size - 1, 0), QPoint(0, size - 1), QPoint(size - 1, size - 1)})
        QCOMPARE(qAlpha(image.pixel(corner)), 0);
    const double share = yellowShareOfFace(image);
    QVERIFY2(share >= 0.6, qPrintable(QString("only %1 of the face is yellow").arg(share)));
}

void TestIcon::smallIconHasAtMostSixteenColours()
{
    const QImage image(":/icons/typing-drill-32.png");
    QCOMPARE(image.format(), QImage::Format_Indexed8);
    QVERIFY(image.colorCount() <= 16);
    QSet<QRgb> used;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            used.insert(image.pixel(x, y));
    QVERIFY2(used.size() <= 16, qPrintable(QString("%1 colours").arg(used.size())));
    // A face needs at least a background, an outline, yellow and dark features.
    QVERIFY(used.size() >= 4);
}

void TestIcon::programIconOffersEverySize()
{
    const QIcon icon = programIcon();
    const QList<QSize> sizes = icon.availableSizes();
    for (const int size : {32, 48, 64, 128, 256}) {
        QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
        const QImage drawn(QString(":/icons/typing-drill-%1.png").arg(size));
        QCOMPARE(icon.pixmap(size, size).toImage(),
                 drawn.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }
    // Between the drawn sizes, the next larger one scaled down; above them, the largest as it is.
    QCOMPARE(icon.pixmap(40, 40).size(), QSize(40, 40));
    QCOMPARE(icon.pixmap(512, 512).size(), QSize(256, 256));
}

void TestIcon::regeneratingGivesTheSameBytes()
{
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    QCOMPARE(QProcess::execute(GENERATE_ICON, {folder.path()}), 0);
    for (const QString &name : drawnFiles) {
        const QByteArray again = readAll(folder.filePath(name));
        QVERIFY2(!again.isEmpty(), qPrintable(name));
        QVERIFY2(again == readAll(QString(ICON_FOLDER "/") + name), qPrintable(name));
    }
    for (const int size : {32, 48, 64, 128, 256})
        QVERIFY(readAll(folder.filePath(QString("typing-drill-%1.png").arg(size)))
                == readAll(QString(":/icons/typing-drill-%1.png").arg(size)));
}

void TestIcon::svgIsWellFormed()
{
    QXmlStreamReader xml(readAll(ICON_FOLDER "/typing-drill.svg"));
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QLatin1String("svg"));
    int shapes = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement)
            ++shapes;
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QVERIFY(shapes >= 5);
}

void TestIcon::svgDrawsTheSameFace()
{
    // librsvg is what the desktops of Debian draw scalable icons with.
    const QString renderer = QStandardPaths::findExecutable("rsvg-convert");
    QVERIFY2(!renderer.isEmpty(), "rsvg-convert (librsvg2-bin) is missing");
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString rendered = folder.filePath("svg-256.png");
    QCOMPARE(
        QProcess::execute(
            renderer, {"-w", "256", "-h", "256", "-o", rendered, ICON_FOLDER "/typing-drill.svg"}),
        0);
    const QImage fromSvg = QImage(rendered).convertToFormat(QImage::Format_ARGB32);
    const QImage drawn =
        QImage(":/icons/typing-drill-256.png").convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(fromSvg.size(), drawn.size());

    // Edges are smoothed differently; the shapes and colours must agree everywhere else.
    int differing = 0;
    for (int y = 0; y < drawn.height(); ++y) {
        for (int x = 0; x < drawn.width(); ++x) {
            const QRgb a = fromSvg.pixel(x, y);
            const QRgb b = drawn.pixel(x, y);
            const int difference =
                std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                          std::abs(qBlue(a) - qBlue(b)), std::abs(qAlpha(a) - qAlpha(b))});
            differing += difference > 64;
        }
    }
    const double share = double(differing) / (drawn.width() * drawn.height());
    QVERIFY2(share < 0.005, qPrintable(QString("%1 of the pixels differ").arg(share)));
}

void TestIcon::icoHoldsEveryPng()
{
    const QByteArray ico = readAll(ICON_FOLDER "/typing-drill.ico");
    QVERIFY(ico.size() > 6);
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 2), quint16(1));
    QCOMPARE(qFromLittleEndian<quint16>(ico.constData() + 4), quint16(5));
    const QList<int> sizes = {32, 48, 64, 128, 256};
    for (int i = 0; i < sizes.size(); ++i) {
        const int entry = 6 + 16 * i;
        QCOMPARE(uchar(ico[entry]), uchar(sizes[i] % 256));
        const int length = int(littleEndian32(ico, entry + 8));
        const int offset = int(littleEndian32(ico, entry + 12));
        QVERIFY(offset + length <= ico.size());
        QCOMPARE(ico.mid(offset, length),
                 readAll(QString(":/icons/typing-drill-%1.png").arg(sizes[i])));
    }
}

QTEST_MAIN(TestIcon)
#include "tst_icon.moc"

// The two cue assets as embedded in the program: their exact format and their shape, and how
// they decode into the device's format.
#include "cue_decoder.h"
#include "riff_reader.h"

#include <QtTest>

#include <algorithm>
#include <cmath>

namespace {

QByteArray embedded(const QString &name)
{
    QFile file(":/sounds/" + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The samples of a file's data chunk.
std::vector<std::int16_t> dataSamples(const QByteArray &file)
{
    for (const StoredChunk &chunk : waveChunks(file))
        if (chunk.id == "data") {
            std::vector<std::int16_t> samples(chunk.size / 2);
            for (std::size_t i = 0; i < samples.size(); ++i)
                samples[i] = std::int16_t(fieldAt(chunk.payload, int(2 * i), 2));
            return samples;
        }
    return {};
}

// The level of each 20 ms window in dB below full scale.
std::vector<double> windowLevels(const std::vector<std::int16_t> &samples, int rate)
{
    const std::size_t window = std::size_t(rate) / 50;
    std::vector<double> levels;
    for (std::size_t start = 0; start + window <= samples.size(); start += window) {
        double energy = 0;
        for (std::size_t i = start; i < start + window; ++i)
            energy += double(samples[i]) * samples[i];
        levels.push_back(10 * std::log10(energy / window / (32768.0 * 32768.0) + 1e-12));
    }
    return levels;
}

double peakDbfs(const std::vector<std::int16_t> &samples)
{
    int peak = 0;
    for (std::int16_t sample : samples)
        peak = std::max(peak, std::abs(int(sample)));
    return 20 * std::log10(peak / 32768.0);
}

// Sign changes per second: a rough measure of pitch that tells a high tone from a low one.
double crossingsPerSecond(const std::vector<std::int16_t> &samples, int rate)
{
    int crossings = 0;
    for (std::size_t i = 1; i < samples.size(); ++i)
        crossings += (samples[i - 1] < 0) != (samples[i] < 0);
    return crossings * double(rate) / samples.size();
}

} // namespace

class TestSoundAssets : public QObject
{
    Q_OBJECT

private slots:
    void formatIsExact_data();
    void formatIsExact();
    void metadataChunksAreOurOwn();
    void levelsPeakAtMinus3DbWithoutClipping();
    void correctCueHoldsItsLevelThenFades();
    void wrongCueDecaysSteadilyFromItsStart();
    void cuesAreHighAndLow();
    void decodesToTheDeviceFormat_data();
    void decodesToTheDeviceFormat();
    void decoderSkipsUnknownChunksAnywhere();
    void decoderRefusesDamagedFiles_data();
    void decoderRefusesDamagedFiles();
};

void TestSoundAssets::formatIsExact_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("formatSize");
    QTest::addColumn<int>("dataSize");
    QTest::addColumn<QStringList>("chunkIds");
    QTest::newRow("101, correct") << "101.wav" << 22050 << 16 << 40320
                                  << QStringList {"fmt ", "data"};
    QTest::newRow("102, wrong") << "102.wav" << 44100 << 18 << 97164
                                << QStringList {"fmt ", "data", "_PMX", "Cr8r", "DISP", "LIST"};
}

void TestSoundAssets::formatIsExact()
{
    QFETCH(QString, name);
    QFETCH(int, rate);
    QFETCH(int, formatSize);
    QFETCH(int, dataSize);
    QFETCH(QStringList, chunkIds);
    const QByteArray file = embedded(name);
    QVERIFY2(!file.isEmpty(), "not embedded");
    QCOMPARE(fieldAt(file, 4, 4), std::uint32_t(file.size() - 8));

    const std::vector<StoredChunk> chunks = waveChunks(file);
    QStringList ids;
    for (const StoredChunk &chunk : chunks)
        ids << QString::fromStdString(chunk.id);
    QCOMPARE(ids, chunkIds);

    const QByteArray &format = chunks[0].payload;
    QCOMPARE(chunks[0].size, std::uint32_t(formatSize));
    QCOMPARE(fieldAt(format, 0, 2), 1u); // PCM
    QCOMPARE(fieldAt(format, 2, 2), 1u); // mono
    QCOMPARE(fieldAt(format, 4, 4), std::uint32_t(rate));
    QCOMPARE(fieldAt(format, 8, 4), std::uint32_t(rate * 2)); // byte rate
    QCOMPARE(fieldAt(format, 12, 2), 2u); // block alignment
    QCOMPARE(fieldAt(format, 14, 2), 16u); // bits per sample
    if (formatSize == 18)
        QCOMPARE(fieldAt(format, 16, 2), 0u); // extra size
    QCOMPARE(chunks[1].size, std::uint32_t(dataSize));
}

void TestSoundAssets::metadataChunksAreOurOwn()
{
    const std::vector<StoredChunk> chunks = waveChunks(embedded("102.wav"));
    QCOMPARE(chunks.size(), 6u);
    for (std::size_t i = 2; i < chunks.size(); ++i) {
        QVERIFY2(chunks[i].size > 0 && chunks[i].size < 2048, chunks[i].id.c_str());
        QVERIFY(!chunks[i].payload.contains("Adobe") && !chunks[i].payload.contains("Microsoft"));
    }
    QVERIFY(chunks[2].payload.startsWith("<?xpacket begin="));
    QVERIFY(chunks[2].payload.contains("<x:xmpmeta"));
    QVERIFY(chunks[4].payload.contains("Wrong key"));
    QVERIFY(chunks[5].payload.startsWith("INFO"));
    QVERIFY(chunks[5].payload.contains("typing drill"));
}

void TestSoundAssets::levelsPeakAtMinus3DbWithoutClipping()
{
    for (const char *name : {"101.wav", "102.wav"}) {
        const double peak = peakDbfs(dataSamples(embedded(name)));
        QVERIFY2(peak > -3.2 && peak < -2.8,
                 qPrintable(QString("%1: %2 dBFS").arg(name).arg(peak)));
    }
}

void TestSoundAssets::correctCueHoldsItsLevelThenFades()
{
    const std::vector<double> levels = windowLevels(dataSamples(embedded("101.wav")), 22050);
    const std::size_t n = levels.size();
    const std::size_t fadeStart = n * 2 / 3;
    // Even for most of its length: every window after the attack within 1.5 dB of the first.
    for (std::size_t i = 1; i < fadeStart; ++i)
        QVERIFY2(std::abs(levels[i] - levels[1]) < 1.5, qPrintable(QString("window %1").arg(i)));
    // Then a fade through the last third, down to near silence.
    for (std::size_t i = fadeStart + 1; i < n; ++i)
        QVERIFY2(levels[i] < levels[i - 1] + 0.5, qPrintable(QString("window %1").arg(i)));
    QVERIFY(levels[n * 5 / 6] < levels[1] - 3);
    QVERIFY(levels[n - 1] < levels[1] - 30);
}

void TestSoundAssets::wrongCueDecaysSteadilyFromItsStart()
{
    const std::vector<double> levels = windowLevels(dataSamples(embedded("102.wav")), 44100);
    const std::size_t n = levels.size();
    QCOMPARE(std::max_element(levels.begin(), levels.end()) - levels.begin(), 0);
    for (std::size_t i = 1; i < n; ++i)
        QVERIFY2(levels[i] < levels[i - 1] + 0.5, qPrintable(QString("window %1").arg(i)));
    QVERIFY(levels[n - 1] < levels[0] - 40);
    // Steadily: each quarter loses a similar number of decibels.
    const double firstQuarter = levels[0] - levels[n / 4];
    const double thirdQuarter = levels[n / 2] - levels[n * 3 / 4];
    QVERIFY2(firstQuarter > 5 && thirdQuarter > 5 && std::abs(firstQuarter - thirdQuarter) < 4,
             qPrintable(QString("%1 dB then %2 dB").arg(firstQuarter).arg(thirdQuarter)));
}

void TestSoundAssets::cuesAreHighAndLow()
{
    const double high = crossingsPerSecond(dataSamples(embedded("101.wav")), 22050);
    const double low = crossingsPerSecond(dataSamples(embedded("102.wav")), 44100);
    QVERIFY2(high > 1500, qPrintable(QString::number(high)));
    QVERIFY2(low < 600, qPrintable(QString::number(low)));
}

void TestSoundAssets::decodesToTheDeviceFormat_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("length");
    // 22050 Hz doubles to 44100 Hz with nothing lost at the end.
    QTest::newRow("101, resampled") << "101.wav" << 40320;
    QTest::newRow("102, as stored") << "102.wav" << 48582;
}

void TestSoundAssets::decodesToTheDeviceFormat()
{
    QFETCH(QString, name);
    QFETCH(int, length);
    const QByteArray file = embedded(name);
    const auto decoded = decodeCue(file.constData(), std::size_t(file.size()));
    QVERIFY(decoded);
    QCOMPARE(int(decoded->size()), length);
    QCOMPARE(peakDbfs(*decoded) > -4, true);
    if (name == "102.wav")
        QVERIFY(*decoded == dataSamples(file));
}

void TestSoundAssets::decoderSkipsUnknownChunksAnywhere()
{
    const QByteArray original = embedded("102.wav");
    // Move the metadata between the format and the data chunk, and add one more in front.
    const std::vector<StoredChunk> chunks = waveChunks(original);
    QByteArray body = "WAVE";
    auto append = [&body](const std::string &id, const QByteArray &payload) {
        body += QByteArray::fromStdString(id);
        for (int i = 0; i < 4; ++i)
            body += char(std::uint32_t(payload.size()) >> (8 * i));
        body += payload;
        if (payload.size() % 2)
            body += '\0';
    };
    append("junk", QByteArray(7, 'x'));
    append("fmt ", chunks[0].payload);
    for (std::size_t i = 2; i < chunks.size(); ++i)
        append(chunks[i].id, chunks[i].payload);
    append("data", chunks[1].payload);
    QByteArray file = "RIFF";
    for (int i = 0; i < 4; ++i)
        file += char(std::uint32_t(body.size()) >> (8 * i));
    file += body;

    const auto decoded = decodeCue(file.constData(), std::size_t(file.size()));
    QVERIFY(decoded);
    QVERIFY(*decoded == dataSamples(original));
}

void TestSoundAssets::decoderRefusesDamagedFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    const QByteArray correct = embedded("101.wav");
    QTest::newRow("cut short in the data") << correct.left(correct.size() - 1000);
    QTest::newRow("only the header") << correct.left(44);
    QTest::newRow("not a WAVE file") << QByteArray("RIFF\x10\0\0\0AVI LIST\x04\0\0\0abcd", 24);
    QTest::newRow("empty") << QByteArray();
}

void TestSoundAssets::decoderRefusesDamagedFiles()
{
    QFETCH(QByteArray, file);
    QVERIFY(!decodeCue(file.constData(), std::size_t(file.size())));
}

QTEST_GUILESS_MAIN(TestSoundAssets)
#include "tst_sound_assets.moc"

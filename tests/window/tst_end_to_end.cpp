#include "desktop_session.h"
#include "mapped_libraries.h"
#include "monitor_recorder.h"
#include "pulse_server.h"

#include <QDir>
#include <QProcess>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>

using namespace std::chrono_literals;

namespace {

// The loudest sample in a stretch of the recording.
int peak(const std::vector<std::int16_t> &samples, std::size_t from, std::size_t to)
{
    int loudest = 0;
    for (std::size_t i = from; i < std::min(to, samples.size()); ++i)
        loudest = std::max(loudest, std::abs(int(samples[i])));
    return loudest;
}

constexpr int audible = 1000;

// The libraries of the audio system a process has mapped: SDL, the sound servers' clients and
// the program's own sound module.
QStringList audioLibraries(pid_t pid)
{
    QStringList found;
    for (const std::string &path : mappedLibraries(pid)) {
        const QString library = QString::fromStdString(path);
        for (const char *name : {"libSDL2", "libpulse", "libasound", "libsndfile", "/sound.so"})
            if (library.contains(QLatin1String(name)))
                found << library;
    }
    return found;
}

} // namespace

// The built program under Xvfb with a private PulseAudio server and accessibility bus: real key
// events go in through XTest, and the labels are read back as a screen reader reads them.
class TestEndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void cleanupTestCase();
    void drillRunsFromStartToExit();
    void inputMethodLeavesLettersToTheDrill();
    void keyIsJudgedWhenShiftChangesItsSymbol();

private:
    void startProgram(const EnvironmentChanges &extra);
    bool exitsWithStatusZero();
    QMap<QString, QString> readWindow() { return m_session->readWindow(m_program); }
    bool waitForLabel(const QString &meaning, const QString &value)
    {
        return m_session->waitForLabel(m_program, meaning, value);
    }
    bool heardSince(MonitorRecorder::Clock::time_point since, std::chrono::milliseconds within);
    char shownLetter();

    std::unique_ptr<DesktopSession> m_session;
    pid_t m_program = -1;
    pid_t m_inputMethod = -1;
    std::unique_ptr<PulseServer> m_pulse;
    std::unique_ptr<MonitorRecorder> m_recorder;
};

void TestEndToEnd::initTestCase()
{
    m_session = std::make_unique<DesktopSession>(DesktopSession::Display::X11);
    QVERIFY2(m_session->start(), qPrintable(m_session->error()));
    m_pulse = std::make_unique<PulseServer>();
    QVERIFY2(m_pulse->start(), "the PulseAudio daemon did not start");
    m_recorder = std::make_unique<MonitorRecorder>(*m_pulse);
    QVERIFY2(m_recorder->start(), "the null sink's monitor gave no data");
}

void TestEndToEnd::cleanup()
{
    m_session->endProgram(m_program);
    m_program = -1;
    m_session->endProgram(m_inputMethod);
    m_inputMethod = -1;
}

void TestEndToEnd::cleanupTestCase()
{
    if (m_recorder)
        m_recorder->stop();
    m_pulse.reset();
    m_session.reset();
}

void TestEndToEnd::startProgram(const EnvironmentChanges &extra)
{
    EnvironmentChanges environment = m_pulse->clientEnvironment();
    environment.insert(environment.end(), extra.begin(), extra.end());
    m_program = m_session->startProgram({TYPING_DRILL_PROGRAM}, environment);
    QVERIFY(m_program > 0);
    QVERIFY2(waitForLabel("总数", "0"), "the window never showed its statistics");
}

bool TestEndToEnd::exitsWithStatusZero()
{
    const bool exitedWithZero = m_session->waitForExit(m_program, 3s) == 0;
    if (exitedWithZero)
        m_program = -1;
    return exitedWithZero;
}

bool TestEndToEnd::heardSince(MonitorRecorder::Clock::time_point since,
                              std::chrono::milliseconds within)
{
    // A fresh null sink can hold back the first stream for a second or two.
    const std::size_t from = m_recorder->indexAt(since);
    const std::size_t to = from + MonitorRecorder::rate * within.count() / 1000;
    m_recorder->waitForSamples(to, within + 2s);
    return peak(m_recorder->samples(), from, to) >= audible;
}

char TestEndToEnd::shownLetter()
{
    const QString letter = readWindow().value("字母");
    return letter.size() == 1 ? letter.at(0).toLatin1() : '?';
}

void TestEndToEnd::drillRunsFromStartToExit()
{
    startProgram({});
    QMap<QString, QString> labels = readWindow();
    QCOMPARE(labels.value("正确"), "0");
    QCOMPARE(labels.value("错误"), "0");
    QCOMPARE(labels.value("速度"), "0 字/分");
    QCOMPARE(labels.value("正确率"), "0 %");
    QCOMPARE(labels.value("输入框"), "输入框");
    const char first = shownLetter();
    QVERIFY2(first >= 'A' && first <= 'Z', "no letter shown");
    // Nothing of sound is loaded before the first key: it comes with that key.
    QCOMPARE(audioLibraries(m_program), QStringList());

    // The letter shown, typed in lower case: correct, and the correct cue sounds.
    auto pressed = MonitorRecorder::Clock::now();
    QVERIFY(m_session->tapKeys({QString(QChar(first).toLower())}));
    QVERIFY(waitForLabel("总数", "1"));
    QCOMPARE(readWindow().value("正确"), "1");
    QCOMPARE(readWindow().value("正确率"), "100%");
    QVERIFY2(heardSince(pressed, 3s), "no cue after a correct key");
    QVERIFY(audioLibraries(m_program).size() >= 3);

    // Another letter, held for over a second: judged once, as wrong.
    const char shown = shownLetter();
    const QString other = shown == 'A' ? "b" : "a";
    QVERIFY(m_session->pressKey(other));
    QTest::qWait(1500);
    QVERIFY(m_session->releaseKey(other));
    QVERIFY(waitForLabel("总数", "2"));
    QTest::qWait(300);
    labels = readWindow();
    QCOMPARE(labels.value("总数"), "2");
    QCOMPARE(labels.value("错误"), "1");
    QCOMPARE(labels.value("正确率"), "50%");

    // Enter restarts, and its release is not judged.
    QVERIFY(m_session->tapKeys({"Return"}));
    QVERIFY(waitForLabel("正确率", "0 %"));
    QTest::qWait(300);
    labels = readWindow();
    QCOMPARE(labels.value("总数"), "0");
    QCOMPARE(labels.value("正确率"), "0 %");

    // A wrong key starts the wrong cue; Esc right after ends the program and its sound.
    pressed = MonitorRecorder::Clock::now();
    QVERIFY(m_session->tapKeys({other}));
    QVERIFY(waitForLabel("错误", "1"));
    QVERIFY2(heardSince(pressed, 400ms), "no cue after a wrong key");
    const auto escape = MonitorRecorder::Clock::now();
    QVERIFY(m_session->tapKeys({"Escape"}));
    QVERIFY(exitsWithStatusZero());
    const auto exited = MonitorRecorder::Clock::now();
    qInfo("the program ended %.0f ms after xdotool was started to press Esc",
          std::chrono::duration<double, std::milli>(exited - escape).count());

    // The wrong cue lasts over a second; once the program is gone the sink is silent.
    const std::size_t from = m_recorder->indexAt(exited + 100ms);
    const std::size_t to = from + MonitorRecorder::rate / 2;
    QVERIFY(m_recorder->waitForSamples(to, 3s));
    QCOMPARE(peak(m_recorder->samples(), from, to), 0);
}

void TestEndToEnd::inputMethodLeavesLettersToTheDrill()
{
    // ibus with the pinyin engine, on a configuration held in memory, in a home of its own.
    const QString home = m_session->filePath("input-method");
    QVERIFY(QDir().mkpath(home));
    const std::string address = "unix:path=" + (home + "/ibus").toStdString();
    const EnvironmentChanges inputMethod {{"HOME", home.toStdString()},
                                          {"XDG_CONFIG_HOME", (home + "/config").toStdString()},
                                          {"XDG_CACHE_HOME", (home + "/cache").toStdString()},
                                          {"IBUS_ADDRESS", address},
                                          {"QT_IM_MODULE", "ibus"}};
    m_inputMethod = m_session->startProgram({"ibus-daemon", "--panel=disable",
                                             "--emoji-extension=disable", "--config=" IBUS_MEMCONF,
                                             "--address=" + QString::fromStdString(address)},
                                            inputMethod);
    QVERIFY(m_inputMethod > 0);
    const auto choosePinyin = [&] {
        QByteArray engine;
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_session->run("ibus", {"engine", "libpinyin"}, inputMethod);
            if (m_session->run("ibus", {"engine"}, inputMethod, &engine)
                && engine.trimmed() == "libpinyin")
                return true;
            QTest::qWait(100);
        }
        return false;
    };
    QVERIFY2(choosePinyin(), "the pinyin engine did not start");

    // The answer box: every letter arrives as a key and is judged.
    startProgram(inputMethod);
    QVERIFY(m_session->tapKeys({"a", "s", "d"}));
    QVERIFY(waitForLabel("总数", "3"));
    QVERIFY(m_session->tapKeys({"Escape"}));
    QVERIFY(exitsWithStatusZero());

    // An ordinary text box under the same engine: the letters are taken from it, and only the
    // Shift that ends the composition comes through, so the engine was really at work above.
    QProcess probe;
    probe.setProcessEnvironment(m_session->processEnvironment(inputMethod));
    probe.start(IM_PROBE_PROGRAM);
    QVERIFY(probe.waitForReadyRead(10000));
    QTest::qWait(1500);
    QVERIFY(m_session->tapKeys({"a", "s", "d", "shift"}));
    QTest::qWait(500);
    probe.kill();
    probe.waitForFinished();
    const QString probed = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(probed.contains(QString("release %1").arg(int(Qt::Key_Shift))), qPrintable(probed));
    QVERIFY2(!probed.contains(QString("release %1").arg(int(Qt::Key_A))), qPrintable(probed));
}

void TestEndToEnd::keyIsJudgedWhenShiftChangesItsSymbol()
{
    // On a German layout Shift makes the "2" key a '"': a digit pressed before Shift comes up as
    // another symbol, and it is still the key that went down.
    QVERIFY(m_session->run("setxkbmap", {"de"}));
    startProgram({});
    QVERIFY(m_session->pressKey("2"));
    QVERIFY(m_session->pressKey("Shift_L"));
    QVERIFY(m_session->releaseKey("2"));
    QVERIFY(m_session->releaseKey("Shift_L"));
    QVERIFY(waitForLabel("总数", "2"));
    QCOMPARE(readWindow().value("错误"), "2");
    QVERIFY(m_session->tapKeys({"Escape"}));
    QVERIFY(exitsWithStatusZero());
    QVERIFY(m_session->run("setxkbmap", {"us"}));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"

#include "child_process.h"
#include "mapped_libraries.h"
#include "monitor_recorder.h"
#include "pulse_server.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

// One line a child writes into a pipe (Xvfb's display number, the bus address), or "" on timeout.
std::string readLine(int fd, std::chrono::milliseconds timeout)
{
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd wanted {fd, POLLIN, 0};
        if (poll(&wanted, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return {};
}

// Starts a child that prints one line on its standard output, and gives that line.
std::string startAndReadLine(pid_t &pid, const std::vector<std::string> &arguments)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    pid = startProcess(arguments, {}, fds[1]);
    close(fds[1]);
    const std::string line = pid > 0 ? readLine(fds[0], 10s) : std::string();
    close(fds[0]);
    return line;
}

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

private:
    void startProgram(const EnvironmentChanges &extra);
    bool exitsWithStatusZero();
    QProcessEnvironment processEnvironment(const EnvironmentChanges &extra) const;
    bool run(const QString &program, const QStringList &arguments,
             const EnvironmentChanges &extra = {}, QByteArray *output = nullptr);
    QMap<QString, QString> readWindow();
    bool waitForLabel(const QString &meaning, const QString &value);
    void xdotool(const QStringList &arguments);
    bool heardSince(MonitorRecorder::Clock::time_point since, std::chrono::milliseconds within);
    char shownLetter();

    QTemporaryDir m_folder;
    EnvironmentChanges m_environment;
    pid_t m_xvfb = -1;
    pid_t m_bus = -1;
    pid_t m_accessibility = -1;
    pid_t m_program = -1;
    pid_t m_inputMethod = -1;
    std::unique_ptr<PulseServer> m_pulse;
    std::unique_ptr<MonitorRecorder> m_recorder;
};

void TestEndToEnd::initTestCase()
{
    QVERIFY(m_folder.isValid());
    const std::string display =
        startAndReadLine(m_xvfb,
                         {"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-dpi", "96",
                          "-nolisten", "tcp", "-noreset"});
    QVERIFY2(!display.empty(), "Xvfb did not start");
    const std::string bus =
        startAndReadLine(m_bus, {"dbus-daemon", "--session", "--nofork", "--print-address=1"});
    QVERIFY2(!bus.empty(), "the session bus did not start");
    const QString runtime = m_folder.filePath("runtime");
    QVERIFY(QDir().mkpath(runtime));
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_environment = {{"DISPLAY", ":" + display},
                     {"DBUS_SESSION_BUS_ADDRESS", bus},
                     {"XDG_RUNTIME_DIR", runtime.toStdString()}};
    m_accessibility =
        startProcess({ACCESSIBILITY_BUS_LAUNCHER, "--launch-immediately"}, m_environment);
    QVERIFY2(m_accessibility > 0, "the accessibility bus did not start");

    m_pulse = std::make_unique<PulseServer>();
    QVERIFY2(m_pulse->start(), "the PulseAudio daemon did not start");
    m_recorder = std::make_unique<MonitorRecorder>(*m_pulse);
    QVERIFY2(m_recorder->start(), "the null sink's monitor gave no data");
}

void TestEndToEnd::cleanup()
{
    endProcess(m_program);
    m_program = -1;
    endProcess(m_inputMethod);
    m_inputMethod = -1;
}

void TestEndToEnd::cleanupTestCase()
{
    if (m_recorder)
        m_recorder->stop();
    m_pulse.reset();
    endProcess(m_accessibility);
    endProcess(m_bus);
    endProcess(m_xvfb);
}

void TestEndToEnd::startProgram(const EnvironmentChanges &extra)
{
    EnvironmentChanges environment = m_environment;
    for (const auto &variable : m_pulse->clientEnvironment())
        environment.push_back(variable);
    environment.emplace_back("QT_QPA_PLATFORM", "xcb");
    environment.emplace_back("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    environment.insert(environment.end(), extra.begin(), extra.end());
    m_program = startProcess({TYPING_DRILL_PROGRAM}, environment, -1,
                             m_folder.filePath("program.log").toStdString());
    QVERIFY(m_program > 0);
    QVERIFY2(waitForLabel("总数", "0"), "the window never showed its statistics");
}

bool TestEndToEnd::exitsWithStatusZero()
{
    int status = -1;
    pid_t ended = 0;
    for (int i = 0; i < 300 && ended == 0; ++i) {
        ended = waitpid(m_program, &status, WNOHANG);
        if (ended == 0)
            QTest::qWait(10);
    }
    if (ended != m_program)
        return false;
    m_program = -1;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QProcessEnvironment TestEndToEnd::processEnvironment(const EnvironmentChanges &extra) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto &variables : {m_environment, extra}) {
        for (const auto &[name, value] : variables)
            environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    return environment;
}

bool TestEndToEnd::run(const QString &program, const QStringList &arguments,
                       const EnvironmentChanges &extra, QByteArray *output)
{
    QProcess process;
    process.setProcessEnvironment(processEnvironment(extra));
    process.start(program, arguments);
    if (!process.waitForFinished(10000))
        return false;
    if (output)
        *output = process.readAllStandardOutput();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QMap<QString, QString> TestEndToEnd::readWindow()
{
    QByteArray output;
    QMap<QString, QString> labels;
    run("/usr/bin/python3", {READ_WINDOW_SCRIPT}, {}, &output);
    for (const QString &line : QString::fromUtf8(output).split('\n')) {
        const QStringList parts = line.split('\t');
        if (parts.size() == 2)
            labels.insert(parts[0], parts[1]);
    }
    return labels;
}

bool TestEndToEnd::waitForLabel(const QString &meaning, const QString &value)
{
    QString seen;
    for (int attempt = 0; attempt < 50; ++attempt) {
        seen = readWindow().value(meaning);
        if (seen == value)
            return true;
        QTest::qWait(100);
    }
    qWarning() << meaning << "shows" << seen << "instead of" << value;
    return false;
}

void TestEndToEnd::xdotool(const QStringList &arguments)
{
    QVERIFY2(run("xdotool", arguments), qPrintable(arguments.join(' ')));
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
    xdotool({"key", QString(QChar(first).toLower())});
    QVERIFY(waitForLabel("总数", "1"));
    QCOMPARE(readWindow().value("正确"), "1");
    QCOMPARE(readWindow().value("正确率"), "100%");
    QVERIFY2(heardSince(pressed, 3s), "no cue after a correct key");
    QVERIFY(audioLibraries(m_program).size() >= 3);

    // Another letter, held for over a second: judged once, as wrong.
    const char shown = shownLetter();
    const QString other = shown == 'A' ? "b" : "a";
    xdotool({"keydown", other});
    QTest::qWait(1500);
    xdotool({"keyup", other});
    QVERIFY(waitForLabel("总数", "2"));
    QTest::qWait(300);
    labels = readWindow();
    QCOMPARE(labels.value("总数"), "2");
    QCOMPARE(labels.value("错误"), "1");
    QCOMPARE(labels.value("正确率"), "50%");

    // Enter restarts, and its release is not judged.
    xdotool({"key", "Return"});
    QVERIFY(waitForLabel("正确率", "0 %"));
    QTest::qWait(300);
    labels = readWindow();
    QCOMPARE(labels.value("总数"), "0");
    QCOMPARE(labels.value("正确率"), "0 %");

    // A wrong key starts the wrong cue; Esc right after ends the program and its sound.
    pressed = MonitorRecorder::Clock::now();
    xdotool({"key", other});
    QVERIFY(waitForLabel("错误", "1"));
    QVERIFY2(heardSince(pressed, 400ms), "no cue after a wrong key");
    const auto escape = MonitorRecorder::Clock::now();
    xdotool({"key", "Escape"});
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
    const QString home = m_folder.filePath("input-method");
    QVERIFY(QDir().mkpath(home));
    const std::string address = "unix:path=" + (home + "/ibus").toStdString();
    const EnvironmentChanges inputMethod {{"HOME", home.toStdString()},
                                          {"XDG_CONFIG_HOME", (home + "/config").toStdString()},
                                          {"XDG_CACHE_HOME", (home + "/cache").toStdString()},
                                          {"IBUS_ADDRESS", address},
                                          {"QT_IM_MODULE", "ibus"}};
    EnvironmentChanges daemonEnvironment = m_environment;
    daemonEnvironment.insert(daemonEnvironment.end(), inputMethod.begin(), inputMethod.end());
    m_inputMethod = startProcess({"ibus-daemon", "--panel=disable", "--emoji-extension=disable",
                                  "--config=" IBUS_MEMCONF, "--address=" + address},
                                 daemonEnvironment, -1, (home + "/daemon.log").toStdString());
    QVERIFY(m_inputMethod > 0);
    const auto choosePinyin = [&] {
        QByteArray engine;
        for (int attempt = 0; attempt < 100; ++attempt) {
            run("ibus", {"engine", "libpinyin"}, inputMethod);
            if (run("ibus", {"engine"}, inputMethod, &engine) && engine.trimmed() == "libpinyin")
                return true;
            QTest::qWait(100);
        }
        return false;
    };
    QVERIFY2(choosePinyin(), "the pinyin engine did not start");

    // The answer box: every letter arrives as a key and is judged.
    startProgram(inputMethod);
    xdotool({"key", "a", "s", "d"});
    QVERIFY(waitForLabel("总数", "3"));
    xdotool({"key", "Escape"});
    QVERIFY(exitsWithStatusZero());

    // An ordinary text box under the same engine: the letters are taken from it, and only the
    // Shift that ends the composition comes through, so the engine was really at work above.
    QProcess probe;
    QProcessEnvironment probeEnvironment = processEnvironment(inputMethod);
    probeEnvironment.insert("QT_QPA_PLATFORM", "xcb");
    probe.setProcessEnvironment(probeEnvironment);
    probe.start(IM_PROBE_PROGRAM);
    QVERIFY(probe.waitForReadyRead(10000));
    QTest::qWait(1500);
    xdotool({"key", "a", "s", "d", "shift"});
    QTest::qWait(500);
    probe.kill();
    probe.waitForFinished();
    const QString probed = QString::fromUtf8(probe.readAllStandardOutput());
    QVERIFY2(probed.contains(QString("release %1").arg(int(Qt::Key_Shift))), qPrintable(probed));
    QVERIFY2(!probed.contains(QString("release %1").arg(int(Qt::Key_A))), qPrintable(probed));
}

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_end_to_end.moc"

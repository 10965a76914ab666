// Runs every benchmark of the program against its floor in one go and prints one table: the
// program started, idle and typed into under a private Xvfb display and a private PulseAudio
// daemon with a null sink, beside a bare Qt window with the same fonts (bench/floor).
//
// Usage: bench_table [--runs N] [--startup-only]
//   --runs N: start-up runs after one warm-up, 7 by default; --startup-only: only those (with
//   the first key's cue after each start of the program).
#include "child_process.h"
#include "cue_decoder.h"
#include "cue_matching.h"
#include "figures.h"
#include "history_store.h"
#include "learners.h"
#include "mapped_libraries.h"
#include "monitor_recorder.h"
#include "process_usage.h"
#include "pulse_server.h"
#include "sound_cues.h"
#include "x_display.h"

#include <QTemporaryDir>

#include <X11/keysym.h>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <optional>
#include <poll.h>
#include <random>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

void note(const char *format, auto... values)
{
    if constexpr (sizeof...(values) == 0)
        std::fputs(format, stderr);
    else
        std::fprintf(stderr, format, values...);
    std::fputc('\n', stderr);
}

// Starts Xvfb on a free display; gives its number, or "" when it did not start.
std::string startXvfb(pid_t &pid)
{
    int fds[2];
    if (pipe(fds) != 0)
        return {};
    pid = startProcess({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-dpi", "96",
                        "-nolisten", "tcp", "-noreset"},
                       {}, fds[1]);
    close(fds[1]);
    std::string number;
    const auto deadline = Clock::now() + 10s;
    while (pid > 0 && Clock::now() < deadline) {
        pollfd wanted {fds[0], POLLIN, 0};
        if (poll(&wanted, 1, 100) <= 0)
            continue;
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n')
            break;
        number += c;
    }
    close(fds[0]);
    return number;
}

// The onsets of cues heard after each release, in milliseconds; releases with no cue within a
// quarter second are left out and counted.
std::vector<double> onsetsAfter(const MonitorRecorder &recorder,
                                const std::vector<Clock::time_point> &releases,
                                const std::vector<std::vector<std::int16_t>> &cues, int &missing)
{
    std::vector<double> onsets;
    if (releases.empty())
        return onsets;
    recorder.waitForSamples(recorder.indexAt(releases.back()) + 44100, 5s);
    const std::vector<std::int16_t> recording = recorder.samples();
    const std::size_t from = recorder.indexAt(releases.front());
    std::vector<std::size_t> starts;
    for (const auto &cue : cues) {
        const auto found = findCueStarts(recording, cue, from > 4410 ? from - 4410 : 0);
        starts.insert(starts.end(), found.begin(), found.end());
    }
    std::sort(starts.begin(), starts.end());
    for (const auto &release : releases) {
        const std::size_t index = recorder.indexAt(release);
        const auto heard = std::find_if(starts.begin(), starts.end(),
                                        [&](std::size_t s) { return s + 441 >= index; });
        if (heard == starts.end() || *heard > index + 44100 / 4) {
            ++missing;
            continue;
        }
        onsets.push_back(millisecondsBetween(release, recorder.timeOf(*heard)));
    }
    return onsets;
}

// CPU % and wake-ups per second of some processes, over slices of an idle stretch.
struct IdleFigures
{
    std::vector<std::vector<double>> cpuPercent;
    std::vector<std::vector<double>> wakeupsPerSecond;
};

IdleFigures measureIdle(const std::vector<pid_t> &pids, std::chrono::seconds length, int slices)
{
    IdleFigures figures;
    figures.cpuPercent.resize(pids.size());
    figures.wakeupsPerSecond.resize(pids.size());
    std::vector<ProcessUsage> before;
    for (pid_t pid : pids)
        before.push_back(processUsage(pid));
    auto sliceStart = Clock::now();
    for (int slice = 0; slice < slices; ++slice) {
        std::this_thread::sleep_until(sliceStart + length / slices);
        const auto now = Clock::now();
        const double seconds = std::chrono::duration<double>(now - sliceStart).count();
        for (std::size_t i = 0; i < pids.size(); ++i) {
            const ProcessUsage after = processUsage(pids[i]);
            const ThreadUsage used = usageBetween(before[i], after);
            figures.cpuPercent[i].push_back(used.cpuSeconds / seconds * 100);
            figures.wakeupsPerSecond[i].push_back(double(used.wakeups) / seconds);
            before[i] = after;
        }
        sliceStart = now;
    }
    return figures;
}

// How a process stands, from the state letter of /proc/PID/stat: a run whose cues went unheard
// may have lost its audio daemon.
std::string processState(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
        return "gone";
    const char state = line[line.rfind(')') + 2];
    return state == 'T' ? "stopped" : state == 'Z' || state == 'X' ? "gone" : "running";
}

// What each start of a program showed from outside, one value per run.
struct StartupFigures
{
    std::vector<double> firstFrame;
    std::vector<double> settled;
    std::vector<double> mainThreadCpu;
    std::vector<double> mainThreadCpuSettled;
    std::vector<double> libraries;
    std::vector<double> resident;
    std::vector<double> wakeups;
    std::vector<double> serverCpu;
    std::vector<double> firstKey;
    std::vector<double> exit;
};

// Esc pressed in the window to the process gone, in ms; nothing when it has not ended within 5 s
// (it is then ended).
std::optional<double> exitOnEscape(XDisplay &x, pid_t pid)
{
    const auto pressed = x.sendKey(XK_Escape, true);
    x.sendKey(XK_Escape, false);
    while (Clock::now() < pressed + 5s) {
        if (waitpid(pid, nullptr, WNOHANG) == pid)
            return millisecondsBetween(pressed, Clock::now());
        std::this_thread::sleep_for(1ms);
    }
    endProcess(pid);
    return std::nullopt;
}

// Resident size in MiB, sampled a few times.
std::vector<double> residentMegabytes(pid_t pid)
{
    std::vector<double> samples;
    for (int i = 0; i < 5; ++i) {
        samples.push_back(double(residentKilobytes(pid)) / 1024);
        std::this_thread::sleep_for(100ms);
    }
    return samples;
}

// Waits until the process has used under 2 % of a CPU for half a second.
void waitUntilQuiet(pid_t pid)
{
    for (int i = 0; i < 600; ++i) {
        const ProcessUsage before = processUsage(pid);
        std::this_thread::sleep_for(500ms);
        if (usageBetween(before, processUsage(pid)).cpuSeconds < 0.01)
            return;
    }
}

// Presses and releases letter keys, in bursts the program can follow.
void typeKeys(XDisplay &x, int releases)
{
    for (int i = 0; i < releases; ++i) {
        const unsigned long keysym = XK_a + unsigned(i % 26);
        x.sendKey(keysym, true);
        x.sendKey(keysym, false);
        if (i % 100 == 99)
            std::this_thread::sleep_for(5ms);
    }
}

// What the in-process benchmark of a key release's handling printed on its summary line.
struct ReleaseFigures
{
    Summary form;
    Summary plain;
};

ReleaseFigures runKeyReleaseBenchmark()
{
    ReleaseFigures figures;
    int fds[2];
    if (pipe(fds) != 0)
        return figures;
    const pid_t pid = startProcess({KEY_RELEASE_BENCHMARK, "--summary"},
                                   {{"QT_QPA_PLATFORM", "offscreen"}}, fds[1]);
    close(fds[1]);
    std::string output;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, std::size_t(got));
    close(fds[0]);
    endProcess(pid);
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag;
        words >> tag;
        if (tag != "summary")
            continue;
        Summary &into = figures.form;
        words >> into.median >> into.min >> into.max >> into.count;
        words >> figures.plain.median >> figures.plain.min >> figures.plain.max
            >> figures.plain.count;
    }
    return figures;
}

} // namespace

int main(int argc, char **argv)
{
    int runs = 7;
    bool startupOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--runs" && i + 1 < argc)
            runs = std::stoi(argv[++i]);
        else if (argument == "--startup-only")
            startupOnly = true;
    }

    pid_t xvfb = -1;
    const std::string displayNumber = startXvfb(xvfb);
    if (displayNumber.empty()) {
        note("Xvfb did not start");
        return 1;
    }
    const std::string display = ":" + displayNumber;
    auto connection = std::make_unique<XDisplay>(display);
    XDisplay &x = *connection;
    PulseServer pulse;
    // The start-up runs meet a daemon that suspends its idle sink, as a desktop's does (after
    // 5 s there, 1 s here so that the benchmark's own recording has gone quiet before each idle
    // stretch): what it spends then is the program's doing. The other figures keep a sink that
    // always runs, as they were first measured.
    PulseServer desktopPulse;
    desktopPulse.suspendIdleSinkAfter(1s);
    if (!x.usable() || !pulse.start() || !desktopPulse.start()) {
        connection.reset();
        note("needs Xvfb with XTEST and DAMAGE, and a PulseAudio daemon");
        endProcess(xvfb);
        return 1;
    }
    pulse.useInThisProcess();
    QTemporaryDir folder;
    // Neither program may find a session bus or autolaunch one.
    const EnvironmentChanges session {
        {"DISPLAY", display},
        {"QT_QPA_PLATFORM", "xcb"},
        {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + folder.filePath("no-bus").toStdString()},
        {"XDG_RUNTIME_DIR", folder.path().toStdString()},
        // The program's history goes here, not into the user's own.
        {"XDG_DATA_HOME", folder.filePath("data").toStdString()}};
    EnvironmentChanges environment = pulse.clientEnvironment();
    environment.insert(environment.end(), session.begin(), session.end());
    EnvironmentChanges desktopEnvironment = desktopPulse.clientEnvironment();
    desktopEnvironment.insert(desktopEnvironment.end(), session.begin(), session.end());
    const std::vector<std::vector<std::int16_t>> cues {loadCue(":/sounds/101.wav"),
                                                       loadCue(":/sounds/102.wav")};
    std::vector<TableRow> rows;

    // A freshly started sink has been seen to hold back its first stream: measured first, while
    // the daemon is new.
    std::vector<double> freshSink;
    if (!startupOnly) {
        note("the first cue on the freshly started sink");
        MonitorRecorder recorder(pulse);
        recorder.start();
        const auto made = Clock::now();
        SoundCues sound;
        for (int i = 0; i < 30; ++i) {
            sound.playCue(Verdict::Wrong);
            std::this_thread::sleep_for(300ms);
            const auto heard = findCueStarts(recorder.samples(), cues[1]);
            if (!heard.empty()) {
                freshSink.push_back(millisecondsBetween(made, recorder.timeOf(heard.front())));
                break;
            }
        }
    }

    // Measured last, after the figures of the always-running daemon (or alone with
    // --startup-only), so that those are taken as they were first measured.
    std::vector<TableRow> startupRows;
    const auto measureStartup = [&] {
        // Start-up as a user meets it, the two programs in turn, one warm-up run each first: exec
        // to content settled, the main thread's CPU until the window maps, then 2 s after exec the
        // libraries mapped and the resident size, idle use 2-7 s after exec, and for the program
        // the first key's cue.
        note("start-up: %d runs of each after a warm-up, about 9 s each", runs);
        // The third is the program with its history off: what opening the history costs; the
        // fourth meets a history of three learners, and so the chooser first.
        StartupFigures startup[4];
        int missing = 0;
        const std::string family = folder.filePath("family.sqlite").toStdString();
        {
            HistoryFault fault = HistoryFault::None;
            std::int64_t id = 0;
            if (const auto store = HistoryStore::open(family, fault, {})) {
                addLearner(*store, "小明", &id);
                addLearner(*store, "小红", &id);
            }
        }
        const std::vector<std::vector<std::string>> programs {
            {TYPING_DRILL_PROGRAM},
            {FLOOR_PROGRAM},
            {TYPING_DRILL_PROGRAM, "--no-history"},
            {TYPING_DRILL_PROGRAM, "--history-file", family}};
        std::mt19937 startupKeys(3);
        for (int run = 0; run <= runs; ++run) {
            for (std::size_t p = 0; p < programs.size(); ++p) {
                StartupFigures &into = startup[p];
                x.watchForNewWindow();
                const auto started = Clock::now();
                const pid_t pid = startProcess(programs[p], desktopEnvironment, -1,
                                               folder.filePath("program.log").toStdString());
                const auto mainThreadCpu = [pid] {
                    const ProcessUsage usage = processUsage(pid);
                    const auto main = usage.find(pid);
                    return main == usage.end() ? -1 : main->second.cpuSeconds * 1000;
                };
                double cpuAtMap = -1;
                const XDisplay::Startup seen =
                    x.watchStartup(10s, 250ms, [&] { cpuAtMap = mainThreadCpu(); });
                // Read once the content has been still for a while: what the main thread did to
                // get there, whether before or after the window mapped.
                const double cpuAtSettled = mainThreadCpu();
                if (p == 3) {
                    // The chooser, closed by Esc: no drill follows.
                    exitOnEscape(x, pid);
                    std::this_thread::sleep_for(300ms);
                    if (run > 0 && seen.firstFrame)
                        into.firstFrame.push_back(millisecondsBetween(started, *seen.firstFrame));
                    if (run > 0 && seen.settled)
                        into.settled.push_back(millisecondsBetween(started, *seen.settled));
                    continue;
                }
                if (p == 2) {
                    // Typed into once, as the program with its history is, then ended by Esc.
                    std::this_thread::sleep_until(started + 2s);
                    const unsigned long keysym = XK_a + startupKeys() % 26;
                    x.sendKey(keysym, true);
                    x.sendKey(keysym, false);
                    std::this_thread::sleep_for(500ms);
                    const std::optional<double> exited = exitOnEscape(x, pid);
                    std::this_thread::sleep_for(300ms);
                    if (run > 0 && exited)
                        into.exit.push_back(*exited);
                    if (run > 0 && seen.settled)
                        into.settled.push_back(millisecondsBetween(started, *seen.settled));
                    if (run > 0 && cpuAtMap >= 0)
                        into.mainThreadCpu.push_back(cpuAtMap);
                    continue;
                }
                std::this_thread::sleep_until(started + 2s);
                const double libraries = double(mappedLibraries(pid).size());
                const double resident = double(residentKilobytes(pid)) / 1024;
                const IdleFigures idle = measureIdle({pid, desktopPulse.pid()}, 5s, 1);
                std::optional<double> firstKey;
                if (p == 0) {
                    MonitorRecorder recorder(desktopPulse);
                    recorder.start();
                    std::this_thread::sleep_for(500ms);
                    const unsigned long keysym = XK_a + startupKeys() % 26;
                    x.sendKey(keysym, true);
                    std::this_thread::sleep_for(80ms);
                    const std::vector<Clock::time_point> released {x.sendKey(keysym, false)};
                    int missingNow = 0;
                    const std::vector<double> onsets =
                        onsetsAfter(recorder, released, cues, missingNow);
                    if (!onsets.empty())
                        firstKey = onsets.front();
                    if (run > 0)
                        missing += missingNow;
                }
                // The program with its history writes its run and folds the log into the file.
                std::optional<double> exited;
                if (p == 0)
                    exited = exitOnEscape(x, pid);
                else
                    endProcess(pid);
                std::this_thread::sleep_for(300ms);
                if (run > 0 && exited)
                    into.exit.push_back(*exited);
                if (run == 0)
                    continue;
                if (seen.firstFrame)
                    into.firstFrame.push_back(millisecondsBetween(started, *seen.firstFrame));
                if (seen.settled)
                    into.settled.push_back(millisecondsBetween(started, *seen.settled));
                if (cpuAtMap >= 0)
                    into.mainThreadCpu.push_back(cpuAtMap);
                if (seen.settled && cpuAtSettled >= 0)
                    into.mainThreadCpuSettled.push_back(cpuAtSettled);
                into.libraries.push_back(libraries);
                into.resident.push_back(resident);
                into.wakeups.push_back(idle.wakeupsPerSecond[0].front());
                into.serverCpu.push_back(idle.cpuPercent[1].front());
                if (firstKey)
                    into.firstKey.push_back(*firstKey);
            }
        }
        startupRows.push_back({"start-up: exec to first frame drawn", "ms",
                               summarise(startup[0].firstFrame), summarise(startup[1].firstFrame),
                               "<= 1.1 x floor"});
        startupRows.push_back({"start-up: exec to content settled", "ms",
                               summarise(startup[0].settled), summarise(startup[1].settled),
                               "<= 1.1 x floor"});
        startupRows.push_back({"history's cost: exec to content settled", "ms",
                               summarise(startup[0].settled), summarise(startup[2].settled),
                               "floor: the program with --no-history"});
        startupRows.push_back({"history's cost: main-thread CPU until the window maps", "ms",
                               summarise(startup[0].mainThreadCpu),
                               summarise(startup[2].mainThreadCpu),
                               "floor: the program with --no-history"});
        startupRows.push_back({"CPU on the main thread until the window maps", "ms",
                               summarise(startup[0].mainThreadCpu),
                               summarise(startup[1].mainThreadCpu), "<= 1.1 x floor"});
        startupRows.push_back({"CPU on the main thread until content settled", "ms",
                               summarise(startup[0].mainThreadCpuSettled),
                               summarise(startup[1].mainThreadCpuSettled), "<= 1.1 x floor"});
        startupRows.push_back({"shared libraries mapped, 2 s after exec", "",
                               summarise(startup[0].libraries), summarise(startup[1].libraries),
                               "<= 75"});
        startupRows.push_back({"resident memory 2 s after exec", "MiB",
                               summarise(startup[0].resident), summarise(startup[1].resident),
                               "<= 1.1 x floor"});
        startupRows.push_back({"idle wake-ups, program, 2-7 s after exec", "1/s",
                               summarise(startup[0].wakeups), summarise(startup[1].wakeups),
                               "<= 1.1 x floor"});
        startupRows.push_back({"idle CPU, audio server, 2-7 s after exec", "%",
                               summarise(startup[0].serverCpu), summarise(startup[1].serverCpu),
                               "<= 0.05 %"});
        startupRows.push_back({"several learners: exec to the chooser's first frame", "ms",
                               summarise(startup[3].firstFrame), summarise(startup[0].firstFrame),
                               "floor: the drill's own first frame"});
        startupRows.push_back({"several learners: exec to the chooser settled", "ms",
                               summarise(startup[3].settled), summarise(startup[0].settled),
                               "floor: the drill's own content settled"});
        startupRows.push_back({"exit after one key: Esc to process gone", "ms",
                               summarise(startup[0].exit), summarise(startup[2].exit),
                               "floor: the program with --no-history"});
        startupRows.push_back({"first key after start: release to onset",
                               "ms",
                               summarise(startup[0].firstKey),
                               {},
                               "median <= 30 ms; key held 80 ms"});
        return missing;
    };
    if (startupOnly) {
        measureStartup();
        printTable(startupRows);
        connection.reset();
        endProcess(xvfb);
        return 0;
    }

    note("a key release's handling in process (bench_key_release, offscreen)");
    const ReleaseFigures release = runKeyReleaseBenchmark();
    rows.push_back({"key release handled in process", "us", release.form, release.plain,
                    "median < 200 us; floor: plain QLineEdit"});

    // The sink's first stream can start late; the in-process cues warm it up and give the
    // floor of the cue's latency: playCue to onset, without window or X server.
    note("cue onset: SoundCues alone, then the program's key releases");
    auto recorder = std::make_unique<MonitorRecorder>(pulse);
    recorder->start();
    std::vector<double> alone;
    {
        SoundCues sound;
        for (int i = 0; i < 30; ++i) {
            const std::size_t from = recorder->sampleCount();
            sound.playCue(Verdict::Wrong);
            std::this_thread::sleep_for(300ms);
            if (!findCueStarts(recorder->samples(), cues[1], from).empty())
                break;
        }
        std::this_thread::sleep_for(1200ms);
        std::vector<Clock::time_point> called;
        std::mt19937 random(1);
        for (int i = 0; i < 30; ++i) {
            called.push_back(Clock::now());
            sound.playCue(Verdict::Correct);
            std::this_thread::sleep_for(250ms + std::chrono::milliseconds(random() % 12));
        }
        int missing = 0;
        alone = onsetsAfter(*recorder, called, cues, missing);
    }

    // The first cue after the device closed for lack of use, asked for 80 ms after prepare(),
    // as a key's press and release would, and with no prepare() at all.
    note("the first cue after the device closed, in process");
    std::vector<double> afterRestPrepared;
    std::vector<double> afterRestUnprepared;
    int missingAfterRest = 0;
    {
        SoundCuesOptions options;
        options.idleClose = 1s;
        SoundCues sound(options);
        const auto waitFor = [&sound](bool open) {
            const auto deadline = Clock::now() + 10s;
            while (sound.isOutputOpen() != open && Clock::now() < deadline)
                std::this_thread::sleep_for(10ms);
        };
        for (int i = 0; i < 20; ++i) {
            waitFor(true);
            waitFor(false);
            const bool prepared = i % 2 == 0;
            if (prepared) {
                sound.prepare();
                std::this_thread::sleep_for(80ms);
            }
            const std::vector<Clock::time_point> called {Clock::now()};
            sound.playCue(Verdict::Correct);
            auto &into = prepared ? afterRestPrepared : afterRestUnprepared;
            for (double onset : onsetsAfter(*recorder, called, cues, missingAfterRest))
                into.push_back(onset);
        }
    }

    // The program: started, typed into, left idle, typed into after the pause, typed into hard.
    x.watchForNewWindow();
    const pid_t program = startProcess({TYPING_DRILL_PROGRAM}, environment, -1,
                                       folder.filePath("program.log").toStdString());
    x.waitForFirstFrame(10s);
    std::this_thread::sleep_for(2s);

    std::vector<Clock::time_point> releases;
    std::mt19937 random(2);
    for (int i = 0; i < 51; ++i) {
        const unsigned long keysym = XK_a + random() % 26;
        x.sendKey(keysym, true);
        std::this_thread::sleep_for(60ms);
        const auto released = x.sendKey(keysym, false);
        if (i > 0) // the first opens the way: a new stream may start late
            releases.push_back(released);
        std::this_thread::sleep_for(i == 0 ? 1500ms
                                           : 250ms + std::chrono::milliseconds(random() % 12));
    }
    int missingKeyCues = 0;
    const std::vector<double> keyToCue = onsetsAfter(*recorder, releases, cues, missingKeyCues);
    recorder.reset(); // its stream would keep the audio server busy

    note("idle: the program 0-30 s and 35-65 s after its last cue");
    const IdleFigures justTyped = measureIdle({program, pulse.pid()}, 30s, 10);
    std::this_thread::sleep_for(5s);
    const IdleFigures longIdle = measureIdle({program, pulse.pid()}, 30s, 10);

    note("the first cue after the pause");
    recorder = std::make_unique<MonitorRecorder>(pulse);
    recorder->start();
    std::this_thread::sleep_for(500ms);
    x.sendKey(XK_q, true);
    std::this_thread::sleep_for(80ms);
    const std::vector<Clock::time_point> afterPause {x.sendKey(XK_q, false)};
    int missingAfterPause = 0;
    const std::vector<double> firstCue =
        onsetsAfter(*recorder, afterPause, cues, missingAfterPause);
    recorder.reset();

    note("memory: 100000 key releases into the program");
    typeKeys(x, 100000);
    waitUntilQuiet(program);
    const std::vector<double> programTypedRss = residentMegabytes(program);
    std::vector<double> exitAfterTyping;
    if (const std::optional<double> exited = exitOnEscape(x, program))
        exitAfterTyping.push_back(*exited);

    note("the floor: idle, then 100000 key releases");
    x.watchForNewWindow();
    const pid_t floor =
        startProcess({FLOOR_PROGRAM}, environment, -1, folder.filePath("floor.log").toStdString());
    x.waitForFirstFrame(10s);
    std::this_thread::sleep_for(2s);
    const IdleFigures floorIdle = measureIdle({floor, pulse.pid()}, 30s, 10);
    typeKeys(x, 100000);
    waitUntilQuiet(floor);
    const std::vector<double> floorTypedRss = residentMegabytes(floor);
    endProcess(floor);

    rows.push_back({"key release to cue onset (real keys, Xvfb)", "ms", summarise(keyToCue),
                    summarise(alone), "median <= 20 ms; floor: playCue alone"});
    rows.push_back(
        {"first cue after 65 s idle: release to onset", "ms", summarise(firstCue), {}, "<= 60 ms"});
    rows.push_back({"cue on a closed device, prepare() 80 ms ahead", "ms",
                    summarise(afterRestPrepared), summarise(alone),
                    "<= 60 ms; floor: playCue, device open"});
    rows.push_back({"cue on a closed device, no prepare()", "ms", summarise(afterRestUnprepared),
                    summarise(alone), "floor: playCue, device open"});
    rows.push_back({"fresh sink: SoundCues made to first cue heard", "ms", summarise(freshSink),
                    summarise(alone), "the server's own delay; cues every 300 ms"});
    rows.push_back({"idle CPU, program, 0-30 s after a cue", "%",
                    summarise(justTyped.cpuPercent[0]), summarise(floorIdle.cpuPercent[0]),
                    "<= floor"});
    rows.push_back({"idle CPU, program, 35-65 s after a cue", "%",
                    summarise(longIdle.cpuPercent[0]), summarise(floorIdle.cpuPercent[0]),
                    "<= floor"});
    rows.push_back({"idle wake-ups, program, 0-30 s", "1/s",
                    summarise(justTyped.wakeupsPerSecond[0]),
                    summarise(floorIdle.wakeupsPerSecond[0]), "<= floor"});
    rows.push_back({"idle wake-ups, program, 35-65 s", "1/s",
                    summarise(longIdle.wakeupsPerSecond[0]),
                    summarise(floorIdle.wakeupsPerSecond[0]), "<= floor"});
    rows.push_back({"idle CPU, audio server, 0-30 s", "%", summarise(justTyped.cpuPercent[1]),
                    summarise(floorIdle.cpuPercent[1]), "<= floor"});
    rows.push_back({"idle CPU, audio server, 35-65 s", "%", summarise(longIdle.cpuPercent[1]),
                    summarise(floorIdle.cpuPercent[1]), "<= floor"});
    rows.push_back({"idle wake-ups, audio server, 0-30 s", "1/s",
                    summarise(justTyped.wakeupsPerSecond[1]),
                    summarise(floorIdle.wakeupsPerSecond[1]), "<= floor"});
    rows.push_back({"idle wake-ups, audio server, 35-65 s", "1/s",
                    summarise(longIdle.wakeupsPerSecond[1]),
                    summarise(floorIdle.wakeupsPerSecond[1]), "<= floor"});
    rows.push_back({"resident memory after 100000 releases", "MiB", summarise(programTypedRss),
                    summarise(floorTypedRss), "<= 1.15 x floor, no growth"});
    rows.push_back({"exit after 100000 releases: Esc to process gone",
                    "ms",
                    summarise(exitAfterTyping),
                    {},
                    "one run"});
    const int missingFirstKeyCues = measureStartup();
    rows.insert(rows.begin(), startupRows.begin(), startupRows.end());
    printTable(rows);
    std::printf("cues not heard within 250 ms: %d of %zu key releases, %d after the program's "
                "pause, %d of 20 on a closed device in process, %d of %d first keys after "
                "start\n",
                missingKeyCues, releases.size(), missingAfterPause, missingAfterRest,
                missingFirstKeyCues, runs);
    std::printf("audio daemons at the end: the always-running one %s, the suspending one %s\n",
                processState(pulse.pid()).c_str(), processState(desktopPulse.pid()).c_str());
    connection.reset(); // before its server goes
    endProcess(xvfb);
    return 0;
}

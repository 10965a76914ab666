// How long the window takes to handle one key release, from the event going in to the six labels
// written, beside a plain line edit's handling of the same events. Under X11 (run it on an Xvfb
// display with QT_QPA_PLATFORM=xcb) it also sends real XTest key events to itself and compares
// the time until a release is judged with the time until a press shows its character: a release
// that waited for anything (such as a look-ahead for auto-repeat) would stand out in the ratio.
// With --summary it ends after the in-process figures with one line for bench_table.
#include "detectable_auto_repeat.h"
#include "fake_key_events.h"
#include "form1.h"
#include "history_recorder.h"
#include "weak_letter_choice.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Median, 10th and 90th percentile, in microseconds.
struct Spread
{
    double median;
    double p10;
    double p90;
};

Spread spreadOf(std::vector<double> micros)
{
    std::sort(micros.begin(), micros.end());
    const auto at = [&micros](double share) {
        return micros[static_cast<std::size_t>(share * double(micros.size() - 1))];
    };
    return {at(0.5), at(0.1), at(0.9)};
}

void print(const char *what, const Spread &spread, std::size_t count)
{
    std::printf("%-44s median %8.1f us   p10 %8.1f us   p90 %8.1f us   (n = %zu)\n", what,
                spread.median, spread.p10, spread.p90, count);
}

double microsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Release timings in microseconds: the release alone, delivered the way the platform delivers
// it, and the release together with the repaint that follows it.
struct ReleaseTimes
{
    std::vector<double> handled;
    std::vector<double> repainted;
};

ReleaseTimes timeReleases(QWindow *window, int rounds)
{
    ReleaseTimes times;
    for (int i = 0; i < rounds; ++i) {
        const Qt::Key key = i % 2 ? Qt::Key_Q : Qt::Key_W;
        const QString text = i % 2 ? "q" : "w";
        qt_handleKeyEvent(window, QEvent::KeyPress, key, Qt::NoModifier, text);
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        qt_handleKeyEvent(window, QEvent::KeyRelease, key, Qt::NoModifier, text);
        times.handled.push_back(microsSince(start));
        QCoreApplication::processEvents();
        times.repainted.push_back(microsSince(start));
    }
    return times;
}

// Spins the event loop until done() holds; the time it took, or -1 after a second.
double waitUntil(Clock::time_point start, const std::function<bool()> &done)
{
    while (!done()) {
        if (microsSince(start) > 1e6)
            return -1;
        QCoreApplication::processEvents();
    }
    return microsSince(start);
}

void benchRealX11Events(Form1 &form, int rounds)
{
    const FakeKeyEvents key('q');
    if (!key.usable()) {
        std::printf("real key events: skipped (needs X11 with the XTEST extension)\n");
        return;
    }
    std::printf("detectable auto-repeat granted: %s\n",
                requestDetectableAutoRepeat() ? "yes" : "no");
    if (!QTest::qWaitForWindowActive(&form)) {
        std::printf("real key events: skipped (the window did not become active)\n");
        return;
    }
    auto *answer = form.findChild<QLineEdit *>("Text1");
    auto *total = form.findChild<QLabel *>("zongshu2");

    std::vector<double> pressMicros;
    std::vector<double> releaseMicros;
    int lost = 0;
    for (int i = 0; i < rounds; ++i) {
        auto start = Clock::now();
        key.send(true);
        const double press = waitUntil(start, [answer] { return !answer->text().isEmpty(); });
        const QString before = total->text();
        start = Clock::now();
        key.send(false);
        const double release = waitUntil(start, [&] { return total->text() != before; });
        if (press < 0 || release < 0) {
            ++lost;
            continue;
        }
        pressMicros.push_back(press);
        releaseMicros.push_back(release);
    }
    if (pressMicros.empty()) {
        std::printf("real key events: none arrived\n");
        return;
    }
    const Spread pressSpread = spreadOf(pressMicros);
    const Spread releaseSpread = spreadOf(releaseMicros);
    print("XTest press until its character shows", pressSpread, pressMicros.size());
    print("XTest release until it is judged", releaseSpread, releaseMicros.size());
    std::printf("release / press, medians: %.2f   (rounds lost: %d)\n",
                releaseSpread.median / pressSpread.median, lost);

    // Held keys: each hold should count once; the server repeats at its usual rate meanwhile.
    constexpr int holds = 10;
    for (const bool detectable : {false, true}) {
        key.setDetectableAutoRepeat(detectable);
        const int before = total->text().toInt();
        for (int i = 0; i < holds; ++i) {
            key.send(true);
            QTest::qWait(1000);
            key.send(false);
            QTest::qWait(100);
        }
        std::printf("%d holds of 1 s, detectable auto-repeat %-3s: %d releases judged\n", holds,
                    detectable ? "on" : "off", total->text().toInt() - before);
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    constexpr int rounds = 5000;
    std::printf("platform: %s\n", qPrintable(QGuiApplication::platformName()));

    QLineEdit plain;
    plain.show();
    plain.activateWindow();
    plain.setFocus();
    if (!QTest::qWaitForWindowActive(&plain))
        std::printf("the line edit's window did not become active\n");
    const ReleaseTimes baseline = timeReleases(plain.windowHandle(), rounds);
    plain.hide();

    Form1 form([](Verdict) {});
    if (!QTest::qWaitForWindowActive(&form))
        std::printf("the drill's window did not become active\n");
    const ReleaseTimes judged = timeReleases(form.windowHandle(), rounds);

    form.hide();

    // The same window telling the history recorder of each key, as the program runs it.
    QTemporaryDir historyFolder;
    HistoryRecorderOptions historyOptions;
    historyOptions.path = historyFolder.filePath("history.sqlite").toStdString();
    HistoryRecorder recorder(historyOptions);
    Form1 recorded([](Verdict) {}, {}, &recorder);
    if (!QTest::qWaitForWindowActive(&recorded))
        std::printf("the recorded drill's window did not become active\n");
    const ReleaseTimes withHistory = timeReleases(recorded.windowHandle(), rounds);
    recorded.hide();

    // The weak-letter practice: its choice learns from each key and weighs every letter per draw,
    // starting from a learner's history of 3000 keys (the most the program reads).
    std::vector<PastKey> past;
    for (int i = 0; i < 3000; ++i)
        past.push_back(
            {char('A' + i % 26), KeyCode('A' + (i * 7) % 26), i % 5 != 0, 300 + i % 400});
    WeakLetterChoice weakLetters(past, 1);
    Form1 weak([](Verdict) {}, {}, nullptr, {QString(), &weakLetters});
    if (!QTest::qWaitForWindowActive(&weak))
        std::printf("the weak-letter drill's window did not become active\n");
    const ReleaseTimes withWeakLetters = timeReleases(weak.windowHandle(), rounds);
    weak.hide();
    form.show();
    form.activateWindow();
    if (!QTest::qWaitForWindowActive(&form))
        std::printf("the drill's window did not become active again\n");

    const Spread baselineSpread = spreadOf(baseline.handled);
    const Spread judgedSpread = spreadOf(judged.handled);
    print("release into a plain line edit", baselineSpread, rounds);
    print("release judged by Form1, labels written", judgedSpread, rounds);
    print("  the same with the repaint that follows", spreadOf(judged.repainted), rounds);
    print("  the same with the history recorded", spreadOf(withHistory.handled), rounds);
    print("  the same with the weak-letter choice", spreadOf(withWeakLetters.handled), rounds);
    std::printf("Form1 / plain line edit, medians: %.2f\n",
                judgedSpread.median / baselineSpread.median);
    std::printf("releases the window counted: %s\n",
                qPrintable(form.findChild<QLabel *>("zongshu2")->text()));
    if (QCoreApplication::arguments().contains("--summary")) {
        // For bench_table: median, min, max and count of both, in microseconds.
        const auto [judgedMin, judgedMax] = std::ranges::minmax(judged.handled);
        const auto [baselineMin, baselineMax] = std::ranges::minmax(baseline.handled);
        std::printf("summary %.3f %.3f %.3f %d %.3f %.3f %.3f %d\n", judgedSpread.median, judgedMin,
                    judgedMax, rounds, baselineSpread.median, baselineMin, baselineMax, rounds);
        return 0;
    }

    if (QGuiApplication::platformName() == "xcb")
        benchRealX11Events(form, 500);
    return 0;
}

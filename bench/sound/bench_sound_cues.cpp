// Measures SoundCues against a private PulseAudio daemon with a null sink: the time playCue
// takes to return, the onset latency from playCue to the cue's first sample at the sink's
// monitor, and dropouts over a long run of quick cues.
//
// Usage: bench_sound_cues [BUFFER_SAMPLES...]   (default: the library's own buffer size)
#include "cue_decoder.h"
#include "cue_matching.h"
#include "figures.h"
#include "monitor_recorder.h"
#include "pulse_server.h"
#include "sound_cues.h"

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <thread>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

struct Run
{
    int bufferSamples;
    std::vector<double> callMicroseconds;
    std::vector<double> onsetMilliseconds;
    std::vector<double> arrivalMilliseconds;
    int onsetMissing = 0;
    int plays = 0;
    int silentPlays = 0;
    int dropouts = 0;
    // Each dropout's gap in milliseconds, where the cue could be found again after it.
    std::vector<std::string> gaps;
};

void measure(Run &run, const PulseServer &server, const std::vector<std::int16_t> &correct,
             const std::vector<std::int16_t> &wrong)
{
    MonitorRecorder recorder(server);
    if (!recorder.start()) {
        std::fprintf(stderr, "parec recorded nothing\n");
        return;
    }
    SoundCuesOptions options;
    options.bufferSamples = run.bufferSamples;
    SoundCues cues(options);
    const auto deadline = Clock::now() + 10s;
    while (!cues.isOutputOpen() && Clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    // A fresh stream can start late on a fresh sink: warm up until a cue is heard.
    for (int i = 0; i < 30; ++i) {
        const std::size_t from = recorder.sampleCount();
        cues.playCue(Verdict::Wrong);
        std::this_thread::sleep_for(300ms);
        if (!findCueStarts(recorder.samples(), wrong, from).empty())
            break;
    }
    std::this_thread::sleep_for(1200ms);

    auto timedCall = [&](Verdict verdict) {
        const auto before = Clock::now();
        cues.playCue(verdict);
        const auto after = Clock::now();
        run.callMicroseconds.push_back(millisecondsBetween(before, after) * 1000);
        return before;
    };

    // Onset: 50 single cues, at pauses that vary so the calls fall anywhere in a device buffer.
    std::mt19937 random(1);
    std::vector<Clock::time_point> called;
    for (int i = 0; i < 50; ++i) {
        called.push_back(timedCall(Verdict::Correct));
        std::this_thread::sleep_for(250ms + std::chrono::milliseconds(random() % 12));
    }
    std::this_thread::sleep_for(300ms);
    {
        const std::vector<std::int16_t> recording = recorder.samples();
        const auto starts =
            findCueStarts(recording, correct, recorder.indexAt(called.front()) - 4410);
        for (const auto &call : called) {
            const std::size_t callIndex = recorder.indexAt(call);
            const auto heard = std::find_if(starts.begin(), starts.end(),
                                            [&](std::size_t s) { return s + 441 >= callIndex; });
            if (heard == starts.end() || *heard > callIndex + 44100 / 4) {
                ++run.onsetMissing;
                continue;
            }
            run.onsetMilliseconds.push_back(millisecondsBetween(call, recorder.timeOf(*heard)));
            run.arrivalMilliseconds.push_back(
                millisecondsBetween(call, recorder.arrivalOf(*heard)));
        }
    }
    std::this_thread::sleep_for(1200ms);

    // Dropouts: 600 cues 100 ms apart, alternating; each must play unbroken until the next.
    const std::size_t from = recorder.sampleCount();
    std::vector<Verdict> verdicts;
    for (int i = 0; i < 600; ++i) {
        verdicts.push_back(i % 2 ? Verdict::Wrong : Verdict::Correct);
        timedCall(verdicts.back());
        std::this_thread::sleep_for(100ms);
    }
    recorder.waitForSamples(recorder.sampleCount() + wrong.size() + 4410, 5s);
    const std::vector<std::int16_t> recording = recorder.samples();
    std::vector<std::pair<std::size_t, const std::vector<std::int16_t> *>> heard;
    for (std::size_t s : findCueStarts(recording, correct, from))
        heard.emplace_back(s, &correct);
    for (std::size_t s : findCueStarts(recording, wrong, from))
        heard.emplace_back(s, &wrong);
    std::sort(heard.begin(), heard.end());
    run.plays = int(verdicts.size());
    run.silentPlays = std::max(0, int(verdicts.size()) - int(heard.size()));
    for (std::size_t i = 0; i < heard.size(); ++i) {
        const std::size_t expected =
            i + 1 < heard.size() ? heard[i + 1].first - heard[i].first : heard[i].second->size();
        const std::size_t played = matchingLength(recording, heard[i].first, *heard[i].second);
        if (played >= expected)
            continue;
        ++run.dropouts;
        // Where the cue picks up again tells a gap of silence (positive) from lost samples.
        const std::size_t resume = played + 200;
        if (resume + 441 > heard[i].second->size())
            continue;
        const auto again =
            findCueStarts(std::span(recording).subspan(
                              0, std::min(recording.size(), heard[i].first + resume + 4410)),
                          std::span(*heard[i].second).subspan(resume), heard[i].first + played);
        run.gaps.push_back(again.empty()
                               ? "?"
                               : std::to_string(double(std::ptrdiff_t(again.front())
                                                       - std::ptrdiff_t(heard[i].first + resume))
                                                * 1000 / 44100));
    }
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<int> bufferSizes;
    for (int i = 1; i < argc; ++i)
        bufferSizes.push_back(std::stoi(argv[i]));
    if (bufferSizes.empty())
        bufferSizes.push_back(SoundCuesOptions().bufferSamples);

    PulseServer server;
    if (!server.start()) {
        std::fprintf(stderr, "the PulseAudio daemon did not start\n");
        return 1;
    }
    server.useInThisProcess();
    const auto correct = loadCue(":/sounds/101.wav");
    const auto wrong = loadCue(":/sounds/102.wav");

    // The constructor reads and decodes both cues before it returns.
    std::vector<double> constructMilliseconds;
    for (int i = 0; i < 20; ++i) {
        const auto before = Clock::now();
        SoundCues cues;
        constructMilliseconds.push_back(millisecondsBetween(before, Clock::now()));
    }
    const Summary construct = summarise(constructMilliseconds);
    std::printf("SoundCues(), 20 times: %.2f ms median, %.2f min, %.2f max\n\n", construct.median,
                construct.min, construct.max);

    std::printf(
        "playCue call: time to return. Onset: playCue to the cue's first sample at the\n"
        "null sink's monitor, as played (sample clock fitted to the earliest reads) and as\n"
        "delivered to the recorder (arrival of the read holding it). Dropouts: cues broken\n"
        "before the next began, and cues never heard, over quick cues 100 ms apart.\n\n");
    std::printf("%7s | %-26s | %-22s | %-22s | %s\n", "buffer", "call, us (med/min/max)",
                "onset played, ms", "onset delivered, ms", "dropouts / silent");
    for (int size : bufferSizes) {
        Run run {size, {}, {}, {}, 0, 0, 0, 0, {}};
        measure(run, server, correct, wrong);
        const Summary call = summarise(run.callMicroseconds);
        const Summary onset = summarise(run.onsetMilliseconds);
        const Summary arrival = summarise(run.arrivalMilliseconds);
        std::printf("%7d | %6.2f / %5.2f / %7.2f | %5.1f / %5.1f / %6.1f | %5.1f / %5.1f / %6.1f | "
                    "%d / %d in %d (onset heard %zu of 50)\n",
                    size, call.median, call.min, call.max, onset.median, onset.min, onset.max,
                    arrival.median, arrival.min, arrival.max, run.dropouts, run.silentPlays,
                    run.plays, run.onsetMilliseconds.size());
        if (!run.gaps.empty()) {
            std::printf("        dropout gaps, ms:");
            for (const std::string &gap : run.gaps)
                std::printf(" %s", gap.c_str());
            std::printf("\n");
        }
        std::fflush(stdout);
    }
    return 0;
}

#include "cue_recording.h"

#include "cue_decoder.h"
#include "cue_matching.h"

#include <QFile>

#include <stdexcept>
#include <thread>

const std::vector<std::int16_t> &playedCue(Verdict verdict)
{
    static const auto load = [](const char *path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw std::runtime_error("an embedded cue is missing");
        const QByteArray bytes = file.readAll();
        return decodeCue(bytes.constData(), std::size_t(bytes.size())).value();
    };
    static const std::vector<std::int16_t> correct = load(":/sounds/101.wav");
    static const std::vector<std::int16_t> wrong = load(":/sounds/102.wav");
    return verdict == Verdict::Correct ? correct : wrong;
}

std::size_t firstStart(const MonitorRecorder &recorder, Verdict verdict, std::size_t from)
{
    const std::vector<std::int16_t> recording = recorder.samples();
    const auto starts = findCueStarts(recording, playedCue(verdict), from);
    return starts.empty() ? SIZE_MAX : starts.front();
}

bool heardAfter(const MonitorRecorder &recorder, Verdict verdict, std::size_t from)
{
    const std::vector<std::int16_t> recording = recorder.samples();
    const std::span<const std::int16_t> cue = playedCue(verdict);
    return !findCueStarts(recording, cue, from).empty()
        || !findCueStarts(recording, cue.subspan(4410), from).empty();
}

bool warmUp(SoundCues &cues, const MonitorRecorder &recorder, std::chrono::milliseconds timeout,
            Verdict verdict)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const std::size_t from = recorder.sampleCount();
    while (std::chrono::steady_clock::now() < deadline) {
        cues.playCue(verdict);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (firstStart(recorder, verdict, from) != SIZE_MAX)
            return true;
    }
    return false;
}

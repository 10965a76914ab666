#pragma once

#include "monitor_recorder.h"
#include "sound_cues.h"

#include <cstdint>
#include <vector>

// The two cues as the device plays them (44100 Hz mono), decoded from the embedded assets.
const std::vector<std::int16_t> &playedCue(Verdict verdict);

// The first start of the cue in the recording at or after the given index, or SIZE_MAX.
std::size_t firstStart(const MonitorRecorder &recorder, Verdict verdict, std::size_t from);

// Whether the cue was heard at or after the index: its start, or, where an underrun broke its
// first samples (a fresh stream on a busy machine), its part from 100 ms on.
bool heardAfter(const MonitorRecorder &recorder, Verdict verdict, std::size_t from);

// Plays cues until one is heard, up to the timeout: a freshly started sink can hold back the
// first stream for a second or two, and a restarted one takes a moment to be found again.
// True when a cue was heard.
bool warmUp(SoundCues &cues, const MonitorRecorder &recorder, std::chrono::milliseconds timeout,
            Verdict verdict);

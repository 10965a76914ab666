#pragma once

#include "cue_output.h"
#include "typing_drill.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

// Where the cues come from and how they are played. The defaults are the program's own.
struct SoundCuesOptions
{
    // Qt resource paths (or file paths) of the WAVE assets.
    std::string correctAsset = ":/sounds/101.wav";
    std::string wrongAsset = ":/sounds/102.wav";
    // Samples per device buffer: smaller starts cues sooner but risks dropouts on a busy machine.
    int bufferSamples = 512;
    // How long the audio device stays open without a cue: an open device has the audio server
    // mix silence for it all the while. prepare() or the next cue opens it again. Zero: always.
    std::chrono::milliseconds idleClose = std::chrono::seconds(30);
    // Sounds instead of a cue whose asset cannot be read; empty means QApplication::beep().
    std::function<void()> defaultAlert;
};

// The two feedback sounds, correct and wrong. Owns the audio output; one per program, created by
// main(). Nothing here ever blocks the caller on the audio system.
class SoundCues : public CueOutput
{
public:
    // Returns at once; the device is opened on a worker thread.
    SoundCues();
    explicit SoundCues(SoundCuesOptions options);
    // Never waits on the audio system.
    ~SoundCues() override;
    SoundCues(const SoundCues &) = delete;
    SoundCues &operator=(const SoundCues &) = delete;

    // Starts the cue, cutting off any cue playing; returns at once. Without a working audio
    // output the cue is dropped; without its asset the default alert sounds instead. A device
    // closed for lack of use opens again for it.
    void playCue(Verdict verdict) override;

    // Whether the audio output is open, so that a cue played now is heard.
    bool isOutputOpen() const override;
    // Asks for the audio output to be ready soon, e.g. when a key goes down ahead of its release:
    // opens the device again if it was closed for lack of use. Returns at once.
    void prepare() override;

private:
    struct Private;
    std::unique_ptr<Private> m_private;
};

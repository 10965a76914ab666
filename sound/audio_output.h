#pragma once

#include <chrono>
#include <memory>

class CueMixer;

// Keeps one SDL audio device (44100 Hz, mono, 16-bit, callback mode) playing a CueMixer.
// Opening, watching, closing and reopening the device all happen on a worker thread of its own,
// because each of them can block for seconds when the audio server hangs. When the server goes
// away or was never there, the worker retries about once a second. After idleClose without use
// (zero: never) the worker closes the device, since an open one has the audio server mix
// silence for it all the while; the next use or wake() opens it again.
class AudioOutput
{
public:
    AudioOutput(std::shared_ptr<CueMixer> mixer, int bufferSamples,
                std::chrono::milliseconds idleClose);
    // Tells the worker to close the device and end; never waits for it.
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Whether the device is open and playing the mixer now.
    bool isOpen() const;
    // Asks the worker to try to open the device now instead of at its next retry, or to open
    // again the device it closed for lack of use. Counts as a use.
    void wake();
    // Notes that a cue was started; opens the device again if it was closed for lack of use.
    void noteUse();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

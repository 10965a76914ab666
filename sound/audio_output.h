#pragma once

#include <memory>

class CueMixer;

// Keeps one SDL audio device (44100 Hz, mono, 16-bit, callback mode) playing a CueMixer.
// Opening, watching, closing and reopening the device all happen on a worker thread of its own,
// because each of them can block for seconds when the audio server hangs. When the server goes
// away or was never there, the worker retries about once a second.
class AudioOutput
{
public:
    AudioOutput(std::shared_ptr<CueMixer> mixer, int bufferSamples);
    // Tells the worker to close the device and end; never waits for it.
    ~AudioOutput();
    AudioOutput(const AudioOutput &) = delete;
    AudioOutput &operator=(const AudioOutput &) = delete;

    // Whether the device is open and playing the mixer now.
    bool isOpen() const;
    // Asks the worker to try to open the device now instead of at its next retry.
    void wake();

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
};

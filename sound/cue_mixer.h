#pragma once

#include "typing_drill.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

// Mixes the current cue into the audio device's buffers. start() is called from one thread (the
// window's) and never waits; fill() runs on the audio thread. A started cue replaces the one
// playing and plays from its first sample; when it ends, silence follows.
class CueMixer
{
public:
    // Sets a cue's samples (mono, 16-bit, device rate). Only before the audio thread runs.
    void setCue(Verdict verdict, std::vector<std::int16_t> samples);
    bool hasCue(Verdict verdict) const;
    const std::vector<std::int16_t> &cue(Verdict verdict) const;

    // Asks for the cue to start with the next buffer, cutting off whatever plays.
    void start(Verdict verdict);
    // Fills one device buffer with the current cue, or silence.
    void fill(std::span<std::int16_t> buffer);
    // Drops what was asked for and what plays. Only while the audio thread is not running, so
    // that cues asked for while there was no device are not played late.
    void forgetRequests();
    // The latest request, to be handed to keepRequestsSince() later.
    std::uint32_t latestRequest() const;
    // Drops what plays and what was asked for up to the given latest request; a cue asked for
    // after it plays from its first sample when the audio thread runs again. Only while the
    // audio thread is not running.
    void keepRequestsSince(std::uint32_t request);

private:
    static constexpr std::uint32_t cueBit = 1;

    std::array<std::vector<std::int16_t>, 2> m_cues;
    // The latest request: a serial number above the cue's index bit, so a repeat of the same
    // cue is still a new request.
    std::atomic<std::uint32_t> m_request = 0;
    std::uint32_t m_nextSerial = 0;
    // Owned by the audio thread.
    std::uint32_t m_seenRequest = 0;
    const std::vector<std::int16_t> *m_playing = nullptr;
    std::size_t m_position = 0;
};

#include "cue_mixer.h"

#include <algorithm>

namespace {

std::size_t indexOf(Verdict verdict)
{
    return verdict == Verdict::Correct ? 0 : 1;
}

} // namespace

void CueMixer::setCue(Verdict verdict, std::vector<std::int16_t> samples)
{
    m_cues[indexOf(verdict)] = std::move(samples);
}

bool CueMixer::hasCue(Verdict verdict) const
{
    return !m_cues[indexOf(verdict)].empty();
}

const std::vector<std::int16_t> &CueMixer::cue(Verdict verdict) const
{
    return m_cues[indexOf(verdict)];
}

void CueMixer::start(Verdict verdict)
{
    // Only the event thread starts cues, so the serial needs no atomic increment.
    m_nextSerial += 2;
    m_request.store(m_nextSerial | std::uint32_t(indexOf(verdict)), std::memory_order_release);
}

void CueMixer::fill(std::span<std::int16_t> buffer)
{
    const std::uint32_t request = m_request.load(std::memory_order_acquire);
    if (request != m_seenRequest) {
        m_seenRequest = request;
        m_playing = &m_cues[request & cueBit];
        m_position = 0;
    }
    std::size_t written = 0;
    if (m_playing) {
        written = std::min(buffer.size(), m_playing->size() - m_position);
        std::copy_n(m_playing->begin() + std::ptrdiff_t(m_position), written, buffer.begin());
        m_position += written;
        if (m_position == m_playing->size())
            m_playing = nullptr;
    }
    std::fill(buffer.begin() + std::ptrdiff_t(written), buffer.end(), std::int16_t(0));
}

void CueMixer::forgetRequests()
{
    keepRequestsSince(latestRequest());
}

std::uint32_t CueMixer::latestRequest() const
{
    return m_request.load(std::memory_order_acquire);
}

void CueMixer::keepRequestsSince(std::uint32_t request)
{
    m_seenRequest = request;
    m_playing = nullptr;
    m_position = 0;
}

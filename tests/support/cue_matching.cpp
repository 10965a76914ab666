#include "cue_matching.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool close(std::int16_t a, std::int16_t b)
{
    return std::abs(int(a) - int(b)) <= matchTolerance;
}

} // namespace

std::vector<std::size_t> findCueStarts(std::span<const std::int16_t> recording,
                                       std::span<const std::int16_t> cue, std::size_t from,
                                       std::size_t templateLength)
{
    templateLength = std::min(templateLength, cue.size());
    std::vector<std::size_t> starts;
    if (templateLength == 0 || recording.size() < templateLength)
        return starts;
    for (std::size_t i = from; i + templateLength <= recording.size(); ++i) {
        std::size_t k = 0;
        while (k < templateLength && close(recording[i + k], cue[k]))
            ++k;
        if (k == templateLength) {
            starts.push_back(i);
            i += templateLength - 1;
        }
    }
    return starts;
}

std::size_t matchingLength(std::span<const std::int16_t> recording, std::size_t start,
                           std::span<const std::int16_t> cue)
{
    std::size_t k = 0;
    while (k < cue.size() && start + k < recording.size() && close(recording[start + k], cue[k]))
        ++k;
    return k;
}

FollowedCue followCue(std::span<const std::int16_t> recording, std::size_t start,
                      std::span<const std::int16_t> cue, std::size_t until, std::size_t longestGap)
{
    constexpr std::size_t resumeCheck = 64;
    constexpr int silence = 16;
    until = std::min(until, recording.size());
    FollowedCue followed;
    std::size_t i = start;
    std::size_t k = 0;
    while (true) {
        while (k < cue.size() && i < until && close(recording[i], cue[k])) {
            ++i;
            ++k;
        }
        if (k == cue.size() || i >= until || k + resumeCheck > cue.size())
            break;
        // A gap: silence, then the cue again from where it stopped.
        std::size_t gap = 0;
        for (std::size_t g = 1; g <= longestGap && i + g + resumeCheck <= until; ++g) {
            if (std::abs(int(recording[i + g - 1])) > silence)
                break;
            if (std::equal(cue.begin() + std::ptrdiff_t(k),
                           cue.begin() + std::ptrdiff_t(k + resumeCheck),
                           recording.begin() + std::ptrdiff_t(i + g), close)) {
                gap = g;
                break;
            }
        }
        if (gap == 0)
            break;
        followed.gaps.push_back(gap);
        i += gap;
    }
    followed.end = i;
    followed.samples = k;
    return followed;
}

std::size_t longestSilence(std::span<const std::int16_t> recording, std::size_t from,
                           std::size_t to, int threshold)
{
    std::size_t longest = 0;
    std::size_t run = 0;
    for (std::size_t i = from; i < std::min(to, recording.size()); ++i) {
        run = std::abs(int(recording[i])) <= threshold ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

#include "cue_matching.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

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

namespace {

constexpr std::size_t resumeCheck = 64;
constexpr int silence = 16;

// Whether the recording at i goes on like the cue at k, judged over the next resumeCheck samples
// or as many as there are, if that is still enough to tell.
bool follows(std::span<const std::int16_t> recording, std::size_t i,
             std::span<const std::int16_t> cue, std::size_t k)
{
    constexpr std::size_t enoughToTell = 16;
    if (i >= recording.size() || k >= cue.size())
        return false;
    const std::size_t n = std::min({resumeCheck, recording.size() - i, cue.size() - k});
    return n >= enoughToTell
        && std::equal(cue.begin() + std::ptrdiff_t(k), cue.begin() + std::ptrdiff_t(k + n),
                      recording.begin() + std::ptrdiff_t(i), close);
}

// What an underrun did: the server played silence for a moment, and went on where the stream
// stood or skipped what came too late.
struct Underrun
{
    std::size_t silence = 0;
    std::size_t skipped = 0;
};

// The underrun at recording index i, cue index k, if the cue goes on after one.
std::optional<Underrun> underrunAt(std::span<const std::int16_t> recording, std::size_t i,
                                   std::span<const std::int16_t> cue, std::size_t k,
                                   std::size_t longestGap)
{
    std::size_t silent = 0;
    while (silent < longestGap && i + silent < recording.size()
           && std::abs(int(recording[i + silent])) <= silence) {
        ++silent;
        if (follows(recording, i + silent, cue, k))
            return Underrun {silent, 0};
    }
    // Silence up to (nearly) the end: the next cue cut in before this one could go on.
    if (silent > 0 && i + silent + 16 >= recording.size())
        return Underrun {recording.size() - i, 0};
    for (std::size_t skipped = 1; skipped <= longestGap && k + skipped < cue.size(); ++skipped)
        if (follows(recording, i + silent, cue, k + skipped))
            return Underrun {silent, skipped};
    return std::nullopt;
}

} // namespace

FollowedCue followCue(std::span<const std::int16_t> recording, std::size_t start,
                      std::span<const std::int16_t> cue, std::size_t until, std::size_t longestGap)
{
    until = std::min(until, recording.size());
    const auto limited = recording.subspan(0, until);
    FollowedCue followed;
    std::size_t i = start;
    std::size_t k = 0;
    while (true) {
        while (k < cue.size() && i < until && close(recording[i], cue[k])) {
            ++i;
            ++k;
        }
        if (k == cue.size() || i >= until)
            break;
        const auto underrun = underrunAt(limited, i, cue, k, longestGap);
        if (!underrun)
            break;
        followed.gaps.push_back(underrun->silence + underrun->skipped);
        i += underrun->silence;
        k += underrun->skipped;
    }
    followed.end = i;
    followed.samples = k;
    return followed;
}

bool startsLate(std::span<const std::int16_t> recording, std::size_t index,
                std::span<const std::int16_t> cue, std::size_t longestGap)
{
    constexpr int audible = 1000;
    // The underrun may have played a moment of silence first.
    while (index < recording.size() && std::abs(int(recording[index])) <= silence
           && longestGap > 0) {
        ++index;
        --longestGap;
    }
    for (std::size_t skipped = 0; skipped <= longestGap; ++skipped) {
        const auto window =
            cue.subspan(std::min(skipped, cue.size()),
                        std::min(resumeCheck, cue.size() - std::min(skipped, cue.size())));
        const bool loud = std::any_of(window.begin(), window.end(),
                                      [](std::int16_t x) { return std::abs(int(x)) > audible; });
        if (loud && follows(recording, index, cue, skipped))
            return true;
    }
    return false;
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

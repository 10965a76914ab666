#include "weak_letter_choice.h"

#include <algorithm>

namespace {

// Each older key of a letter weighs this much of the one after it: its last 10 or so keys count.
constexpr double keyDecay = 0.9;
// Every letter starts as if it had priorKeys keys at priorErrorRate, so that one miss is no alarm.
constexpr double priorKeys = 4.0;
constexpr double priorErrorRate = 0.1;
// Given to every letter, so that a learner's best letters still come up now and then.
constexpr double floorWeight = 0.02;
// Reaction time above the learner's median, as a share of it, weighs slownessGain times that share
// up to maxSlowness: a letter half again as slow as the median weighs as much as one always missed.
constexpr double slownessGain = 2.0;
constexpr double maxSlowness = 0.5;
// Weight for the share of the previous letter's keys answered with this letter.
constexpr double confusionGain = 1.0;
// A longer wait is a pause rather than a slow letter.
constexpr std::int64_t maxReactionMs = 5000;

int indexOf(char letter)
{
    return letter >= 'A' && letter <= 'Z' ? letter - 'A' : -1;
}

} // namespace

WeakLetterChoice::WeakLetterChoice(const std::vector<PastKey> &history, std::uint64_t seed)
    : m_randomState(seed)
{
    for (const PastKey &key : history)
        keyJudged(key);
}

void WeakLetterChoice::keyJudged(const PastKey &key)
{
    const int index = indexOf(key.letter);
    if (index < 0)
        return;
    LetterRecord &record = m_letters[static_cast<std::size_t>(index)];
    record.keys = record.keys * keyDecay + 1;
    record.misses = record.misses * keyDecay + (key.correct ? 0 : 1);
    for (double &count : record.answeredWith)
        count *= keyDecay;
    const int answered = key.answered >= 'A' && key.answered <= 'Z' ? key.answered - 'A' : -1;
    if (!key.correct && answered >= 0 && answered != index)
        record.answeredWith[static_cast<std::size_t>(answered)] += 1;
    if (key.reactionMs > 0) {
        record.timedKeys = record.timedKeys * keyDecay + 1;
        record.reactionMsSum = record.reactionMsSum * keyDecay
            + static_cast<double>(std::min(key.reactionMs, maxReactionMs));
    }
}

std::array<double, WeakLetterChoice::letterCount> WeakLetterChoice::shares(char previous) const
{
    // The median over the letters' recent means rather than over every key keeps a draw O(26).
    std::array<double, letterCount> means {};
    std::size_t timed = 0;
    for (const LetterRecord &record : m_letters) {
        if (record.timedKeys > 0)
            means[timed++] = record.reactionMsSum / record.timedKeys;
    }
    double median = 0;
    if (timed > 0) {
        const auto middle = means.begin() + static_cast<std::ptrdiff_t>(timed / 2);
        std::nth_element(means.begin(), middle, means.begin() + static_cast<std::ptrdiff_t>(timed));
        median = *middle;
    }

    const int previousIndex = indexOf(previous);
    const LetterRecord *before =
        previousIndex >= 0 ? &m_letters[static_cast<std::size_t>(previousIndex)] : nullptr;
    std::array<double, letterCount> weights {};
    double total = 0;
    for (std::size_t i = 0; i < weights.size(); ++i) {
        const LetterRecord &record = m_letters[i];
        double weight =
            floorWeight + (record.misses + priorErrorRate * priorKeys) / (record.keys + priorKeys);
        if (median > 0 && record.timedKeys > 0) {
            const double slowness = record.reactionMsSum / record.timedKeys / median - 1;
            weight += slownessGain * std::clamp(slowness, 0.0, maxSlowness);
        }
        if (before)
            weight += confusionGain * before->answeredWith[i] / (before->keys + priorKeys);
        weights[i] = weight;
        total += weight;
    }
    // The letter just shown comes again no more often than one draw in 26, as in uniform drawing.
    if (previousIndex >= 0) {
        double &again = weights[static_cast<std::size_t>(previousIndex)];
        const double others = total - again;
        if (again > others / (letterCount - 1)) {
            again = others / (letterCount - 1);
            total = others + again;
        }
    }
    for (double &weight : weights)
        weight /= total;
    return weights;
}

char WeakLetterChoice::next(char previous)
{
    const std::array<double, letterCount> letterShares = shares(previous);
    // 53 random bits give a double in [0, 1) exactly.
    const double draw = static_cast<double>(nextRandom() >> 11) * 0x1.0p-53;
    double sum = 0;
    for (std::size_t i = 0; i < letterShares.size(); ++i) {
        sum += letterShares[i];
        if (draw < sum)
            return static_cast<char>('A' + i);
    }
    // Rounding can leave the sum a hair under 1; every letter has a share, so Z takes the rest.
    return 'Z';
}

std::uint64_t WeakLetterChoice::nextRandom()
{
    // splitmix64: small, fast and well mixed, which is all a letter draw needs.
    std::uint64_t z = (m_randomState += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

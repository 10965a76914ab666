#pragma once

#include "letter_choice.h"

#include <array>
#include <cstdint>
#include <vector>

// Weak-letter practice (练薄弱字母): draws the letters the learner misses, answers slowly or
// confuses more often, from weights kept in memory and updated in O(26) per key.
class WeakLetterChoice final : public LetterChoice
{
public:
    static constexpr int letterCount = 26;

    // history: the learner's recent keys, oldest first; seed: the draws' generator.
    WeakLetterChoice(const std::vector<PastKey> &history, std::uint64_t seed);

    void keyJudged(const PastKey &key) override;
    char next(char previous) override;
    // Each letter's share of the next draw after previous (sums to 1).
    std::array<double, letterCount> shares(char previous) const;

private:
    // One letter's keys, each older key weighing keyDecay times the one after it.
    struct LetterRecord
    {
        double keys = 0;
        double misses = 0;
        double timedKeys = 0;
        double reactionMsSum = 0;
        // Misses answered with each other letter.
        std::array<double, letterCount> answeredWith {};
    };

    std::uint64_t nextRandom();

    std::array<LetterRecord, letterCount> m_letters {};
    std::uint64_t m_randomState = 0;
};

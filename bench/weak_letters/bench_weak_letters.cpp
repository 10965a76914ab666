// Prints how many keys a simulated learner needs until every letter is at 95 % accuracy and at
// the learner's target reaction time, drilled by uniform drawing and by weak-letter practice,
// over 100 seeded learners; then what the weak-letter choice costs per key.
#include "figures.h"
#include "letter_choice.h"
#include "typing_drill.h"
#include "weak_letter_choice.h"

#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

namespace {

constexpr int learnerCount = 100;
constexpr int earlierKeys = 260;
constexpr std::int64_t keyLimit = 200000;
constexpr double targetErrorRate = 0.05;

// Capitals told apart by one stroke: a miss on one of them is mostly the other.
constexpr std::array<std::array<char, 2>, 4> confusablePairs {
    {{'O', 'Q'}, {'E', 'F'}, {'P', 'R'}, {'M', 'N'}}};

char partnerOf(char letter)
{
    for (const auto &pair : confusablePairs) {
        if (pair[0] == letter)
            return pair[1];
        if (pair[1] == letter)
            return pair[0];
    }
    return 0;
}

// One simulated learner. Each letter has a difficulty d in [0, 1): its error rate starts at
// 2 % + 55 % d and its reaction time at (1.15 + 1.5 d) times the learner's best; both fall
// exponentially towards 1 % and the best with each showing of the letter, right or wrong, by a
// factor e every 10 to 30 showings (drawn per letter).
class Learner
{
public:
    explicit Learner(std::uint64_t seed)
        : m_random(seed)
    {
        std::uniform_real_distribution<double> unit(0, 1);
        m_bestMs = 350 + 200 * unit(m_random);
        m_targetMs = 1.2 * m_bestMs;
        for (int i = 0; i < 26; ++i) {
            Letter &letter = m_letters[static_cast<std::size_t>(i)];
            // The product of two draws: most letters are easy for a learner, a few are hard.
            double difficulty = unit(m_random) * unit(m_random);
            if (partnerOf(static_cast<char>('A' + i)) != 0)
                difficulty = 0.4 + 0.6 * unit(m_random);
            letter.startErrorRate = 0.02 + 0.55 * difficulty;
            letter.startMs = m_bestMs * (1.15 + 1.5 * difficulty);
            letter.showingsPerStep = 10 + 20 * unit(m_random);
        }
    }

    double errorRate(int i) const
    {
        const Letter &letter = m_letters[static_cast<std::size_t>(i)];
        return bestErrorRate + (letter.startErrorRate - bestErrorRate) * progressLeft(letter);
    }

    double reactionMs(int i) const
    {
        const Letter &letter = m_letters[static_cast<std::size_t>(i)];
        return m_bestMs + (letter.startMs - m_bestMs) * progressLeft(letter);
    }

    bool learned() const
    {
        for (int i = 0; i < 26; ++i) {
            if (errorRate(i) > targetErrorRate || reactionMs(i) > m_targetMs)
                return false;
        }
        return true;
    }

    // Answers a shown letter: the key released and the milliseconds to its press (the letter's
    // time, spread log-normally by 25 %). A miss is the letter's partner 4 times in 5 when it
    // has one, else any other letter.
    PastKey answer(char shown)
    {
        const int i = shown - 'A';
        std::uniform_real_distribution<double> unit(0, 1);
        std::normal_distribution<double> spread(0, 0.25);
        const auto ms = static_cast<std::int64_t>(reactionMs(i) * std::exp(spread(m_random)));
        KeyCode key = shown;
        if (unit(m_random) < errorRate(i)) {
            const char partner = partnerOf(shown);
            if (partner != 0 && unit(m_random) < 0.8) {
                key = partner;
            } else {
                const int other = (i + 1 + static_cast<int>(unit(m_random) * 25)) % 26;
                key = static_cast<KeyCode>('A' + other);
            }
        }
        m_letters[static_cast<std::size_t>(i)].showings += 1;
        return {shown, key, key == shown, ms};
    }

private:
    static constexpr double bestErrorRate = 0.01;

    struct Letter
    {
        double startErrorRate = 0;
        double startMs = 0;
        double showingsPerStep = 1;
        double showings = 0;
    };

    static double progressLeft(const Letter &letter)
    {
        return std::exp(-letter.showings / letter.showingsPerStep);
    }

    std::mt19937_64 m_random;
    double m_bestMs = 0;
    double m_targetMs = 0;
    std::array<Letter, 26> m_letters {};
};

// Uniform drawing from a seeded generator: every letter 1 in 26, whatever came before.
class UniformChoice final : public LetterChoice
{
public:
    explicit UniformChoice(std::uint64_t seed)
        : m_random(seed)
    {
    }
    void keyJudged(const PastKey &) override { }
    char next(char) override { return static_cast<char>('A' + m_letter(m_random)); }

private:
    std::mt19937_64 m_random;
    std::uniform_int_distribution<int> m_letter {0, 25};
};

enum class Drawing { Uniform, WeakLetters, FixedSequence };

// Keys the learner of this seed needs after its earlier keys (drawn uniformly; the weak-letter
// choice has them as its history), drilled through TypingDrill as the window drives it.
std::int64_t keysToLearn(std::uint64_t seed, int earlier, Drawing drawing)
{
    Learner learner(seed);
    std::vector<PastKey> history;
    std::mt19937_64 earlierLetters(seed * 31);
    for (int i = 0; i < earlier; ++i)
        history.push_back(learner.answer(static_cast<char>('A' + earlierLetters() % 26)));

    UniformChoice uniform(seed * 7919);
    WeakLetterChoice weak(history, seed * 7919);
    TypingDrill drill;
    if (drawing == Drawing::Uniform)
        drill.setLetterChoice(&uniform);
    else if (drawing == Drawing::WeakLetters)
        drill.setLetterChoice(&weak);
    drill.reset();
    std::int64_t keys = 0;
    while (!learner.learned() && keys < keyLimit) {
        const PastKey key = learner.answer(drill.zimuText().front());
        drill.keyReleased(key.answered, key.reactionMs);
        ++keys;
    }
    return keys;
}

// Prints both medians and their ratio for learners with this many earlier keys.
void compare(int earlier, bool withFixedSequence)
{
    std::vector<double> uniformKeys;
    std::vector<double> weakKeys;
    std::vector<double> fixedKeys;
    std::vector<double> ratios;
    int unfinished = 0;
    for (std::uint64_t seed = 1; seed <= learnerCount; ++seed) {
        const auto uniform = keysToLearn(seed, earlier, Drawing::Uniform);
        const auto weak = keysToLearn(seed, earlier, Drawing::WeakLetters);
        unfinished += (uniform >= keyLimit) + (weak >= keyLimit);
        uniformKeys.push_back(double(uniform));
        weakKeys.push_back(double(weak));
        ratios.push_back(double(weak) / double(uniform));
        if (withFixedSequence)
            fixedKeys.push_back(double(keysToLearn(seed, earlier, Drawing::FixedSequence)));
    }
    std::printf("%d learners with %d earlier keys:\n", learnerCount, earlier);
    const auto print = [](const char *label, const std::vector<double> &keys) {
        const Summary summary = summarise(keys);
        std::printf("  %-24s median %6.0f  min %6.0f  max %6.0f keys\n", label, summary.median,
                    summary.min, summary.max);
        return summary.median;
    };
    const double uniformMedian = print("uniform drawing", uniformKeys);
    const double weakMedian = print("weak-letter practice", weakKeys);
    if (withFixedSequence)
        print("today's fixed sequence", fixedKeys);
    const Summary perLearner = summarise(ratios);
    std::printf("  ratio of the medians, weak / uniform: %.2f (goal <= 0.60); per learner "
                "median %.2f, min %.2f, max %.2f\n",
                weakMedian / uniformMedian, perLearner.median, perLearner.min, perLearner.max);
    if (unfinished > 0)
        std::printf("  %d drills stopped unfinished at %lld keys\n", unfinished,
                    static_cast<long long>(keyLimit));
}

// The choice's cost on the key's path: keyJudged and next for each key, after a history of 5,000
// keys, as the drill calls them.
void timeOneKey()
{
    std::mt19937_64 random(1);
    std::vector<PastKey> history;
    for (int i = 0; i < 5000; ++i) {
        const auto letter = static_cast<char>('A' + random() % 26);
        const bool correct = random() % 10 != 0;
        history.push_back({letter, static_cast<KeyCode>(correct ? letter : 'A' + random() % 26),
                           correct, 300 + static_cast<std::int64_t>(random() % 600)});
    }
    using Clock = std::chrono::steady_clock;
    const auto loadStart = Clock::now();
    WeakLetterChoice choice(history, 42);
    const auto loadEnd = Clock::now();
    constexpr int timedKeys = 1000000;
    char letter = 'A';
    std::array<int, 26> counts {};
    const auto start = Clock::now();
    for (int i = 0; i < timedKeys; ++i) {
        const bool correct = i % 7 != 0;
        choice.keyJudged(
            {letter, static_cast<KeyCode>(correct ? letter : 'B'), correct, 400 + i % 300});
        letter = choice.next(letter);
        ++counts[static_cast<std::size_t>(letter - 'A')];
    }
    const auto end = Clock::now();
    int lettersDrawn = 0;
    for (int count : counts)
        lettersDrawn += count > 0;
    std::printf("weak-letter choice: %.0f ns per key (keyJudged + next), %d letters drawn; a "
                "history of 5000 keys taken in %.2f ms\n",
                std::chrono::duration<double, std::nano>(end - start).count() / timedKeys,
                lettersDrawn,
                std::chrono::duration<double, std::milli>(loadEnd - loadStart).count());
}

} // namespace

int main()
{
    std::printf("Keys until every letter is at >= 95 %% accuracy and the target reaction time\n");
    compare(earlierKeys, true);
    compare(0, false);
    timeOneKey();
    return 0;
}

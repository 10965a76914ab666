#pragma once

#include "pseudo_random.h"

#include <cstdint>
#include <string>

class LetterChoice;

// The judgement of one key release.
enum class Verdict { Correct, Wrong };

// Key codes follow the Windows virtual-key numbering: the letter keys "A" to "Z" are 65 to 90,
// whatever Shift or Caps Lock say.
using KeyCode = std::int16_t;

// The letter code for a generator value r in [0, 1): floor(r * 26 + 65), computed in double
// precision so that the largest r still gives 90 ("Z"), never 91.
float letterCodeFor(float r);

// The state of one practice run: the counts, the target letter and the elapsed 100 ms ticks.
// Time comes in from outside through tick(), so the drill never reads a clock.
class TypingDrill
{
public:
    static constexpr std::int16_t maxTicks = 32767;

    // Counts and ticks back to zero, then a new target letter. Does not reseed the generator.
    void reset();
    // One more 100 ms tick; stays at maxTicks once there (about 54 minutes without a restart).
    void tick();
    // Counts and judges one key release, tells the letter choice of it when there is one, then
    // draws the next letter. reactionMs: from the letter's showing to the key's press.
    Verdict keyReleased(KeyCode keyCode, std::int64_t reactionMs = 0);
    // Chooses a new target letter, which may equal the old one.
    void drawLetter();
    // Draws the letters from choice (not owned) from the next draw on; nullptr: the fixed sequence.
    void setLetterChoice(LetterChoice *choice) { m_choice = choice; }

    std::int64_t zongshuN() const { return m_zongshuN; }
    std::int64_t zhengqueN() const { return m_zhengqueN; }
    std::int64_t cuowuN() const { return m_cuowuN; }
    float zimuCode() const { return m_zimuCode; }
    const std::string &zimuText() const { return m_zimuText; }
    std::int16_t tickN() const { return m_tickN; }

private:
    PseudoRandom m_random;
    LetterChoice *m_choice = nullptr;
    std::int64_t m_zongshuN = 0;
    std::int64_t m_zhengqueN = 0;
    std::int64_t m_cuowuN = 0;
    float m_zimuCode = 65;
    std::string m_zimuText = "A";
    std::int16_t m_tickN = 0;
};

#pragma once

#include "typing_drill.h"

#include <cstdint>

// One judged key as the letter choice learns from it: the letter asked, the key answered, and
// the milliseconds from the letter's showing to the key's press (0 when not known).
struct PastKey
{
    char letter = 'A';
    KeyCode answered = 0;
    bool correct = false;
    std::int64_t reactionMs = 0;
};

// Picks the drill's next letter in place of its fixed sequence.
class LetterChoice
{
public:
    virtual ~LetterChoice() = default;

    // Learns from a key just judged; called before the next letter is drawn.
    virtual void keyJudged(const PastKey &key) = 0;
    // The next letter, 'A' to 'Z', to follow the letter shown before it.
    virtual char next(char previous) = 0;
};

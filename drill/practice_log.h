#pragma once

#include "typing_drill.h"

#include <cstdint>

// One judged key as the practice log keeps it. Times are milliseconds on a monotonic clock from
// the moment the key's letter was shown.
struct JudgedKey
{
    char letter = 'A';
    KeyCode keyCode = 0;
    Verdict verdict = Verdict::Wrong;
    std::int64_t pressMs = 0;
    std::int64_t releaseMs = 0;
};

// How a practice run ended.
enum class RunEnd { Restart, Exit };

// Told of every practice run and judged key, in order, by the window that owns the drill. Calls
// come from the window's thread and must return at once.
class PracticeLog
{
public:
    virtual ~PracticeLog() = default;

    // A run starts with the drill just reset (start-up or a restart).
    virtual void runStarted() = 0;
    // A key was judged; the drill already counts it.
    virtual void keyJudged(const JudgedKey &key, const TypingDrill &drill) = 0;
    // The run ends with the drill as it stands, before any reset.
    virtual void runEnded(RunEnd end, const TypingDrill &drill) = 0;
};

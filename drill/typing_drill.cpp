#include "typing_drill.h"

#include "letter_choice.h"

#include <cmath>

float letterCodeFor(float r)
{
    // In single precision the largest draws would round r * 26 + 65 up to exactly 91.
    const double code = static_cast<double>(r) * 26.0 + 65.0;
    return static_cast<float>(std::floor(code));
}

void TypingDrill::reset()
{
    m_zongshuN = 0;
    m_zhengqueN = 0;
    m_cuowuN = 0;
    m_tickN = 0;
    drawLetter();
}

void TypingDrill::tick()
{
    if (m_tickN < maxTicks)
        ++m_tickN;
}

Verdict TypingDrill::keyReleased(KeyCode keyCode, std::int64_t reactionMs)
{
    ++m_zongshuN;
    const Verdict verdict = keyCode == m_zimuCode ? Verdict::Correct : Verdict::Wrong;
    if (verdict == Verdict::Correct)
        ++m_zhengqueN;
    else
        ++m_cuowuN;
    if (m_choice)
        m_choice->keyJudged({m_zimuText.front(), keyCode, verdict == Verdict::Correct, reactionMs});
    drawLetter();
    return verdict;
}

void TypingDrill::drawLetter()
{
    m_zimuCode = m_choice ? static_cast<float>(m_choice->next(m_zimuText.front()))
                          : letterCodeFor(m_random.next());
    m_zimuText = std::string(1, static_cast<char>(m_zimuCode));
}

#pragma once

#include <string>

class TypingDrill;

// The six texts of the statistics labels, UTF-8.
struct StatisticsText
{
    std::string letter;
    std::string total;
    std::string correct;
    std::string wrong;
    std::string speed;
    std::string accuracy;

    bool operator==(const StatisticsText &) const = default;
};

// The texts shown right after a reset: the letter, three zero counts, "0 字/分" and "0 %".
StatisticsText resetTexts(const TypingDrill &drill);

// The speed in keys per minute since the reset, idle time included, as shown after a key release.
double speedPerMinute(const TypingDrill &drill);

// The share of correct keys, 0 to 1; 0 before any key.
double correctShare(const TypingDrill &drill);

// The texts shown after a key release: the counts, the speed in keys per minute since the reset
// (idle time included) and the share of correct keys.
StatisticsText keyTexts(const TypingDrill &drill);

#include "statistics_text.h"

#include "format_pattern.h"
#include "typing_drill.h"

#include <algorithm>

namespace {
constexpr const char *speedUnit = " 字/分";
constexpr double ticksPerMinute = 600;
} // namespace

StatisticsText resetTexts(const TypingDrill &drill)
{
    return {drill.zimuText(),
            std::to_string(drill.zongshuN()),
            std::to_string(drill.zhengqueN()),
            std::to_string(drill.cuowuN()),
            std::string("0") + speedUnit,
            "0 %"};
}

double speedPerMinute(const TypingDrill &drill)
{
    // A key released within the first 100 ms has no elapsed tick yet: count that time as one tick
    // rather than divide by zero.
    const double ticks = std::max<double>(drill.tickN(), 1);
    return static_cast<double>(drill.zongshuN()) / ticks * ticksPerMinute;
}

double correctShare(const TypingDrill &drill)
{
    if (drill.zongshuN() == 0)
        return 0;
    return static_cast<double>(drill.zhengqueN()) / static_cast<double>(drill.zongshuN());
}

StatisticsText keyTexts(const TypingDrill &drill)
{
    return {drill.zimuText(),
            std::to_string(drill.zongshuN()),
            std::to_string(drill.zhengqueN()),
            std::to_string(drill.cuowuN()),
            formatPattern(speedPerMinute(drill), "##.##") + speedUnit,
            formatPattern(correctShare(drill), "##.##%")};
}

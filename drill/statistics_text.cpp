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

StatisticsText keyTexts(const TypingDrill &drill)
{
    // A key released within the first 100 ms has no elapsed tick yet: count that time as one tick
    // rather than divide by zero.
    const double ticks = std::max<double>(drill.tickN(), 1);
    const double total = static_cast<double>(drill.zongshuN());
    const double speed = total / ticks * ticksPerMinute;
    const double accuracy = static_cast<double>(drill.zhengqueN()) / total;
    return {drill.zimuText(),
            std::to_string(drill.zongshuN()),
            std::to_string(drill.zhengqueN()),
            std::to_string(drill.cuowuN()),
            formatPattern(speed, "##.##") + speedUnit,
            formatPattern(accuracy, "##.##%")};
}

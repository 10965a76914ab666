#include "history_time.h"

#include <cstdio>
#include <ctime>

std::string localTimestamp(std::chrono::system_clock::time_point moment)
{
    using namespace std::chrono;
    const auto sinceEpoch = moment.time_since_epoch();
    const auto seconds = floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = duration_cast<milliseconds>(sinceEpoch - seconds).count();
    const std::time_t whole = seconds.count();
    std::tm local {};
    localtime_r(&whole, &local);
    const long offsetMinutes = local.tm_gmtoff / 60;
    const long offset = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02ld:%02ld",
                  local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                  local.tm_min, local.tm_sec, static_cast<int>(millis),
                  offsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

bool isLocalTimestamp(std::string_view text)
{
    // "YYYY-MM-DDTHH:MM:SS.mmm+HH:MM": digits everywhere but at the separators.
    constexpr std::string_view shape = "dddd-dd-ddTdd:dd:dd.ddd+dd:dd";
    if (text.size() != shape.size())
        return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        const char c = text[i];
        const bool ok = shape[i] == 'd' ? (c >= '0' && c <= '9')
            : shape[i] == '+'           ? (c == '+' || c == '-')
                                        : c == shape[i];
        if (!ok)
            return false;
    }
    const auto number = [&](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (text[i] - '0');
        return value;
    };
    const int year = number(0, 4), month = number(5, 2), day = number(8, 2);
    // No leap second (the clock never shows one) and no offset beyond those of real time zones.
    const int offset = number(24, 2) * 60 + number(27, 2);
    if (month < 1 || month > 12 || day < 1 || number(11, 2) > 23 || number(14, 2) > 59
        || number(17, 2) > 59 || number(27, 2) > 59 || offset > 14 * 60)
        return false;
    const std::chrono::year_month_day date {std::chrono::year(year),
                                            std::chrono::month(static_cast<unsigned>(month)),
                                            std::chrono::day(static_cast<unsigned>(day))};
    return date.ok();
}

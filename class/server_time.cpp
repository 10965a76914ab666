#include "server_time.h"

std::string localTimeSql(const std::string &moment)
{
    return "(to_char(" + moment
        + R"sql( AT TIME ZONE 'UTC' + make_interval(mins => r.utc_offset_minutes::int),
                 'YYYY-MM-DD"T"HH24:MI:SS.MS')
         || CASE WHEN r.utc_offset_minutes < 0 THEN '-' ELSE '+' END
         || to_char(abs(r.utc_offset_minutes) / 60, 'FM00') || ':'
         || to_char(abs(r.utc_offset_minutes) % 60, 'FM00')))sql";
}

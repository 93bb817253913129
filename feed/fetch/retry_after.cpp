#include "retry_after.h"

#include "base/calendar_days.h"
#include "feed/dates/http_date.h"

namespace {

long long seconds_of(const SYSTEMTIME &utc)
{
    return days_from_civil(utc.wYear, utc.wMonth, utc.wDay) * 86400 + utc.wHour * 3600LL + utc.wMinute * 60LL +
           utc.wSecond;
}

}  // namespace

long retry_after_seconds(const char *text, const SYSTEMTIME &now_utc)
{
    const long long most = MaxPauseSeconds;
    if (!text)
        return 0;
    const char *c = text;
    while (*c == ' ' || *c == '\t')
        ++c;
    if (*c >= '0' && *c <= '9') {
        long long seconds = 0;
        for (; *c >= '0' && *c <= '9'; ++c)
            if (seconds <= most)
                seconds = seconds * 10 + (*c - '0');
        while (*c == ' ' || *c == '\t')
            ++c;
        if (*c)
            return 0;
        return long(seconds < most ? seconds : most);
    }
    SYSTEMTIME until;
    if (!parse_http_date(text, &until))
        return 0;
    long long seconds = seconds_of(until) - seconds_of(now_utc);
    return long(seconds <= 0 ? 0 : seconds < most ? seconds : most);
}

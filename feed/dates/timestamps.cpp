// Timestamp texts: validity, conversion to UTC records, comparisons, and
// the Date header value.
#include "base/calendar_days.h"
#include "base/text_copy.h"
#include "feed/feed_converter.h"

#include <cstdio>
#include <cstring>

const char *const month_list[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

namespace {

// A field of a timestamp text read alone, as atoi reads it: white space,
// a sign, then digits up to the first other character. Written out because
// every item's date is converted several times per feed.
int field_value(const char *text, int position, int width)
{
    const char *at = text + position, *end = at + width;
    while (at < end && (*at == ' ' || (*at >= '\t' && *at <= '\r')))
        ++at;
    int sign = 1;
    if (at < end && (*at == '+' || *at == '-'))
        sign = *at++ == '-' ? -1 : 1;
    int value = 0;
    for (; at < end && *at >= '0' && *at <= '9'; ++at)
        value = value * 10 + (*at - '0');
    return sign * value;
}

bool in_range(long long value, long long lowest, long long highest) { return value >= lowest && value <= highest; }

}  // namespace

int FeedConverter::is_date_length(const char *text)
{
    size_t length = strlen(text);
    return length == 20 || length == 25;
}

int FeedConverter::is_valid_date(const char *text)
{
    if (!text || !text[0] || !is_date_length(text))
        return 0;
    for (int i = 0; i <= 18; ++i) {
        if (i == 4 || i == 7 || i == 10 || i == 13 || i == 16)
            continue;
        if (text[i] < '0' || text[i] > '9')
            return 0;
    }
    SYSTEMTIME record;
    return date_to_systemtime(&record, text);
}

int FeedConverter::date_to_systemtime(SYSTEMTIME *record, const char *text)
{
    if (!record || !text || !is_date_length(text))
        return 0;
    record->wYear = WORD(field_value(text, 0, 4));
    record->wMonth = WORD(field_value(text, 5, 2));
    record->wDay = WORD(field_value(text, 8, 2));
    record->wHour = WORD(field_value(text, 11, 2));
    record->wMinute = WORD(field_value(text, 14, 2));
    record->wSecond = WORD(field_value(text, 17, 2));
    char cplus_minus = '+';
    int clag = 0;
    if (strlen(text) == 25) {
        cplus_minus = text[19];
        clag = field_value(text, 20, 2);
    }
    if (!check_systemtime(record))
        return 0;
    int shift;
    if (cplus_minus == '+')
        shift = -clag;
    else if (cplus_minus == '-')
        shift = clag;
    else
        return 0;

    // The record may hold day 32, hour 24, minute or second 60: the
    // arithmetic carries them into the next unit like the shift itself.
    long long seconds = (long long)record->wHour * 3600 + record->wMinute * 60 + record->wSecond + shift * 3600LL;
    long long days = days_from_civil(record->wYear, record->wMonth, 1) + record->wDay - 1 + floor_div(seconds, 86400);
    seconds -= floor_div(seconds, 86400) * 86400;
    long long year;
    int month, day;
    civil_from_days(days, &year, &month, &day);
    record->wYear = WORD(year);
    record->wMonth = WORD(month);
    record->wDay = WORD(day);
    record->wHour = WORD(seconds / 3600);
    record->wMinute = WORD(seconds / 60 % 60);
    record->wSecond = WORD(seconds % 60);
    return check_systemtime(record);
}

int FeedConverter::check_systemtime(const SYSTEMTIME *record)
{
    return record && in_range(record->wYear, 1900, 3000) && in_range(record->wMonth, 1, 12) &&
           in_range(record->wDay, 1, 32) && record->wHour <= 24 && record->wMinute <= 60 &&
           record->wSecond <= 60;
}

int FeedConverter::compare_systemtime(const SYSTEMTIME **later, const SYSTEMTIME *a, const SYSTEMTIME *b)
{
    if (!check_systemtime(a) || !check_systemtime(b))
        return 0;
    const WORD fields_a[] = {a->wYear, a->wMonth, a->wDay, a->wHour, a->wMinute, a->wSecond};
    const WORD fields_b[] = {b->wYear, b->wMonth, b->wDay, b->wHour, b->wMinute, b->wSecond};
    for (int i = 0; i < 6; ++i) {
        if (fields_a[i] != fields_b[i]) {
            if (later)
                *later = fields_a[i] > fields_b[i] ? a : b;
            return 1;
        }
    }
    if (later)
        *later = nullptr;
    return 2;
}

int FeedConverter::compare_date(const char **date_newer, const char *a, const char *b)
{
    if (!a || !b || !is_date_length(a) || !is_date_length(b))
        return 0;
    SYSTEMTIME sdate_rss, sdate_last;
    if (!date_to_systemtime(&sdate_rss, a) || !date_to_systemtime(&sdate_last, b))
        return 0;
    const SYSTEMTIME *sdate_newer = nullptr;
    int result = compare_systemtime(&sdate_newer, &sdate_rss, &sdate_last);
    if (date_newer)
        *date_newer = sdate_newer == &sdate_rss ? a : b;
    return result;
}

int FeedConverter::compare_date_systemtime(int *stime_newer, const SYSTEMTIME *record, const char *text)
{
    if (!record || !text || !is_date_length(text))
        return 0;
    SYSTEMTIME sdate_ini;
    if (!date_to_systemtime(&sdate_ini, text) || !check_systemtime(record))
        return 0;
    const SYSTEMTIME *newer = nullptr;
    int result = compare_systemtime(&newer, record, &sdate_ini);
    if (stime_newer)
        *stime_newer = newer == record ? 0 : 1;
    return result;
}

int FeedConverter::format_mail_date(const char *text, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!text || !is_date_length(text))
        return 0;
    // Only a valid timestamp text reaches here from the composition; any
    // other month number gives no value rather than a name from elsewhere.
    int month = field_value(text, 5, 2);
    if (month < 1 || month > 12)
        return 0;
    char zone[6] = "+0000";
    if (strlen(text) == 25) {
        memcpy(zone, text + 19, 3);
        memcpy(zone + 3, text + 23, 2);
    }
    snprintf(out, MailDateSize, "%.2s %s %.2s %.8s %s", text + 8, month_list[month - 1], text + 2, text + 11, zone);
    return 1;
}

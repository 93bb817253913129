// A strict reader of HTTP header dates. The platform's own reader is not used:
// it can fail badly on a value that a server got slightly wrong, and a server
// must never be able to harm the mail client.
#include "http_date.h"

#include "feed/feed_converter.h"

#include <cstring>

namespace {

const char *const ShortDays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char *const LongDays[7] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

struct HttpDate {
    int year, month, day, hour, minute, second, weekday;
};

// A cursor over the value; every reader advances it only on success.
struct Reader {
    const char *at;
    const char *end;

    bool literal(const char *text)
    {
        size_t length = strlen(text);
        if (size_t(end - at) < length || memcmp(at, text, length) != 0)
            return false;
        at += length;
        return true;
    }

    bool digits(int count, int &value)
    {
        if (end - at < count)
            return false;
        int result = 0;
        for (int i = 0; i < count; ++i) {
            if (at[i] < '0' || at[i] > '9')
                return false;
            result = result * 10 + (at[i] - '0');
        }
        value = result;
        at += count;
        return true;
    }

    // One of the names; its index in value.
    bool name(const char *const *names, int count, int &value)
    {
        for (int i = 0; i < count; ++i)
            if (literal(names[i])) {
                value = i;
                return true;
            }
        return false;
    }

    bool time(HttpDate &date)
    {
        return digits(2, date.hour) && literal(":") && digits(2, date.minute) && literal(":") &&
               digits(2, date.second);
    }

    bool done() const { return at == end; }
};

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool in_range(const HttpDate &date)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.month < 0 || date.month > 11 || date.day < 1)
        return false;
    int last = days[date.month] + (date.month == 1 && is_leap(date.year) ? 1 : 0);
    // A second of 60 is a leap second.
    return date.day <= last && date.hour <= 23 && date.minute <= 59 && date.second <= 60;
}

// Sun, 06 Nov 1994 08:49:37 GMT
bool read_preferred(Reader r, HttpDate &date)
{
    return r.name(ShortDays, 7, date.weekday) && r.literal(", ") && r.digits(2, date.day) && r.literal(" ") &&
           r.name(month_list, 12, date.month) && r.literal(" ") && r.digits(4, date.year) && r.literal(" ") &&
           r.time(date) && r.literal(" GMT") && r.done();
}

// Sunday, 06-Nov-94 08:49:37 GMT
bool read_rfc850(Reader r, HttpDate &date)
{
    if (!(r.name(LongDays, 7, date.weekday) && r.literal(", ") && r.digits(2, date.day) && r.literal("-") &&
          r.name(month_list, 12, date.month) && r.literal("-") && r.digits(2, date.year) && r.literal(" ") &&
          r.time(date) && r.literal(" GMT") && r.done()))
        return false;
    date.year += date.year < 70 ? 2000 : 1900;
    return true;
}

// Sun Nov  6 08:49:37 1994
bool read_asctime(Reader r, HttpDate &date)
{
    if (!(r.name(ShortDays, 7, date.weekday) && r.literal(" ") && r.name(month_list, 12, date.month) &&
          r.literal(" ")))
        return false;
    if (!(r.literal(" ") ? r.digits(1, date.day) : r.digits(2, date.day)))
        return false;
    return r.literal(" ") && r.time(date) && r.literal(" ") && r.digits(4, date.year) && r.done();
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

int parse_http_date(const char *text, SYSTEMTIME *record)
{
    if (!text || !record)
        return 0;
    const char *end = text + strlen(text);
    while (is_blank(*text))
        ++text;
    while (end > text && is_blank(end[-1]))
        --end;
    Reader reader = {text, end};
    HttpDate date = {};
    if (!(read_preferred(reader, date) || read_rfc850(reader, date) || read_asctime(reader, date)))
        return 0;
    if (!in_range(date))
        return 0;
    record->wYear = WORD(date.year);
    record->wMonth = WORD(date.month + 1);
    record->wDayOfWeek = WORD(date.weekday);
    record->wDay = WORD(date.day);
    record->wHour = WORD(date.hour);
    record->wMinute = WORD(date.minute);
    record->wSecond = WORD(date.second);
    record->wMilliseconds = 0;
    return 1;
}

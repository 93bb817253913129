// Item dates: dc:date (RSS) or modified (Atom 0.3) completed to the long
// timestamp text, else one of the forms feeds write beside them: RSS
// pubDate (RFC 822 and its common deviations, or a W3C date-time), Atom
// updated, published, issued and created (RFC 3339), Dublin Core's
// dcterms:modified, issued and created; each in either form. Each is normalised to
// the long timestamp text that a dc:date gives, so that everything after the
// reading (comparison, the date line, the Date header, KIV.ini) is the same.
#include "item_dates.h"

#include "base/text_copy.h"
#include "feed/feed_converter.h"

#include <cstdio>
#include <cstring>

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

void skip_spaces(const char *&at)
{
    while (is_space(*at))
        ++at;
}

// Reads between fewest and most digits; false, at unmoved, otherwise.
bool read_number(const char *&at, int fewest, int most, int *value)
{
    int count = 0, number = 0;
    while (count < most && is_digit(at[count]))
        number = number * 10 + (at[count++] - '0');
    if (count < fewest || is_digit(at[count]))
        return false;
    at += count;
    *value = number;
    return true;
}

bool read_char(const char *&at, char expected)
{
    if (lower(*at) != expected)
        return false;
    ++at;
    return true;
}

// A word of letters, lower-cased into word (size bytes); false when there is
// none or it does not fit.
bool read_word(const char *&at, char *word, size_t size)
{
    size_t length = 0;
    while (is_letter(at[length])) {
        if (length + 1 >= size)
            return false;
        word[length] = lower(at[length]);
        ++length;
    }
    word[length] = '\0';
    at += length;
    return length > 0;
}

// The moment read from a text, before it is checked and written out.
struct Moment {
    int year, month, day, hour, minute, second;
    int zone_sign, zone_hours, zone_minutes;
};

bool is_leap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int days_in_month(int year, int month)
{
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap(year) ? 29 : days[month - 1];
}

// Writes a checked moment as the long timestamp text; 0 for a moment no
// calendar or clock has, or one outside the years the timestamps cover.
int write_moment(const Moment &m, char *out)
{
    out[0] = '\0';
    if (m.month < 1 || m.month > 12 || m.day < 1 || m.day > days_in_month(m.year, m.month) || m.hour > 23 ||
        m.minute > 59 || m.second > 60 || m.zone_hours > 23 || m.zone_minutes > 59)
        return 0;
    if (m.year < 1900 || m.year > 3000)
        return 0;
    // Every field is checked above, so the text is 25 characters long.
    char text[80];  // room for any int fields, so that no format can be cut
    snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", m.year, m.month, m.day, m.hour,
             m.minute, m.second, m.zone_sign < 0 ? '-' : '+', m.zone_hours, m.zone_minutes);
    copy_text(out, ItemDateSize, text);
    if (FeedConverter::is_valid_date(out))
        return 1;
    out[0] = '\0';
    return 0;
}

// A numeric zone: +hhmm or +hh:mm (or with -).
bool read_numeric_zone(const char *&at, Moment *m)
{
    if (*at != '+' && *at != '-')
        return false;
    const char *start = at;
    m->zone_sign = *at++ == '-' ? -1 : 1;
    if (read_number(at, 4, 4, &m->zone_hours)) {
        m->zone_minutes = m->zone_hours % 100;
        m->zone_hours /= 100;
        return true;
    }
    if (read_number(at, 2, 2, &m->zone_hours) && read_char(at, ':') && read_number(at, 2, 2, &m->zone_minutes))
        return true;
    at = start;
    return false;
}

// RFC 3339 and the W3C profile of ISO 8601: a date alone (midnight UTC, as
// dc:date), or with a time in either case of T, fractions of a second
// dropped, a zone of Z or +hh:mm; no zone counts as UTC.
int read_w3c(const char *text, char *out)
{
    const char *at = text;
    Moment m = {0, 0, 0, 0, 0, 0, 1, 0, 0};
    skip_spaces(at);
    if (!read_number(at, 4, 4, &m.year) || !read_char(at, '-') || !read_number(at, 2, 2, &m.month) ||
        !read_char(at, '-') || !read_number(at, 2, 2, &m.day))
        return 0;
    bool spaced = false;
    if (read_char(at, 't') || (spaced = read_char(at, ' '))) {
        if (!read_number(at, 2, 2, &m.hour) || !read_char(at, ':') || !read_number(at, 2, 2, &m.minute))
            return 0;
        if (read_char(at, ':')) {
            // One digit is met ("12:35:9") and means what it says.
            if (!read_number(at, 1, 2, &m.second))
                return 0;
            if (read_char(at, '.')) {
                if (!is_digit(*at))
                    return 0;
                while (is_digit(*at))
                    ++at;
            }
        }
        // A space for the T is a database's form, not RFC 3339's
        // ("2006-01-11 16:43:22 -0800"): its zone may follow a space and
        // lack the colon.
        if (spaced)
            skip_spaces(at);
        const char *zone = at;
        if (!read_char(at, 'z') && (*at == '+' || *at == '-') &&
            (!read_numeric_zone(at, &m) || (!spaced && at - zone != 6)))
            return 0;
    }
    skip_spaces(at);
    return *at ? 0 : write_moment(m, out);
}

struct NamedZone {
    const char *name;
    int hours;
};

// Zones by name as RFC 822 lists them, and the one of Japan.
const NamedZone NamedZones[] = {
    {"gmt", 0},  {"ut", 0},   {"utc", 0},  {"z", 0},    {"est", -5}, {"edt", -4}, {"cst", -6},
    {"cdt", -5}, {"mst", -7}, {"mdt", -6}, {"pst", -8}, {"pdt", -7}, {"jst", 9},
};

// A month by name: the three letters RFC 822 writes, the English name in
// full, or "sept"; 0 for any other word.
int month_named(const char *word)
{
    static const char *const names[12] = {"january", "february", "march",     "april",   "may",      "june",
                                          "july",    "august",   "september", "october", "november", "december"};
    if (strcmp(word, "sept") == 0)
        return 9;
    for (int i = 0; i < 12; ++i)
        if (strcmp(word, names[i]) == 0 || (strlen(word) == 3 && strncmp(word, names[i], 3) == 0))
            return i + 1;
    return 0;
}

// A year of two or four digits; two count from 1950 to 2049.
bool read_year(const char *&at, Moment *m)
{
    const char *start = at;
    if (!read_number(at, 2, 4, &m->year) || at - start == 3)
        return false;
    if (at - start == 2)
        m->year += m->year < 50 ? 2000 : 1900;
    return true;
}

// h:mm, seconds optional, and am or pm after a twelve-hour time
// ("8:56 am", which weather and calendar feeds write).
bool read_time(const char *&at, Moment *m)
{
    if (!read_number(at, 1, 2, &m->hour) || !read_char(at, ':') || !read_number(at, 2, 2, &m->minute))
        return false;
    if (read_char(at, ':') && !read_number(at, 2, 2, &m->second))
        return false;
    const char *half = at;
    skip_spaces(half);
    bool pm = lower(half[0]) == 'p';
    if ((pm || lower(half[0]) == 'a') && lower(half[1]) == 'm' && !is_letter(half[2])) {
        if (m->hour < 1 || m->hour > 12)
            return false;
        m->hour = m->hour % 12 + (pm ? 12 : 0);
        at = half + 2;
    }
    return true;
}

// A zone by number or name, or none; no zone or an unknown name counts as
// UTC.
bool read_zone(const char *&at, Moment *m)
{
    skip_spaces(at);
    if (*at == '+' || *at == '-')
        return read_numeric_zone(at, m);
    char word[16];
    if (is_letter(*at)) {
        if (!read_word(at, word, sizeof word))
            return false;
        for (const NamedZone &zone : NamedZones)
            if (strcmp(zone.name, word) == 0) {
                m->zone_sign = zone.hours < 0 ? -1 : 1;
                m->zone_hours = zone.hours < 0 ? -zone.hours : zone.hours;
            }
    }
    return true;
}

// RFC 822 and 1123 as feeds write them: the weekday optional, a day of one
// or two digits, the month's name in any case, a year of two or four digits,
// seconds optional, a zone by number or name. A comment in parentheses may
// follow. Beside it the orders other programs write: the month before the
// day ("Mon, June 2 2008 11:11:11 PST"), and the year last, after the time
// and zone ("Thu Jul 03 00:00:00 UTC 2008", as C's asctime and Java write).
int read_rfc822(const char *text, char *out)
{
    const char *at = text;
    Moment m = {0, 0, 0, 0, 0, 0, 1, 0, 0};
    char word[16];
    skip_spaces(at);
    if (is_letter(*at)) {  // the weekday, not checked against the date, or the month
        if (!read_word(at, word, sizeof word))
            return 0;
        m.month = month_named(word);
        skip_spaces(at);
        if (!m.month && read_char(at, ',')) {
            skip_spaces(at);
        }
        if (!m.month && is_letter(*at)) {
            if (!read_word(at, word, sizeof word) || !(m.month = month_named(word)))
                return 0;
            skip_spaces(at);
        }
    }
    if (!read_number(at, 1, 2, &m.day))
        return 0;
    skip_spaces(at);
    if (m.month) {
        read_char(at, ',');
    } else if (!read_word(at, word, sizeof word) || !(m.month = month_named(word))) {
        return 0;
    }
    skip_spaces(at);
    const char *next = at;
    while (is_digit(*next))
        ++next;
    if (*next == ':') {
        if (!read_time(at, &m) || !read_zone(at, &m))
            return 0;
        skip_spaces(at);
        if (!read_year(at, &m))
            return 0;
    } else {
        if (!read_year(at, &m))
            return 0;
        skip_spaces(at);
        if (!read_time(at, &m) || !read_zone(at, &m))
            return 0;
    }
    skip_spaces(at);
    if (*at == '(') {
        const char *close = strchr(at, ')');
        if (!close)
            return 0;
        at = close + 1;
        skip_spaces(at);
    }
    return *at ? 0 : write_moment(m, out);
}

}  // namespace

int normalise_date(const char *text, char *out)
{
    if (!out)
        return 0;
    out[0] = '\0';
    if (!text)
        return 0;
    return read_w3c(text, out) || read_rfc822(text, out);
}

int get_fallback_item_date(TiXmlHandle item, int feed_type, char *out)
{
    // Dublin Core's terms after the elements of the feed's own kind; for
    // Atom last its first choice, modified, in any form the others take
    // (an RFC 822 date, fractions of a second).
    static const char *const rss_elements[] = {"pubDate", "dcterms:modified", "dcterms:issued", "dcterms:created",
                                               nullptr};
    static const char *const atom_elements[] = {"updated", "published", "issued", "created", "dcterms:modified",
                                                "dcterms:issued", "dcterms:created", "modified", nullptr};
    if (!out)
        return 0;
    char text[TextFieldSize];
    for (const char *const *name = feed_type == FeedAtom ? atom_elements : rss_elements; *name; ++name)
        if (FeedConverter::copy_child_text(item, *name, text) && normalise_date(text, out))
            return 1;
    out[0] = '\0';
    return 0;
}

int FeedConverter::get_item_date(TiXmlHandle item, int feed_type, char *out)
{
    if (!out)
        return 0;
    char text[TextFieldSize];
    if (!copy_child_text(item, feed_type == FeedAtom ? "modified" : "dc:date", text))
        return get_fallback_item_date(item, feed_type, out);
    char completed[ItemDateSize] = {};
    switch (strlen(text)) {
    case 22:  // no seconds: 2024-05-03T18:00+09:00
        snprintf(completed, sizeof completed, "%.16s:00%.6s", text, text + 16);
        break;
    case 10:  // date only
        snprintf(completed, sizeof completed, "%.10sT00:00:00+00:00", text);
        break;
    case 20:  // UTC, ending in Z
        snprintf(completed, sizeof completed, "%.19s+00:00", text);
        break;
    case 25:
        copy_text(completed, sizeof completed, text);
        break;
    }
    copy_text(out, ItemDateSize, completed);
    if (is_valid_date(out))
        return 1;
    return get_fallback_item_date(item, feed_type, out);
}

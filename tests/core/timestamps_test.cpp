// Timestamp texts: validity, conversion to UTC, comparisons, the Date header
// value and the completion of item dates.
#include "feed_test_support.h"
#include "feed/read/item_dates.h"
#include "settings/feed_settings.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>

namespace {

std::string Record(const SYSTEMTIME &r)
{
    char text[40];
    snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", r.wYear, r.wMonth, r.wDay, r.wHour, r.wMinute,
             r.wSecond);
    return text;
}

SYSTEMTIME MakeRecord(int year, int month, int day, int hour, int minute, int second)
{
    SYSTEMTIME r = {WORD(year), WORD(month), 3, WORD(day), WORD(hour), WORD(minute), WORD(second), 999};
    return r;
}

struct Conversion {
    const char *text;
    const char *utc;  // null: does not convert
};

// Plain calendar arithmetic: offsets, carries, leap years, the range limits
// before and after the shift, and dates a 32-bit time value cannot hold.
const Conversion Conversions[] = {
    {"2024-05-03T18:00:00+09:00", "2024-05-03 09:00:00"},
    {"2024-05-03T18:00:00-05:00", "2024-05-03 23:00:00"},
    {"2024-01-01T03:00:00+09:00", "2023-12-31 18:00:00"},
    {"2024-12-31T23:00:00-05:00", "2025-01-01 04:00:00"},
    {"2024-05-03T18:00:00+05:30", "2024-05-03 13:00:00"},
    {"2024-05-03T18:00:00Z", "2024-05-03 18:00:00"},
    {"2024-05-03T18:00:00?", "2024-05-03 18:00:00"},
    {"2024-01-32T00:00:00Z", "2024-02-01 00:00:00"},
    {"2024-05-03T24:00:00Z", "2024-05-04 00:00:00"},
    {"2024-12-31T23:59:60Z", "2025-01-01 00:00:00"},
    {"2024-05-03T10:60:00Z", "2024-05-03 11:00:00"},
    {"2024-02-28T23:00:00-01:00", "2024-02-29 00:00:00"},
    {"2023-02-28T23:00:00-01:00", "2023-03-01 00:00:00"},
    {"2100-02-28T23:00:00-01:00", "2100-03-01 00:00:00"},
    {"2000-02-28T23:00:00-01:00", "2000-02-29 00:00:00"},
    {"2024-03-31T02:30:00+00:00", "2024-03-31 02:30:00"},  // a spring-forward gap in Europe
    {"2024-10-27T02:30:00+01:00", "2024-10-27 01:30:00"},  // an autumn repeat in Europe
    {"2024-03-10T02:30:00-05:00", "2024-03-10 07:30:00"},  // a spring-forward gap in America
    {"2040-06-01T12:00:00+09:00", "2040-06-01 03:00:00"},
    {"1950-06-01T12:00:00-09:00", "1950-06-01 21:00:00"},
    {"1900-01-01T09:00:00+09:00", "1900-01-01 00:00:00"},
    {"3000-12-31T18:00:00-05:00", "3000-12-31 23:00:00"},
    {"1900-01-01T00:00:00+09:00", nullptr},  // 1899 after the shift
    {"3000-12-31T23:00:00-05:00", nullptr},  // 3001 after the shift
    {"1899-12-31T23:00:00Z", nullptr},
    {"3001-01-01T00:00:00Z", nullptr},
    {"2024-01-33T00:00:00Z", nullptr},
    {"2024-13-01T00:00:00Z", nullptr},
    {"2024-00-01T00:00:00Z", nullptr},
    {"2024-05-00T00:00:00Z", nullptr},
    {"2024-05-03T25:00:00Z", nullptr},
    {"2024-05-03T10:61:00Z", nullptr},
    {"2024-05-03T10:00:61Z", nullptr},
    {"2024-05-03T18:00:00x09:00", nullptr},
    {"2024-05-03T18:00:00", nullptr},
    {"2024-05-03T18:00:00+0900", nullptr},
    {"2024-05-03T18:00:00+09:000", nullptr},
    {"2024-05-03T18:00:00Z0", nullptr},
    {"", nullptr},
};

void ExpectConversions(const char *zone)
{
    for (const Conversion &c : Conversions) {
        SYSTEMTIME record = {};
        int converted = FeedConverter::date_to_systemtime(&record, c.text);
        EXPECT_EQ(c.utc != nullptr, converted == 1) << c.text << " in " << zone;
        if (c.utc && converted) {
            EXPECT_EQ(c.utc, Record(record)) << c.text << " in " << zone;
        }
    }
}

TEST(Timestamps, ConversionToUtcIsCalendarArithmetic)
{
    ExpectConversions("the process's zone");
#ifndef _WIN32
    // No local-time conversion takes part: the zone the process runs in,
    // daylight saving included, changes nothing.
    const char *saved = getenv("TZ");
    std::string previous = saved ? saved : "";
    for (const char *zone : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Tokyo"}) {
        setenv("TZ", zone, 1);
        tzset();
        ExpectConversions(zone);
    }
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
#endif
    SYSTEMTIME record;
    EXPECT_EQ(0, FeedConverter::date_to_systemtime(nullptr, "2024-05-03T18:00:00Z"));
    EXPECT_EQ(0, FeedConverter::date_to_systemtime(&record, nullptr));
}

TEST(Timestamps, ValidityNeedsDigitsLengthAndAConvertibleDate)
{
    struct Case {
        const char *text;
        int valid;
    } cases[] = {
        {"2024-05-03T18:00:00+09:00", 1},
        {"2024-05-03T09:00:00Z", 1},
        {"2024x05x03x18x00x00+09:00", 1},  // separators are not tested
        {"2024-05-03T18:00:00+09x00", 1},
        {"2024- 5-03T18:00:00+09:00", 0},
        {"2024-05-03T18:00:0a+09:00", 0},
        {"\x93\xfa" "24-05-03T18:00:00Z", 0},  // a multi-byte character in the year
        {"2024-05-03T18:00:00", 0},
        {"2024-05-03T18:00:00+0900", 0},
        {"2024-05-03T18:00:00Z ", 0},
        {"2024-05-03T18:00:00+09:00 ", 0},
        {"2024-05-03T18:00:00x09:00", 0},
        {"2024-01-32T00:00:00Z", 1},
        {"2024-01-33T00:00:00Z", 0},
        {"1899-12-31T23:00:00Z", 0},
        {"3000-12-31T23:00:00-05:00", 0},
        {"2000-01-01T00:00:00+09:00", 1},
        {"", 0},
        {nullptr, 0},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.valid, FeedConverter::is_valid_date(c.text)) << (c.text ? c.text : "(null)");
    EXPECT_EQ(1, FeedConverter::is_valid_date(DefaultTimestamp));
    SYSTEMTIME record;
    FeedConverter::date_to_systemtime(&record, DefaultTimestamp);
    EXPECT_EQ("1999-12-31 15:00:00", Record(record));
}

TEST(Timestamps, TextsCompareAsUtcMoments)
{
    struct Case {
        const char *a, *b;
        int result;
        char later;  // 'a', 'b', or '-' when the out pointer stays unwritten
    } cases[] = {
        {"2024-05-03T18:00:00+09:00", "2024-05-03T09:00:00Z", 2, 'b'},
        {"2024-05-03T18:00:00+09:00", "2024-05-03T08:59:59Z", 1, 'a'},
        {"2024-05-01T08:15:00+09:00", "2024-05-02T00:00:00+09:00", 1, 'b'},
        {"2024-05-03T18:00:00+05:30", "2024-05-03T13:00:00Z", 2, 'b'},
        {"2024-01-32T00:00:00Z", "2024-02-01T00:00:00Z", 2, 'b'},
        {"2024-05-03T24:00:00Z", "2024-05-04T00:00:00Z", 2, 'b'},
        {"2024- 5-03T18:00:00+09:00", "2024-05-03T09:00:00Z", 2, 'b'},  // no digit test here
        {"2040-01-01T00:00:00Z", "2037-12-31T00:00:00Z", 1, 'a'},
        {"1999-12-31T15:00:00Z", DefaultTimestamp, 2, 'b'},
        {"2000-01-01T00:00:00Z", DefaultTimestamp, 1, 'a'},
        {"", DefaultTimestamp, 0, '-'},
        {nullptr, DefaultTimestamp, 0, '-'},
        {DefaultTimestamp, nullptr, 0, '-'},
        {"2024-05-03T18:00:00", DefaultTimestamp, 0, '-'},
        {"2024-05-03T18:00:00x09:00", DefaultTimestamp, 0, '-'},
        {DefaultTimestamp, "2024-13-03T18:00:00Z", 0, '-'},
    };
    const char unwritten[] = "unwritten";
    for (const Case &c : cases) {
        const char *later = unwritten;
        EXPECT_EQ(c.result, FeedConverter::compare_date(&later, c.a, c.b)) << c.a << " / " << c.b;
        const char *expected = c.later == 'a' ? c.a : c.later == 'b' ? c.b : unwritten;
        EXPECT_EQ(expected, later) << c.a << " / " << c.b;
    }
}

TEST(Timestamps, RecordsCompareFieldByField)
{
    SYSTEMTIME a = MakeRecord(2024, 5, 3, 9, 0, 0), b = MakeRecord(2024, 5, 3, 9, 0, 1);
    SYSTEMTIME a_again = MakeRecord(2024, 5, 3, 9, 0, 0);
    a_again.wDayOfWeek = 6;
    a_again.wMilliseconds = 1;
    SYSTEMTIME out_of_range = MakeRecord(2024, 5, 3, 25, 0, 0);
    const SYSTEMTIME *later = &out_of_range;
    EXPECT_EQ(1, FeedConverter::compare_systemtime(&later, &a, &b));
    EXPECT_EQ(&b, later);
    EXPECT_EQ(1, FeedConverter::compare_systemtime(&later, &b, &a));
    EXPECT_EQ(&b, later);
    EXPECT_EQ(2, FeedConverter::compare_systemtime(&later, &a, &a_again));
    EXPECT_EQ(nullptr, later);
    later = &a;
    EXPECT_EQ(0, FeedConverter::compare_systemtime(&later, &a, &out_of_range));
    EXPECT_EQ(0, FeedConverter::compare_systemtime(&later, nullptr, &a));
    EXPECT_EQ(&a, later);

    struct Range {
        SYSTEMTIME record;
        int valid;
    } ranges[] = {
        {MakeRecord(1900, 1, 1, 0, 0, 0), 1},   {MakeRecord(3000, 12, 32, 24, 60, 60), 1},
        {MakeRecord(1899, 12, 31, 0, 0, 0), 0}, {MakeRecord(3001, 1, 1, 0, 0, 0), 0},
        {MakeRecord(2024, 0, 1, 0, 0, 0), 0},   {MakeRecord(2024, 13, 1, 0, 0, 0), 0},
        {MakeRecord(2024, 1, 0, 0, 0, 0), 0},   {MakeRecord(2024, 1, 33, 0, 0, 0), 0},
        {MakeRecord(2024, 1, 1, 25, 0, 0), 0},  {MakeRecord(2024, 1, 1, 0, 61, 0), 0},
        {MakeRecord(2024, 1, 1, 0, 0, 61), 0},
    };
    for (const Range &r : ranges)
        EXPECT_EQ(r.valid, FeedConverter::check_systemtime(&r.record)) << Record(r.record);
}

TEST(Timestamps, ServerDateAgainstTheLastSeenText)
{
    SYSTEMTIME server = MakeRecord(2024, 5, 3, 9, 0, 0);
    struct Case {
        const char *text;
        int result, flag;
    } cases[] = {
        {"2024-05-03T18:00:00+09:00", 2, 1},
        {"2024-05-03T09:00:00Z", 2, 1},
        {"2024-05-03T19:00:00+09:00", 1, 1},
        {"2024-05-03T17:59:59+09:00", 1, 0},
        {"2024-05-03T18:00:00", 0, -1},
        {"2024-05-03T18:00:00x09:00", 0, -1},
        {nullptr, 0, -1},
    };
    for (const Case &c : cases) {
        int flag = -1;
        EXPECT_EQ(c.result, FeedConverter::compare_date_systemtime(&flag, &server, c.text)) << c.text;
        EXPECT_EQ(c.flag, flag) << c.text;
    }
    int flag = -1;
    SYSTEMTIME out_of_range = MakeRecord(2024, 13, 3, 9, 0, 0);
    EXPECT_EQ(0, FeedConverter::compare_date_systemtime(&flag, &out_of_range, DefaultTimestamp));
    EXPECT_EQ(0, FeedConverter::compare_date_systemtime(&flag, nullptr, DefaultTimestamp));
    EXPECT_EQ(-1, flag);
}

TEST(Timestamps, MailDateValue)
{
    struct Case {
        const char *text;
        const char *value;  // null: result 0 and the empty text
    } cases[] = {
        {"2024-05-03T18:00:00+09:00", "03 May 24 18:00:00 +0900"},
        {"2024-05-03T18:00:00Z", "03 May 24 18:00:00 +0000"},
        {"2024-05-03T18:00:00-05:30", "03 May 24 18:00:00 -0530"},
        {"1999-12-31T23:59:59+00:00", "31 Dec 99 23:59:59 +0000"},
        {"2024-01-32T24:00:00Z", "32 Jan 24 24:00:00 +0000"},  // as it stands: no shift, no carry
        {"2024-13-03T18:00:00+09:00", nullptr},
        {"2024-00-03T18:00:00+09:00", nullptr},
        {"2024--1-03T18:00:00+09:00", nullptr},
        {"2024-05-03T18:00:00", nullptr},
        {"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        char out[MailDateSize + 8];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(c.value != nullptr, FeedConverter::format_mail_date(c.text, out)) << c.text;
        EXPECT_STREQ(c.value ? c.value : "", out) << c.text;
        EXPECT_EQ(std::string(8, 'z'), std::string(out + MailDateSize, 8));
    }
    EXPECT_EQ(0, FeedConverter::format_mail_date(DefaultTimestamp, nullptr));
}

TEST(Timestamps, ItemDatesAreCompletedToTheLongForm)
{
    struct Case {
        int feed_type;
        std::string children;
        const char *date;  // null: result 0 and the empty text
    } cases[] = {
        {FeedRss20, "<dc:date>2024-05-03T18:00+09:00</dc:date>", "2024-05-03T18:00:00+09:00"},
        {FeedRss20, "<dc:date>2024-05-03</dc:date>", "2024-05-03T00:00:00+00:00"},
        {FeedRss20, "<dc:date>2024-05-03T18:00:00Z</dc:date>", "2024-05-03T18:00:00+00:00"},
        {FeedRss20, "<dc:date>2024-05-03T18:00:00-05:00</dc:date>", "2024-05-03T18:00:00-05:00"},
        {FeedRss10, "<DC:DATE> 2024-05-03 </DC:DATE>", "2024-05-03T00:00:00+00:00"},
        {FeedRss20, "<dc:date>2024-05-03T18:00:00.5Z</dc:date>", nullptr},
        {FeedRss20, "<dc:date>2024-05-03T18:00:00</dc:date>", nullptr},
        {FeedRss20, "<dc:date>Fri, 03 May 2024 18:00:00 +0900</dc:date>", nullptr},
        {FeedRss20, "<dc:date>2024-13-03T18:00:00+09:00</dc:date>", nullptr},
        {FeedRss20, "<dc:date>2024-05-03Tab:00+09:00</dc:date>", nullptr},
        {FeedRss20, "<modified>2024-05-03T18:00:00Z</modified>", nullptr},
        {FeedRss20, "<dc:date/>", nullptr},
        {FeedAtom, "<modified>2024-05-03T18:00:00Z</modified>", "2024-05-03T18:00:00+00:00"},
        {FeedAtom, "<dc:date>2024-05-03T18:00:00Z</dc:date>", nullptr},
        // The fallbacks: pubDate for RSS; updated, published, issued, created
        // for Atom, each only where the elements before it give no date.
        {FeedRss20, "<pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>", "2024-05-03T18:00:00+09:00"},
        {FeedRss091, "<pubDate>3 May 2024 18:00 GMT</pubDate>", "2024-05-03T18:00:00+00:00"},
        {FeedRss20, "<dc:date>2024-05-03</dc:date><pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>",
         "2024-05-03T00:00:00+00:00"},
        {FeedRss20, "<dc:date>soon</dc:date><pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>",
         "2024-05-03T18:00:00+09:00"},
        {FeedRss20, "<pubDate>yesterday</pubDate>", nullptr},
        {FeedAtom, "<updated>2024-05-03T18:00:00Z</updated>", "2024-05-03T18:00:00+00:00"},
        {FeedAtom, "<modified>2024-05-03T18:00:00Z</modified><updated>2024-06-01T00:00:00Z</updated>",
         "2024-05-03T18:00:00+00:00"},
        {FeedAtom, "<published>2024-05-03t18:00:00.250z</published><updated>bad</updated>",
         "2024-05-03T18:00:00+00:00"},
        {FeedAtom, "<created>2024-05-03T18:00:00+02:00</created><issued>2024-05-02</issued>",
         "2024-05-02T00:00:00+00:00"},
        {FeedAtom, "<pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>", nullptr},
    };
    for (const Case &c : cases) {
        TiXmlDocument document;
        ParseFeed(document, "<?xml version=\"1.0\"?><item>" + c.children + "</item>");
        char out[ItemDateSize + 8] = {};
        memset(out + ItemDateSize, 'z', 8);
        EXPECT_EQ(c.date != nullptr, FeedConverter::get_item_date(TiXmlHandle(document.RootElement()), c.feed_type,
                                                                  out))
            << c.children;
        EXPECT_STREQ(c.date ? c.date : "", out) << c.children;
        EXPECT_EQ(std::string(8, 'z'), std::string(out + ItemDateSize, 8));
    }
}

// Date texts as feeds write them, normalised to the long timestamp text, or
// no date.
TEST(Timestamps, DateTextsAreNormalisedOrRefused)
{
    const std::string long_text(511, '1');
    const struct {
        const char *text;
        const char *date;  // null: no date
    } cases[] = {
        // RFC 822 and 1123 with their common deviations.
        {"Thu, 6 Jun 2024 18:30:00 GMT", "2024-06-06T18:30:00+00:00"},
        {"Thu, 06 Jun 2024 18:30:00 +0900", "2024-06-06T18:30:00+09:00"},
        {"6 Jun 2024 18:30:00 -05:30", "2024-06-06T18:30:00-05:30"},
        {"Thursday, 06 JUN 24 18:30 EST", "2024-06-06T18:30:00-05:00"},
        {"thu,06 jun 1999 8:05:09 pdt", "1999-06-06T08:05:09-07:00"},
        {"Mon, 01 Jan 49 00:00:00 UT", "2049-01-01T00:00:00+00:00"},
        {"Mon, 01 Jan 50 00:00:00 UTC", "1950-01-01T00:00:00+00:00"},
        {"01 Jan 2024 00:00:00 Z", "2024-01-01T00:00:00+00:00"},
        {"01 Feb 2024 12:00:00 EDT", "2024-02-01T12:00:00-04:00"},
        {"01 Mar 2024 12:00:00 CST", "2024-03-01T12:00:00-06:00"},
        {"01 Apr 2024 12:00:00 CDT", "2024-04-01T12:00:00-05:00"},
        {"01 May 2024 12:00:00 MST", "2024-05-01T12:00:00-07:00"},
        {"01 Jul 2024 12:00:00 MDT", "2024-07-01T12:00:00-06:00"},
        {"01 Aug 2024 12:00:00 PST", "2024-08-01T12:00:00-08:00"},
        {"01 Sep 2024 12:00:00 JST", "2024-09-01T12:00:00+09:00"},
        {"01 Oct 2024 12:00:00", "2024-10-01T12:00:00+00:00"},
        {"01 Nov 2024 12:00:00 CEST", "2024-11-01T12:00:00+00:00"},
        {"  01 Dec 2024 12:00:00 +0000 (UTC) ", "2024-12-01T12:00:00+00:00"},
        {"29 Feb 2024 12:00:00 GMT", "2024-02-29T12:00:00+00:00"},
        {"Fri, 31 Dec 3000 23:00:00 GMT", "3000-12-31T23:00:00+00:00"},
        // The forms other programs write: month names in full, the month
        // before the day, the year after the time and zone, a twelve-hour
        // clock.
        {"06 June 2024 18:30:00 GMT", "2024-06-06T18:30:00+00:00"},
        {"Mon, June 2 2008 11:11:11 PST", "2008-06-02T11:11:11-08:00"},
        {"Tuesday, 2 Sept 2008 11:11 +0100", "2008-09-02T11:11:00+01:00"},
        {"Dec 24, 2024 18:30:00 GMT", "2024-12-24T18:30:00+00:00"},
        {"Wed, 17 Sep 2008 23:57 -0400", "2008-09-17T23:57:00-04:00"},
        {"Thu Jul 03 00:00:00 UTC 2008", "2008-07-03T00:00:00+00:00"},
        {"Thu Jul  3 09:10:11 2008", "2008-07-03T09:10:11+00:00"},
        {"Mon, 21 Jan 2008 8:56 am PST", "2008-01-21T08:56:00-08:00"},
        {"Mon, 21 Jan 2008 12:05 AM", "2008-01-21T00:05:00+00:00"},
        {"Mon, 21 Jan 2008 12:05pm EST", "2008-01-21T12:05:00-05:00"},
        {"Mon, 21 Jan 2008 8:56:30 PM -0100", "2008-01-21T20:56:30-01:00"},
        // W3C date-times, also in pubDate; RFC 3339 as Atom writes it.
        {"2024-06-06T18:30:00Z", "2024-06-06T18:30:00+00:00"},
        {"2024-06-06t18:30:00.123456z", "2024-06-06T18:30:00+00:00"},
        {"2024-06-06T18:30:00.5+09:00", "2024-06-06T18:30:00+09:00"},
        {"2024-06-06T18:30-04:00", "2024-06-06T18:30:00-04:00"},
        {"2024-06-06", "2024-06-06T00:00:00+00:00"},
        {"2024-06-06 18:30:00", "2024-06-06T18:30:00+00:00"},
        // With a space for the T, as databases write it, the zone as RFC 822
        // writes it.
        {"2006-01-11 16:43:22 -0800", "2006-01-11T16:43:22-08:00"},
        {"2006-01-11 16:43:22-08:00", "2006-01-11T16:43:22-08:00"},
        {"2006-01-11 16:43 +0930", "2006-01-11T16:43:00+09:30"},
        {"2006-01-17T12:35:9+01:00", "2006-01-17T12:35:09+01:00"},
        // Near-misses.
        {"Thu, 32 Jun 2024 18:30:00 GMT", nullptr},
        {"31 Apr 2024 18:30:00 GMT", nullptr},
        {"29 Feb 2023 12:00:00 GMT", nullptr},
        {"06 Jun 2024 25:00:00 GMT", nullptr},
        {"06 Jun 2024 18:60:00 GMT", nullptr},
        {"06 Jun 2024 18:30:00 +2500", nullptr},
        {"06 Jun 2024 18:30:00 +0960", nullptr},
        {"06 Jun 10000 18:30:00 GMT", nullptr},
        {"06 Jun 204 18:30:00 GMT", nullptr},
        {"06 Jun 1899 18:30:00 GMT", nullptr},
        {"01 Jan 1900 00:00:00 +0100", nullptr},  // 1899 in UTC
        {"06 Jux 2024 18:30:00 GMT", nullptr},
        {"Mon, Jux 2 2008 11:11:11 PST", nullptr},
        {"Mon, 21 Jan 2008 13:05 pm PST", nullptr},
        {"Mon, 21 Jan 2008 0:05 am PST", nullptr},
        {"Thu Jul 03 00:00:00 UTC", nullptr},
        {"Thu Jul 03 00:00:00 UTC 208", nullptr},
        {"2006-01-11 16:43:22 -08", nullptr},
        {"2006-01-17T12:35:123+01:00", nullptr},
        {"06 Juni 2024 18:30:00 GMT", nullptr},
        {"06 Jun 2024", nullptr},
        {"06 Jun 2024 18:30:00 GMT garbage", nullptr},
        {"06 Jun 2024 18:30:00 +09", nullptr},
        {"2024-06-32T18:30:00Z", nullptr},
        {"2024-06-06T25:30:00Z", nullptr},
        {"2024-06-06T18:30:00+25:00", nullptr},
        {"2024-06-06T18:30:00+0900", nullptr},
        {"2024-06-06T18:30:00.Z", nullptr},
        {"10000-06-06T18:30:00Z", nullptr},
        {"2024-6-6", nullptr},
        {"", nullptr},
        {"   ", nullptr},
        {long_text.c_str(), nullptr},
    };
    for (const auto &c : cases) {
        char out[ItemDateSize + 8];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(c.date != nullptr, normalise_date(c.text, out) == 1) << c.text;
        EXPECT_STREQ(c.date ? c.date : "", out) << c.text;
        EXPECT_EQ(std::string(8, 'z'), std::string(out + ItemDateSize, 8));
        if (c.date) {
            EXPECT_EQ(1, FeedConverter::is_valid_date(out)) << c.text;
        }
    }
    EXPECT_EQ(0, normalise_date(nullptr, nullptr));
}

}  // namespace

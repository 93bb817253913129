// HTTP header dates: the three forms, and everything else refused untouched.
#include "feed/dates/http_date.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpDateTest, ReadsTheThreeForms)
{
    struct Case {
        const char *text;
        int year, month, day, hour, minute, second, weekday;
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, 0},
        {"Sunday, 06-Nov-94 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, 0},
        {"Sun Nov  6 08:49:37 1994", 1994, 11, 6, 8, 49, 37, 0},
        {"Sun Nov 16 08:49:37 1994", 1994, 11, 16, 8, 49, 37, 0},
        {"Fri, 03 May 2024 09:00:00 GMT", 2024, 5, 3, 9, 0, 0, 5},
        {"Thursday, 01-Jan-70 00:00:00 GMT", 1970, 1, 1, 0, 0, 0, 4},
        {"Wednesday, 31-Dec-69 23:59:59 GMT", 2069, 12, 31, 23, 59, 59, 3},
        {"Thu, 29 Feb 2024 23:59:60 GMT", 2024, 2, 29, 23, 59, 60, 4},
        {"Sat, 29 Feb 2000 00:00:00 GMT", 2000, 2, 29, 0, 0, 0, 6},
        {" \tMon, 01 Jan 2024 00:00:00 GMT\t ", 2024, 1, 1, 0, 0, 0, 1},
        // The week day is not checked against the date.
        {"Mon, 06 Nov 1994 08:49:37 GMT", 1994, 11, 6, 8, 49, 37, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        SYSTEMTIME record = {1, 1, 1, 1, 1, 1, 1, 77};
        ASSERT_EQ(1, parse_http_date(c.text, &record));
        EXPECT_EQ(c.year, record.wYear);
        EXPECT_EQ(c.month, record.wMonth);
        EXPECT_EQ(c.day, record.wDay);
        EXPECT_EQ(c.hour, record.wHour);
        EXPECT_EQ(c.minute, record.wMinute);
        EXPECT_EQ(c.second, record.wSecond);
        EXPECT_EQ(c.weekday, record.wDayOfWeek);
        EXPECT_EQ(0, record.wMilliseconds);
    }
}

TEST(HttpDateTest, RefusesEverythingElseAndLeavesTheRecord)
{
    const char *refused[] = {
        "",
        "   ",
        "Sun, 6 Nov 1994 08:49:37 GMT",       // one-digit day
        "Sun, 06 Nov 94 08:49:37 GMT",        // two-digit year in the preferred form
        "Sun, 06 Nov 1994 08:49:37 UTC",
        "Sun, 06 Nov 1994 08:49:37 +0000",
        "Sun, 06 Nov 1994 08:49:37",
        "Sun, 06 Nov 1994 08:49:37 GMTx",
        "sun, 06 nov 1994 08:49:37 gmt",      // names are case-sensitive
        "Sun, 06 November 1994 08:49:37 GMT",
        "Sun,06 Nov 1994 08:49:37 GMT",
        "Sun, 06  Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 8:49:37 GMT",
        "Sun, 06 Nov 1994 08:49 GMT",
        "Sun, 31 Apr 1994 08:49:37 GMT",      // no such day
        "Sun, 29 Feb 1900 08:49:37 GMT",
        "Sun, 00 Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 24:00:00 GMT",
        "Sun, 06 Nov 1994 08:60:00 GMT",
        "Sun, 06 Nov 1994 08:49:61 GMT",
        "Sunday, 06-Nov-1994 08:49:37 GMT",
        "Sun, 06-Nov-94 08:49:37 GMT",
        "Sunday, 6-Nov-94 08:49:37 GMT",
        "Sun Nov 6 08:49:37 1994",            // asctime pads the day with a blank
        "Sun Nov 06 08:49:37 1994 GMT",
        "Sun Nov  6 08:49:37 94",
        "2024-05-03T18:00:00+09:00",
        "Sun, 06 Nov 1994 08:49:37 GMT\r\nX: y",
        "Sun, 0\xff Nov 1994 08:49:37 GMT",
        "Sun, 06 Nov 1994 08:49:37 GMT Sun, 06 Nov 1994 08:49:37 GMT",
    };
    for (const char *text : refused) {
        SCOPED_TRACE(text);
        SYSTEMTIME record = {1, 2, 3, 4, 5, 6, 7, 8};
        EXPECT_EQ(0, parse_http_date(text, &record));
        EXPECT_EQ(1, record.wYear);
        EXPECT_EQ(4, record.wDay);
        EXPECT_EQ(8, record.wMilliseconds);
    }
    SYSTEMTIME record;
    EXPECT_EQ(0, parse_http_date(nullptr, &record));
    EXPECT_EQ(0, parse_http_date("Sun, 06 Nov 1994 08:49:37 GMT", nullptr));
}

TEST(HttpDateTest, ValueCutAnywhereIsRefused)
{
    const std::string whole = "Sun, 06 Nov 1994 08:49:37 GMT";
    for (size_t length = 0; length < whole.size(); ++length) {
        SCOPED_TRACE(length);
        SYSTEMTIME record;
        EXPECT_EQ(0, parse_http_date(whole.substr(0, length).c_str(), &record));
    }
}

}  // namespace

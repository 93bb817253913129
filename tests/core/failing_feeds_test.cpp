// A feed's failing streak: when its notice is due, its file at the bounds and
// as garbage, and the notice's text.
#include "feed/patrol/failing_feeds.h"
#include "feed/deliver/feed_record.h"
#include "feed_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const char Url[] = "http://example.com/feed.xml";
const long long Day = 24 * 60 * 60;
const long long Start = 1796911385;  // 2026-12-10T14:03:05Z

std::string Sample()
{
    return "KIV failing feed 1\n"
           "url http://example.com/feed.xml\n"
           "since 2026-12-10T14:03:05Z\n"
           "failures 5\n"
           "noticed 0\n"
           "reason HTTP 404\n"
           "end\n";
}

TEST(FailingFeeds, SecondsSince1970AndBack)
{
    struct {
        SYSTEMTIME time;
        long long seconds;
        WORD weekday;
    } cases[] = {
        {Utc(1970, 1, 1, 0, 0, 0), 0, 4},
        {Utc(2024, 2, 29, 23, 59, 59), 1709251199, 4},
        {Utc(2026, 12, 10, 14, 3, 5), Start, 4},
        {Utc(9999, 12, 31, 23, 59, 59), 253402300799LL, 5},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.seconds, seconds_since_1970(c.time));
        SYSTEMTIME back;
        time_of_seconds(c.seconds, &back);
        EXPECT_EQ(0, memcmp(&back.wYear, &c.time.wYear, sizeof(WORD) * 2)) << c.seconds;
        EXPECT_EQ(c.time.wDay, back.wDay);
        EXPECT_EQ(c.time.wSecond, back.wSecond);
        EXPECT_EQ(c.weekday, back.wDayOfWeek) << c.seconds;
    }
}

// Three days of failing patrols, at least three of them, give one notice;
// then none until the streak starts anew.
TEST(FailingFeeds, NoticeDueAfterThreeDaysAndThreeFailures)
{
    struct Step {
        long long at;
        int due;
    };
    const std::vector<std::vector<Step>> streaks = {
        // daily patrols: the fourth, 72 hours after the first, is due
        {{0, 0}, {Day, 0}, {2 * Day, 0}, {3 * Day - 1, 0}, {3 * Day, 1}, {4 * Day, 0}, {40 * Day, 0}},
        // two failures three days apart: the third is due
        {{0, 0}, {5 * Day, 0}, {5 * Day + 60, 1}},
        // many failures in a short time are not enough
        {{0, 0}, {60, 0}, {120, 0}, {180, 0}, {2 * Day, 0}},
    };
    for (size_t s = 0; s < streaks.size(); ++s) {
        FailingFeed state;
        for (const Step &step : streaks[s]) {
            int due = add_failure(&state, Start + step.at, "timed out");
            EXPECT_EQ(step.due, due) << "streak " << s << " at " << step.at;
            if (due)
                state.noticed = true;
        }
        EXPECT_EQ(Start, state.since);
        EXPECT_EQ(streaks[s].size(), size_t(state.failures));
        EXPECT_STREQ("timed out", state.reason);
    }
    // The count stops at its bound; a reason beyond its room is cut.
    FailingFeed full;
    full.failures = MaxFailureCount;
    add_failure(&full, Start, std::string(500, 'r').c_str());
    EXPECT_EQ((unsigned long)MaxFailureCount, full.failures);
    EXPECT_EQ(size_t(OutcomeReasonSize - 1), strlen(full.reason));
}

TEST(FailingFeeds, FileWrittenAndReadBackBesideTheRecord)
{
    TempFolder folder;
    char path[MAX_PATH], record[MAX_PATH];
    ASSERT_EQ(1, failing_feed_path(folder.Path().c_str(), Url, path, sizeof path));
    ASSERT_EQ(1, feed_record_path(folder.Path().c_str(), Url, record, sizeof record));
    EXPECT_EQ(std::string(record, strlen(record) - 4) + ".fail", path);
    EXPECT_EQ(1, is_failing_feed_name(path + folder.Path().size() + 1));
    for (const char *other : {"feed-0123456789abcdef.rec", "feed-0123456789abcdef.fail.new",
                              "feed-0123456789ABCDEF.fail", "feed-0123.fail", ".fail", "patrol.log"})
        EXPECT_EQ(0, is_failing_feed_name(other)) << other;
    EXPECT_EQ(0, failing_feed_path(folder.Path().c_str(), Url, path, strlen(path)));
    ASSERT_EQ(1, failing_feed_path(folder.Path().c_str(), Url, path, sizeof path));

    FailingFeed state;
    EXPECT_EQ(0, read_failing_feed(path, Url, &state));   // none yet
    add_failure(&state, Start, "HTTP 404");
    state.failures = 5;
    ASSERT_EQ(1, write_failing_feed(path, Url, state));
    EXPECT_EQ(Sample(), ReadFileBytes(path));
    FailingFeed read;
    ASSERT_EQ(1, read_failing_feed(path, Url, &read));
    EXPECT_EQ(Start, read.since);
    EXPECT_EQ(5ul, read.failures);
    EXPECT_FALSE(read.noticed);
    EXPECT_STREQ("HTTP 404", read.reason);
    EXPECT_EQ(0, read_failing_feed(path, "http://example.com/other", &read));

    // At the bounds: the longest reason and count, and a file just beyond
    // MaxFailingFeedBytes.
    state.failures = MaxFailureCount;
    state.noticed = true;
    memset(state.reason, 'r', sizeof state.reason - 1);
    ASSERT_EQ(1, write_failing_feed(path, Url, state));
    ASSERT_EQ(1, read_failing_feed(path, Url, &read));
    EXPECT_EQ((unsigned long)MaxFailureCount, read.failures);
    EXPECT_TRUE(read.noticed);
    EXPECT_STREQ(state.reason, read.reason);
    std::string long_url = "http://example.com/" + std::string(MaxFailingFeedBytes, 'u');
    EXPECT_EQ(0, write_failing_feed(path, long_url.c_str(), state));
    WriteFileBytes(path, Sample() + std::string(MaxFailingFeedBytes, '\n'));
    EXPECT_EQ(0, read_failing_feed(path, Url, &read));
}

TEST(FailingFeeds, GarbageCountsAsNoStreak)
{
    FailingFeed state;
    ASSERT_EQ(1, parse_failing_feed(Sample().data(), Sample().size(), Url, &state));
    const std::string sample = Sample();
    auto replaced = [&](const std::string &from, const std::string &to) {
        std::string text = sample;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::vector<std::string> garbage = {
        "",
        sample.substr(0, sample.size() - 1),                     // cut in its last line
        sample.substr(0, sample.size() - 4),                     // no end
        sample + "x\n",                                          // more after the end
        replaced("KIV failing feed 1", "KIV failing feed 2"),
        replaced("url ", "url  "),
        replaced("2026-12-10T14:03:05Z", "2026-02-30T14:03:05Z"),
        replaced("2026-12-10T14:03:05Z", "2026-12-10 14:03:05Z"),
        replaced("2026-12-10T14:03:05Z", "1969-12-31T23:59:59Z"),
        replaced("2026-12-10T14:03:05Z", "2026-12-10T24:03:05Z"),
        replaced("failures 5", "failures 0"),
        replaced("failures 5", "failures 05"),
        replaced("failures 5", "failures -5"),
        replaced("failures 5", "failures 1000001"),
        replaced("failures 5", "failures 99999999999999999999"),
        replaced("noticed 0", "noticed 2"),
        replaced("noticed 0\nreason", "reason"),
        replaced("HTTP 404", "HTTP\t404"),
        replaced("HTTP 404", "HTTP \x83\x65"),
        replaced("HTTP 404", std::string(OutcomeReasonSize, 'r')),
        replaced("HTTP 404", std::string("HTTP\0 404", 9)),
        replaced("\n", "\r\n"),
    };
    for (const std::string &text : garbage) {
        state.failures = 7;
        EXPECT_EQ(0, parse_failing_feed(text.data(), text.size(), Url, &state)) << text;
        EXPECT_EQ(0ul, state.failures) << text;
    }
}

TEST(FailingFeeds, NoticeSaysWhichFeedFailsSinceWhenAndWhy)
{
    FailingFeed state;
    state.since = Start;
    state.failures = 4;
    snprintf(state.reason, sizeof state.reason, "HTTP 404");
    char notice[FailureNoticeSize];
    size_t length = compose_failure_notice(Url, state, Utc(2026, 12, 13, 14, 3, 6), Utc(2026, 12, 10, 23, 3, 5),
                                           notice, sizeof notice);
    ASSERT_EQ(strlen(notice), length);
    const std::string text(notice);
    EXPECT_EQ(0u, text.find("Date: 13 Dec 26 14:03:06 +0000\r\n"
                            "From: [KIV]\r\n"
                            "Subject: [KIV] 取得できないフィード http://example.com/feed.xml\r\n"
                            "To: [KIVv1.08]\r\n"
                            "\r\n"
                            "KIV からのお知らせです。\r\n"
                            "\r\n"
                            "2026/12/10 23:03 から、次のフィードを取得できていません。\r\n"
                            "http://example.com/feed.xml\r\n"
                            "\r\n"
                            "それ以来 4 回の巡回がすべて失敗しました。\r\n"
                            "最後の理由: HTTP 404\r\n"))
        << text;
    EXPECT_EQ(text.size() - 2, text.rfind("\r\n"));
    EXPECT_EQ(std::string::npos, text.find("\n\n"));   // every line ends CR LF

    // The longest address and reason fit; a buffer one byte short gives none
    // and no write past it.
    std::string url = "http://" + std::string(999 - 7, 'u');
    memset(state.reason, 'r', sizeof state.reason - 1);
    state.reason[sizeof state.reason - 1] = '\0';
    length = compose_failure_notice(url.c_str(), state, Utc(2026, 12, 13, 0, 0, 0), Utc(2026, 12, 10, 0, 0, 0),
                                    notice, sizeof notice);
    ASSERT_GT(length, 0u);
    EXPECT_NE(std::string::npos, std::string(notice).find(url + "\r\n"));
    std::vector<char> small(length + 16, '\x5a');
    EXPECT_EQ(0u, compose_failure_notice(url.c_str(), state, Utc(2026, 12, 13, 0, 0, 0), Utc(2026, 12, 10, 0, 0, 0),
                                         small.data(), length));
    EXPECT_EQ('\0', small[0]);
    for (size_t i = length; i < small.size(); ++i)
        EXPECT_EQ('\x5a', small[i]);
    EXPECT_EQ(length, compose_failure_notice(url.c_str(), state, Utc(2026, 12, 13, 0, 0, 0),
                                             Utc(2026, 12, 10, 0, 0, 0), small.data(), length + 1));
    // A control character in the address stays out of the header.
    compose_failure_notice("http://a/\r\nBcc: x", state, Utc(2026, 12, 13, 0, 0, 0), Utc(2026, 12, 10, 0, 0, 0),
                           notice, sizeof notice);
    EXPECT_EQ(std::string::npos, std::string(notice).find("\r\nBcc"));
}

}  // namespace

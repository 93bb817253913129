// The patrol log's words for each feed's outcome, and its lines at their
// bounds.
#include "feed/fetch/download_outcome.h"
#include "feed/patrol/patrol_log.h"
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

std::string Repeat(const std::string &text, size_t count)
{
    std::string repeated;
    for (size_t i = 0; i < count; ++i)
        repeated += text;
    return repeated;
}

std::string Words(const FeedOutcome &outcome)
{
    char text[OutcomeReasonSize + 40];
    describe_outcome(outcome, text, sizeof text);
    return text;
}

FeedOutcome OfDownload(int result, int failure, unsigned long error = 0, const char *reason = "", int status = 0)
{
    DownloadOutcome download;
    download.status = status;
    download.result = result;
    download.failure = failure;
    download.error = error;
    download.reason = reason;
    FeedOutcome outcome;
    outcome_of_download(download, &outcome);
    return outcome;
}

FeedOutcome OfConversion(int status, int failure, int items, const char *detail, bool appended = true,
                         int filtered = 0)
{
    ConversionReport report;
    report.failure = failure;
    report.items = items;
    report.filtered = filtered;
    snprintf(report.detail, sizeof report.detail, "%s", detail);
    FeedOutcome outcome;
    outcome_of_conversion(status, report, appended, &outcome);
    return outcome;
}

TEST(PatrolLog, EachOutcomeInWords)
{
    struct {
        FeedOutcome outcome;
        const char *words;
        bool success;
    } cases[] = {
        {OfConversion(200, ConversionRead, 1, ""), "delivered 1 item", true},
        {OfConversion(200, ConversionRead, 25, ""), "delivered 25 items", true},
        // A 404 page that is a feed is a feed.
        {OfConversion(404, ConversionRead, 2, ""), "delivered 2 items", true},
        {OfConversion(200, ConversionRead, 0, ""), "no new items", true},
        // Items the feed's rules held back are counted apart.
        {OfConversion(200, ConversionRead, 3, "", true, 2), "delivered 3 items, 2 filtered", true},
        {OfConversion(200, ConversionRead, 0, "", true, 1), "no new items, 1 filtered", true},
        {OfConversion(200, ConversionRead, 3, "", false, 2), "stopped before its end", false},
        {OfDownload(DownloadUnchanged, FailureOther), "unchanged (Last-Modified)", true},
        {OfDownload(DownloadNotModified, FailureOther), "unchanged (304 Not Modified)", true},
        {OfDownload(DownloadFailed, FailureOffline), "failed: offline (no Internet connection)", false},
        {OfDownload(DownloadFailed, FailureBadAddress, 12006), "failed: not an http or https address (error 12006)",
         false},
        {OfDownload(DownloadFailed, FailureHostNotFound, 12007), "failed: host not found (error 12007)", false},
        {OfDownload(DownloadFailed, FailureCannotConnect, 12029), "failed: cannot connect (error 12029)", false},
        {OfDownload(DownloadFailed, FailureConnectionClosed), "failed: connection closed before the whole response",
         false},
        {OfDownload(DownloadFailed, FailureTimedOut), "failed: timed out", false},
        {OfDownload(DownloadFailed, FailureCertificate, 12045), "failed: certificate refused (error 12045)", false},
        {OfDownload(DownloadFailed, FailureTooLarge), "failed: too large (over 8 MiB)", false},
        {OfDownload(DownloadFailed, FailureTooManyRedirects), "failed: too many redirects (over 10)", false},
        {OfDownload(DownloadFailed, FailureEmptyBody), "failed: empty response", false},
        {OfDownload(DownloadFailed, FailureEmptyBody, 0, "", 404), "failed: HTTP 404", false},
        {OfDownload(DownloadFailed, FailureTimedOut, 0, "", 500), "failed: HTTP 500", false},
        {OfDownload(DownloadFailed, FailureTooLarge, 0, "", 200), "failed: too large (over 8 MiB)", false},
        {OfDownload(DownloadFailed, FailureStopped), "stopped before its end", false},
        {OfDownload(DownloadFailed, FailureStopped, 0, "", 404), "stopped before its end", false},
        {OfConversion(200, ConversionRead, 3, "", false), "stopped before its end", false},
        // An error page tells its status; a page served as 200 what it is.
        {OfConversion(404, ConversionNotXml, 0, "parsing Element at line 1, column 1"), "failed: HTTP 404", false},
        {OfConversion(503, ConversionNotFeed, 0, "root element <html>"), "failed: HTTP 503", false},
        {OfConversion(200, ConversionNotXml, 0, "reading end tag at line 3, column 9"),
         "failed: not a feed: reading end tag at line 3, column 9", false},
        {OfConversion(200, ConversionNotFeed, 0, "root element <html>"), "failed: not a feed: root element <html>",
         false},
        {OfConversion(200, ConversionOddShape, 0, "elements nested too deeply"),
         "failed: a document of a shape no feed has: elements nested too deeply", false},
        // A login page is no feed either way.
        {OfDownload(DownloadFailed, FailureEmptyBody, 0, "", 401), "failed: login refused (HTTP 401)", false},
        {OfConversion(401, ConversionNotFeed, 0, "root element <html>"), "failed: login refused (HTTP 401)", false},
        {OfConversion(403, ConversionNotFeed, 0, "root element <html>"), "failed: HTTP 403", false},
        {OfDownload(DownloadFailed, FailureBrokenCoding), "failed: compressed body does not decode", false},
        {OfDownload(DownloadFailed, FailureUnreadableCoding),
         "failed: compressed in a form not asked for (Content-Encoding)", false},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.words, Words(c.outcome));
        EXPECT_EQ(c.success, outcome_is_success(c.outcome) == 1) << c.words;
    }
}

// A pause the server asked for is no failure in words, but it is no
// success either: a pause that lasts is a feed that cannot be read.
TEST(PatrolLog, PauseAskedByTheServer)
{
    const SYSTEMTIME until = Utc(2026, 12, 11, 3, 4, 5);
    FeedOutcome outcome;
    pause_outcome(&outcome, until, 503);
    EXPECT_EQ("paused by the server until 2026/12/11 03:04:05 (HTTP 503)", Words(outcome));
    EXPECT_FALSE(outcome_is_success(outcome));
    EXPECT_TRUE(outcome.feed_failed);
    pause_outcome(&outcome, until, 0);
    EXPECT_EQ("paused by the server until 2026/12/11 03:04:05", Words(outcome));
    char line[PatrolLogLineSize];
    format_patrol_line(until, "http://example.com/f", outcome, line, sizeof line);
    EXPECT_STREQ("2026/12/11 03:04:05 http://example.com/f paused by the server until 2026/12/11 03:04:05\r\n", line);
}

// A feed set aside by its own settings is not requested: neither success
// nor failure, and a feed not yet due by its interval is no verdict either.
TEST(PatrolLog, FeedsSetAsideByTheirSettings)
{
    const SYSTEMTIME until = Utc(2026, 12, 11, 3, 4, 5);
    FeedOutcome paused, not_due;
    set_aside_outcome(&paused, 0, until);
    set_aside_outcome(&not_due, 24, until);
    EXPECT_EQ("paused in feeds.ini, not requested", Words(paused));
    EXPECT_EQ("not due (requested every 24 hours, next after 2026/12/11 03:04:05)", Words(not_due));
    for (const FeedOutcome *outcome : {&paused, &not_due}) {
        EXPECT_FALSE(outcome_is_success(*outcome));
        EXPECT_FALSE(outcome->feed_failed);
    }
    std::string log = "2026/12/10 04:01:00 http://a/ delivered 2 items\r\n"
                      "2026/12/10 05:01:00 http://a/ " + Words(not_due) + "\r\n";
    std::string stamp, words;
    ASSERT_EQ(1, find_last_verdict(log.data(), log.size(), "http://a/", &stamp, &words));
    EXPECT_EQ("delivered 2 items", words);
    log += "2026/12/10 06:01:00 http://a/ " + Words(paused) + "\r\n";
    ASSERT_EQ(1, find_last_verdict(log.data(), log.size(), "http://a/", &stamp, &words));
    EXPECT_EQ("paused in feeds.ini, not requested", words);
}

// The patrols in a row whose new items the feed's rules all held back, the
// newest first; a stop or a feed not due between them breaks nothing.
TEST(PatrolLog, PatrolsWhoseItemsWereAllHeldBack)
{
    const std::string held = "2026/12/10 04:01:00 http://a/ no new items, 2 filtered\r\n";
    const std::string none = "2026/12/10 04:01:00 http://a/ no new items\r\n";
    const std::string some = "2026/12/10 04:01:00 http://a/ delivered 1 item, 2 filtered\r\n";
    const std::string stop = "2026/12/10 04:01:00 http://a/ stopped before its end\r\n";
    const std::string other = "2026/12/10 04:01:00 http://b/ delivered 1 item\r\n";
    struct {
        std::string log;
        int held;
    } cases[] = {
        {held + held + held, 3},
        {held + held + held + held, 3},  // counted up to the most asked for
        {none + held + held, 2},
        {held + some + held + held, 2},
        {held + held + stop + other + held, 3},
        {held + held + none, 0},
        {other, 0},
        {"", 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.held, held_back_patrols(c.log.data(), c.log.size(), "http://a/", 3)) << c.log;
}

// Failures of this computer's are logged but count against no feed: a
// failing streak must not grow while the computer is offline.
TEST(PatrolLog, FailuresOfThisComputerSayNothingOfTheFeed)
{
    struct {
        FeedOutcome outcome;
        const char *words;
        bool feed_failed;
    } cases[] = {
        {OfDownload(DownloadFailed, FailureOffline), "failed: offline (no Internet connection)", false},
        {OfDownload(DownloadFailed, FailureLocal, 0, "too many stalled downloads"),
         "failed: too many stalled downloads", false},
        {OfDownload(DownloadFailed, FailureLocal, 0, "cannot write the download file"),
         "failed: cannot write the download file", false},
        {OfConversion(200, ConversionNoRoom, 0, "no message buffer"), "failed: no room for the message: no message buffer",
         false},
        {OfDownload(DownloadFailed, FailureSecureConnection, 12157), "failed: no secure connection (error 12157)", true},
        {OfDownload(DownloadFailed, FailureBadResponse, 12152), "failed: no valid HTTP response (error 12152)", true},
        {OfDownload(DownloadFailed, FailureCannotConnect, 12029), "failed: cannot connect (error 12029)", true},
        {OfDownload(DownloadFailed, FailureOther, 0, "no response"), "failed: no response", true},
        {OfDownload(DownloadFailed, FailureEmptyBody, 0, "", 404), "failed: HTTP 404", true},
        {OfConversion(200, ConversionNotFeed, 0, "root element <html>"), "failed: not a feed: root element <html>",
         true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.words, Words(c.outcome));
        EXPECT_EQ(c.feed_failed, c.outcome.feed_failed) << c.words;
    }
}

// What the conversion tells of documents that are no feeds, bounded and in
// plain ASCII whatever the document holds.
TEST(PatrolLog, ConversionTellsWhyADocumentIsNoFeed)
{
    const std::string many = Repeat("<b>", MaxElementDepth + 1) + Repeat("</b>", MaxElementDepth + 1);
    struct {
        std::string xml;
        int failure;
        std::string detail;
    } cases[] = {
        {"<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>\n<title>T</title></chanel></rss>", ConversionNotXml,
         "reading end tag at line 3, column 17"},
        {"", ConversionNotXml, "document empty"},
        {"<html><body>Moved</body></html>", ConversionNotFeed, "root element <html>"},
        {"<rss version=\"9\"><channel/></rss>", ConversionNotFeed, "root element <rss version=\"9\">"},
        {"<x\xe3\x81\x82 version=\"\x01\"/>", ConversionNotFeed, "root element <x??? version=\"?\">"},
        {"<" + std::string(200, 'x') + "/>", ConversionNotFeed, "root element <" + std::string(40, 'x') + ">"},
        {many, ConversionOddShape, "elements nested too deeply"},
        {Rss20Feed("<item><title>A</title><dc:date>2024-05-03T18:00:00+09:00</dc:date></item>"
                   "<item><title>B</title><dc:date>2024-05-02T18:00:00+09:00</dc:date></item>"),
         ConversionRead, ""},
    };
    for (const auto &c : cases) {
        Conversion conversion = ConvertText(c.xml, nullptr);
        EXPECT_EQ(c.failure, conversion.report.failure) << c.xml.substr(0, 60);
        EXPECT_EQ(c.detail, conversion.report.detail) << c.xml.substr(0, 60);
        EXPECT_EQ(c.failure == ConversionRead ? 2 : 0, conversion.report.items);
    }
    // Nothing new is a feed read, with no items.
    Conversion old = ConvertText(Rss20Feed("<item><title>A</title><dc:date>2024-05-03T18:00:00+09:00</dc:date></item>"),
                                 "2025-01-01T00:00:00+00:00");
    EXPECT_EQ(0, old.result);
    EXPECT_EQ(ConversionRead, old.report.failure);
    EXPECT_EQ(0, old.report.items);
}

TEST(PatrolLog, LineOfDateAddressAndOutcome)
{
    const SYSTEMTIME time = Utc(2026, 12, 10, 4, 3, 5);
    FeedOutcome delivered = OfConversion(200, ConversionRead, 3, "");
    char line[PatrolLogLineSize];
    size_t length = format_patrol_line(time, "http://example.com/feed.xml", delivered, line, sizeof line);
    EXPECT_EQ("2026/12/10 04:03:05 http://example.com/feed.xml delivered 3 items\r\n", std::string(line));
    EXPECT_EQ(strlen(line), length);

    // A control character in the address cannot break the line; Shift-JIS
    // bytes stay as they are.
    format_patrol_line(time, "http://example.com/\r\nfeed\x83\x65.xml", delivered, line, sizeof line);
    EXPECT_EQ("2026/12/10 04:03:05 http://example.com/ feed\x83\x65.xml delivered 3 items\r\n", std::string(line));

    // The longest address and the longest reason fit whole.
    FeedOutcome failed;
    fail_outcome(&failed, std::string(OutcomeReasonSize * 2, 'r').c_str());
    EXPECT_EQ(size_t(OutcomeReasonSize - 1), strlen(failed.reason));
    std::string url = "http://" + std::string(999 - 7, 'u');
    length = format_patrol_line(time, url.c_str(), failed, line, sizeof line);
    EXPECT_EQ("2026/12/10 04:03:05 " + url + " failed: " + failed.reason + "\r\n", std::string(line));
    EXPECT_LT(length, sizeof line);

    // A buffer too small cuts the address, then the words, never the line end
    // or the buffer.
    for (size_t size : {size_t(23), size_t(24), size_t(40), size_t(80)}) {
        std::vector<char> small(size + 8, '\x5a');
        length = format_patrol_line(time, url.c_str(), delivered, small.data(), size);
        EXPECT_EQ(size - 1, length) << size;
        EXPECT_EQ(0, memcmp(small.data(), "2026/12/10 04:03:05 ", 20)) << size;
        EXPECT_EQ("\r\n", std::string(small.data() + length - 2)) << size;
        for (size_t i = size; i < small.size(); ++i)
            EXPECT_EQ('\x5a', small[i]) << size;
    }
    std::string words_kept(80, '\0');
    format_patrol_line(time, url.c_str(), delivered, &words_kept[0], 80);
    EXPECT_NE(std::string::npos, words_kept.find("u delivered 3 items\r\n"));
    EXPECT_EQ(0u, format_patrol_line(time, url.c_str(), delivered, line, 22));
}

// The URL LIST page reads back what the log wrote: the last line of the
// feed with a verdict, whatever came after it of other feeds, stops and moves.
TEST(PatrolLog, LastVerdictReadBackFromTheLog)
{
    const char *feed = "http://example.com/feed";
    std::string log;
    auto write = [&log](int minute, const char *url, const FeedOutcome &outcome) {
        char line[PatrolLogLineSize];
        format_patrol_line(Utc(2026, 12, 10, 4, minute, 0), url, outcome, line, sizeof line);
        log += line;
    };
    FeedOutcome failed, stopped, moved;
    fail_outcome(&failed, "HTTP 404");
    stopped.kind = FeedStopped;
    moved.kind = FeedMoved;
    snprintf(moved.reason, sizeof moved.reason, "https://example.com/new");
    write(1, feed, OfConversion(200, ConversionRead, 3, ""));
    write(2, feed, failed);
    write(3, "http://example.com/feed2", OfConversion(200, ConversionRead, 1, ""));
    write(4, "http://example.com/fee", OfConversion(200, ConversionRead, 2, ""));
    write(5, feed, stopped);
    write(6, feed, moved);

    struct Case {
        std::string text;
        const char *url;
        int found;
        const char *stamp, *words;
    } cases[] = {
        {log, feed, 1, "2026/12/10 04:02:00", "failed: HTTP 404"},
        // Neither a longer address nor a shorter one is the feed's.
        {log, "http://example.com/feed2", 1, "2026/12/10 04:03:00", "delivered 1 item"},
        {log, "http://example.com/fee", 1, "2026/12/10 04:04:00", "delivered 2 items"},
        {log, "http://example.com/other", 0, "", ""},
        // Only a stop or a move since the start of the log: no verdict.
        {log.substr(log.find("2026/12/10 04:05")), feed, 0, "", ""},
        // Lines that end in LF alone, and a last line without an end.
        {"2026/12/10 04:01:00 http://a/ no new items\n2026/12/10 04:02:00 http://a/ delivered 2 items", "http://a/",
         1, "2026/12/10 04:02:00", "delivered 2 items"},
        // Lines too short, cut, or not of the log's shape.
        {"2026/12/10 04:01:00 http://a/ no new items\r\nhttp://a/ delivered 2 items\r\n2026/12/10 04:02:00 "
         "http://a/\r\n2026/12/10 04:02:00 http://a/ \r\n2026/12/10-04:02:00 http://a/ delivered 2 items\r\n\r\n",
         "http://a/", 1, "2026/12/10 04:01:00", "no new items"},
        {"x\r\n\r\n\n", "http://a/", 0, "", ""},
        {"", "http://a/", 0, "", ""},
    };
    for (const Case &c : cases) {
        std::string stamp, words;
        EXPECT_EQ(c.found, find_last_verdict(c.text.data(), c.text.size(), c.url, &stamp, &words)) << c.url;
        EXPECT_EQ(c.stamp, stamp) << c.url;
        EXPECT_EQ(c.words, words) << c.url;
    }
}

}  // namespace

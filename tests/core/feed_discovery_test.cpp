// A fetched address judged for ADD: a feed stays as typed, a page's feed
// links are offered only when they could be listed, and an error page or a
// page without them is neither, with the reason kept.
#include "dialogs/feed_discovery.h"

#include "test_support.h"

#include <gtest/gtest.h>
#include <string>

namespace {

const char Site[] = "http://site.example/";

struct Case {
    const char *what;
    std::string body;
    int status;
    int kind;
    int why;            // when DiscoveredNothing
    size_t links;       // when DiscoveredLinks
};

TEST(FeedDiscovery, JudgesWhatAnAddressLeadsTo)
{
    const std::string rss = "<rss version=\"2.0\"><channel><title>t</title></channel></rss>";
    const std::string links = "<html><head><link rel=alternate type=application/rss+xml href=/a>"
                              "<link rel=alternate type=application/atom+xml href=\"gopher://x/\">"
                              "<link rel=alternate type=application/atom+xml href=\"/b c\"></head></html>";
    const std::string unlistable = "<html><head><link rel=alternate type=application/rss+xml href=\"ftp://x/\">"
                                   "<link rel=alternate type=application/rss+xml href=\"/" +
                                   std::string(1000, 'a') + "\"></head></html>";
    const Case cases[] = {
        {"a feed", rss, 200, DiscoveredFeed, 0, 0},
        {"a feed on an error page is still a feed", rss, 404, DiscoveredFeed, 0, 0},
        {"a page: only the listable link", links, 200, DiscoveredLinks, 0, 1},
        {"an error page's links are not taken", links, 404, DiscoveredNothing, WhyHttpStatus, 0},
        {"links beyond what can be listed", unlistable, 200, DiscoveredNothing, WhyNoListableLink, 0},
        {"a page without feed links", "<html><head><title>x</title></head></html>", 200, DiscoveredNothing,
         WhyNoFeedLink, 0},
        {"an unreadable document", "<rss><channel>", 200, DiscoveredNothing, WhyNoFeedLink, 0},
    };
    InstallTestHostConversions();
    TempFolder folder;
    for (const Case &c : cases) {
        WriteFileBytes(folder.Path("body"), c.body);
        Discovery found;
        judge_download(folder.Path("body").c_str(), Site, c.status, &found);
        EXPECT_EQ(found.kind, c.kind) << c.what;
        if (c.kind == DiscoveredNothing) {
            EXPECT_EQ(found.why, c.why) << c.what;
            EXPECT_EQ(found.status, c.status) << c.what;
        }
        ASSERT_EQ(found.links.size(), c.links) << c.what;
        if (c.links) {
            EXPECT_STREQ(found.links[0].address, "http://site.example/a") << c.what;
        }
    }
    // Why a document is no feed is kept for the person, on one line.
    WriteFileBytes(folder.Path("body"), "<html><head></head><body>x</body></html>");
    Discovery found;
    judge_download(folder.Path("body").c_str(), Site, 200, &found);
    EXPECT_STREQ(found.detail, "root element <html>");
}

}  // namespace

// Moved feeds: the streak of permanent redirects counted patrol by patrol,
// and kept in the feed's record as an optional line beside the feed's title
// and site link.
#include "feed/deliver/feed_record.h"
#include "feed/patrol/moved_feeds.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MovedFeeds, OnlyTheSameAddressOnWorkingPatrolsInARowMakesAMoveDue)
{
    struct Patrol {
        bool worked;
        const char *moved_to;
        int changed;
        int patrols;  // after it
        int due;
    };
    struct Case {
        const char *name;
        std::vector<Patrol> patrols;
    } cases[] = {
        {"three in a row", {{true, "http://n/", 1, 1, 0}, {true, "http://n/", 1, 2, 0}, {true, "http://n/", 1, 3, 1}}},
        {"a failure neither counts nor breaks the row",
         {{true, "http://n/", 1, 1, 0}, {false, "", 0, 1, 0}, {true, "http://n/", 1, 2, 0}, {true, "http://n/", 1, 3, 1}}},
        {"a patrol without the redirect starts over",
         {{true, "http://n/", 1, 1, 0}, {true, "http://n/", 1, 2, 0}, {true, "", 1, 0, 0}, {true, "http://n/", 1, 1, 0}}},
        {"another address starts over",
         {{true, "http://n/", 1, 1, 0}, {true, "http://n/", 1, 2, 0}, {true, "http://m/", 1, 1, 0}}},
        {"nothing to count", {{true, "", 0, 0, 0}, {false, "http://n/", 0, 0, 0}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FeedRecord record;
        for (const Patrol &p : c.patrols) {
            EXPECT_EQ(p.changed, count_move(&record, p.worked, p.moved_to));
            EXPECT_EQ(p.patrols, record.moved_patrols);
            EXPECT_EQ(p.due, move_is_due(record));
        }
    }
}

TEST(MovedFeeds, TheStreakIsAnOptionalLineOfTheRecord)
{
    FeedRecord record;
    record.memory.scope = EveryKey;
    record.memory.keys = {"g a"};
    record.etag = "\"e\"";
    record.moved_to = "https://n.example/feed";
    record.moved_patrols = 2;
    record.title = "\xe6\x97\xa5 news";
    record.site = "https://n.example/";
    std::string text = format_feed_record("http://o/", record);
    EXPECT_EQ("KIV feed record 2\nurl http://o/\netag \"e\"\ntitle \xe6\x97\xa5 news\nlink https://n.example/\n"
              "moved 2 https://n.example/feed\nkey g a\nend\n",
              text);
    FeedRecord read;
    ASSERT_EQ(1, parse_feed_record(text.data(), text.size(), "http://o/", &read));
    EXPECT_EQ(record.moved_to, read.moved_to);
    EXPECT_EQ(2, read.moved_patrols);
    EXPECT_EQ(record.title, read.title);
    EXPECT_EQ(record.site, read.site);
    EXPECT_EQ(record.memory.keys, read.memory.keys);

    // Without the line, no streak; a line out of bounds makes no record.
    const char *records[] = {
        "KIV feed record 2\nurl http://o/\nend\n",
        "KIV feed record 2\nurl http://o/\nmoved 0 http://n/\nend\n",
        "KIV feed record 2\nurl http://o/\nmoved 4 http://n/\nend\n",
        "KIV feed record 2\nurl http://o/\nmoved 1 http://n/ x\nend\n",
        "KIV feed record 2\nurl http://o/\nmoved 1 \nend\n",
        "KIV feed record 2\nurl http://o/\nmoved 1 http://n/\nmoved 1 http://m/\nend\n",
        "KIV feed record 2\nurl http://o/\ntitle a\x01b\nend\n",
        "KIV feed record 2\nurl http://o/\ntitle a\ntitle b\nend\n",
    };
    int results[] = {1, 0, 0, 0, 0, 0, 0, 0};
    for (size_t i = 0; i < sizeof records / sizeof *records; ++i) {
        SCOPED_TRACE(records[i]);
        EXPECT_EQ(results[i], parse_feed_record(records[i], strlen(records[i]), "http://o/", &read));
        EXPECT_TRUE(read.moved_to.empty());
    }
}

}  // namespace

// Whole conversions: a feed file becomes one message, byte for byte, with
// the items newer than the last-seen date and the newest date reported.
#include "feed_test_support.h"
#include "resources/version.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

#include <gtest/gtest.h>

namespace {

const std::string Header = "Date: 03 May 24 18:00:00 +0900\r\n"
                           "From: [http://garden.example/]\r\n"
                           "Subject: Garden Notes -Weekly notes-\r\n"
                           "To: [KIVv1.08]\r\n"
                           "\r\n"
                           "http://garden.example/\n\n---\n";
const std::string TomatoesBlock = "2024/05/03 18:00:00+09:00\n"
                                  "Tomatoes [ vegetables ]\n"
                                  "http://garden.example/tomatoes\n"
                                  "Staking the plants.\n\n";
const std::string RosesBlock = "2024/05/01 08:15:00+09:00\n"
                               "Roses [  ]\n"
                               "http://garden.example/roses\n\n";

class FeedMessage : public ::testing::Test {
protected:
    void SetUp() override { InstallTestHostConversions(); }
};

TEST_F(FeedMessage, WorkedExampleStopsAtTheFirstOlderItem)
{
    Conversion c = ConvertFile(TestDataPath("feeds/garden_notes.xml"), "2024-05-02T00:00:00+09:00");
    EXPECT_EQ(1, c.result);
    EXPECT_EQ(Header + TomatoesBlock + "\r\n", c.message);
    EXPECT_EQ("2024-05-03T18:00:00+09:00", c.newest);
    EXPECT_TRUE(c.stayed_inside);
}

TEST_F(FeedMessage, WorkedExampleWithAnEarlierLastSeenDate)
{
    Conversion c = ConvertFile(TestDataPath("feeds/garden_notes.xml"), "2024-04-30T00:00:00+09:00");
    EXPECT_EQ(1, c.result);
    EXPECT_EQ(Header + TomatoesBlock + RosesBlock + "\r\n", c.message);
    EXPECT_EQ("2024-05-03T18:00:00+09:00", c.newest);
}

TEST_F(FeedMessage, Atom03)
{
    Conversion c = ConvertFile(TestDataPath("feeds/atom03.xml"), nullptr);
    EXPECT_EQ(1, c.result);
    EXPECT_EQ("Date: 03 May 24 10:00:00 +0000\r\n"
              "From: [http://field.example/]\r\n"
              "Subject: Field Log -Notes from the field-\r\n"
              "To: [KIVv1.08]\r\n\r\n"
              "http://field.example/\n\n---\n"
              "2024/05/03 10:00:00+00:00\nHedgehogs [ animals ]\nhttp://field.example/hedgehogs\n"
              "Two seen at dusk.\n\n"
              "2024/05/02 21:30:00+09:00\nFrost [  ]\nhttp://field.example/frost\nLate frost & covers.\n\n"
              "\r\n",
              c.message);
    EXPECT_EQ("2024-05-03T10:00:00+00:00", c.newest);
    // The second entry (12:30 UTC on the 2nd) is not newer than this.
    Conversion later = ConvertFile(TestDataPath("feeds/atom03.xml"), "2024-05-02T12:30:00Z");
    EXPECT_EQ(1, later.result);
    EXPECT_EQ(std::string::npos, later.message.find("Frost"));
}

// Atom 1.0 keeps its description in subtitle, read when there is no
// tagline, and its link in the alternate link; it dates its entries by
// updated, so each is delivered once.
TEST_F(FeedMessage, Atom10)
{
    Conversion c = ConvertFile(TestDataPath("feeds/atom10.xml"), "2024-05-02T00:00:00+09:00");
    EXPECT_EQ(1, c.result);
    EXPECT_EQ("Date: 03 May 24 10:00:00 +0000\r\n"
              "From: [http://orchard.example/]\r\n"
              "Subject: Orchard -Not read: the description is tagline only-\r\n"
              "To: [KIVv1.08]\r\n\r\n"
              "http://orchard.example/\n\n---\n"
              "2024/05/03 10:00:00+00:00\nBlossom [  ]\nhttp://orchard.example/blossom\nApples in bloom.\n\n"
              "2024/05/02 10:00:00+00:00\nBees [  ]\nhttp://orchard.example/bees\n\n"
              "\r\n",
              c.message);
    EXPECT_EQ("2024-05-03T10:00:00+00:00", c.newest);
    Conversion later = ConvertFile(TestDataPath("feeds/atom10.xml"), c.newest.c_str());
    EXPECT_EQ(0, later.result);
}

// The textinput after the items is no item.
TEST_F(FeedMessage, Rss10WalksOnlyItsItems)
{
    Conversion c = ConvertFile(TestDataPath("feeds/rss10.xml"), "2024-04-01T00:00:00Z");
    EXPECT_EQ(1, c.result);
    EXPECT_EQ("Date: 03 May 24 00:00:00 +0000\r\n"
              "From: [http://pond.example/]\r\n"
              "Subject: Pond -Life in the pond-\r\n"
              "To: [KIVv1.08]\r\n\r\n"
              "http://pond.example/\n\n---\n"
              "2024/05/03 00:00:00+00:00\nFrogs [ amphibians ]\nhttp://pond.example/frogs\n"
              "Spawn in March.\n\n"
              "2024/04/20 12:00:00+00:00\nNewts [  ]\nhttp://pond.example/newts\n\n"
              "\r\n",
              c.message);
    EXPECT_EQ("2024-05-03T00:00:00+00:00", c.newest);
}

// Descriptions carrying HTML, escaped or in CDATA, read as text with their
// links listed; a description without markup keeps its bytes.
TEST_F(FeedMessage, HtmlDescriptionsReadAsText)
{
    Conversion c = ConvertFile(TestDataPath("feeds/escaped_html.xml"), nullptr);
    EXPECT_EQ(1, c.result);
    EXPECT_EQ("Date: 03 May 24 18:00:00 +0900\r\n"
              "From: [http://bench.example/]\r\n"
              "Subject: Bench Notes -Woodwork-\r\n"
              "To: [KIVv1.08]\r\n\r\n"
              "http://bench.example/\n\n---\n"
              "2024/05/03 18:00:00+09:00\nDovetails [  ]\nhttp://bench.example/dovetails\n"
              "Mark the tails & cut them’s way:\n\n- saw\n- chisel\n\nSee the saws[1]. A drawing\n\n"
              "[1] http://bench.example/saws?a=1&b=2\n\n"
              "2024/05/02 18:00:00+09:00\nGlue [  ]\nhttp://bench.example/glue\n"
              "Clamp for an hour.\nThen wait…\n\n"
              "2024/05/01 18:00:00+09:00\nSizes [  ]\nhttp://bench.example/sizes\n"
              "5 < 6 & 7, as before.\n\n"
              "\r\n",
              c.message);
    EXPECT_TRUE(c.stayed_inside);
}

TEST_F(FeedMessage, Rss091ItemsWithoutDatesAreAlwaysNew)
{
    for (const char *last_seen : {"2999-01-01T00:00:00Z", "", "garbage", static_cast<const char *>(nullptr)}) {
        Conversion c = ConvertFile(TestDataPath("feeds/rss091.xml"), last_seen);
        EXPECT_EQ(1, c.result);
        EXPECT_EQ("From: [http://weather.example/]\r\n"
                  "Subject: Weather -Daily weather-\r\n"
                  "To: [KIVv1.08]\r\n\r\n"
                  "http://weather.example/\n\n---\n"
                  "\nRain [  ]\nhttp://weather.example/rain\nAll day.\n\n"
                  "\nSun [  ]\nhttp://weather.example/sun\n\n"
                  "\r\n",
                  c.message.substr(32));
        EXPECT_EQ(1, FeedConverter::is_valid_date(c.newest.c_str()));
    }
}

std::string DatedItem(const std::string &title, const std::string &date)
{
    return "<item><title>" + title + "</title><dc:date>" + date + "</dc:date></item>";
}

std::string Titles(const std::string &message)
{
    std::string titles;
    for (size_t at = message.find(" [ "); at != std::string::npos; at = message.find(" [ ", at + 1)) {
        size_t start = message.rfind('\n', at) + 1;
        titles += message.substr(start, at - start) + ",";
    }
    return titles;
}

TEST_F(FeedMessage, EveryLaterItemIsNewAndTheLatestDateIsKept)
{
    const std::string newest_first = DatedItem("a", "2024-05-03T18:00:00+09:00") +
                                     DatedItem("b", "2024-05-03T09:00:00Z") + DatedItem("c", "2024-05-01");
    const std::string oldest_first = DatedItem("a", "2024-05-01") + DatedItem("b", "2024-05-02") +
                                     DatedItem("c", "2024-05-03");
    const std::string unordered = DatedItem("a", "2024-05-01") + DatedItem("b", "2024-05-03T18:00:00+09:00") +
                                  DatedItem("c", "2024-05-03T09:00:00Z") + DatedItem("d", "2024-05-02");
    struct Case {
        std::string items;
        const char *last_seen;
        int result;
        const char *titles;
        const char *newest;
    } cases[] = {
        // An equal moment in another zone is not later.
        {newest_first, "2024-05-03T09:00:00Z", 0, "", ""},
        {newest_first, "2024-05-03T08:59:59Z", 1, "a,b,", "2024-05-03T18:00:00+09:00"},
        {newest_first, "2024-05-01T00:00:00+00:00", 1, "a,b,", "2024-05-03T18:00:00+09:00"},
        {newest_first, nullptr, 1, "a,b,c,", "2024-05-03T18:00:00+09:00"},
        {newest_first, "2024-05-01T00:00:00", 1, "a,b,c,", "2024-05-03T18:00:00+09:00"},
        {oldest_first, "2024-04-30T00:00:00Z", 1, "a,b,c,", "2024-05-03T00:00:00+00:00"},
        {oldest_first, "2024-05-03T00:00:00+00:00", 0, "", ""},
        // The latest date wins, the first of equal ones stays.
        {unordered, DefaultTimestamp, 1, "a,b,c,d,", "2024-05-03T18:00:00+09:00"},
        // An old item first (a pinned notice) hides none after it.
        {unordered, "2024-05-02T00:00:00+00:00", 1, "b,c,", "2024-05-03T18:00:00+09:00"},
        {DatedItem("pinned", "2020-01-01") + newest_first, "2024-05-03T08:59:59Z", 1, "a,b,",
         "2024-05-03T18:00:00+09:00"},
        {"", DefaultTimestamp, 0, "", ""},
    };
    for (const Case &c : cases) {
        Conversion conversion = ConvertText(Rss20Feed(c.items), c.last_seen);
        EXPECT_EQ(c.result, conversion.result) << c.items << " since " << (c.last_seen ? c.last_seen : "(null)");
        if (conversion.result == 1) {
            EXPECT_EQ(c.titles, Titles(conversion.message)) << c.items;
        }
        EXPECT_EQ(c.newest, conversion.newest) << c.items;
    }
}

// Keys: the guid, else the link, else a digest of title and description.
// The first conversion goes by dates and remembers every key; from then on
// an item is new when its key is not remembered.
TEST_F(FeedMessage, ItemsAreNewOnceByTheirKeys)
{
    auto item = [](const std::string &children) { return "<item>" + children + "</item>"; };
    const std::string first = item("<title>g1</title><guid>urn:1</guid><link>http://l/1</link>") +
                              item("<title>l2</title><link>http://l/2</link>") +
                              item("<title>d3</title><description>three</description>") +
                              DatedItem("dated", "2024-05-03T00:00:00Z");
    ItemMemory memory;
    Conversion c = ConvertText(Rss20Feed(first), "2024-05-01T00:00:00Z", 0, &memory);
    EXPECT_EQ("g1,l2,d3,dated,", Titles(c.message));
    EXPECT_EQ(EveryKey, memory.scope);
    // Oldest first: a document's last item is taken as its oldest.
    ASSERT_EQ(4u, memory.keys.size());
    EXPECT_EQ(0u, memory.keys[0].find("d "));
    EXPECT_EQ("l http://l/2", memory.keys[2]);
    EXPECT_EQ("g urn:1", memory.keys[3]);

    // The same items again, one with a new link but its guid, one with a
    // changed description, and a new one on top.
    const std::string second = item("<title>new</title><guid>urn:0</guid>") +
                               item("<title>g1</title><guid>urn:1</guid><link>http://l/moved</link>") +
                               item("<title>l2</title><link>http://l/2</link>") +
                               item("<title>d3</title><description>three!</description>") +
                               DatedItem("dated", "2024-05-03T00:00:00Z");
    Conversion again = ConvertText(Rss20Feed(second), c.newest.c_str(), 0, &memory);
    EXPECT_EQ("new,d3,", Titles(again.message));
    EXPECT_EQ(6u, memory.keys.size());  // the old digest of d3 stays remembered
    Conversion third = ConvertText(Rss20Feed(second), c.newest.c_str(), 0, &memory);
    EXPECT_EQ(0, third.result);
    EXPECT_TRUE(memory.walked);
    EXPECT_EQ(6u, memory.keys.size());

    // An item left out of a full message is not remembered: it comes again.
    ItemMemory cut;
    cut.scope = EveryKey;
    const std::string long_items = item("<title>a</title><guid>a</guid>") +
                                   item("<title>b</title><guid>b</guid><description>" + std::string(300, 'x') +
                                        "</description>");
    Conversion full = ConvertText(Rss20Feed(long_items), nullptr, 200, &cut);
    EXPECT_EQ("a,", Titles(full.message));
    EXPECT_EQ(std::vector<std::string>{"g a"}, cut.keys);
    Conversion rest = ConvertText(Rss20Feed(long_items), nullptr, 0, &cut);
    EXPECT_EQ("b,", Titles(rest.message));

    // Control characters do not break a key's line.
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><entry><id>tag:a&#10;b&#9;c</id></entry>");
    EXPECT_EQ("g tag:a b c", item_key(TiXmlHandle(document.RootElement()), FeedAtom));
}

// Patrols of one feed in turn, each a document, from a memory and a
// last-seen time; each patrol delivers exactly the items a reader expects.
TEST_F(FeedMessage, EachPatrolDeliversWhatIsNewByKey)
{
    auto dated = [](const std::string &title, const std::string &date, const std::string &extra = "") {
        return "<item><title>" + title + "</title><guid>urn:" + title + "</guid>" + extra + "<dc:date>" + date +
               "</dc:date></item>";
    };
    auto linked = [](const std::string &title, const std::string &date) {
        return "<item><title>" + title + "</title><link>http://l/same</link><dc:date>" + date + "</dc:date></item>";
    };
    const std::string a = dated("a", "2024-06-01"), b = dated("b", "2024-06-02T10:00:00Z"),
                      c = dated("c", "2024-05-20T08:00:00+09:00"), undated = "<item><guid>u</guid><title>u</title></item>";
    struct Case {
        const char *what;
        KeyScope scope;
        std::vector<std::string> keys;  // remembered before the first patrol
        const char *last_seen;
        std::vector<std::pair<std::string, const char *>> patrols;  // document, titles delivered
    } cases[] = {
        {"same day", NoKeys, {}, DefaultTimestamp,
         {{a, "a,"}, {dated("a2", "2024-06-01") + a, "a2,"}, {dated("a2", "2024-06-01") + a, ""}}},
        {"back-dated", NoKeys, {}, DefaultTimestamp, {{b + a, "b,a,"}, {b + c + a, "c,"}, {b + c + a, ""}}},
        {"leaves and returns", NoKeys, {}, DefaultTimestamp, {{b + a, "b,a,"}, {b, ""}, {b + a, ""}}},
        {"edited in place", NoKeys, {}, DefaultTimestamp,
         {{a, "a,"}, {dated("a", "2024-06-03", "<description>more</description>"), ""}}},
        // No record: the last-seen time decides once, and every key is kept.
        {"no record", NoKeys, {}, "2024-06-01T12:00:00Z", {{b + a, "b,"}, {b + c + a, "c,"}}},
        // A record of an earlier version: undated keys, the dates decide once.
        {"undated keys", UndatedKeys, {"g u"}, "2024-06-01T12:00:00Z",
         {{undated + b + a, "b,"}, {undated + b + c + a, "c,"}}},
        // A record kept for the validators of a feed that never delivered
        // knows no keys: its first delivery is that of no record.
        {"validators only", UndatedKeys, {}, "2024-06-01T12:00:00Z",
         {{undated + b + a, "u,b,"}, {undated + b + c + a, "c,"}}},
        {"every key", EveryKey, {"g urn:b"}, "2024-06-03T00:00:00Z", {{undated + b + a, "u,a,"}}},
        // Items told apart by no key of their own go by their dates.
        {"shared link", EveryKey, {"l http://l/same"}, "2024-06-01T12:00:00Z",
         {{linked("y", "2024-06-02") + linked("x", "2024-06-01"), "y,"},
          {linked("z", "2024-06-03") + linked("y", "2024-06-02"), "z,"}}},
    };
    for (const Case &test : cases) {
        ItemMemory memory;
        memory.scope = test.scope;
        memory.keys = test.keys;
        std::string last_seen = test.last_seen;
        for (size_t i = 0; i < test.patrols.size(); ++i) {
            Conversion patrol = ConvertText(Rss20Feed(test.patrols[i].first), last_seen.c_str(), 0, &memory);
            EXPECT_EQ(test.patrols[i].second, Titles(patrol.message)) << test.what << ", patrol " << i + 1;
            EXPECT_EQ(EveryKey, memory.scope);
            const char *later = nullptr;
            if (patrol.result && FeedConverter::compare_date(&later, patrol.newest.c_str(), last_seen.c_str()) &&
                later == patrol.newest.c_str())
                last_seen = patrol.newest;
        }
    }
}

// The memory keeps its keys oldest first and forgets the oldest beyond the
// bound; a document's keys go to the end, its first item last.
TEST_F(FeedMessage, MemoryForgetsTheOldestKeysFirst)
{
    ItemMemory memory;
    for (int i = 0; i < MaxRememberedKeys; ++i)
        memory.keys.push_back("g " + std::to_string(i));
    remember_keys(&memory, {"g new1", "g 5", "g new2"});
    ASSERT_EQ(size_t(MaxRememberedKeys), memory.keys.size());
    EXPECT_EQ("g 2", memory.keys.front());
    EXPECT_EQ((std::vector<std::string>{"g 9999", "g new2", "g 5", "g new1"}),
              std::vector<std::string>(memory.keys.end() - 4, memory.keys.end()));
    EXPECT_TRUE(memory.walked);
    EXPECT_EQ(EveryKey, memory.scope);

    // A document beyond the bound keeps its first items.
    std::vector<std::string> document;
    for (int i = 0; i <= MaxRememberedKeys; ++i)
        document.push_back("g d" + std::to_string(i));
    remember_keys(&memory, document);
    ASSERT_EQ(size_t(MaxRememberedKeys), memory.keys.size());
    EXPECT_EQ("g d" + std::to_string(MaxRememberedKeys - 1), memory.keys.front());
    EXPECT_EQ("g d0", memory.keys.back());
}

TEST_F(FeedMessage, ItemsBeyondTheRememberedKeysGoByTheirDates)
{
    // A long archive feed: the keys of its items past the bound are never
    // remembered, so by key alone they would be new at every patrol.
    std::string items;
    for (int i = 0; i <= MaxRememberedKeys + 2; ++i)
        items += "<item><title>t</title><guid>" + std::to_string(i) + "</guid><dc:date>2024-05-03T18:00:00Z</dc:date></item>";
    TiXmlDocument document;
    ASSERT_TRUE(parse_feed_text(&document, Rss20Feed(items).c_str()));
    TiXmlHandle handle(&document);
    TiXmlElement *first = FeedConverter::get_first_item(handle, FeedRss20);
    ItemMemory memory;
    std::vector<std::string> keys;
    for (const WalkedItem &item : walk_items(first, FeedRss20, DefaultTimestamp, &memory))
        keys.push_back(item.key);
    remember_keys(&memory, keys);
    int fresh = 0;
    for (const WalkedItem &item : walk_items(first, FeedRss20, "2024-05-03T18:00:00+00:00", &memory))
        fresh += item.fresh;
    EXPECT_EQ(0, fresh);
}

TEST_F(FeedMessage, ItemDatedInUtcGetsTheCompletedDateLine)
{
    Conversion c = ConvertText(Rss20Feed(DatedItem("z", "2024-05-03T18:00:00Z")), nullptr);
    EXPECT_NE(std::string::npos, c.message.find("\n---\n2024/05/03 18:00:00+00:00\nz [  ]\n\n\n\r\n"));
    EXPECT_EQ("Date: 03 May 24 18:00:00 +0000\r\n", c.message.substr(0, 32));
}

TEST_F(FeedMessage, SubjectIsCutAt1023Characters)
{
    const std::string title(511, 't'), description(511, 'd');
    char fsubject[FormatLimit + 16];
    memset(fsubject, 'z', sizeof fsubject);
    EXPECT_EQ(1, FeedConverter::format_subject(title.c_str(), description.c_str(), fsubject));
    EXPECT_EQ(title + " -" + std::string(510, 'd'), fsubject);
    EXPECT_EQ(std::string(16, 'z'), std::string(fsubject + FormatLimit, 16));
    EXPECT_EQ(0, FeedConverter::format_subject("t", "d", nullptr));
    char ffrom[FormatLimit];
    EXPECT_EQ(1, FeedConverter::format_from("http://l/", ffrom));
    EXPECT_STREQ("[http://l/]", ffrom);
    EXPECT_EQ(0, FeedConverter::format_from("http://l/", nullptr));

    // The header block keeps every line whole: the Subject line at its own
    // cut, then the To line and the blank line before the body.
    Conversion c = ConvertText(Rss20Feed(DatedItem("i", "2024-05-03T18:00:00Z"), "<title>" + title +
                                         "</title><link>http://l/</link><description>" + description +
                                         "</description>"),
                               nullptr);
    EXPECT_EQ(1, c.result);
    const std::string header = "Date: 03 May 24 18:00:00 +0000\r\nFrom: [http://l/]\r\nSubject: " + title + " -" +
                               std::string(510, 'd') + "\r\nTo: " KIV_MESSAGE_TO "\r\n\r\nhttp://l/\n\n---\n";
    EXPECT_EQ(header, c.message.substr(0, header.size()));
}

TEST_F(FeedMessage, NothingToConvertLeavesTheBufferUntouched)
{
    const std::string inputs[] = {
        "not xml",
        "",
        "<?xml version=\"1.0\"?><html><body/></html>",
        "<?xml version=\"1.1\"?><rss version=\"2.0\"><channel><item><title>x</title></item></channel></rss>",
        "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><item>",
    };
    for (const std::string &input : inputs) {
        Conversion c = ConvertText(input, nullptr);
        EXPECT_EQ(0, c.result) << input;
        EXPECT_TRUE(c.untouched) << input;
        EXPECT_EQ("", c.newest) << input;
    }
    Conversion missing = ConvertFile(TestDataPath("feeds/absent.xml"), nullptr, 200);
    EXPECT_EQ(0, missing.result);
    EXPECT_TRUE(missing.untouched);
}

// Markup-light feeds can need more room than the download size plus 100
// bytes: the message then ends after the last item block that fits.
TEST_F(FeedMessage, MessageEndsAfterTheLastWholeItemBlockThatFits)
{
    std::string items;
    for (int i = 0; i < 200; ++i)
        items += "<i/>";
    const std::string feed = Rss20Feed("<item/>" + items);
    Conversion c = ConvertText(feed, nullptr);
    EXPECT_EQ(1, c.result);
    EXPECT_TRUE(c.stayed_inside);
    EXPECT_LT(c.message.size(), feed.size() + MessageSlack);
    const std::string empty_block = "\n [  ]\n\n\n";
    size_t blocks_start = c.message.find("\n---\n") + 5;
    size_t block_bytes = c.message.size() - 2 - blocks_start;
    EXPECT_EQ(0u, block_bytes % empty_block.size());
    EXPECT_LT(block_bytes / empty_block.size(), 201u);
    EXPECT_EQ("\n\n\r\n", c.message.substr(c.message.size() - 4));

    // At the exact limit: the whole message and its terminator fit, one byte
    // less drops the last block, and a buffer too small for the header and
    // one block gives nothing.
    Conversion whole = ConvertFile(TestDataPath("feeds/garden_notes.xml"), DefaultTimestamp, 1000);
    const size_t needed = whole.message.size() + 1;
    Conversion exact = ConvertFile(TestDataPath("feeds/garden_notes.xml"), DefaultTimestamp, needed);
    EXPECT_EQ(whole.message, exact.message);
    EXPECT_TRUE(exact.stayed_inside);
    Conversion short_by_one = ConvertFile(TestDataPath("feeds/garden_notes.xml"), DefaultTimestamp, needed - 1);
    EXPECT_EQ(1, short_by_one.result);
    EXPECT_EQ(Header + TomatoesBlock + "\r\n", short_by_one.message);
    EXPECT_TRUE(short_by_one.stayed_inside);
    const size_t smallest = Header.size() + TomatoesBlock.size() + 3;
    EXPECT_EQ(1, ConvertFile(TestDataPath("feeds/garden_notes.xml"), DefaultTimestamp, smallest).result);
    Conversion too_small = ConvertFile(TestDataPath("feeds/garden_notes.xml"), DefaultTimestamp, smallest - 1);
    EXPECT_EQ(0, too_small.result);
    EXPECT_TRUE(too_small.stayed_inside);
    EXPECT_EQ("", too_small.newest);
}

// A full message tells how many bytes the blocks it left out need, every
// new item after the first that did not fit counted, so that the patrol can
// compose it again with room for them; an item larger than its whole
// download (a long base for its relative link) would never come otherwise.
TEST_F(FeedMessage, AFullMessageMeasuresWhatItLeftOut)
{
    const std::string feed = Rss20Feed("<item><title>a</title><guid>a</guid></item>"
                                       "<item><title>b</title><guid>b</guid><link>b</link></item>"
                                       "<item><title>c</title><guid>c</guid></item>");
    std::string base = "http://example.com/";
    for (int i = 0; i < 120; ++i)
        base += "long/";
    Conversion whole = ConvertText(feed, nullptr, 4096, nullptr, base.c_str());
    ASSERT_EQ("a,b,c,", Titles(whole.message));
    EXPECT_EQ(0u, whole.report.left_out);

    struct Case {
        size_t capacity;
        const char *titles;
    } cases[] = {
        {0, "a,"},                       // the download's size and the slack: b's absolute link does not fit
        {whole.message.size(), "a,b,"},  // one byte short of the terminator's room: c is left out
    };
    for (const Case &c : cases) {
        ItemMemory memory;
        memory.scope = EveryKey;
        Conversion short_of_room = ConvertText(feed, nullptr, c.capacity, &memory, base.c_str());
        EXPECT_EQ(c.titles, Titles(short_of_room.message)) << c.capacity;
        EXPECT_TRUE(short_of_room.stayed_inside);
        // Room for what was left out makes the whole message, byte for byte.
        size_t capacity = (c.capacity ? c.capacity : feed.size() + MessageSlack) + short_of_room.report.left_out;
        Conversion again = ConvertText(feed, nullptr, capacity, nullptr, base.c_str());
        EXPECT_EQ(whole.message, again.message) << c.capacity;
        EXPECT_EQ(0u, again.report.left_out);
    }
}

TEST_F(FeedMessage, JapaneseFeedsArriveInCodePage932)
{
    const std::string expected = "Subject: 庭の日記 -週刊の記録-\r\n"
                                 "To: [KIVv1.08]\r\n\r\n"
                                 "http://niwa.example/\n\n---\n"
                                 "2024/05/03 18:00:00+09:00\n"
                                 "トマトの支柱 [ 野菜 ]\n"
                                 "http://niwa.example/tomato\n"
                                 "支柱を立てました。\n\n"
                                 "\r\n";
    for (const char *file : {"feeds/japanese_utf8.xml", "feeds/japanese_euc_jp.xml"}) {
        InstallTestHostConversions();
        Conversion c = ConvertFile(TestDataPath(file), nullptr);
        EXPECT_EQ(1, c.result) << file;
        ASSERT_NE(std::string::npos, c.message.find("Subject: ")) << file;
        EXPECT_EQ(expected, c.message.substr(c.message.find("Subject: "))) << file;
        // The channel's title and description, the item's title, description and subject.
        EXPECT_EQ(5, HostConversionCalls) << file;
    }
    // Shift_JIS is declared but not converted: the bytes pass as they are.
    InstallTestHostConversions();
    Conversion sjis = ConvertFile(TestDataPath("feeds/japanese_shift_jis.xml"), nullptr);
    EXPECT_EQ(1, sjis.result);
    EXPECT_EQ(expected, sjis.message.substr(sjis.message.find("Subject: ")));
    EXPECT_EQ(0, HostConversionCalls);
}

}  // namespace

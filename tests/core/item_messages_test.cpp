// One message per item: each new item's message byte for byte, the order of
// delivery, the bound per patrol, and a refused append that leaves the item
// and those after it for the next time, nothing lost and nothing twice.
#include "feed_test_support.h"
#include "feed/deliver/item_messages.h"
#include "feed/deliver/message_pieces.h"
#include "resources/version.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <regex>
#include <set>

namespace {

const char Url[] = "http://garden.example/feed.xml";

struct Delivery {
    int count = 0;
    int due = 0;
    std::vector<std::string> messages;
    std::vector<std::string> timestamps;  // handed with each message
    std::string newest;
    ConversionReport report;
};

// Delivers a feed file; accept says, by the message's number from 0, whether
// the host takes it.
Delivery Deliver(const std::string &path, const char *last_seen, ItemMemory *memory,
                 const std::function<bool(size_t)> &accept = nullptr)
{
    Delivery d;
    char newest[NewestTimestampSize] = {};
    d.count = deliver_item_messages(path.c_str(), Url, last_seen, newest, memory, &d.report, nullptr, &d.due,
                                    [&](const char *message, const char *timestamp) {
                                        if (accept && !accept(d.messages.size()))
                                            return 0;
                                        d.messages.push_back(message);
                                        d.timestamps.push_back(timestamp);
                                        return 1;
                                    });
    d.newest = newest;
    return d;
}

Delivery DeliverText(const std::string &xml, const char *last_seen, ItemMemory *memory,
                     const std::function<bool(size_t)> &accept = nullptr)
{
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.xml"), xml);
    return Deliver(folder.Path("feed.xml"), last_seen, memory, accept);
}

std::string Header(const std::string &message, const std::string &name)
{
    std::smatch found;
    if (!std::regex_search(message, found, std::regex("(^|\r\n)" + name + ": ([^\r\n]*)\r\n")))
        return "(none)";
    return found[2];
}

std::string Subjects(const Delivery &d)
{
    std::string subjects;
    for (const std::string &message : d.messages)
        subjects += Header(message, "Subject") + ",";
    return subjects;
}

std::string Item(const std::string &title, const std::string &date, const std::string &more = "")
{
    return "<item><title>" + title + "</title><guid>urn:" + title + "</guid>" +
           (date.empty() ? "" : "<pubDate>" + date + "</pubDate>") + more + "</item>";
}

class ItemMessages : public ::testing::Test {
protected:
    void SetUp() override { InstallTestHostConversions(); }
};

TEST_F(ItemMessages, EachItemIsAMessageOfItsOwnOldestFirst)
{
    ItemMemory memory;
    Delivery d = Deliver(TestDataPath("feeds/garden_notes.xml"), "2024-04-30T00:00:00+09:00", &memory);
    ASSERT_EQ(2, d.count);
    EXPECT_EQ(2, d.due);
    EXPECT_EQ(2, d.report.items);
    char roses_id[ItemMessageIdSize], tomatoes_id[ItemMessageIdSize];
    item_message_id(Url, "l http://garden.example/roses", nullptr, roses_id);
    item_message_id(Url, "l http://garden.example/tomatoes", nullptr, tomatoes_id);
    EXPECT_EQ(std::string("Date: 01 May 24 08:15:00 +0900\r\n"
                          "From: [http://garden.example/]\r\n"
                          "Subject: Roses\r\n"
                          "To: " KIV_MESSAGE_TO "\r\n"
                          "Message-ID: ") + roses_id + "\r\n"
                          "\r\n"
                          "2024/05/01 08:15:00+09:00\n"
                          "Roses [  ]\n"
                          "http://garden.example/roses\n\n"
                          "---\n"
                          "Garden Notes\n"
                          "http://garden.example/\r\n",
              d.messages[0]);
    EXPECT_EQ(std::string("Date: 03 May 24 18:00:00 +0900\r\n"
                          "From: [http://garden.example/]\r\n"
                          "Subject: Tomatoes\r\n"
                          "To: " KIV_MESSAGE_TO "\r\n"
                          "Message-ID: ") + tomatoes_id + "\r\n"
                          "\r\n"
                          "2024/05/03 18:00:00+09:00\n"
                          "Tomatoes [ vegetables ]\n"
                          "http://garden.example/tomatoes\n"
                          "Staking the plants.\n\n"
                          "---\n"
                          "Garden Notes\n"
                          "http://garden.example/\r\n",
              d.messages[1]);
    EXPECT_TRUE(std::regex_match(tomatoes_id, std::regex("<[0-9a-f]{16}\\.[0-9a-f]{16}@kiv\\.invalid>")));
    EXPECT_NE(std::string(roses_id), tomatoes_id);
    // Each message is handed with the newest date so far, for the feed's entry.
    EXPECT_EQ((std::vector<std::string>{"2024-05-01T08:15:00+09:00", "2024-05-03T18:00:00+09:00"}), d.timestamps);
    EXPECT_EQ("2024-05-03T18:00:00+09:00", d.newest);

    // Both are remembered: the same document again delivers nothing, and a
    // later document the new item alone, with the same Message-IDs as ever.
    EXPECT_EQ(0, Deliver(TestDataPath("feeds/garden_notes.xml"), d.newest.c_str(), &memory).count);
    ItemMemory fresh;
    Delivery again = Deliver(TestDataPath("feeds/garden_notes.xml"), "2024-04-30T00:00:00+09:00", &fresh);
    EXPECT_EQ(d.messages, again.messages);
}

// What the headers say of items as feeds write them.
TEST_F(ItemMessages, HeadersFollowTheRulesOfTheFeedsHeaders)
{
    struct Case {
        const char *name;
        std::string item;
        const char *subject;
        const char *date;   // a regular expression
    } cases[] = {
        {"titled", Item("Plain", "Fri, 03 May 2024 09:00:00 GMT"), "Plain", "03 May 24 09:00:00 \\+0000"},
        {"no title: the feed's", "<item><guid>x</guid><pubDate>Fri, 03 May 2024 09:00:00 +0200</pubDate></item>",
         "T", "03 May 24 09:00:00 \\+0200"},
        {"line breaks", Item("One&#13;&#10;Bcc: x@y&#10;two", "Fri, 03 May 2024 09:00:00 GMT"),
         "One Bcc: x@y two", ".*"},
        {"undated: the time of delivery", Item("Undated", ""), "Undated", "\\d\\d [A-Z][a-z]{2} \\d\\d "
                                                                           "\\d\\d:\\d\\d:\\d\\d \\+0000"},
        {"html in the title", Item("A &lt;b&gt;bold&lt;/b&gt; &amp;amp; move", ""), "A bold & move", ".*"},
    };
    for (const Case &c : cases) {
        Delivery d = DeliverText(Rss20Feed(c.item), nullptr, nullptr);
        ASSERT_EQ(1u, d.messages.size()) << c.name;
        const std::string &message = d.messages[0];
        EXPECT_EQ(c.subject, Header(message, "Subject")) << c.name;
        EXPECT_TRUE(std::regex_match(Header(message, "Date"), std::regex(c.date))) << c.name << message;
        EXPECT_EQ("[http://l/]", Header(message, "From")) << c.name;
        EXPECT_EQ(KIV_MESSAGE_TO, Header(message, "To")) << c.name;
        // Five header lines, then the body; no line of the feed's own.
        size_t body = message.find("\r\n\r\n");
        ASSERT_NE(std::string::npos, body) << c.name;
        EXPECT_EQ(5, std::count(message.begin(), message.begin() + long(body) + 2, '\n')) << c.name;
        EXPECT_EQ("---\nT\nhttp://l/\r\n", message.substr(message.size() - 17)) << c.name;
    }
}

// Feeds list their items newest first, oldest first or neither; delivery
// goes from the oldest new item to the newest, undated ones where they stand.
TEST_F(ItemMessages, DeliveryGoesFromTheOldestNewItem)
{
    const std::string d1 = "Wed, 01 May 2024 00:00:00 GMT", d2 = "Thu, 02 May 2024 00:00:00 GMT",
                      d3 = "Fri, 03 May 2024 00:00:00 GMT";
    struct Case {
        std::string items;
        const char *subjects;
    } cases[] = {
        {Item("c", d3) + Item("b", d2) + Item("a", d1), "a,b,c,"},
        {Item("a", d1) + Item("b", d2) + Item("c", d3), "a,b,c,"},
        {Item("pinned", d1) + Item("c", d3) + Item("b", d2), "pinned,b,c,"},
        {Item("u2", "") + Item("c", d3) + Item("u1", "") + Item("a", d1), "a,u1,c,u2,"},
        {Item("u3", "") + Item("u2", "") + Item("u1", ""), "u1,u2,u3,"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.subjects, Subjects(DeliverText(Rss20Feed(c.items), nullptr, nullptr))) << c.items;
}

// A refused append stops the feed at that item; it and the items after it
// come next time, in the same order, and nothing comes twice.
TEST_F(ItemMessages, RefusedAppendLeavesTheRestForTheNextTime)
{
    std::string items;
    for (int day = 9; day >= 1; --day)
        items += Item("i" + std::to_string(day), "Thu, 0" + std::to_string(day) + " May 2024 00:00:00 GMT");
    const std::string feed = Rss20Feed(Item("seen", "Tue, 30 Apr 2024 00:00:00 GMT") + items);
    ItemMemory memory;
    Delivery first = DeliverText(feed, "2024-04-30T00:00:00Z", &memory, [](size_t n) { return n < 3; });
    EXPECT_EQ("i1,i2,i3,", Subjects(first));
    EXPECT_EQ(3, first.count);
    EXPECT_EQ(9, first.due);
    EXPECT_EQ("2024-05-03T00:00:00+00:00", first.newest);
    // Remembered: the item that was not new, and those delivered.
    EXPECT_EQ((std::vector<std::string>{"g urn:i1", "g urn:i2", "g urn:i3", "g urn:seen"}), memory.keys);

    Delivery refused = DeliverText(feed, first.newest.c_str(), &memory, [](size_t) { return false; });
    EXPECT_EQ(0, refused.count);
    EXPECT_EQ("", refused.newest);
    EXPECT_EQ(4u, memory.keys.size());

    Delivery rest = DeliverText(feed, first.newest.c_str(), &memory);
    EXPECT_EQ("i4,i5,i6,i7,i8,i9,", Subjects(rest));
    EXPECT_EQ(0, DeliverText(feed, rest.newest.c_str(), &memory).due);
}

// The first patrol of a long feed delivers its oldest items up to the bound;
// the next patrols deliver the rest, oldest first.
TEST_F(ItemMessages, AtMostTheBoundInOnePatrol)
{
    const int total = 2 * MaxItemMessages + 7;
    std::string items;
    for (int n = total; n >= 1; --n)
        items += "<item><title>n" + std::to_string(n) + "</title><guid>g" + std::to_string(n) + "</guid></item>";
    const std::string feed = Rss20Feed(items);
    ItemMemory memory;
    std::vector<int> counts;
    std::string subjects;
    for (int patrol = 0; patrol < 4; ++patrol) {
        Delivery d = DeliverText(feed, nullptr, &memory);
        counts.push_back(d.count);
        subjects += Subjects(d);
    }
    EXPECT_EQ((std::vector<int>{MaxItemMessages, MaxItemMessages, 7, 0}), counts);
    std::string expected;
    for (int n = 1; n <= total; ++n)
        expected += "n" + std::to_string(n) + ",";
    EXPECT_EQ(expected, subjects);
}

// Items that share a key go by their dates; their Message-IDs tell them
// apart, and stay the same for the same item.
TEST_F(ItemMessages, MessageIdsAreStableAndDistinct)
{
    const std::string shared = "<link>http://l/same</link>";
    const std::string feed = Rss20Feed(Item("b", "Thu, 02 May 2024 00:00:00 GMT") +
                                       "<item><title>x</title>" + shared +
                                       "<pubDate>Thu, 02 May 2024 00:00:00 GMT</pubDate></item>"
                                       "<item><title>y</title>" + shared +
                                       "<pubDate>Wed, 01 May 2024 00:00:00 GMT</pubDate></item>");
    Delivery one = DeliverText(feed, nullptr, nullptr), two = DeliverText(feed, nullptr, nullptr);
    ASSERT_EQ(3u, one.messages.size());
    std::set<std::string> ids;
    for (size_t i = 0; i < one.messages.size(); ++i) {
        EXPECT_EQ(Header(one.messages[i], "Message-ID"), Header(two.messages[i], "Message-ID"));
        ids.insert(Header(one.messages[i], "Message-ID"));
    }
    EXPECT_EQ(3u, ids.size());
    char other_feed[ItemMessageIdSize], this_feed[ItemMessageIdSize];
    item_message_id("http://other.example/", "g urn:b", nullptr, other_feed);
    item_message_id(Url, "g urn:b", nullptr, this_feed);
    EXPECT_NE(std::string(other_feed), this_feed);
    EXPECT_EQ(1u, ids.count(this_feed));
}

// The message is composed whole into its buffer or not at all; the capacity
// given for an item holds its longest message.
TEST_F(ItemMessages, MessageFitsItsBufferAtTheLimit)
{
    InstallUnchangedUtf8();
    const std::string long_text(TextFieldSize - 1, 'x');
    OpenedFeed feed;
    memcpy(feed.title, long_text.c_str(), long_text.size() + 1);
    memcpy(feed.link, ("http://" + long_text.substr(7)).c_str(), long_text.size() + 1);
    ItemFields fields;
    memcpy(fields.date_line, "2024/05/03 18:00:00+09:00", 26);
    for (char *field : {fields.title, fields.link, fields.subject})
        memcpy(field, long_text.c_str(), long_text.size() + 1);
    fields.description = strdup(std::string(3000, 'd').c_str());
    char id[ItemMessageIdSize];
    item_message_id(Url, "g x", nullptr, id);

    const size_t capacity = item_message_capacity(fields);
    std::vector<char> room(capacity + 16, 'Z');
    MessageBuffer whole = {room.data(), capacity, 0, 0};
    ASSERT_EQ(1, compose_item_message(&whole, feed, fields, "2024-05-03T18:00:00+09:00", id));
    const std::string message(room.data());
    EXPECT_EQ(whole.length, message.size());
    EXPECT_EQ(long_text, Header(message, "Subject"));
    EXPECT_EQ("[http://" + long_text.substr(7) + "]", Header(message, "From"));

    for (size_t size : {message.size() + 1, message.size()}) {
        std::vector<char> buffer(size + 16, 'Z');
        buffer[0] = '\0';
        MessageBuffer exact = {buffer.data(), size, 0, 0};
        int composed = compose_item_message(&exact, feed, fields, "2024-05-03T18:00:00+09:00", id);
        EXPECT_EQ(size > message.size() ? 1 : 0, composed) << size;
        EXPECT_EQ(composed ? message : std::string(), std::string(buffer.data())) << size;
        EXPECT_EQ(std::string(16, 'Z'), std::string(buffer.data() + size, 16)) << size;
    }
}

}  // namespace

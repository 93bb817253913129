// What podcasts and video feeds carry besides text: enclosure lines after an
// item's text in both forms of message, and embedded video players in HTML.
#include "feed_test_support.h"
#include "feed/deliver/item_messages.h"
#include "feed/deliver/message_pieces.h"
#include "feed/read/html_text.h"
#include "feed/read/item_enclosures.h"

#include <gtest/gtest.h>

namespace {

const char Itunes[] = "xmlns:itunes=\"http://www.itunes.com/dtds/podcast-1.0.dtd\"";
const char Media[] = "xmlns:media=\"http://search.yahoo.com/mrss/\"";
const char FeedAddress[] = "http://pod.example/feed/";

// The item blocks of the message a feed becomes, read from FeedAddress.
std::string Items(const std::string &xml, const char *address = FeedAddress)
{
    Conversion c = ConvertText(xml, nullptr, 0, nullptr, address);
    size_t start = c.message.find("\n---\n");
    if (c.result != 1 || start == std::string::npos)
        return std::string("(no message: ") + c.report.detail + ")";
    return c.message.substr(start + 5, c.message.size() - start - 7);
}

std::string RssItem(const std::string &children)
{
    return std::string("<?xml version=\"1.0\"?><rss version=\"2.0\" ") + Itunes + " " + Media +
           "><channel><title>P</title><link>http://pod.example/</link><item><title>E</title>"
           "<link>http://pod.example/e</link>" +
           children + "</item></channel></rss>";
}

TEST(Enclosures, EachFormOfEnclosureBecomesALineAfterTheText)
{
    InstallTestHostConversions();
    const std::string head = "\nE [  ]\nhttp://pod.example/e\n";
    struct Case {
        const char *what;
        std::string xml, block;
    } cases[] = {
        {"a podcast: RSS enclosure and itunes:duration, after the text and its links",
         RssItem("<description>&lt;p&gt;Notes &lt;a href=\"http://n.example/\"&gt;here&lt;/a&gt;&lt;/p&gt;"
                 "</description><enclosure url=\"http://p.example/ep1.mp3\" length=\"25690112\" "
                 "type=\"audio/mpeg\"/><itunes:duration>1:02:03</itunes:duration>"),
         head + "Notes here[1]\n\n[1] http://n.example/\n"
                "Enclosure: http://p.example/ep1.mp3 (audio/mpeg, 24.5 MB, 1:02:03)\n\n"},
        {"a relative address, no length, a duration in seconds",
         RssItem("<enclosure url=\"../media/ep2.mp3\" type=\"audio/mpeg\"/><itunes:duration>95</itunes:duration>"),
         head + "Enclosure: http://pod.example/media/ep2.mp3 (audio/mpeg, 1:35)\n\n"},
        {"length 0 and no type: the address alone",
         RssItem("<enclosure url=\"http://p.example/a.ogg\" length=\"0\"/>"),
         head + "Enclosure: http://p.example/a.ogg\n\n"},
        {"Media RSS in a group: type or medium, fileSize, duration; a thumbnail is none",
         RssItem("<media:group><media:thumbnail url=\"http://v.example/t.jpg\"/>"
                 "<media:content url=\"http://v.example/hd.mp4\" type=\"video/mp4\" fileSize=\"1536\" "
                 "duration=\"62.5\"/><media:content url=\"http://v.example/a.m4a\" medium=\"audio\"/>"
                 "</media:group>"),
         head + "Enclosure: http://v.example/hd.mp4 (video/mp4, 1.5 KB, 1:02)\n"
                "Enclosure: http://v.example/a.m4a (audio)\n\n"},
        {"one address from two elements: once, with what each tells",
         RssItem("<enclosure url=\"http://p.example/x.mp3\" length=\"1000\"/>"
                 "<media:content url=\"http://p.example/x.mp3\" type=\"audio/mpeg\" duration=\"600\"/>"),
         head + "Enclosure: http://p.example/x.mp3 (audio/mpeg, 1000 bytes, 10:00)\n\n"},
        {"media:title inside media:content, no address: nothing",
         RssItem("<media:content url=\"http://v.example/c.webm\"><media:title>Cut &amp; kept</media:title>"
                 "</media:content><enclosure type=\"audio/mpeg\"/><enclosure url=\"\"/>"),
         head + "Enclosure: http://v.example/c.webm Cut & kept\n\n"},
        {"an Atom video enclosure with its title, the alternate link the item's",
         "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"><title>V</title><entry>"
         "<title>E</title><link rel=\"enclosure\" href=\"clips/c.mp4\" type=\"video/mp4\" length=\"3221225472\" "
         "title=\"The clip\"/><link href=\"http://pod.example/e\"/><summary>S</summary></entry></feed>",
         head + "S\nEnclosure: http://pod.example/feed/clips/c.mp4 (video/mp4, 3.0 GB) The clip\n\n"},
        {"no enclosure: the block as ever", RssItem("<itunes:duration>1:00</itunes:duration>"),
         "\nE [  ]\nhttp://pod.example/e\n\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.block, Items(c.xml)) << c.what;
}

TEST(Enclosures, AtMostEightAnItem)
{
    InstallTestHostConversions();
    std::string children;
    for (int i = 0; i < 12; ++i)
        children += "<media:content url=\"http://v.example/" + std::to_string(i) + ".mp4\"/>";
    std::string items = Items(RssItem(children));
    EXPECT_NE(std::string::npos, items.find("Enclosure: http://v.example/7.mp4\n\n"));
    EXPECT_EQ(std::string::npos, items.find("8.mp4"));
}

TEST(Enclosures, SizesAndDurationsAsAPersonReadsThem)
{
    const struct {
        unsigned long long bytes;
        const char *text;
    } sizes[] = {{1, "1 byte"},           {1023, "1023 bytes"},          {1024, "1.0 KB"},
                 {1048575, "1.0 MB"},     {25690112, "24.5 MB"},         {3221225472ULL, "3.0 GB"},
                 {999999999999999999ULL, "909494.7 TB"}};
    for (const auto &c : sizes) {
        char text[32];
        format_byte_size(c.bytes, text, sizeof text);
        EXPECT_STREQ(c.text, text) << c.bytes;
    }
    const struct {
        const char *written;
        unsigned long seconds;
        const char *shown;
    } durations[] = {{"1:02:03", 3723, "1:02:03"}, {"62:03", 3723, "1:02:03"}, {" 45 ", 45, "0:45"},
                     {"3723.5", 3723, "1:02:03"},  {"00:00", 0, ""},           {"1:2:3:4", 0, ""},
                     {"abc", 0, ""},               {"-5", 0, ""},              {"99999999999", 0, ""},
                     {"", 0, ""}};
    for (const auto &c : durations) {
        EXPECT_EQ(c.seconds, read_duration(c.written)) << c.written;
        if (c.seconds) {
            char text[32];
            format_duration(c.seconds, text, sizeof text);
            EXPECT_STREQ(c.shown, text) << c.written;
        }
    }
}

// A body so dense in relative links that the end of its list is cut keeps
// its enclosure lines whole: they have a bound of their own.
TEST(Enclosures, LinesSurviveABodyCutAtItsBound)
{
    InstallTestHostConversions();
    const std::string base = "http://pod.example/" + std::string(1500, 'b') + "/";
    std::string body;
    for (int i = 0; i < 40; ++i)
        body += "&lt;a href=\"x" + std::to_string(i) + "\"&gt;t&lt;/a&gt;";
    std::string longest = "http://p.example/" + std::string(TextFieldSize - 1 - 17, 'a');
    std::string children = "<description>" + body + "</description>";
    for (int i = 0; i < MaxItemEnclosures; ++i)
        children += "<enclosure url=\"" + longest.substr(0, longest.size() - 1) + std::to_string(i) +
                    "\" type=\"audio/mpeg\" length=\"99999999999999999\"/>";
    // Room for everything the item could become: only the text's own bound cuts.
    const std::string items = ConvertText(RssItem(children), nullptr, 1 << 20, nullptr, base.c_str()).message;
    EXPECT_NE(std::string::npos, items.find("[1] " + base + "x0\n"));
    EXPECT_EQ(std::string::npos, items.find("[40] ")) << "the list is cut";
    for (int i = 0; i < MaxItemEnclosures; ++i)
        EXPECT_NE(std::string::npos, items.find("Enclosure: " + longest.substr(0, longest.size() - 1) +
                                                std::to_string(i) + " (audio/mpeg, 90949.5 TB)")) << i;
}

TEST(Enclosures, PerItemMessagesCarryTheLines)
{
    InstallTestHostConversions();
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.xml"),
                   RssItem("<description>Notes</description><enclosure url=\"ep.mp3\" type=\"audio/mpeg\" "
                           "length=\"2048\"/><itunes:duration>30:00</itunes:duration>"));
    std::vector<std::string> messages;
    char newest[NewestTimestampSize] = {};
    int due = 0;
    deliver_item_messages(folder.Path("feed.xml").c_str(), "http://pod.example/feed/", nullptr, newest, nullptr,
                          nullptr, FeedAddress, &due, [&](const char *message, const char *) {
                              messages.push_back(message);
                              return 1;
                          });
    ASSERT_EQ(1u, messages.size());
    const std::string body = messages[0].substr(messages[0].find("\r\n\r\n") + 4);
    EXPECT_EQ("\nE [  ]\nhttp://pod.example/e\nNotes\nEnclosure: http://pod.example/feed/ep.mp3 "
              "(audio/mpeg, 2.0 KB, 30:00)\n\n---\nP\nhttp://pod.example/\r\n",
              body);
}

// The longest lines an item may have fit the message that
// item_message_capacity sizes, to the byte.
TEST(Enclosures, ItemMessageFitsTheLongestLines)
{
    InstallUnchangedUtf8();
    OpenedFeed feed;
    ItemFields fields;
    fields.date_line[0] = fields.title[0] = fields.link[0] = fields.subject[0] = '\0';
    std::string lines;
    for (int i = 0; i < MaxItemEnclosures; ++i)
        lines += (i ? "\n" : "") + std::string(EnclosureLineSize - 1, 'e');
    memcpy(fields.enclosures, lines.c_str(), lines.size() + 1);
    char id[ItemMessageIdSize];
    item_message_id("http://x/", "g x", nullptr, id);
    const size_t capacity = item_message_capacity(fields);
    std::vector<char> room(capacity);
    MessageBuffer message = {room.data(), capacity, 0, 0};
    ASSERT_EQ(1, compose_item_message(&message, feed, fields, "2024-05-03T18:00:00+09:00", id));
    EXPECT_NE(std::string::npos, std::string(room.data()).find(lines + "\n\n---\n"));
}

// Blogger's uploaded videos and YouTube's embeds are frames: their address
// takes their place on a line of its own, made absolute as links are; a
// title leaves them out.
TEST(Enclosures, EmbeddedFramesBecomeTheirAddress)
{
    const char *base = "http://blog.example/2024/post.html";
    struct Case {
        const char *html, *text;
    } cases[] = {
        {"<p>Look</p><iframe allowfullscreen='allowfullscreen' width='320' height='266' "
         "src='https://www.blogger.com/video.g?token=AD6v5dy&amp;x=1' class='b-hbp-video b-uploaded' frameborder='0' />"
         "<p>After</p>",
         "Look\n\nhttps://www.blogger.com/video.g?token=AD6v5dy&x=1\n\nAfter"},
        {"Watch <iframe width=\"560\" src=\"//www.youtube.com/embed/xyz\" allowfullscreen></iframe> now",
         "Watch\nhttp://www.youtube.com/embed/xyz\nnow"},
        {"<iframe src=\"player/1\"></iframe>", "http://blog.example/2024/player/1"},
        {"A <iframe></iframe>frame without an address", "A frame without an address"},
        {"<iframe src=\"javascript:void(0)\"></iframe>x", "x"},
    };
    for (const Case &c : cases) {
        std::vector<char> out(html_text_size(c.html, strlen(base)));
        html_to_text(c.html, out.data(), out.size(), 1, base);
        EXPECT_STREQ(c.text, out.data()) << c.html;
    }
    char line[128];
    html_to_line("Clip <iframe src=\"http://v.example/\"></iframe>today", line, sizeof line, 1);
    EXPECT_STREQ("Clip today", line);
}

}  // namespace

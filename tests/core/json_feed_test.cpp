// JSON Feed 1.0 and 1.1 as a kind of feed: its fields in the message, its
// dates as real feeds write them, each item once by its id, and the JSON
// that is no feed (cut, deep, huge, of another kind) refused with why.
#include "feed_test_support.h"
#include "feed/deliver/item_messages.h"
#include "feed/read/json_feed.h"

#include <gtest/gtest.h>

#include <set>

namespace {

const char Address[] = "http://site.example/blog/feed.json";

std::string Body(const Conversion &c)
{
    size_t start = c.message.find("\r\n\r\n");
    return start == std::string::npos ? "(no message: " + std::string(c.report.detail) + ")"
                                      : c.message.substr(start + 4);
}

std::string Header(const Conversion &c, const std::string &name)
{
    size_t start = c.message.find(name + ": ");
    return start == std::string::npos ? "(none)"
                                      : c.message.substr(start + name.size() + 2,
                                                         c.message.find("\r\n", start) - start - name.size() - 2);
}

TEST(JsonFeed, FieldsDatesTagsAndAttachmentsOfVersion11)
{
    InstallTestHostConversions();
    const std::string feed = u8R"({
      "version": "https://jsonfeed.org/version/1.1",
      "title": "Garden & Co 日記", "home_page_url": "https://site.example/blog/",
      "feed_url": "https://site.example/blog/feed.json", "description": "Weekly <notes>",
      "authors": [{"name": "Ann"}], "language": "ja",
      "items": [
        {"id": "3", "url": "https://site.example/blog/tomatoes", "title": "Tomatoes",
         "content_html": "<p>Staking <a href=\"stakes.html\">the plants</a>.</p>",
         "date_published": "2024-05-03T18:00:00+09:00", "tags": ["vegetables", "spring"]},
        {"id": "2", "url": "/blog/notes", "title": "Plain <b>text</b>",
         "content_text": "Line one & two\nLine <three>", "summary": "not this",
         "date_published": "2024-05-02 10:00:00"},
        {"id": "1", "content_html": "<p>A note without a title, long enough to be cut where its start ends. It goes on well past a hundred bytes of text.</p>",
         "date_modified": "2024-05-01T08:15:00Z",
         "attachments": [{"url": "https://cdn.example/ep1.mp3", "mime_type": "audio/mpeg",
                          "size_in_bytes": 25690112, "duration_in_seconds": 3723, "title": "Episode 1"},
                         {"url": "ep1.txt"}, {"mime_type": "text/plain"}]}
      ]})";
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.json"), feed);
    Conversion c = ConvertFile(folder.Path("feed.json"), nullptr, 0, nullptr, Address);
    ASSERT_EQ(1, c.result) << c.report.detail;
    EXPECT_EQ("[https://site.example/blog/]", Header(c, "From"));
    EXPECT_EQ("Garden & Co 日記 -Weekly <notes>-", Header(c, "Subject"));
    EXPECT_EQ("03 May 24 18:00:00 +0900", Header(c, "Date"));
    EXPECT_EQ("https://site.example/blog/\n\n---\n"
              "2024/05/03 18:00:00+09:00\nTomatoes [ vegetables, spring ]\nhttps://site.example/blog/tomatoes\n"
              "Staking the plants[1].\n\n[1] http://site.example/blog/stakes.html\n\n"
              "2024/05/02 10:00:00+00:00\nPlain <b>text</b> [  ]\nhttp://site.example/blog/notes\n"
              "Line one & two\nLine <three>\n\n"
              "2024/05/01 08:15:00+00:00\nA note without a title, long enough to be cut where its start ends. It "
              "goes on well past a hundred... [  ]\n\n"
              "A note without a title, long enough to be cut where its start ends. It goes on well past a hundred "
              "bytes of text.\n"
              "Enclosure: https://cdn.example/ep1.mp3 (audio/mpeg, 24.5 MB, 1:02:03) Episode 1\n"
              "Enclosure: http://site.example/blog/ep1.txt\n\n\r\n",
              Body(c));
    EXPECT_EQ(u8"Garden & Co 日記", c.report.title);
    EXPECT_EQ("https://site.example/blog/", c.report.site);
}

TEST(JsonFeed, Version10WithItsOwnForms)
{
    InstallUnchangedUtf8();
    // A number for an id, external_url for a link, author, summary alone,
    // no zone; a byte order mark before it all.
    const std::string feed = "\xEF\xBB\xBF" R"({"version": "https://jsonfeed.org/version/1", "title": "Old",
      "author": {"name": "Bo"},
      "items": [{"id": 42, "external_url": "https://elsewhere.example/a", "title": "Linked",
                 "summary": "Said elsewhere.", "date_published": "2017-05-17T08:02:12-07:00"},
                {"title": "No id, no date", "content_text": "x"},
                "not an item"]})";
    Conversion c = ConvertText(feed, nullptr);
    ASSERT_EQ(1, c.result) << c.report.detail;
    EXPECT_EQ("[]", Header(c, "From"));
    EXPECT_EQ("\n\n---\n2017/05/17 08:02:12-07:00\nLinked [  ]\nhttps://elsewhere.example/a\nSaid elsewhere.\n\n"
              "\nNo id, no date [  ]\n\nx\n\n\r\n",
              Body(c));
}

// Every item once by its key: the id, else its link; a second patrol of the
// same document delivers nothing, a new id alone comes next.
TEST(JsonFeed, EachItemOnceByItsId)
{
    InstallUnchangedUtf8();
    auto feed = [](const std::string &items) {
        return R"({"version": "https://jsonfeed.org/version/1.1", "title": "K", "items": [)" + items + "]}";
    };
    const std::string a = R"({"id": "a", "title": "A", "content_text": "a", "date_published": "2024-05-01T00:00:00Z"})";
    const std::string b = R"({"id": 7, "title": "B", "content_text": "b"})";
    ItemMemory memory;
    EXPECT_EQ(1, ConvertText(feed(a + "," + b), nullptr, 0, &memory).result);
    EXPECT_EQ((std::set<std::string>{"g a", "g 7"}), std::set<std::string>(memory.keys.begin(), memory.keys.end()));
    Conversion again = ConvertText(feed(b + "," + a), nullptr, 0, &memory);
    EXPECT_EQ(0, again.result);
    EXPECT_EQ(ConversionRead, again.report.failure);
    Conversion next = ConvertText(
        feed(R"({"id": "c", "title": "C", "content_text": "c", "date_published": "2020-01-01"},)" + a + "," + b),
        nullptr, 0, &memory);
    ASSERT_EQ(1, next.result);
    EXPECT_EQ(1, next.report.items);
    EXPECT_NE(std::string::npos, next.message.find("\nC [  ]\n"));
}

TEST(JsonFeed, PerItemMessagesTitledByTheStartOfTheirText)
{
    InstallUnchangedUtf8();
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.json"),
                   R"({"version": "https://jsonfeed.org/version/1.1", "title": "Notes",
                       "home_page_url": "https://n.example/",
                       "items": [{"id": "1", "content_html": "<p>Short <em>note</em></p>",
                                  "date_published": "2024-05-03T18:00:00+09:00"}]})");
    std::vector<std::string> messages;
    char newest[NewestTimestampSize] = {};
    int due = 0;
    deliver_item_messages(folder.Path("feed.json").c_str(), Address, nullptr, newest, nullptr, nullptr, Address, &due,
                          [&](const char *message, const char *) {
                              messages.push_back(message);
                              return 1;
                          });
    ASSERT_EQ(1u, messages.size());
    EXPECT_NE(std::string::npos, messages[0].find("\r\nSubject: Short note\r\n"));
    EXPECT_NE(std::string::npos, messages[0].find("\r\n\r\n2024/05/03 18:00:00+09:00\nShort note [  ]\n\nShort note\n\n"
                                                  "---\nNotes\nhttps://n.example/\r\n"));
}

// JSON that is no JSON Feed is refused with why, and what passes a bound
// is refused before a document is built.
TEST(JsonFeed, RefusedWithWhy)
{
    InstallUnchangedUtf8();
    const std::string deep = std::string(MaxJsonDepth + 1, '[') + std::string(MaxJsonDepth + 1, ']');
    const std::string deep_enough = R"({"version": "https://jsonfeed.org/version/1.1", "x": )" +
                                    std::string(MaxJsonDepth - 1, '[') + std::string(MaxJsonDepth - 1, ']') +
                                    R"(, "items": []})";
    std::string many = "[";
    for (int i = 0; i < MaxJsonValues; ++i)
        many += "0,";
    many += "0]";
    struct Case {
        const char *what;
        std::string text;
        int failure;
        const char *detail;
    } cases[] = {
        {"no version", R"({"title": "T", "items": []})", ConversionNotFeed, "JSON without a JSON Feed version"},
        {"another version", R"({"version": "1.0.2", "items": []})", ConversionNotFeed,
         "JSON of version \"1.0.2\", no JSON Feed"},
        {"a bare version without items", R"({"version": "1.1", "name": "x"})", ConversionNotFeed,
         "JSON of version \"1.1\", no JSON Feed"},
        {"a bare version with items, as some generators write", R"({"version": "1.1", "items": []})",
         ConversionRead, ""},
        {"an array", "[1, 2]", ConversionNotFeed, "JSON whose root is no object, no JSON Feed"},
        {"cut short", R"({"version": "https://jsonfeed.org/version/1.1", "items": [{"id": "1")", ConversionNotFeed,
         "JSON that does not parse at byte 68: Missing a comma or '}' after an object member"},
        {"one byte", "{", ConversionNotFeed, "JSON that does not parse at byte 1: Missing a name for object member"},
        {"something after it", R"({"version": "https://jsonfeed.org/version/1"} {})", ConversionNotFeed,
         "JSON that does not parse at byte 46: The document root must not be followed by other values"},
        {"too deep", deep, ConversionOddShape, "JSON nested too deeply"},
        {"a huge string", "{\"version\": \"" + std::string(MaxJsonString + 1, 'v') + "\"}", ConversionOddShape,
         "a JSON string longer than 1 MiB"},
        {"too many values", many, ConversionOddShape, "too many values in the JSON document"},
        {"as deep as allowed", deep_enough, ConversionRead, ""},
    };
    for (const Case &c : cases) {
        Conversion conversion = ConvertText(c.text, nullptr);
        EXPECT_EQ(0, conversion.result) << c.what;
        EXPECT_TRUE(conversion.untouched || c.failure == ConversionRead) << c.what;
        EXPECT_EQ(c.failure, conversion.report.failure) << c.what;
        EXPECT_STREQ(c.detail, conversion.report.detail) << c.what;
    }
    // What does not start as JSON is read as XML, and said to be no XML.
    Conversion text = ConvertText("  version: 1", nullptr);
    EXPECT_EQ(ConversionNotXml, text.report.failure);
}

}  // namespace

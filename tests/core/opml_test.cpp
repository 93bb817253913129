// Feed lists in and out as OPML: the addresses read from the files other
// readers write, hostile files refused whole, the import's one rewrite of
// the settings file, and the export read back.
#include "feed_test_support.h"
#include "test_support.h"

#include "base/process_values.h"
#include "dialogs/opml_export.h"
#include "dialogs/opml_import.h"
#include "feed/deliver/feed_record.h"
#include "settings/feed_list_additions.h"
#include "settings/feed_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<std::string> Strings;

std::string Repeat(const std::string &piece, size_t times)
{
    std::string text;
    text.reserve(piece.size() * times);
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Little-endian UTF-16 with its byte order mark, from ASCII.
std::string Utf16(const std::string &ascii)
{
    std::string text = "\xff\xfe";
    for (char c : ascii)
        text += std::string(1, c) + '\0';
    return text;
}

std::string Outlines(size_t count)
{
    std::string body;
    for (size_t i = 0; i < count; ++i)
        body += "<outline xmlUrl=\"http://h/" + std::to_string(i) + "\"/>";
    return "<opml version=\"2.0\"><body>" + body + "</body></opml>";
}

class OpmlTest : public ::testing::Test {
protected:
    void SetUp() override { UseSettingsFile(Ini(), folder.Path("KIV")); }
    std::string Ini() const { return folder.Path("KIV.ini"); }
    int Read(const std::string &bytes, Strings *addresses, std::string *detail = nullptr)
    {
        WriteFileBytes(folder.Path("list.opml"), bytes);
        return read_opml_file(folder.Path("list.opml").c_str(), addresses, detail);
    }
    TempFolder folder;
};

TEST_F(OpmlTest, ReadsEveryFeedAddressInDocumentOrderThroughFolders)
{
    struct Case {
        const char *name;
        std::string text;
        Strings addresses;
    } cases[] = {
        {"flat 2.0, as a terminal reader exports it",
         "<?xml version=\"1.0\"?>\n<opml version=\"2.0\">\n  <head><title>x</title></head>\n  <body>\n"
         "    <outline type=\"rss\" xmlUrl=\"http://a.example/feed\" htmlUrl=\"http://a.example/\" title=\"A\"/>\n"
         "    <outline type=\"rss\" xmlUrl=\"https://b.example/atom.xml\" title=\"B\"/>\n  </body>\n</opml>\n",
         {"http://a.example/feed", "https://b.example/atom.xml"}},
        {"1.0 with folders nested two deep, read in file order",
         "<opml version=\"1.0\"><head/><body>"
         "<outline text=\"News\"><outline text=\"a\" type=\"rss\" xmlUrl=\"http://h/1\"/>"
         "<outline text=\"Local\"><outline text=\"b\" type=\"rss\" xmlUrl=\"http://h/2\"/></outline></outline>"
         "<outline text=\"c\" type=\"rss\" xmlUrl=\"http://h/3\"/></body></opml>",
         {"http://h/1", "http://h/2", "http://h/3"}},
        {"outlines without a feed address (links, notes, empty folders) are passed by",
         "<opml version=\"2.0\"><body><outline text=\"note\"/><outline type=\"link\" url=\"http://l/\"/>"
         "<outline text=\"empty\"></outline><outline xmlUrl=\"http://h/x\" type=\"atom\"/></body></opml>",
         {"http://h/x"}},
        {"the attribute's name in other cases, references resolved",
         "<opml><body><outline xmlurl=\"http://h/?a=1&amp;b=2\"/><outline xmlURL=\"http://h/y\"/></body></opml>",
         {"http://h/?a=1&b=2", "http://h/y"}},
        {"UTF-16 with its byte order mark", Utf16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>"
                                                  "<opml version=\"2.0\"><body><outline xmlUrl=\"http://u/16\"/>"
                                                  "</body></opml>"),
         {"http://u/16"}},
        {"Shift_JIS, a Japanese title beside the address",
         "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><opml version=\"1.1\"><body>"
         "<outline text=\"\x93\xfa\x96\x7b\" xmlUrl=\"http://jp/rss\"/></body></opml>",
         {"http://jp/rss"}},
        {"ISO-8859-1, converted before the parse",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><opml version=\"2.0\"><body>"
         "<outline text=\"caf\xe9\" xmlUrl=\"http://fr/rss\"/></body></opml>",
         {"http://fr/rss"}},
        {"a list of no feeds", "<opml version=\"2.0\"><head/><body/></opml>", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Strings addresses;
        ASSERT_EQ(OpmlReadable, Read(c.text, &addresses));
        EXPECT_EQ(c.addresses, addresses);
    }
    Strings addresses;
    ASSERT_EQ(OpmlReadable, Read(Outlines(MaxOpmlOutlines), &addresses));  // exactly the outline bound
    ASSERT_EQ(size_t(MaxOpmlOutlines), addresses.size());
    EXPECT_EQ("http://h/9999", addresses.back());
}

TEST_F(OpmlTest, FilesThatAreNoListOrHostileGiveNothingAndSayWhy)
{
    const std::string laughs =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n"
        " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n"
        " <!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">\n"
        " <!ENTITY lol9 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">\n]>\n";
    struct Case {
        const char *name;
        std::string text;
        int failure;
        std::string detail;  // its start
    } cases[] = {
        {"empty file", "", OpmlNotXml, ""},
        {"an HTML page", "<!DOCTYPE html><html><head><title>x</title></head><body></body></html>", OpmlNotOpml,
         "html"},
        {"a feed", "<rss version=\"2.0\"><channel><title>x</title></channel></rss>", OpmlNotOpml, "rss"},
        {"cut in the middle", "<opml version=\"2.0\"><body><outline xmlUrl=\"http://h/1\"/><outl", OpmlNotXml, ""},
        {"plain text", "http://h/1\nhttp://h/2\n", OpmlNotXml, ""},
        {"billion laughs", laughs + "<lolz>&lol9;</lolz>", OpmlNotOpml, "lolz"},
        {"100,000 outlines", Outlines(100000), OpmlTooManyOutlines, ""},
        {"one outline past the bound", Outlines(MaxOpmlOutlines + 1), OpmlTooManyOutlines, ""},
        {"folders nested past the document bound",
         "<opml><body>" + Repeat("<outline>", 300) + Repeat("</outline>", 300) + "</body></opml>", OpmlNotXml,
         "Error elements nested too deeply"},
        {"an outline with too many attributes",
         "<opml><body><outline " + [] {
             std::string a;
             for (int i = 0; i < 100; ++i)
                 a += "a" + std::to_string(i) + "=\"x\" ";
             return a;
         }() + "/></body></opml>",
         OpmlNotXml, "Error too many attributes"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Strings addresses = {"left over"};
        std::string detail;
        EXPECT_EQ(c.failure, Read(c.text, &addresses, &detail));
        EXPECT_TRUE(addresses.empty());
        EXPECT_EQ(c.detail, detail.substr(0, c.detail.size())) << detail;
    }
    Strings addresses;
    EXPECT_EQ(OpmlCannotOpen, read_opml_file(folder.Path("missing.opml").c_str(), &addresses, nullptr));
}

TEST_F(OpmlTest, EntitiesAreNeverExpandedAndAFileBeyondTheSizeBoundIsNotRead)
{
    // The internal subset is blanked and the parser knows no entity but
    // XML's own: the reference gives no address.
    Strings addresses;
    ASSERT_EQ(OpmlReadable, Read("<?xml version=\"1.0\"?><!DOCTYPE opml [<!ENTITY a \"http://evil/\">"
                                 "<!ENTITY b \"&a;&a;&a;&a;\">]><opml><body><outline xmlUrl=\"&b;\"/>"
                                 "</body></opml>",
                                 &addresses));
    ASSERT_EQ(1u, addresses.size());
    EXPECT_EQ(std::string::npos, addresses[0].find("evil")) << addresses[0];
    EXPECT_EQ(SkipNotHttp, import_skip_reason(addresses[0]));

    std::string big = "<opml><body>" + std::string(MaxOpmlFileBytes, ' ') + "</body></opml>";
    EXPECT_EQ(OpmlTooLarge, Read(big, &addresses));
    big.resize(MaxOpmlFileBytes);
    big.replace(big.size() - 14, 14, "</body></opml>");
    EXPECT_EQ(OpmlReadable, Read(big, &addresses));  // exactly the bound
}

TEST(OpmlImportRules, AddressesThatCannotBeFeedEntriesAreSkippedWithTheirReason)
{
    struct Case {
        std::string address;
        int reason;
    } cases[] = {
        {"http://example.com/feed", SkipNone},
        {"HTTPS://example.com/feed", SkipNone},
        {"  http://example.com/feed\n", SkipNone},  // white space around it is no part of it
        {"ftp://example.com/feed", SkipNotHttp},
        {"example.com/feed", SkipNotHttp},
        {"http://", SkipNotHttp},
        {"http:///path", SkipNotHttp},
        {"", SkipNotHttp},
        {"feed://example.com/rss", SkipNotHttp},
        {"http://example.com/a feed", SkipSpaceOrComma},
        {"http://example.com/a,b", SkipSpaceOrComma},
        {"http://example.com/a\tb", SkipSpaceOrComma},
        {"http://example.com/\xe6\x97\xa5", SkipNotAscii},
        {"http://example.com/\x01", SkipNotAscii},
        {"http://h/" + std::string(UrlBufferSize - 1 - 9, 'x'), SkipNone},  // 999 bytes
        {"http://h/" + std::string(UrlBufferSize - 9, 'x'), SkipTooLong},   // 1000
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.address.substr(0, 40));
        EXPECT_EQ(c.reason, import_skip_reason(c.address));
    }
    EXPECT_EQ("http://x/", trimmed_address(" \r\n\thttp://x/ \n"));
}

TEST_F(OpmlTest, ImportAppendsNewAddressesInOrderWithOneRewrite)
{
    WriteFileBytes(Ini(), "Inbox\\KIV\r\n0\r\n1\r\nhttp://old/,2024-06-06T18:30:00+00:00");
    ImportSummary summary;
    ASSERT_EQ(1, import_feed_addresses({"http://new/1", "http://old/", "ftp://x/", " http://new/2 ", "http://new/1",
                                        "http://a b/", "mailto:x@y", "gopher://z/", "http://new/3"},
                                       &summary));
    EXPECT_EQ("Inbox\\KIV\r\n0\r\n1\r\nhttp://old/,2024-06-06T18:30:00+00:00\r\n"
              "http://new/1,2000-01-01T00:00:00+09:00\r\nhttp://new/2,2000-01-01T00:00:00+09:00\r\n"
              "http://new/3,2000-01-01T00:00:00+09:00",
              ReadFileBytes(Ini()));
    EXPECT_EQ(3u, summary.added);
    EXPECT_EQ(2u, summary.listed);  // in the file, and twice in the list
    EXPECT_EQ(4u, summary.skipped);
    ASSERT_EQ(size_t(ShownSkips), summary.first_skips.size());
    EXPECT_EQ(std::make_pair(std::string("ftp://x/"), int(SkipNotHttp)), summary.first_skips[0]);
    EXPECT_EQ(std::make_pair(std::string("http://a b/"), int(SkipSpaceOrComma)), summary.first_skips[1]);
    EXPECT_EQ(std::make_pair(std::string("mailto:x@y"), int(SkipNotHttp)), summary.first_skips[2]);
    EXPECT_FALSE(FileExists(Ini() + ".new"));
}

TEST_F(OpmlTest, ImportThatAddsNothingOrCannotReadLeavesTheFileAsItWas)
{
    struct Case {
        const char *name;
        std::string before;
        Strings addresses;
        int result;
    } cases[] = {
        {"everything listed", "F\r\n0\r\n0\r\nhttp://a/,x\r\n", {"http://a/"}, 1},
        {"an empty list", "F\r\n0\r\n0", {}, 1},
        {"options missing", "F\r\n0", {"http://a/"}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        WriteFileBytes(Ini(), c.before);
        ImportSummary summary;
        EXPECT_EQ(c.result, import_feed_addresses(c.addresses, &summary));
        EXPECT_EQ(c.before, ReadFileBytes(Ini()));
        EXPECT_EQ(0u, summary.added);
    }
    DeleteFileA(Ini().c_str());
    ImportSummary summary;
    EXPECT_EQ(0, import_feed_addresses({"http://a/"}, &summary));
    EXPECT_FALSE(FileExists(Ini()));
}

TEST(OpmlExport, EachFeedIsOneOutlineWithItsTitleSiteAndFolderEscaped)
{
    std::string text = format_opml({
        {"http://a/?x=1&y=2", "Tom & \"Jerry\" <news>", "http://a/", ""},
        {"http://b/", "", "", "Inbox\\R&D\\"},  // its own folder as a category path
        {"http://c/", "\xe6\x97\xa5\xe6\x9c\xac\tline\nbreak\x01", "http://c/home", "Tech"},
        {"http://d/", "\x93\xfa", "", ""},  // no UTF-8: the address stands in
    });
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\">\n  <head>\n"
              "    <title>KIV</title>\n  </head>\n  <body>\n"
              "    <outline type=\"rss\" text=\"Tom &amp; &quot;Jerry&quot; &lt;news&gt;\" "
              "title=\"Tom &amp; &quot;Jerry&quot; &lt;news&gt;\" xmlUrl=\"http://a/?x=1&amp;y=2\" "
              "htmlUrl=\"http://a/\"/>\n"
              "    <outline type=\"rss\" text=\"http://b/\" title=\"http://b/\" xmlUrl=\"http://b/\" "
              "category=\"/Inbox/R&amp;D\"/>\n"
              "    <outline type=\"rss\" text=\"\xe6\x97\xa5\xe6\x9c\xac&#9;line&#10;break\" "
              "title=\"\xe6\x97\xa5\xe6\x9c\xac&#9;line&#10;break\" xmlUrl=\"http://c/\" htmlUrl=\"http://c/home\" "
              "category=\"/Tech\"/>\n"
              "    <outline type=\"rss\" text=\"http://d/\" title=\"http://d/\" xmlUrl=\"http://d/\"/>\n"
              "  </body>\n</opml>\n",
              text);
}

TEST_F(OpmlTest, ExportedListReadsBackAndReplacesTheFileWhole)
{
    WriteFileBytes(Ini(), "F\r\n0\r\n0\r\nhttp://a/?p=1&q=2,x\r\nhttps://b/feed\r\nhttp://c/\x93\xfa,y");
    std::vector<ExportedFeed> feeds;
    ASSERT_EQ(1, read_exported_feeds(&feeds));
    ASSERT_EQ(3u, feeds.size());
    EXPECT_EQ("http://c/\xe6\x97\xa5", feeds[2].address);  // the settings file's code page made UTF-8

    std::string path = folder.Path("out.opml");
    WriteFileBytes(path, "an older list, longer than the new one will be ...................................");
    ASSERT_EQ(1, write_opml_file(path.c_str(), feeds));
    EXPECT_EQ(format_opml(feeds), ReadFileBytes(path));
    EXPECT_FALSE(FileExists(path + ".new"));
    Strings addresses;
    ASSERT_EQ(OpmlReadable, read_opml_file(path.c_str(), &addresses, nullptr));
    EXPECT_EQ((Strings{"http://a/?p=1&q=2", "https://b/feed", "http://c/\xe6\x97\xa5"}), addresses);

    // The title and site link come from each feed's record, as last read.
    CreateDirectoryA(DataFolderPath, nullptr);
    FeedRecord record;
    record.title = "\xe6\x97\xa5\xe6\x9c\xac \"news\"";
    record.site = "https://b/";
    char path_b[MAX_PATH];
    ASSERT_EQ(1, feed_record_path(DataFolderPath, "https://b/feed", path_b, sizeof path_b));
    ASSERT_EQ(1, write_feed_record(path_b, "https://b/feed", record));
    ASSERT_EQ(1, read_exported_feeds(&feeds));
    EXPECT_EQ("", feeds[0].title);
    EXPECT_EQ(record.title, feeds[1].title);
    EXPECT_EQ("https://b/", feeds[1].site);
    DeleteFileA(path_b);
    RemoveFolder(DataFolderPath);

    EXPECT_EQ(0, write_opml_file((folder.Path("no-such-folder") + "/out.opml").c_str(), feeds));
    DeleteFileA(Ini().c_str());
    EXPECT_EQ(0, read_exported_feeds(&feeds));
}

}  // namespace

namespace {

// What the patrol keeps of a feed for the export: its title and site link in
// UTF-8, whichever code page the feed was written in.
TEST(FeedTitleKept, TheConversionTellsTheChannelsTitleAndLinkInUtf8)
{
    const std::string garden = "\xe5\xba\xad\xe3\x81\xae\xe6\x97\xa5\xe8\xa8\x98";  // 庭の日記
    InstallTestHostConversions();  // into code page 932, as the host converts
    for (const char *name : {"feeds/japanese_shift_jis.xml", "feeds/japanese_euc_jp.xml", "feeds/japanese_utf8.xml"}) {
        SCOPED_TRACE(name);
        Conversion conversion = ConvertFile(TestDataPath(name), "2000-01-01T00:00:00+09:00");
        EXPECT_EQ(garden, conversion.report.title);
        EXPECT_EQ("http://niwa.example/", conversion.report.site);
    }
}

}  // namespace

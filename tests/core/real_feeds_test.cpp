// Feeds in the shapes met on real sites, one small fixture for each thing
// that went wrong with them, read into the message a person expects.
#include "feed_test_support.h"
#include "shell/host_functions.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

std::string RealFeed(const std::string &name) { return TestDataPath("real_feeds/" + name); }

// The item blocks of a message, between the separator and the closing CR LF.
std::string Items(const Conversion &c)
{
    size_t start = c.message.find("\n---\n");
    if (c.result != 1 || start == std::string::npos || c.message.size() < start + 7)
        return "(no message)";
    return c.message.substr(start + 5, c.message.size() - start - 7);
}

std::string HeaderLine(const Conversion &c, const std::string &name)
{
    size_t start = c.message.find("\r\n" + name + ": ");
    if (start == std::string::npos)
        return "(none)";
    start += 2;
    return c.message.substr(start, c.message.find("\r\n", start) - start);
}

const std::string Dated = "2024/05/03 18:00:00+09:00\n";

TEST(RealFeeds, WholeTextsOnOneTitleLine)
{
    InstallUnchangedUtf8();
    // A text, then CDATA; a CDATA section split to write its "]]>".
    Conversion pieces = ConvertFile(RealFeed("title_and_description_in_pieces.xml"), nullptr);
    EXPECT_EQ(Dated + "Link: Staking tomatoes [  ]\nhttp://shop.example/stakes\nUse string, not ]]> wire.\n\n",
              Items(pieces));
    // Line breaks inside CDATA in titles and in the channel's texts.
    Conversion lines = ConvertFile(RealFeed("title_over_three_lines.xml"), nullptr);
    EXPECT_EQ("Subject: Shop news -Daily notes-", HeaderLine(lines, "Subject"));
    EXPECT_EQ(Dated + "Spring sale: seeds, bulbs and tools [  ]\nhttp://shop.example/sale\n\n", Items(lines));
}

TEST(RealFeeds, BodiesAndLinks)
{
    InstallUnchangedUtf8();
    Conversion encoded = ConvertFile(RealFeed("body_in_content_encoded.xml"), nullptr);
    EXPECT_EQ(Dated + "Bulbs [  ]\nhttp://shop.example/bulbs\nPlant in autumn.\n\n", Items(encoded));

    Conversion guid = ConvertFile(RealFeed("link_from_permalink_guid.xml"), nullptr);
    EXPECT_EQ(Dated + "Permalink [  ]\nhttp://shop.example/p/1\n\n" + Dated + "Not a permalink [  ]\n\n\n" + Dated +
                  "Not an address [  ]\n\n\n" + Dated + "Link first [  ]\nhttp://shop.example/4\n\n",
              Items(guid));

    // Atom: the alternate link, by its rel or by default, ahead of edit,
    // enclosure and self links; the subtitle as the description.
    Conversion atom = ConvertFile(RealFeed("atom_bodies_and_links.xml"), nullptr);
    EXPECT_EQ("From: [http://orchard.example/]", HeaderLine(atom, "From"));
    EXPECT_EQ("Subject: Orchard -Notes from the orchard-", HeaderLine(atom, "Subject"));
    const std::string items = Items(atom);
    EXPECT_NE(std::string::npos, items.find("\nContent as HTML [  ]\nhttp://orchard.example/1\nApples and pears\n\n"))
        << items;
    EXPECT_NE(std::string::npos, items.find("\nContent as XHTML [  ]\nhttp://orchard.example/2\n")) << items;
    // No alternate link: the first.
    EXPECT_NE(std::string::npos, items.find("\nSummary as XHTML [  ]\nhttp://orchard.example/api/3\n")) << items;
}

TEST(RealFeeds, XhtmlIsReadAsItsMarkup)
{
    TiXmlDocument document;
    ASSERT_EQ(1, load_feed_document(&document, RealFeed("atom_bodies_and_links.xml").c_str()));
    TiXmlElement *second = document.RootElement()->FirstChildElement("entry")->NextSiblingElement("entry");
    const char *text = nullptr;
    ASSERT_EQ(1, FeedConverter::get_child_text(TiXmlHandle(second), "content", &text));
    EXPECT_STREQ("<p>Pruning <b>now</b> &amp; then</p>", text);
    // Read twice, the same.
    ASSERT_EQ(1, FeedConverter::get_child_text(TiXmlHandle(second), "content", &text));
    EXPECT_STREQ("<p>Pruning <b>now</b> &amp; then</p>", text);
    ASSERT_EQ(1, FeedConverter::get_child_text(TiXmlHandle(second->NextSiblingElement("entry")), "summary", &text));
    EXPECT_STREQ("Bees <i>everywhere</i>", text);
}

TEST(RealFeeds, RecognisedAsTheXmlAndRssTheyAre)
{
    InstallTestHostConversions();
    struct Case {
        const char *file, *items;
    } cases[] = {
        {"rss_0_92.xml", "Version 0.92 [  ]\nhttp://shop.example/092\n\n"},
        {"rss_without_version.xml", "No version [  ]\nhttp://shop.example/none\n\n"},
        {"internal_dtd_subset.xml", "With a DTD [  ]\nhttp://shop.example/dtd\n\n"},
        // UTF-8, XML's own encoding, when none is declared.
        {"no_declaration.xml", "苗の植え付け [  ]\nhttp://shop.example/t\n\n"},
        {"declaration_without_encoding.xml", "トマト [  ]\nhttp://shop.example/t\n\n"},
    };
    for (const Case &c : cases) {
        Conversion conversion = ConvertFile(RealFeed(c.file), nullptr);
        EXPECT_EQ(1, conversion.result) << c.file;
        EXPECT_EQ(Dated + c.items, Items(conversion)) << c.file;
    }
}

TEST(RealFeeds, EveryCodePageArrivesInUtf8)
{
    InstallUnchangedUtf8();
    struct Case {
        const char *file, *title;
    } cases[] = {
        {"encoding_iso-8859-1.xml", u8"Crème brûlée ’"},
        {"encoding_windows-1251.xml", u8"Новости"},
        {"encoding_koi8-r.xml", u8"Погода"},
        {"encoding_gb2312.xml", u8"新闻"},
        {"encoding_big5.xml", u8"新聞"},
        {"encoding_euc-kr.xml", u8"뉴스"},
        {"encoding_iso-8859-7.xml", u8"Ειδήσεις"},
        {"encoding_windows-1255.xml", u8"חדשות"},
        {"encoding_tis-620.xml", u8"ข่าว"},
        {"encoding_iso-8859-9.xml", u8"Haberler ğüşıöç"},
    };
    for (const Case &c : cases) {
        Conversion conversion = ConvertFile(RealFeed(c.file), nullptr);
        EXPECT_EQ(1, conversion.result) << c.file;
        const std::string items = Items(conversion);
        EXPECT_EQ(Dated + c.title + " [  ]", items.substr(0, items.find('\n', Dated.size()))) << c.file;
    }
}

// Titles escaped twice, markup escaped and unescaped, in the channel's texts
// and the items': every Subject and title line reads as text.
TEST(RealFeeds, TitlesReadAsText)
{
    InstallUnchangedUtf8();
    Conversion c = ConvertFile(RealFeed("escaped_titles.xml"), nullptr);
    EXPECT_EQ("Subject: Shop & garden -Example markup unescaped-", HeaderLine(c, "Subject"));
    EXPECT_EQ(Dated + u8"Tom & Jerry’s [  ]\nhttp://shop.example/escaped/1\n\n" + Dated +
                  "Escaped emphasis here [  ]\nhttp://shop.example/escaped/2\n\n" + Dated +
                  "Unescaped emphasis here [  ]\nhttp://shop.example/escaped/3\n\n" + Dated +
                  "Bold & linked [ tips & tricks ]\nhttp://shop.example/escaped/4\n\n",
              Items(c));
}

// Channel texts whose markup reads as texts that fill their fields give the
// message of those texts written plain: read first, then cut at 511 bytes,
// the Subject and the header block at 1,023 as ever.
TEST(RealFeeds, LongChannelTextsAreReadThenCut)
{
    InstallUnchangedUtf8();
    std::string plain, markup;
    for (int i = 0; i < 120; ++i) {
        plain += "wxyz ";
        markup += "&lt;b&gt;wxyz&lt;/b&gt; ";
    }
    auto feed = [](const std::string &text) {
        return Rss20Feed("<item><title>i</title><dc:date>2024-05-03T18:00:00+09:00</dc:date></item>",
                         "<title>" + text + "</title><link>http://l/</link><description>" + text + "</description>");
    };
    Conversion read = ConvertText(feed(markup), nullptr);
    ASSERT_EQ(1, read.result);
    EXPECT_EQ(ConvertText(feed(plain), nullptr).message, read.message);
    EXPECT_NE(std::string::npos, read.message.find("\r\nSubject: " + plain.substr(0, 511) + " -wxyz wxyz"));
}

// Links relative to the document's address, to Content-Location or to the
// address after redirects (whichever the download hands over), or to an
// xml:base, which may itself be relative to the one around it.
TEST(RealFeeds, RelativeLinksAreMadeAbsolute)
{
    InstallUnchangedUtf8();
    Conversion rss = ConvertFile(RealFeed("rss_relative_links.xml"), nullptr, 0, nullptr,
                                 "http://shop.example/feeds/rss.xml");
    EXPECT_EQ("From: [http://shop.example/]", HeaderLine(rss, "From"));
    EXPECT_EQ(Dated + "Next to the feed [  ]\nhttp://shop.example/feeds/posts/1.html\nPhotos here[1].\n\n"
                      "[1] http://shop.example/img/1/\n\n" +
                  Dated + "Another host [  ]\nhttp://cdn.example/2\n\n" + Dated +
                  "A query [  ]\nhttp://shop.example/feeds/rss.xml?p=3&c=1\n\n",
              Items(rss));
    // With no address to stand on they stay as the feed writes them.
    Conversion unknown = ConvertFile(RealFeed("rss_relative_links.xml"), nullptr);
    EXPECT_EQ("From: [/]", HeaderLine(unknown, "From"));
    EXPECT_NE(std::string::npos, Items(unknown).find("\nposts/1.html\nPhotos here[1].\n\n[1] ../img/1/\n\n"));

    Conversion atom = ConvertFile(RealFeed("atom_xml_base.xml"), nullptr, 0, nullptr,
                                  "https://orchard.example/feeds/atom_xml_base.xml");
    EXPECT_EQ("From: [https://orchard.example/blog/]", HeaderLine(atom, "From"));
    EXPECT_EQ("Subject: Orchard & garden -Notes every week-", HeaderLine(atom, "Subject"));
    EXPECT_EQ("\nGrafting apples [  ]\nhttps://orchard.example/blog/2024/grafting.html\n"
              "See the tools[1] and elsewhere[2].\n\n[1] https://orchard.example/tools/#saws\n"
              "[2] https://else.example/x\n\n"
              u8"\nPlain <tags> stay, references ’ go [  ]\nhttps://mirror.example/pruning?page=2\n\n",
              Items(atom));
}

// A numeric reference in a feed that is not UTF-8 names a character, not a
// byte: it arrives as that character in the feed's code page, or as '?'
// where the code page lacks it.
TEST(RealFeeds, NumericReferencesInJapaneseFeeds)
{
    InstallTestHostConversions();
    Conversion sjis = ConvertFile(RealFeed("shift_jis_numeric_references.xml"), nullptr);
    EXPECT_EQ(0, HostConversionCalls);
    EXPECT_EQ("Subject: 【店】 -毎日-", HeaderLine(sjis, "Subject"));
    EXPECT_EQ(Dated + "【速報】 種まき★? [  ]\nhttp://shop.example/sjis\n\n", Items(sjis));
    Conversion euc = ConvertFile(RealFeed("euc_jp_numeric_references.xml"), nullptr);
    EXPECT_EQ(Dated + "【速報】 [  ]\nhttp://shop.example/euc\n\n", Items(euc));
}

// Nothing a feed holds can end a header line: line breaks and other control
// characters in what goes into From, Subject and Date become spaces, and so
// they do in an item's title line.
TEST(RealFeeds, NoFeedCanAddAHeaderLine)
{
    InstallUnchangedUtf8();
    const std::string atom = "<?xml version=\"1.0\"?><feed xmlns=\"http://www.w3.org/2005/Atom\"><title>T</title>";
    const std::string feeds[] = {
        Rss20Feed("<item><title>i</title></item>",
                  "<title><![CDATA[T\r\nX-Injected: title]]></title><link>http://l/</link>"),
        Rss20Feed("<item><title>i</title></item>", "<title>T&#13;&#10;X-Injected: title</title>"),
        Rss20Feed("<item><title>i</title></item>", "<description><![CDATA[D\nX-Injected: description]]></description>"),
        Rss20Feed("<item><title>i</title></item>", "<description>D&#10;&#9;X-Injected: description</description>"),
        Rss20Feed("<item><title>i</title></item>", "<link><![CDATA[http://l/\rX-Injected: from]]></link>"),
        atom + "<link href=\"http://l/&#10;X-Injected: from\"/><entry><title>i</title></entry></feed>",
        atom + "<link href='http://l/\nX-Injected: from'/><entry><title>i</title></entry></feed>",
        Rss20Feed("<item><title>i</title><dc:date>2024-05-03T18:00:00&#10;X-Injected:</dc:date></item>"),
        Rss20Feed("<item><title>i</title><dc:date>2024-05-03&#10;X-Injected: date&#10;</dc:date></item>"),
        Rss20Feed("<item><title><![CDATA[i\r\nX-Injected: item]]></title><dc:subject>s&#10;X-Injected: subject"
                  "</dc:subject><link><![CDATA[http://i/\nX-Injected: link]]></link></item>"),
    };
    for (const std::string &feed : feeds) {
        Conversion c = ConvertText(feed, nullptr);
        ASSERT_EQ(1, c.result) << feed;
        size_t header_end = c.message.find("\r\n\r\n");
        ASSERT_NE(std::string::npos, header_end) << feed;
        const std::string header = c.message.substr(0, header_end + 2);
        // Date, From, Subject and To, each ending in CR LF, and no other line end.
        EXPECT_EQ(4, std::count(header.begin(), header.end(), '\n')) << header;
        EXPECT_EQ(4, std::count(header.begin(), header.end(), '\r')) << header;
        EXPECT_EQ(0u, header.find("Date: ")) << header;
        EXPECT_LT(header.find("\r\nFrom: "), header.find("\r\nSubject: ")) << header;
        EXPECT_LT(header.find("\r\nSubject: "), header.find("\r\nTo: [KIVv1.08]\r\n")) << header;
        for (char ch : header)
            EXPECT_FALSE(static_cast<unsigned char>(ch) < 0x20 && ch != '\r' && ch != '\n') << header;
        EXPECT_EQ(std::string::npos, c.message.find("\nX-Injected")) << c.message;
        EXPECT_EQ(std::string::npos, c.message.find("\rX-Injected")) << c.message;
    }
    Conversion item = ConvertText(feeds[9], nullptr);
    EXPECT_EQ("\ni X-Injected: item [ s X-Injected: subject ]\nhttp://i/ X-Injected: link\n\n", Items(item));
}

}  // namespace

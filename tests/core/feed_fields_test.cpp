// Titles, links, descriptions and subjects of channels and items: where each
// comes from per feed type, how it is cut, and when the host converts it.
#include "base/addresses.h"
#include "feed_test_support.h"
#include "shell/host_functions.h"

#include <cstdlib>
#include <gtest/gtest.h>

namespace {

struct Fields {
    std::string title, link, description, subject;
    int title_result, link_result, description_result, subject_result;
    bool has_item_description;
    std::string item_description;
};

Fields Extract(const std::string &element, int encoding, int feed_type)
{
    // The declaration that gives the encoding code, as TinyXML must see it too.
    const char *declared = encoding == EncodingUtf8    ? " encoding=\"UTF-8\""
                           : encoding == EncodingEucJp ? " encoding=\"EUC-JP\""
                                                       : "";
    TiXmlDocument document;
    ParseFeed(document, std::string("<?xml version=\"1.0\"") + declared + "?>" + element);
    TiXmlHandle parent(document.RootElement());
    char title[TextFieldSize], link[TextFieldSize], description[TextFieldSize], subject[TextFieldSize];
    char *item_description = nullptr;
    Fields f;
    f.title_result = FeedConverter::get_title(parent, encoding, feed_type, title);
    f.link_result = FeedConverter::get_link(parent, feed_type, link);
    f.description_result = FeedConverter::get_description(parent, encoding, feed_type, description);
    f.subject_result = FeedConverter::get_subject(parent, encoding, feed_type, subject);
    f.has_item_description = FeedConverter::get_item_description(parent, encoding, feed_type, &item_description);
    f.title = title, f.link = link, f.description = description, f.subject = subject;
    if (item_description)
        f.item_description = item_description;
    free(item_description);
    return f;
}

TEST(FeedFields, RssAndAtomReadTheirOwnElements)
{
    InstallTestHostConversions();
    Fields rss = Extract("<item><title>T</title><link>http://l/</link><description>D &lt;b&gt;</description>"
                         "<summary>S</summary><tagline>G</tagline><dc:subject>K</dc:subject></item>",
                         EncodingNone, FeedRss20);
    EXPECT_EQ("T", rss.title);
    EXPECT_EQ("http://l/", rss.link);
    EXPECT_EQ("D", rss.description);  // read as HTML, as the item's text is
    EXPECT_EQ("D", rss.item_description);
    EXPECT_EQ("K", rss.subject);
    EXPECT_EQ(1, rss.link_result);
    EXPECT_EQ(1, rss.description_result);
    EXPECT_EQ(1, rss.subject_result);

    // Atom: the alternate link, subtitle when there is no tagline, summary
    // ahead of content.
    Fields atom = Extract("<entry><title>A</title><link rel=\"self\" href=\"http://self/\"/>"
                          "<link rel=\"alternate\" href=\"http://alt/\"/><subtitle>sub</subtitle>"
                          "<description>no</description><content>no</content><summary>S</summary></entry>",
                          EncodingNone, FeedAtom);
    EXPECT_EQ("A", atom.title);
    EXPECT_EQ("http://alt/", atom.link);
    EXPECT_EQ("sub", atom.description);
    EXPECT_EQ(1, atom.description_result);
    EXPECT_EQ("S", atom.item_description);
    EXPECT_EQ(0, HostConversionCalls);

    Fields tagline = Extract("<feed><tagline>G</tagline><link>http://text/</link></feed>", EncodingNone, FeedAtom);
    EXPECT_EQ("G", tagline.description);
    EXPECT_EQ("", tagline.link);  // an Atom link without href counts as missing
    EXPECT_EQ(0, tagline.link_result);
}

TEST(FeedFields, MissingElementsGiveEmptyTexts)
{
    for (int feed_type : {FeedRss20, FeedAtom}) {
        Fields none = Extract("<item><title/><link/><pubDate>x</pubDate></item>", EncodingNone, feed_type);
        EXPECT_EQ(1, none.title_result);
        EXPECT_EQ(0, none.link_result);
        EXPECT_EQ(0, none.description_result);
        EXPECT_EQ(0, none.subject_result);
        EXPECT_FALSE(none.has_item_description);
        EXPECT_EQ("", none.title + none.link + none.description + none.subject);
    }
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><item><description>D</description></item>");
    EXPECT_EQ(0, FeedConverter::get_item_description(TiXmlHandle(document.RootElement()), EncodingNone, FeedRss20,
                                                      nullptr));
}

TEST(FeedFields, HostConvertsTitleSubjectAndFoundDescriptionsButNeverLinks)
{
    struct Case {
        int encoding;
        std::string element;
        int calls;
    } cases[] = {
        // title and subject always, descriptions only when found
        {EncodingUtf8, "<item><link>http://l/</link></item>", 2},
        {EncodingUtf8, "<item><title>T</title><description>D</description><dc:subject>S</dc:subject></item>", 4},
        {EncodingEucJp, "<item><description>D</description></item>", 4},
        {EncodingNone, "<item><title>T</title><description>D</description><dc:subject>S</dc:subject></item>", 0},
    };
    for (const Case &c : cases) {
        InstallTestHostConversions();
        Extract(c.element, c.encoding, FeedRss20);
        EXPECT_EQ(c.calls, HostConversionCalls) << c.element;
    }
}

TEST(FeedFields, JapaneseTextsArriveInCodePage932)
{
    InstallTestHostConversions();
    // "日本語のタイトル" in UTF-8 and in EUC-JP.
    Fields utf8 = Extract("<item><title>\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe3\x82\xbf\xe3\x82\xa4"
                          "\xe3\x83\x88\xe3\x83\xab</title><link>http://l/\xe6\x97\xa5</link></item>",
                          EncodingUtf8, FeedRss20);
    EXPECT_EQ("日本語のタイトル", utf8.title);
    EXPECT_EQ("http://l/\xe6\x97\xa5", utf8.link);
    Fields euc = Extract("<item><title>\xc6\xfc\xcb\xdc\xb8\xec\xa4\xce\xa5\xbf\xa5\xa4\xa5\xc8\xa5\xeb</title></item>",
                         EncodingEucJp, FeedRss20);
    EXPECT_EQ("日本語のタイトル", euc.title);
}

TEST(FeedFields, TitleIsCutAt511BytesBeforeConversion)
{
    InstallTestHostConversions();
    std::string utf8;
    for (int i = 0; i < 200; ++i)
        utf8 += "\xe3\x81\x82";  // "あ", 600 bytes in all
    Fields f = Extract("<item><title>" + utf8 + "</title></item>", EncodingUtf8, FeedRss20);
    // 170 whole characters and one cut in two, which the conversion receives as it is.
    std::string whole;
    for (int i = 0; i < 170; ++i)
        whole += "あ";
    EXPECT_EQ(whole, f.title.substr(0, whole.size()));
    EXPECT_LE(f.title.size(), whole.size() + 2);
}

// Titles, channel descriptions and subjects as a person reads them: HTML,
// escaped once or twice or written unescaped, made readable text on one
// line; an Atom plain text keeps what looks like markup and loses only the
// references left by escaping twice; a feed that is not UTF-8 gets only its
// references to ASCII characters resolved.
TEST(FeedFields, TextsReadAsAPersonReadsThem)
{
    struct Case {
        int feed_type, encoding;
        const char *element, *title, *description, *subject;
    } cases[] = {
        {FeedRss20, EncodingUtf8,
         "<item><title>Tom &amp;amp; Jerry&amp;#8217;s</title><description>Example &lt;b&gt;Atom&lt;/b&gt;"
         "</description><dc:subject>a &amp;amp; b</dc:subject></item>",
         "Tom & Jerry\xe2\x80\x99s", "Example Atom", "a & b"},
        {FeedRss20, EncodingUtf8,
         "<item><title>A <em>b</em> c</title><description>Example <b>Atom</b></description>"
         "<dc:subject><!-- none -->s</dc:subject></item>",
         "A b c", "Example Atom", "s"},
        {FeedRss20, EncodingUtf8,
         "<item><title><![CDATA[<p>One</p><p>Two <a href=\"http://x.example/\">three</a></p>]]></title>"
         "<description><![CDATA[<ul><li>a</li><li>b</li></ul>]]></description></item>",
         "One Two three", "- a\n- b", ""},
        {FeedRss20, EncodingUtf8, "<item><title><!-- generated -->Real title</title></item>", "Real title", "", ""},
        // Nothing that reads as HTML: every byte as it stands.
        {FeedRss20, EncodingUtf8, "<item><title>a &lt; b &amp;&amp; Vector&lt;int&gt; AT&amp;T</title></item>",
         "a < b && Vector<int> AT&T", "", ""},
        {FeedAtom, EncodingUtf8,
         "<entry><title type=\"html\">&lt;b&gt;A&lt;/b&gt; &amp;amp; B</title>"
         "<subtitle type=\"html\">x &lt;i&gt;y&lt;/i&gt;</subtitle></entry>",
         "A & B", "x y", ""},
        {FeedAtom, EncodingUtf8,
         "<entry><title type=\"xhtml\"><div xmlns=\"http://www.w3.org/1999/xhtml\"><b>A</b> b</div></title>"
         "<tagline mode=\"escaped\" type=\"text/html\">&lt;em&gt;C&lt;/em&gt; d</tagline></entry>",
         "A b", "C d", ""},
        {FeedAtom, EncodingUtf8,
         "<entry><title type=\"text\">Fix &lt;div&gt; &amp;amp; Jerry&amp;#8217;s</title>"
         "<subtitle>&lt;p&gt; stays</subtitle><dc:subject>&lt;b&gt;</dc:subject></entry>",
         "Fix <div> & Jerry\xe2\x80\x99s", "<p> stays", "<b>"},
        {FeedAtom, EncodingUtf8, "<entry><title>A <em>b</em> c</title></entry>", "A b c", "", ""},
        {FeedRss20, EncodingNone,
         "<item><title>Jerry&amp;#8217;s &amp;amp; &lt;b&gt;x&lt;/b&gt;</title></item>", "Jerry&#8217;s & x", "", ""},
    };
    for (const Case &c : cases) {
        InstallUnchangedUtf8();
        Fields f = Extract(c.element, c.encoding, c.feed_type);
        EXPECT_EQ(c.title, f.title) << c.element;
        EXPECT_EQ(c.description, f.description) << c.element;
        EXPECT_EQ(c.subject, f.subject) << c.element;
    }
}

// The readable text is cut at 511 bytes, not the markup it comes from.
TEST(FeedFields, ReadableTextsAreCutAt511Bytes)
{
    InstallUnchangedUtf8();
    std::string markup, words;
    for (int i = 0; i < 100; ++i) {
        markup += "&lt;span class=&quot;word&quot;&gt;wxyz&lt;/span&gt;";
        words += "wxyz";
    }
    Fields whole = Extract("<item><title>" + markup + "</title><description>" + markup + "</description></item>",
                           EncodingUtf8, FeedRss20);
    EXPECT_EQ(words, whole.title);
    EXPECT_EQ(words, whole.description);
    Fields cut = Extract("<item><title>" + markup + markup + "</title></item>", EncodingUtf8, FeedRss20);
    EXPECT_EQ((words + words).substr(0, 511), cut.title);
}

// Links made absolute against the document's address or the xml:base around
// them, their references resolved; absent ones stay absent.
TEST(FeedFields, RelativeLinksAreMadeAbsolute)
{
    const char *address = "http://h.example/feeds/rss.xml";
    struct Case {
        int feed_type;
        const char *element, *address, *link;
        int found;
    } cases[] = {
        {FeedRss20, "<item><link>/post/1</link></item>", address, "http://h.example/post/1", 1},
        {FeedRss20, "<item><link>post?a=1&amp;amp;b=2</link></item>", address, "http://h.example/feeds/post?a=1&b=2", 1},
        {FeedRss20, "<item><link>http://other.example/a/../b</link></item>", address, "http://other.example/a/../b", 1},
        {FeedRss20, "<item xml:base=\"https://b.example/x/\"><link>../y</link></item>", address, "https://b.example/y", 1},
        {FeedRss20, "<item><link>/post/1</link></item>", nullptr, "/post/1", 1},
        {FeedRss20, "<item><link></link></item>", address, "", 0},
        {FeedAtom, "<entry xml:base=\"2024/\"><link href=\"a.html\"/></entry>", address, "http://h.example/feeds/2024/a.html", 1},
        {FeedAtom, "<entry><link xml:base=\"/z/\" href=\"#c\"/></entry>", address, "http://h.example/z/#c", 1},
        {FeedAtom, "<entry><link href=\"\"/></entry>", address, "", 1},
        {FeedAtom, "<entry><link href=\"mailto:m@h.example\"/></entry>", address, "mailto:m@h.example", 1},
    };
    for (const Case &c : cases) {
        TiXmlDocument document;
        ParseFeed(document, std::string("<?xml version=\"1.0\"?>") + c.element);
        char link[TextFieldSize];
        EXPECT_EQ(c.found, FeedConverter::get_link(TiXmlHandle(document.RootElement()), c.feed_type, link, c.address))
            << c.element;
        EXPECT_STREQ(c.link, link) << c.element;
    }
    // An absolute link longer than its field is cut as any link is.
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><item><link>" + std::string(600, 'p') + "</link></item>");
    char link[TextFieldSize + 16];
    memset(link, 'x', sizeof link);
    FeedConverter::get_link(TiXmlHandle(document.RootElement()), FeedRss20, link,
                            ("http://h.example/" + std::string(600, 'b') + "/").c_str());
    EXPECT_EQ("http://h.example/" + std::string(494, 'b'), std::string(link));
    EXPECT_EQ(std::string(16, 'x'), std::string(link + TextFieldSize, 16));
}

const char *WINAPI Doubled(const char *text, int)
{
    static std::string result;
    result = std::string(text) + text;
    return result.c_str();
}

TEST(FeedFields, ConvertedTextsStayWithinTheirBuffers)
{
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Doubled);
    Fields f = Extract("<item><title>" + std::string(400, 't') + "</title><description>" + std::string(300, 'd') +
                           "</description></item>",
                       EncodingUtf8, FeedRss20);
    EXPECT_EQ(std::string(511, 't'), f.title);
    EXPECT_EQ(std::string(600, 'd'), f.item_description);
    InstallTestHostConversions();

    std::string long_text(10000, 'x');
    Fields big = Extract("<item><description>" + long_text + "</description></item>", EncodingUtf8, FeedRss20);
    EXPECT_EQ(long_text, big.item_description);
}

}  // namespace

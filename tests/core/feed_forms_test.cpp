// The forms that real feeds and the formats' older versions use beside the common
// ones: elements under any prefix of their namespace, RSS 2.x, Atom 0.3
// content modes and Atom 1.0 base64 content, Dublin Core fallbacks.
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

const char Rss10[] = "http://purl.org/rss/1.0/";
const char Dc[] = "http://purl.org/dc/elements/1.1/";

// The item blocks of the message a feed becomes, or why there is none.
std::string Items(const std::string &xml)
{
    Conversion c = ConvertText(xml, nullptr);
    size_t start = c.message.find("\n---\n");
    if (c.result != 1 || start == std::string::npos)
        return std::string("(no message: ") + c.report.detail + ")";
    return c.message.substr(start + 5, c.message.size() - start - 7);
}

std::string Subject(const std::string &xml)
{
    Conversion c = ConvertText(xml, nullptr);
    size_t start = c.message.find("Subject: ");
    return start == std::string::npos ? "(none)" : c.message.substr(start, c.message.find("\r\n", start) - start);
}

const std::string Dated = "2024/05/03 18:00:00+09:00\n";

TEST(FeedForms, ElementsAreFoundByTheirNamespaceUnderAnyPrefix)
{
    InstallTestHostConversions();
    const std::string rdf = "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
    struct Case {
        const char *what;
        std::string xml, items;
    } cases[] = {
        {"RSS 1.0 under a prefix",
         "<rdf:RDF " + rdf + " xmlns:rss=\"" + Rss10 + "\" xmlns:d=\"" + Dc +
             "\"><rss:channel><rss:title>C</rss:title><rss:link>http://c.example/</rss:link></rss:channel>"
             "<rss:item><rss:title>Prefixed</rss:title><rss:link>http://i.example/1</rss:link>"
             "<rss:description>Body</rss:description><d:date>2024-05-03T18:00:00+09:00</d:date>"
             "<d:subject>Garden</d:subject></rss:item></rdf:RDF>",
         Dated + "Prefixed [ Garden ]\nhttp://i.example/1\nBody\n\n"},
        {"RDF itself as the default namespace",
         "<RDF xmlns=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns:r=\"" + std::string(Rss10) +
             "\"><r:channel><r:title>C</r:title></r:channel><r:item><r:title>Default RDF</r:title>"
             "<r:link>http://i.example/2</r:link></r:item></RDF>",
         "\nDefault RDF [  ]\nhttp://i.example/2\n\n"},
        {"a prefix declared on the item",
         "<rdf:RDF " + rdf + " xmlns=\"" + Rss10 + "\"><channel><title>C</title></channel>"
             "<item xmlns:DublinCore=\"" + Dc + "\"><title>Inner</title><link>http://i.example/3</link>"
             "<DublinCore:date>2024-05-03T18:00:00+09:00</DublinCore:date></item>"
             "<item><title>Outside</title><DublinCore:date>2024-05-03T18:00:00+09:00</DublinCore:date></item>"
             "</rdf:RDF>",
         Dated + "Inner [  ]\nhttp://i.example/3\n\n\nOutside [  ]\n\n\n"},
        {"RSS 2.0 under a prefix of the root's namespace",
         "<r:rss xmlns:r=\"http://backend.userland.com/rss2\" version=\"2.0\"><r:channel><r:title>C</r:title>"
         "<r:item><r:title>Userland</r:title><r:link>http://i.example/4</r:link>"
         "<r:pubDate>Fri, 03 May 2024 18:00:00 +0900</r:pubDate></r:item></r:channel></r:rss>",
         Dated + "Userland [  ]\nhttp://i.example/4\n\n"},
        {"RSS 2.0 under a prefix of any namespace",
         "<x:rss xmlns:x=\"urn:example:rss\" version=\"2.0\" xmlns:c=\"http://purl.org/rss/1.0/modules/content/\">"
         "<x:channel><x:title>C</x:title><x:item><x:title>Any</x:title><c:encoded>Encoded body</c:encoded>"
         "</x:item></x:channel></x:rss>",
         "\nAny [  ]\n\nEncoded body\n\n"},
        {"Atom 1.0 under a prefix",
         "<a:feed xmlns:a=\"http://www.w3.org/2005/Atom\"><a:title>C</a:title><a:entry><a:title>Atom</a:title>"
         "<a:link href=\"http://i.example/5\"/><a:updated>2024-05-03T18:00:00+09:00</a:updated></a:entry>"
         "</a:feed>",
         Dated + "Atom [  ]\nhttp://i.example/5\n\n"},
        {"Atom 0.3 under a prefix",
         "<atom:feed version=\"0.3\" xmlns:atom=\"http://purl.org/atom/ns#\"><atom:title>C</atom:title>"
         "<atom:entry><atom:title>Old Atom</atom:title><atom:link rel=\"alternate\" href=\"http://i.example/6\"/>"
         "<atom:modified>2024-05-03T18:00:00+09:00</atom:modified></atom:entry></atom:feed>",
         Dated + "Old Atom [  ]\nhttp://i.example/6\n\n"},
        // Another namespace is not taken for the feed's, whatever its prefix
        // or local name; an undeclared prefix is no namespace.
        {"look-alikes",
         "<rss version=\"2.0\" xmlns:m=\"urn:example:media\"><channel><title>C</title><item>"
         "<m:title>Media title</m:title><x:title>Undeclared</x:title><title>Own</title>"
         "<m:link>http://media.example/</m:link><link>http://i.example/7</link></item></channel></rss>",
         "\nOwn [  ]\nhttp://i.example/7\n\n"},
        // The names feeds mostly write are read as before, declared or not.
        {"usual names, undeclared",
         "<rss version=\"2.0\"><channel><title>C</title><item><title>Usual</title><dc:date>2024-05-03T18:00:00+09:00"
         "</dc:date><dc:subject>S</dc:subject></item></channel></rss>",
         Dated + "Usual [ S ]\n\n\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.items, Items(c.xml)) << c.what;
}

// Items are the elements named so, wherever the channel stands; what else
// stands beside them is stepped over.
TEST(FeedForms, ItemsAndChannelAmongOtherElements)
{
    InstallTestHostConversions();
    const std::string rdf = "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"";
    const std::string one = "<item><title>One</title><link>http://i.example/1</link></item>";
    const std::string two = "<item><title>Two</title></item>";
    const std::string both = "\nOne [  ]\nhttp://i.example/1\n\n\nTwo [  ]\n\n\n";
    struct Case {
        const char *what;
        std::string xml, subject, items;
    } cases[] = {
        {"RSS 2.0, an element before the channel",
         "<rss version=\"2.0\" xmlns:sx=\"http://feedsync.org/2007/feedsync\"><sx:sharing/><channel><title>C</title>"
         "<description>D</description>" + one + "<image><title>Logo</title></image>" + two +
             "<textInput><title>Search</title></textInput></channel></rss>",
         "Subject: C -D-", both},
        {"RSS 0.91, image and textinput after the items",
         "<rss version=\"0.91\"><channel><title>C</title>" + one + two +
             "<image><title>Logo</title></image><textinput><title>Search</title></textinput></channel></rss>",
         "Subject: C --", both},
        {"RSS 1.0, the channel after another element",
         rdf + " xmlns=\"http://purl.org/rss/1.0/\"><image/><channel><title>C</title></channel>" + one +
             "<textinput><title>Search</title></textinput>" + two + "</rdf:RDF>",
         "Subject: C --", both},
        {"RSS 0.90",
         rdf + " xmlns=\"http://my.netscape.com/rdf/simple/0.9/\"><channel><title>C</title></channel>"
             "<image><title>Logo</title></image>" + one + two + "<textinput><title>Search</title></textinput>"
             "</rdf:RDF>",
         "Subject: C --", both},
        {"RSS 1.0 declared on the channel and items",
         rdf + "><channel xmlns=\"http://purl.org/rss/1.0/\"><title>C</title></channel>"
             "<item xmlns=\"http://purl.org/rss/1.0/\"><title>One</title><link>http://i.example/1</link></item>"
             "<item xmlns=\"http://purl.org/rss/1.0/\"><title>Two</title></item></rdf:RDF>",
         "Subject: C --", both},
        {"Atom 0.2",
         "<feed version=\"0.2\" xmlns=\"http://purl.org/atom/ns#\"><title>C</title><entry><title>One</title>"
         "<link rel=\"alternate\" href=\"http://i.example/1\"/></entry><info>x</info><entry><title>Two</title></entry>"
         "</feed>",
         "Subject: C --", "\nOne [  ]\nhttp://i.example/1\n\n\nTwo [  ]\n\n\n"},
        {"an Atom link in an RSS channel is not the channel's",
         "<rss version=\"2.0\" xmlns:atom=\"http://www.w3.org/2005/Atom\"><channel><title>C</title>"
         "<atom:link rel=\"self\" href=\"http://c.example/feed\"/><link>http://c.example/</link>" + one +
             "</channel></rss>",
         "Subject: C --", "\nOne [  ]\nhttp://i.example/1\n\n"},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(c.items, Items(c.xml)) << c.what;
        EXPECT_EQ(c.subject, Subject(c.xml)) << c.what;
    }
    Conversion c = ConvertText(cases[6].xml, nullptr);
    EXPECT_NE(std::string::npos, c.message.find("From: [http://c.example/]\r\n")) << c.message;
}

// Bodies where sites put them when the feed's own elements give none.
TEST(FeedForms, BodiesBesideTheUsualElements)
{
    InstallTestHostConversions();
    const std::string media = "xmlns:media=\"http://search.yahoo.com/mrss/\"";
    struct Case {
        const char *what;
        std::string children, body;  // an RSS 2.0 item's children, its text (and enclosure)
    } cases[] = {
        {"itunes:summary",
         "<itunes:summary xmlns:itunes=\"http://www.itunes.com/dtds/podcast-1.0.dtd\">Episode notes</itunes:summary>",
         "Episode notes"},
        {"itunes:summary under another prefix",
         "<i:summary xmlns:i=\"http://www.itunes.com/dtds/podcast-1.0.dtd\">Prefixed notes</i:summary>",
         "Prefixed notes"},
        {"media:description", "<media:description " + media + ">Clip</media:description>", "Clip"},
        {"media:description in media:group",
         "<media:group " + media + "><media:title>T</media:title><media:description>Grouped</media:description>"
             "</media:group>",
         "Grouped"},
        {"media:description in media:content",
         "<media:content " + media + " url=\"http://v.example/1\"><media:description>In content</media:description>"
             "</media:content>",
         "In content\nEnclosure: http://v.example/1"},
        {"media:description in media:content in media:group",
         "<media:group " + media + "><media:content url=\"http://v.example/1\"><media:description>Deep"
             "</media:description></media:content></media:group>",
         "Deep\nEnclosure: http://v.example/1"},
        {"the description first",
         "<description>Own</description><itunes:summary>Not this</itunes:summary>", "Own"},
        // Unescaped HTML in a description is read as HTML, a CDATA section
        // beside it as the HTML it holds.
        {"unescaped HTML", "<description>Example <b>bold</b> text</description>", "Example bold text"},
        {"an element, then HTML in CDATA",
         "<description><img src=\"http://i.example/a.png\" alt=\"A frisbee\"/><![CDATA[<p>Schools <i>now</i></p>]]>"
         "</description>",
         "A frisbee\n\nSchools now"},
        {"no text anywhere", "<media:group " + media + "><media:title>T</media:title></media:group>", ""},
    };
    for (const Case &c : cases) {
        std::string items = Items("<rss version=\"2.0\"><channel><title>C</title><item><title>I</title>" + c.children +
                                  "</item></channel></rss>");
        EXPECT_EQ("\nI [  ]\n\n" + (c.body.empty() ? "" : c.body + "\n") + "\n", items) << c.what;
    }
}

TEST(FeedForms, RssVersions)
{
    InstallTestHostConversions();
    const std::string item = "<channel><title>C</title><item><title>V</title></item></channel></rss>";
    for (const char *version : {"2.0", "2.01", "2.1", "2", "2.0011", "0.92", "0.94"})
        EXPECT_EQ("\nV [  ]\n\n\n", Items(std::string("<rss version=\"") + version + "\">" + item)) << version;
    for (const char *version : {"3.0", "2.", "2.x", "2.0.1", "20", "1.0", ""})
        EXPECT_EQ(std::string("(no message: root element <rss version=\"") + version + "\">)",
                  Items(std::string("<rss version=\"") + version + "\">" + item))
            << version;
}

TEST(FeedForms, AtomContentModesAndBase64)
{
    InstallTestHostConversions();
    auto atom03 = [](const std::string &content) {
        return "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"><title>C</title><entry><title>E</title>" +
               content + "</entry></feed>";
    };
    auto atom10 = [](const std::string &content) {
        return "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>C</title><entry><title>E</title>" + content +
               "</entry></feed>";
    };
    // "<p>Tea &amp; <b>cake</b></p>" in base64, over two lines.
    const std::string html64 = "PHA+VGVhICZhbXA7IDxiPmNha2U8L2I+PC9wPg\n==";
    struct Case {
        const char *what;
        std::string xml, body;  // body: the item's text, or "" for none
    } cases[] = {
        {"0.3 xml", atom03("<content type=\"application/xhtml+xml\" mode=\"xml\"><div xmlns=\"http://www.w3.org/"
                           "1999/xhtml\"><p>Tea &amp; <b>cake</b></p></div></content>"),
         "Tea & cake"},
        {"0.3 xml by default", atom03("<content type=\"application/xhtml+xml\"><div><p>Default</p></div></content>"),
         "Default"},
        {"0.3 xml, text only", atom03("<content mode=\"xml\">Plain &amp; simple</content>"), "Plain & simple"},
        {"0.3 escaped", atom03("<content type=\"text/html\" mode=\"escaped\">&lt;p&gt;Escaped&lt;/p&gt;</content>"),
         "Escaped"},
        {"0.3 base64 html", atom03("<content type=\"text/html\" mode=\"base64\">" + html64 + "</content>"),
         "Tea & cake"},
        {"0.3 base64 summary", atom03("<summary type=\"text/plain\" mode=\"base64\">SGVsbG8=</summary>"), "Hello"},
        {"0.3 no base64 after all", atom03("<content mode=\"base64\">Not *base64*</content>"), "Not *base64*"},
        {"1.0 other media type", atom10("<content type=\"application/octet-stream\">SGVsbG8gd29ybGQ=</content>"),
         "Hello world"},
        {"1.0 binary", atom10("<content type=\"image/png\">iVBORw0KGgoAAAANSUhEUg==</content>"), ""},
        {"1.0 binary, summary beside", atom10("<summary>Sum</summary><content type=\"image/png\">AAAA</content>"),
         "Sum"},
        {"1.0 XML media type", atom10("<content type=\"application/xhtml+xml\"><div><p>Inline</p></div></content>"),
         "Inline"},
        {"1.0 text media type", atom10("<content type=\"text/plain\">SGVsbG8=</content>"), "SGVsbG8="},
        {"1.0 html", atom10("<content type=\"html\">&lt;i&gt;Html&lt;/i&gt;</content>"), "Html"},
    };
    for (const Case &c : cases)
        EXPECT_EQ("\nE [  ]\n\n" + (c.body.empty() ? "" : c.body + "\n") + "\n", Items(c.xml)) << c.what;
}

TEST(FeedForms, DublinCoreFallbacks)
{
    InstallTestHostConversions();
    const std::string dc = "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\"";
    auto rss = [&](const std::string &channel, const std::string &item) {
        return "<rss version=\"2.0\" " + dc + "><channel>" + channel + "<item>" + item + "</item></channel></rss>";
    };
    auto atom = [&](const std::string &entry) {
        return "<feed xmlns=\"http://www.w3.org/2005/Atom\" " + dc + "><title>C</title><entry><title>E</title>" +
               entry + "</entry></feed>";
    };
    struct Case {
        const char *what;
        std::string xml, items;
    } cases[] = {
        {"dc:title and dc:description", rss("", "<dc:title>DC title</dc:title><dc:description>DC body"
                                                "</dc:description>"),
         "\nDC title [  ]\n\nDC body\n\n"},
        {"own elements first", rss("", "<title>Own</title><dc:title>DC</dc:title><description>Body</description>"
                                       "<dc:description>DC body</dc:description>"),
         "\nOwn [  ]\n\nBody\n\n"},
        {"dcterms:modified", rss("", "<title>T</title><dcterms:modified>2024-05-03T18:00:00+09:00</dcterms:modified>"),
         Dated + "T [  ]\n\n\n"},
        {"dcterms:issued in RFC 822", rss("", "<title>T</title><dcterms:issued>Fri, 03 May 2024 18:00:00 +0900"
                                              "</dcterms:issued>"),
         Dated + "T [  ]\n\n\n"},
        {"dcterms:created", rss("", "<title>T</title><dcterms:created>2024-05-03T09:00:00Z</dcterms:created>"),
         "2024/05/03 09:00:00+00:00\nT [  ]\n\n\n"},
        {"pubDate before dcterms", rss("", "<title>T</title><dcterms:modified>2020-01-01</dcterms:modified>"
                                           "<pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>"),
         Dated + "T [  ]\n\n\n"},
        {"Atom modified in RFC 822", atom("<modified>Fri, 03 May 2024 18:00:00 +0900</modified>"),
         Dated + "E [  ]\n\n\n"},
        {"Atom modified last", atom("<modified>Thu, 02 May 2024 00:00:00 GMT</modified>"
                                    "<published>2024-05-03T18:00:00+09:00</published>"),
         Dated + "E [  ]\n\n\n"},
        {"Atom dcterms", atom("<dcterms:issued>2024-05-03T18:00:00+09:00</dcterms:issued>"), Dated + "E [  ]\n\n\n"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.items, Items(c.xml)) << c.what;
    EXPECT_EQ("Subject: Channel -About it-",
              Subject(rss("<dc:title>Channel</dc:title><dc:description>About it</dc:description>", "<title>T</title>")));
}

}  // namespace

// Which feed a document is, its encoding code, where its items start, and
// the child lookups under every field.
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

int TypeOf(const std::string &xml)
{
    TiXmlDocument document;
    ParseFeed(document, xml);
    return FeedConverter::get_feed_type(TiXmlHandle(&document));
}

const std::string Declaration = "<?xml version=\"1.0\"?>";

TEST(FeedRecognition, RootPatternsVersionsAndNamespaces)
{
    struct Case {
        std::string xml;
        int type;
    } cases[] = {
        {Declaration + "<rss version=\"2.0\"><channel/></rss>", FeedRss20},
        {Declaration + "<RSS version=\"2.0\"><channel/></RSS>", FeedRss20},
        {Declaration + "<rss version=\"2.0\" xmlns=\"urn:anything\"/>", FeedRss20},
        {Declaration + "<rss version=\"0.91\"/>", FeedRss091},
        // The versions between read like 2.0, and so does one without a version.
        {Declaration + "<rss version=\"0.92\"/>", FeedRss20},
        {Declaration + "<rss version=\"0.93\"/>", FeedRss20},
        {Declaration + "<rss version=\"0.94\"/>", FeedRss20},
        {Declaration + "<rss/>", FeedRss20},
        {Declaration + "<rss version=\"0.90\"/>", FeedUnknown},
        {Declaration + "<rss version=\"3.0\"/>", FeedUnknown},
        {Declaration + "<rss VERSION=\"2.0\" version=\"0.91\"/>", FeedRss091},  // attribute names are exact
        {Declaration + "<rdf:RDF xmlns=\"http://purl.org/rss/1.0/\"/>", FeedRss10},
        {Declaration + "<RDF:rdf xmlns=\"HTTP://PURL.ORG/RSS/1.0/\"/>", FeedRss10},
        {Declaration + "<rdf:RDF xmlns=\"http://purl.org/rss/1.0\"/>", FeedUnknown},
        {Declaration + "<rdf:RDF xmlns=\"http://purl.org/rss/1.0//\"/>", FeedUnknown},
        {Declaration + "<rdf:RDF/>", FeedUnknown},
        {Declaration + "<r:RDF xmlns=\"http://purl.org/rss/1.0/\"/>", FeedUnknown},
        // RSS 0.90 has the shape of 1.0, under either of its namespaces.
        {Declaration + "<rdf:RDF xmlns=\"http://my.netscape.com/rdf/simple/0.9/\"/>", FeedRss10},
        {Declaration + "<rdf:RDF xmlns=\"http://channel.netscape.com/rdf/simple/0.9/\"/>", FeedRss10},
        // The namespace declared on the channel or an item, not on the root;
        // a grandchild's counts for nothing.
        {Declaration + "<rdf:RDF><channel xmlns=\"http://purl.org/rss/1.0/\"/></rdf:RDF>", FeedRss10},
        {Declaration + "<rdf:RDF><x/><item xmlns=\"http://purl.org/rss/1.0/\"/></rdf:RDF>", FeedRss10},
        {Declaration + "<rdf:RDF><x><channel xmlns=\"http://purl.org/rss/1.0/\"/></x></rdf:RDF>", FeedUnknown},
        {Declaration + "<feed xmlns=\"http://www.w3.org/2005/Atom\"/>", FeedAtom},
        {Declaration + "<feed version=\"7\" xmlns=\"http://www.w3.org/2005/Atom\"/>", FeedAtom},
        {Declaration + "<feed xmlns=\"http://www.w3.org/2005/Atom/\"/>", FeedUnknown},
        {Declaration + "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"/>", FeedAtom},
        {Declaration + "<feed version=\"0.2\" xmlns=\"http://purl.org/atom/ns#\"/>", FeedAtom},
        {Declaration + "<feed version=\"0.1\" xmlns=\"http://purl.org/atom/ns#\"/>", FeedUnknown},
        {Declaration + "<feed xmlns=\"http://purl.org/atom/ns#\"/>", FeedUnknown},
        {Declaration + "<feed version=\"1.0\" xmlns=\"http://purl.org/atom/ns#\"/>", FeedUnknown},
        {Declaration + "<feed/>", FeedUnknown},
        // No declaration is XML 1.0; one must come first and say version 1.0.
        {"<rss version=\"2.0\"/>", FeedRss20},
        {"\n <!-- first --><feed xmlns=\"http://www.w3.org/2005/Atom\"/>", FeedAtom},
        {"<?xml version=\"1.1\"?><rss version=\"2.0\"/>", FeedUnknown},
        {"<?xml encoding=\"UTF-8\"?><rss version=\"2.0\"/>", FeedUnknown},
        {"<!-- first --><?xml version=\"1.0\"?><rss version=\"2.0\"/>", FeedUnknown},
        {Declaration, FeedUnknown},
        {Declaration + "<!-- no root -->", FeedUnknown},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.type, TypeOf(c.xml)) << c.xml;
}

TEST(FeedRecognition, EncodingCodes)
{
    struct Case {
        const char *declaration;
        int encoding;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>", EncodingUtf8},
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?>", EncodingUtf8},
        {"<?xml version=\"1.0\" encoding=\"UTF8\"?>", EncodingUtf8},
        {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?>", EncodingEucJp},
        {"<?xml version=\"1.0\" encoding=\"euc-jp\"?>", EncodingEucJp},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", EncodingNone},
        // Without an encoding, XML's own: UTF-8, when the bytes are.
        {"<?xml version=\"1.0\"?>", EncodingUtf8},
        {"", EncodingUtf8},
        {"\xef\xbb\xbf", EncodingUtf8},
        {"<?xml version=\"1.0\"?>\x93", EncodingNone},
        {"\x93", EncodingNone},
        // Code pages that Windows converts arrive in UTF-8.
        {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>", EncodingUtf8},
        {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>", EncodingUtf8},
        {"<?xml version=\"1.0\" encoding=\"x-unheard-of\"?>", EncodingNone},
    };
    for (const Case &c : cases) {
        TiXmlDocument document;
        ParseFeed(document, std::string(c.declaration) + "<rss version=\"2.0\"/>");
        EXPECT_EQ(c.encoding, FeedConverter::get_feed_encoding(TiXmlHandle(&document))) << c.declaration;
    }
}

TEST(FeedRecognition, FirstItemIsSoughtWhereTheTypeSays)
{
    struct Case {
        std::string xml;
        const char *first_title;  // null: no item found
    } cases[] = {
        {Rss20Feed("<item><title>one</title></item><item><title>two</title></item>"), "one"},
        {Declaration + "<rss version=\"0.91\"><channel><title>c</title><ITEM><title>caps</title></ITEM></channel></rss>",
         "caps"},
        // The channel by its name, wherever it stands among the root's children.
        {Declaration + "<rss version=\"2.0\"><meta/><channel><item><title>x</title></item></channel></rss>", "x"},
        {Declaration + "<rss version=\"2.0\"><meta><item><title>m</title></item></meta></rss>", nullptr},
        {Declaration + "<rdf:RDF xmlns=\"http://purl.org/rss/1.0/\"><channel/><item><title>r</title></item></rdf:RDF>",
         "r"},
        {Declaration + "<feed xmlns=\"http://www.w3.org/2005/Atom\"><item/><entry><title>e</title></entry></feed>", "e"},
    };
    for (const Case &c : cases) {
        TiXmlDocument document;
        ParseFeed(document, c.xml);
        TiXmlHandle docHandle(&document);
        TiXmlElement *item = FeedConverter::get_first_item(docHandle, FeedConverter::get_feed_type(docHandle));
        const char *title = nullptr;
        FeedConverter::get_child_text(TiXmlHandle(item), "title", &title);
        if (c.first_title)
            EXPECT_STREQ(c.first_title, title) << c.xml;
        else
            EXPECT_EQ(nullptr, item) << c.xml;
    }
}

TEST(FeedRecognition, ChildTextIsTheFirstChildNodeWhenItIsText)
{
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><item>"
                        "<empty/><pair></pair><blank>   </blank><comment><!--c-->text</comment>"
                        "<nested><b>bold</b> after</nested>"
                        "<condensed>  a \n\t b  &amp;  c  </condensed><data><![CDATA[<p>x</p>]]></data>"
                        "<dc:date>d1</dc:date><x:date>d2</x:date><Mixed>m</Mixed></item>");
    TiXmlHandle item(document.RootElement());
    struct Case {
        const char *name;
        const char *text;  // null: no text
    } cases[] = {
        {"empty", nullptr},   {"pair", nullptr},      {"blank", nullptr},
        {"comment", nullptr}, {"nested", nullptr},    {"missing", nullptr},
        {"condensed", "a b & c"},
        {"data", "<p>x</p>"},
        {"dc:date", "d1"},    {"DC:DATE", "d1"},      {"date", nullptr},
        {"mixed", "m"},
    };
    for (const Case &c : cases) {
        const char *text = "stale";
        char field[TextFieldSize];
        memset(field, 'x', sizeof field);
        EXPECT_EQ(c.text != nullptr, FeedConverter::get_child_text(item, c.name, &text)) << c.name;
        EXPECT_EQ(c.text != nullptr, FeedConverter::copy_child_text(item, c.name, field)) << c.name;
        if (c.text) {
            EXPECT_STREQ(c.text, text) << c.name;
            EXPECT_STREQ(c.text, field) << c.name;
        } else {
            EXPECT_EQ(nullptr, text) << c.name;
            EXPECT_STREQ("", field) << c.name;
        }
    }
    EXPECT_EQ(0, FeedConverter::get_child_text(item, "mixed", nullptr));
    EXPECT_EQ(0, FeedConverter::copy_child_text(item, "mixed", nullptr));
    EXPECT_EQ(nullptr, FeedConverter::find_child_element(TiXmlHandle(nullptr), "mixed"));
}

TEST(FeedRecognition, CopiedTextIsCutAt511Bytes)
{
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><item><title>" + std::string(600, 'a') + "</title><exact>" +
                            std::string(511, 'b') + "</exact></item>");
    char field[TextFieldSize + 8];
    memset(field, 'z', sizeof field);
    EXPECT_EQ(1, FeedConverter::copy_child_text(TiXmlHandle(document.RootElement()), "title", field));
    EXPECT_EQ(std::string(511, 'a'), field);
    EXPECT_EQ(std::string(8, 'z'), std::string(field + TextFieldSize, 8));
    EXPECT_EQ(1, FeedConverter::copy_child_text(TiXmlHandle(document.RootElement()), "exact", field));
    EXPECT_EQ(std::string(511, 'b'), field);
}

}  // namespace

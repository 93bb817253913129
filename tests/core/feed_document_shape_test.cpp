// A document is measured exactly as the parser reads it, and one that asks
// more of the parser than a feed does is refused before it is parsed.
#include "feed_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

// The text as the loader hands it to the parser: zero bytes behind it.
std::vector<char> Padded(const std::string &text)
{
    std::vector<char> padded(text.begin(), text.end());
    padded.resize(text.size() + 8, '\0');
    return padded;
}

// The shape of the tree the parser built, an error's partial tree included
// (the parser links every node it started, also on an error).
void TreeShape(const TiXmlNode *node, size_t depth, DocumentShape *shape)
{
    for (const TiXmlNode *child = node->FirstChild(); child; child = child->NextSibling()) {
        ++shape->nodes;
        if (const TiXmlElement *element = child->ToElement()) {
            shape->depth = std::max(shape->depth, depth + 1);
            size_t attributes = 0;
            for (const TiXmlAttribute *a = element->FirstAttribute(); a; a = a->Next())
                ++attributes;
            shape->attributes = std::max(shape->attributes, attributes);
            shape->nodes += attributes;
            TreeShape(child, depth + 1, shape);
        }
    }
}

// Measures text and parses it; the measure must find the nesting and the
// attributes the parser met, and no fewer nodes.
void ExpectMeasuredAsParsed(const std::string &text)
{
    std::vector<char> buffer = Padded(text);
    DocumentShape measured, parsed;
    EXPECT_EQ(1, measure_document(buffer.data(), &measured)) << text;
    TiXmlDocument document;
    document.Parse(buffer.data(), nullptr, TIXML_DEFAULT_ENCODING);
    TreeShape(&document, 0, &parsed);
    EXPECT_EQ(parsed.depth, measured.depth) << text;
    EXPECT_EQ(parsed.attributes, measured.attributes) << text;
    EXPECT_GE(measured.nodes, parsed.nodes) << text;
}

std::string Repeat(const std::string &piece, size_t times)
{
    std::string text;
    for (size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}

// Markup that hides tags from the parser, or shows it tags a plain scan for
// "<" would miss: each must count as the parser counts it.
TEST(DocumentShape, MarkupThatHidesOrShowsTags)
{
    const char *documents[] = {
        "<a><b><c/></b></a>",
        "<a><!-- <b><b><b> --><c/></a>",
        "<a><!-- </a></a> --><b><c/></b></a>",
        "<a><![CDATA[<b><b></a>]]><c/></a>",
        "<a><?pi <b><b> ?><c/></a>",
        "<a><!DOCTYPE x [ <!ENTITY e '<b>'> ]><c/></a>",
        "<a x='</a>' y=\"<b><b>\"><c/></a>",
        "<a x=v>y</a><b/>",
        "<a x='1' x='2'><b/></a>",
        "<a><b></a>",
        "<a><b><c>",
        "<a></a ><b/>",
        "<a></ a><b/>",
        "<a><b/></ab><c/>",
        "<a>&#x</b>x41;<c/></a>",
        "<a>&#</b>#65;<c/></a>",
        "<a x='&#x'>x41;'><b/></a>",
        "<?xml version='1.0' encoding='UTF-8'?><a>\xe3</b><b/></a>",
        "<?xml version='1.0' encoding='EUC-JP'?><a>\xe3</b><b/></a>",
        "<a>\xe3</a><b><c/></b>",
        "\xef\xbb\xbf<a>\xe3</a><b><c/></b>",
        "<a>\xe3</a><?XML encoding='utf-8'?><b>\xe3</b><c/>",
        "<a x='\xe3'>'><b/></a>",
        "<a>\xef\xbb\xbf</a>",
        "<_a><\xe3\x81\x82><b/></\xe3\x81\x82></_a>",
        "<a>< b><c/></a>",
        "<a><1><c/></a>",
        "text <a><b/></a>",
        "<a/> text <b><c/></b>",
        "",
        "<",
        "<a",
        "<a x='",
    };
    for (const char *text : documents)
        ExpectMeasuredAsParsed(text);
}

// Random soups of markup pieces, many of them broken: the measure agrees with
// the parser on every one.
TEST(DocumentShape, AgreesWithTheParserOnRandomMarkup)
{
    const char *pieces[] = {
        "<a>", "<a>", "<a>", "</a>", "</a>", "<b x='1'>", "</b>", "<a/>", "<b y=\"2\" z='3'/>", "<_c>", "</_c>",
        "<!--", "-->", "<![CDATA[", "]]>", "<?xml version='1.0' encoding='UTF-8'?>",
        "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>", "<?pi ", "?>", "<!DOCTYPE x [", "]>", "<", ">", "/>",
        "/", "'", "\"", "=", " ", "\n", "x", "&amp;", "&#x", "&#", ";", "41", "\xe3", "\xc3", "\xef\xbb\xbf",
        "</", "</a >", "< a>", "x='", "a='1'", "a='1' a='2'",
    };
    std::mt19937 random(20240601);
    std::uniform_int_distribution<size_t> piece(0, sizeof pieces / sizeof pieces[0] - 1);
    std::uniform_int_distribution<int> length(1, 60);
    for (int i = 0; i < 20000; ++i) {
        std::string text = i % 2 ? "<a>" : "";
        for (int n = length(random); n > 0; --n)
            text += pieces[piece(random)];
        ExpectMeasuredAsParsed(text);
        if (HasFailure())
            return;
    }
}

// Just within each bound a document is parsed; one step beyond, it is
// refused unparsed with a description of its own.
TEST(DocumentShape, RefusedJustBeyondEachBound)
{
    auto nested = [](size_t depth) {
        return Repeat("<e>", depth - 1) + "<e/>" + Repeat("</e>", depth - 1);
    };
    auto attributes = [](size_t count) {
        std::string text = "<e";
        for (size_t i = 0; i < count; ++i)
            text += " a" + std::to_string(i) + "=''";
        return text + "/>";
    };
    // The declaration is a node too; a document without one is given one.
    auto nodes = [](size_t count) {
        return "<?xml version=\"1.0\" encoding=\"UTF-8\"?><e>" + Repeat("<n/>", count - 2) + "</e>";
    };
    struct Case {
        std::string within, beyond;
        const char *refusal;
    } cases[] = {
        {nested(MaxElementDepth), nested(MaxElementDepth + 1), "Error elements nested too deeply."},
        {attributes(MaxElementAttributes), attributes(MaxElementAttributes + 1),
         "Error too many attributes on one element."},
        {nodes(MaxDocumentNodes), nodes(MaxDocumentNodes + 1), "Error too many nodes in the document."},
    };
    TempFolder folder;
    const std::string path = folder.Path("feed.xml");
    for (const Case &c : cases) {
        WriteFileBytes(path, c.within);
        TiXmlDocument within;
        EXPECT_EQ(1, load_feed_document(&within, path.c_str())) << c.refusal;

        WriteFileBytes(path, c.beyond);
        TiXmlDocument beyond;
        const char *failure = nullptr;
        EXPECT_EQ(0, load_feed_document(&beyond, path.c_str(), &failure));
        EXPECT_STREQ(c.refusal, failure);
        EXPECT_EQ(nullptr, beyond.FirstChild());
    }
}

// A feed nested far deeper than the parser's stack allows is refused, not
// parsed; one nested to the bound is a feed like any other.
TEST(DocumentShape, DeepFeedsConvertToTheBoundAndNoFurther)
{
    const std::string item = "<item><title>Deep</title><dc:date>2024-05-03T18:00:00+09:00</dc:date><description>";
    const std::string end = "</description></item>";
    // rss, channel, item and description hold the nesting.
    const size_t inside = MaxElementDepth - 4;
    Conversion at_bound = ConvertText(Rss20Feed(item + Repeat("<b>", inside) + Repeat("</b>", inside) + end),
                                      nullptr);
    EXPECT_EQ(1, at_bound.result);
    EXPECT_NE(std::string::npos, at_bound.message.find("Deep [  ]"));

    for (size_t depth : {inside + 1, size_t(100000)}) {
        Conversion beyond = ConvertText(Rss20Feed(item + Repeat("<b>", depth) + Repeat("</b>", depth) + end),
                                        nullptr);
        EXPECT_EQ(0, beyond.result) << depth;
        EXPECT_TRUE(beyond.untouched) << depth;
    }
}

}  // namespace

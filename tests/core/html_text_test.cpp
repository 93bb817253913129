// HTML in item descriptions as a person reads it: line structure, references,
// what is left out, links with their list; untouched plain text; bounded
// output and time for any markup.
#include "base/addresses.h"
#include "feed/read/html_text.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Readable(const std::string &html, bool utf8 = true)
{
    std::vector<char> out(html.size() * HtmlTextGrowth + 1, '\x5a');
    size_t length = html_to_text(html.c_str(), out.data(), out.size(), utf8);
    EXPECT_EQ(length, strlen(out.data()));
    return std::string(out.data(), length);
}

struct Case {
    const char *html;
    const char *text;
};

TEST(HtmlText, PlainTextIsUntouched)
{
    // No known tag, comment or reference: every byte stays, white space too.
    for (const char *plain : {"Staking the plants.", "a < b && c > d; AT&T; &unknown; &#; &#x;", "<x-tag> <br",
                              "two\r\n  lines\tand\n\nmore ", "\x93\xfa\x96\x7b\x8c\xea", ""}) {
        EXPECT_EQ(0, carries_html(plain)) << plain;
        EXPECT_EQ(plain, Readable(plain)) << plain;
    }
    EXPECT_EQ(1, carries_html("<p>x"));
    EXPECT_EQ(1, carries_html("x &amp; y"));
    EXPECT_EQ(1, carries_html("<!-- x"));
}

TEST(HtmlText, ReadsAsAPersonWould)
{
    const Case cases[] = {
        // References alone: resolved, white space kept as it is.
        {"Tom &amp; Jerry&#8217;s  &#x2014;\n caf&eacute;", "Tom & Jerry\xe2\x80\x99s  \xe2\x80\x94\n caf\xc3\xa9"},
        // Double-escaped markup reads as the markup's own text.
        {"x &amp;lt;p&amp;gt; y", "x &lt;p&gt; y"},
        {"<p>a &amp;amp; b</p>", "a &amp; b"},
        // Paragraphs, line breaks and their runs, white space collapsed.
        {"  <p>  One \n\t line </p>\n<p>Two</p>  ", "One line\n\nTwo"},
        {"a<br>b<br/><br><BR /><br>c<br>", "a\nb\n\nc"},
        {"<h1>Title</h1>text<hr>end", "Title\n\ntext\n\nend"},
        {"<div>one</div><div>two<div>three</div></div>", "one\ntwo\nthree"},
        {"<p>a&nbsp;&nbsp;b &nbsp; c</p>", "a  b   c"},
        // Lists, nested ones indented.
        {"<ul><li>a<ul><li>b</li><li>c</li></ul></li><li>d</li></ul><p>after</p>", "- a\n  - b\n  - c\n- d\n\nafter"},
        {"intro<ol><li> one <li>two</ol>", "intro\n\n- one\n- two"},
        {"<table><tr><th>k</th><td>v</td></tr><tr><td>w</td></tr></table>", "k v\nw"},
        {"<pre>  a\r\n    b</pre>c", "  a\n    b\n\nc"},
        // Unclosed tags, and a tag the text ends in.
        {"<p>a<b>bold<i>it<div>one<p>two", "aboldit\none\n\ntwo"},
        {"<p>a</p> b <span class=\"x", "a\n\nb"},
        // Left out: scripts, styles, comments, declarations, unknown elements.
        {"<p>a</p><script>if (x) document.write('</p><p>');</script ><p>b</p>", "a\n\nb"},
        {"a<!-- <p>hidden</p> -->b<style type=\"text/css\">p { x: '</p>' }</style>c<!---->d", "abcd"},
        {"<!DOCTYPE html><html><head><title>t</title></head><body>x<o:p></o:p></body></html>", "x"},
        {"<p>a<script>never closed</p>", "a"},
        {"<p>1 < 2</p>", "1 < 2"},
        // Images as their alt text.
        {"<p><img src=\"x.png\" alt=\"A &amp; B\"> and <IMG SRC=y.png></p>", "A & B and"},
        // An attribute holding '>'.
        {"<a title='1 > 0' href=\"http://x.example/?a>b\">link</a>", "link[1]\n\n[1] http://x.example/?a>b"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text, Readable(c.html)) << c.html;
}

TEST(HtmlText, LinksAreNumberedAndListedAfterTheText)
{
    const Case cases[] = {
        {"Read <a href=\"http://a.example/?x=1&amp;y=2\">this</a> and <A HREF='http://b.example/'>that</A>.",
         "Read this[1] and that[2].\n\n[1] http://a.example/?x=1&y=2\n[2] http://b.example/"},
        // A link whose text is its address, or that leads nowhere, gets no number.
        {"<a href=\"http://c.example/\">http://c.example/</a> <a href=\"#top\">top</a> "
         "<a href=\"javascript:void(0)\">js</a> <a name=x>anchor</a> <a href=\"http://d.example/\">d</a>",
         "http://c.example/ top js anchor d[1]\n\n[1] http://d.example/"},
        // An image link, an unclosed link, a link closed by the next.
        {"<p><a href=\" http://i.example/\n\">\n<img src=i.png></a></p><a href=u1>x<a href=u2>y",
         "[1]\n\nx[2]y[3]\n\n[1] http://i.example/\n[2] u1\n[3] u2"},
        {"<p><a href=\"http://e.example/\">e</a></p><p>next</p>", "e[1]\n\nnext\n\n[1] http://e.example/"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.text, Readable(c.html)) << c.html;
}

// Listed addresses are made absolute against the base of the text; those
// with a scheme of their own stay as written.
TEST(HtmlText, LinkAddressesAreMadeAbsolute)
{
    const std::string html = "<a href=\"../img/a.png\">a</a> <a href='/about'>b</a> <a href=//cdn.example/x>c</a> "
                             "<a href=\"?p=2\">d</a> <a href=\"p?a=1&amp;b=2#s\">e</a> "
                             "<a href=\"http://abs.example/../x\">f</a> <a href=\"mailto:m@h.example\">g</a> "
                             "<a href=\"#top\">top</a>";
    const char *base = "http://h.example/blog/post.html";
    std::vector<char> out(html_text_size(html.c_str(), strlen(base)), '\x5a');
    html_to_text(html.c_str(), out.data(), out.size(), 1, base);
    EXPECT_EQ("a[1] b[2] c[3] d[4] e[5] f[6] g[7] top\n\n"
              "[1] http://h.example/img/a.png\n[2] http://h.example/about\n[3] http://cdn.example/x\n"
              "[4] http://h.example/blog/post.html?p=2\n[5] http://h.example/blog/p?a=1&b=2#s\n"
              "[6] http://abs.example/../x\n[7] mailto:m@h.example",
              std::string(out.data()));
    // Without a base, or an empty one, the addresses stay as written.
    for (const char *none : {static_cast<const char *>(nullptr), ""}) {
        html_to_text("<a href=\"/about\">b</a>", out.data(), out.size(), 1, none);
        EXPECT_STREQ("b[1]\n\n[1] /about", out.data());
    }
}

// The size html_text_size asks for holds a text of relative links whole;
// links so dense that their base would more than double it get their list
// cut at that size, never past it.
TEST(HtmlText, AbsoluteAddressesStayWithinTheirBound)
{
    const std::string base = "http://h.example/" + std::string(AddressSize - 20, 'b') + "/";
    const std::string sparse = "<p>Read <a href=\"/about\">about us</a> and <a href=\"more\">the rest</a>.</p>";
    std::vector<char> whole(html_text_size(sparse.c_str(), 17), '\x5a');
    html_to_text(sparse.c_str(), whole.data(), whole.size(), 1, "http://h.example");
    EXPECT_STREQ("Read about us[1] and the rest[2].\n\n[1] http://h.example/about\n[2] http://h.example/more",
                 whole.data());

    std::string dense;
    for (int i = 0; i < 500; ++i)
        dense += "<a href=x>";
    size_t size = html_text_size(dense.c_str(), base.size());
    EXPECT_EQ(dense.size() * HtmlTextGrowth * 2 + 1, size);
    std::vector<char> out(size + 16, '\x5a');
    size_t length = html_to_text(dense.c_str(), out.data(), size, 1, base.c_str());
    EXPECT_EQ(size - 1, length);
    EXPECT_EQ('\0', out[length]);
    EXPECT_EQ(std::string(16, '\x5a'), std::string(out.data() + size, 16));
    EXPECT_EQ(0u, std::string(out.data()).find("[1][2][3]"));
}

// Titles: links as their text alone, no list after them.
TEST(HtmlText, LineTextsHaveNoLinkList)
{
    const Case cases[] = {
        {"A <em>b</em> c", "A b c"},
        {"Tom &amp; Jerry&#8217;s <a href=\"http://x.example/\">show</a>", "Tom & Jerry\xe2\x80\x99s show"},
        {"<p>One</p><p>Two</p>", "One\n\nTwo"},
        {"Vector<int> &amp;&amp; a < b", "Vector<int> && a < b"},
        {"a < b && c", "a < b && c"},
    };
    for (const Case &c : cases) {
        char out[512];
        html_to_line(c.html, out, sizeof out, 1);
        EXPECT_STREQ(c.text, out) << c.html;
    }
}

// Only the references resolved: plain texts keep what looks like markup.
TEST(HtmlText, ReferencesAloneResolved)
{
    const struct {
        const char *text;
        int utf8;
        const char *resolved;
    } cases[] = {
        {"Fix <div> handling &amp; Jerry&#8217;s &lt;b&gt;", 1, "Fix <div> handling & Jerry\xe2\x80\x99s <b>"},
        {"Fix <div> handling &amp; Jerry&#8217;s &lt;b&gt;", 0, "Fix <div> handling & Jerry&#8217;s <b>"},
        {"AT&T &unknown; &#;", 1, "AT&T &unknown; &#;"},
    };
    for (const auto &c : cases) {
        char out[512];
        EXPECT_EQ(strlen(c.resolved), resolve_references(c.text, out, sizeof out, c.utf8));
        EXPECT_STREQ(c.resolved, out) << c.text;
    }
    char small[6];
    EXPECT_EQ(5u, resolve_references("&lt;&lt;&lt;&lt;&lt;&lt;&lt;", small, sizeof small, 1));
    EXPECT_STREQ("<<<<<", small);
}

TEST(HtmlText, ReferencesInUtf8AndInOtherTexts)
{
    const char *html = "<p>&amp; &#65;&#x42; &#12354;&copy;&#150;&#x1F600; &#0;&#xD800;&#99999999999999999999;</p>";
    EXPECT_EQ("& AB \xe3\x81\x82\xc2\xa9\xe2\x80\x93\xf0\x9f\x98\x80 \xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd",
              Readable(html, true));
    // Not UTF-8: only what names an ASCII character is resolved.
    EXPECT_EQ("& AB &#12354;&copy;&#150;&#x1F600; &#0;&#xD800;&#99999999999999999999;", Readable(html, false));
    EXPECT_EQ("\x82\xa0 & \x82\xa0", Readable("\x82\xa0 &amp; \x82\xa0", false));
}

// Long and deep markup takes one pass and no stack; 100,000 nested elements
// cost no more than 100,000 flat ones.
TEST(HtmlText, LargeAndDeepMarkup)
{
    std::string words;
    while (words.size() < 1024 * 1024)
        words += "word &amp; ";
    std::string expected;
    for (size_t i = 0; i < words.size() / 11; ++i)
        expected += "word & ";
    expected.pop_back();
    EXPECT_EQ(expected, Readable("<p>" + words + "</p>"));

    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<div>";
    deep += "deep";
    for (int i = 0; i < 100000; ++i)
        deep += "</div>";
    EXPECT_EQ("deep", Readable(deep));

    std::string lists;
    for (int i = 0; i < 100000; ++i)
        lists += "<ul><li>";
    EXPECT_EQ("      - x", Readable(lists + "x"));
}

// The output is never more than HtmlTextGrowth times the input, and a buffer
// smaller than that gets a cut, terminated prefix and nothing past its end.
TEST(HtmlText, OutputIsBounded)
{
    std::string links, items, references;
    for (int i = 0; i < 2000; ++i) {
        links += "<a href=u>";
        items += "<li>x";
        references += "&#128;";
    }
    const std::string inputs[] = {links, "<ul><ul><ul><ul>" + items, references, "<p>x<p>x<br>x<p>x<td>x<br>",
                                  "Read <a href=\"http://a.example/\">this</a> <img alt='&lt;&gt;'>."};
    for (const std::string &html : inputs) {
        std::string full = Readable(html);
        EXPECT_LE(full.size(), html.size() * HtmlTextGrowth) << html.substr(0, 40);
        for (size_t size : {size_t(1), size_t(2), full.size() / 2, full.size(), full.size() + 1}) {
            std::vector<char> out(size + 16, '\x5a');
            size_t length = html_to_text(html.c_str(), out.data(), size, 1);
            EXPECT_EQ(std::min(full.size(), size - 1), length);
            EXPECT_EQ(full.substr(0, length), std::string(out.data(), length));
            EXPECT_EQ('\0', out[length]);
            EXPECT_EQ(std::string(16, '\x5a'), std::string(out.data() + size, 16));
        }
    }
    char untouched = 'x';
    EXPECT_EQ(0u, html_to_text("<p>a</p>", &untouched, 0, 1));
    EXPECT_EQ('x', untouched);
}

}  // namespace

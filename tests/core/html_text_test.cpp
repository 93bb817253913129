// HTML in item descriptions as a person reads it: line structure, references,
// what is left out, links with their list; untouched plain text; bounded
// output and time for any markup.
#include "feed/html_text.h"

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

// The feed links of a web page: which <link> elements count, how their
// addresses are made absolute, what is never taken (comments, scripts, the
// body, cut tags), and the bounds on links, titles and the part read.
#include "feed/read/feed_links.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const char Page[] = "http://site.example/blog/index.html?x=1";

// The addresses read from head, with titles when asked for, in order.
std::vector<std::string> Links(const std::string &head, bool titles = false, const char *address = Page)
{
    std::vector<FeedLink> links(MaxFeedLinks);
    size_t count = read_feed_links(head.data(), head.size(), address, links.data(), links.size());
    std::vector<std::string> read;
    for (size_t i = 0; i < count; ++i)
        read.push_back(titles ? std::string(links[i].title) + "|" + links[i].address : links[i].address);
    return read;
}

struct Case {
    const char *what;
    std::string page;
    std::vector<std::string> links;
};

TEST(FeedLinks, WhichLinksCount)
{
    const Case cases[] = {
        {"rss", "<link rel=\"alternate\" type=\"application/rss+xml\" href=\"/feed\">", {"http://site.example/feed"}},
        {"atom and rdf, in page order",
         "<link rel=alternate type=application/atom+xml href=a.atom><link rel=alternate "
         "type=application/rdf+xml href=b.rdf>",
         {"http://site.example/blog/a.atom", "http://site.example/blog/b.rdf"}},
        {"rel and type in any case, rel a token list",
         "<LINK REL='Home ALTERNATE' TYPE='Application/RSS+XML; charset=utf-8' HREF='f'>",
         {"http://site.example/blog/f"}},
        {"tabs and line breaks between tokens and attributes",
         "<link\n\trel=\"me\talternate\"\ntype = \"application/rss+xml\"\r\nhref = \"f\" />",
         {"http://site.example/blog/f"}},
        {"a token that only holds the word", "<link rel=\"alternates\" type=\"application/rss+xml\" href=\"f\">", {}},
        {"no rel", "<link type=\"application/rss+xml\" href=\"f\">", {}},
        {"other types: html, plain JSON, plain xml, no type",
         "<link rel=alternate type=text/html href=a><link rel=alternate type=application/json href=b>"
         "<link rel=alternate type=application/xml href=c><link rel=alternate href=d>",
         {}},
        {"a JSON Feed beside RSS", "<link rel=alternate type=application/rss+xml href=f.xml>"
                                   "<link rel=alternate type=\"application/feed+json\" href=f.json>",
         {"http://site.example/blog/f.xml", "http://site.example/blog/f.json"}},
        {"a stylesheet", "<link rel=stylesheet type=application/rss+xml href=f>", {}},
        {"no or empty href", "<link rel=alternate type=application/rss+xml><link rel=alternate "
                             "type=application/rss+xml href=\"  \">", {}},
        {"the first of a repeated attribute counts",
         "<link rel=alternate type=application/rss+xml href=first href=second>", {"http://site.example/blog/first"}},
        {"the same address once", "<link rel=alternate type=application/rss+xml href=/f><link rel=alternate "
                                  "type=application/atom+xml href=http://site.example/f>",
         {"http://site.example/f"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Links(c.page), c.links) << c.what;
}

TEST(FeedLinks, AddressesAreMadeAbsolute)
{
    const char *link = "<link rel=alternate type=application/rss+xml href=\"%s\">";
    auto page = [link](const char *href) {
        char text[512];
        snprintf(text, sizeof text, link, href);
        return std::string(text);
    };
    const Case cases[] = {
        {"absolute", page("https://other.example/f.xml"), {"https://other.example/f.xml"}},
        {"protocol-relative", page("//cdn.example/f.xml"), {"http://cdn.example/f.xml"}},
        {"root-relative", page("/f.xml"), {"http://site.example/f.xml"}},
        {"path-relative with dot segments", page("../f.xml"), {"http://site.example/f.xml"}},
        {"query only", page("?feed=rss2"), {"http://site.example/blog/index.html?feed=rss2"}},
        {"references decoded", page("/f?a=1&amp;b=2&#38;c=&#x33;"), {"http://site.example/f?a=1&b=2&c=3"}},
        {"white space around dropped", page("\n  /f.xml  "), {"http://site.example/f.xml"}},
        {"other schemes stay as they are, for the caller to refuse", page("feed:x"), {"feed:x"}},
        {"a base, even after the link",
         page("f.xml") + "<base href=\"https://base.example/dir/\"><base href=\"http://second.example/\">",
         {"https://base.example/dir/f.xml"}},
        {"a relative base", "<base href=\"/other/\">" + page("f.xml"), {"http://site.example/other/f.xml"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Links(c.page), c.links) << c.what;
}

TEST(FeedLinks, OnlyTheHeadIsRead)
{
    const std::string link = "<link rel=alternate type=application/rss+xml href=/real>";
    const std::string fake = "<link rel=alternate type=application/rss+xml href=/fake>";
    const Case cases[] = {
        {"a comment", "<!-- " + fake + " -->" + link, {"http://site.example/real"}},
        {"an unclosed comment", "<!-- " + fake, {}},
        {"a script, its end tag in any case", "<script>var s = '" + fake + "';</SCRIPT >" + link,
         {"http://site.example/real"}},
        {"a style, a title, a noscript",
         "<style>" + fake + "</style><title>" + fake + "</title><noscript>" + fake + "</noscript>" + link,
         {"http://site.example/real"}},
        {"an unclosed script", "<script>" + fake, {}},
        {"the body", link + "<body>" + fake, {"http://site.example/real"}},
        {"after the head", link + "</head>" + fake, {"http://site.example/real"}},
        {"a quoted '>' in an attribute is no tag end",
         "<meta content=\"a > b\">" + link, {"http://site.example/real"}},
        {"a doctype and a stray '<'", "<!DOCTYPE html>< 3 <" + link, {"http://site.example/real"}},
        {"a tag cut by the page's end", link + "<link rel=alternate type=application/rss+xml href=/cut",
         {"http://site.example/real"}},
        {"a quote never closed", link + "<link rel=alternate type=application/rss+xml href=\"/cut>",
         {"http://site.example/real"}},
        {"a NUL ends the page", link + std::string(1, '\0') + fake, {"http://site.example/real"}},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Links(c.page), c.links) << c.what;
}

TEST(FeedLinks, TitlesAreOneLineWithReferencesResolved)
{
    EXPECT_EQ(Links("<link rel=alternate type=application/rss+xml title=\"Posts &amp; &#x65E5;\n notes\" href=/a>"
                    "<link rel=alternate type=application/atom+xml href=/b>",
                    true),
              (std::vector<std::string>{"Posts & \xE6\x97\xA5 notes|http://site.example/a", "|http://site.example/b"}));
}

TEST(FeedLinks, BoundsHold)
{
    // More links than the caller has room for: the first ones, in order.
    std::string many;
    for (int i = 0; i < 40; ++i)
        many += "<link rel=alternate type=application/rss+xml href=/f" + std::to_string(i) + ">";
    std::vector<std::string> read = Links(many);
    ASSERT_EQ(read.size(), size_t(MaxFeedLinks));
    EXPECT_EQ(read.front(), "http://site.example/f0");
    EXPECT_EQ(read.back(), "http://site.example/f15");
    // A base after them still counts for them.
    std::vector<FeedLink> first(1);
    std::string based = many + "<base href=\"https://other.example/\">";
    ASSERT_EQ(read_feed_links(based.data(), based.size(), Page, first.data(), 1), 1u);
    EXPECT_STREQ(first[0].address, "https://other.example/f0");

    // A link beyond the part read is not taken; one just inside is.
    std::string head = "<link rel=alternate type=application/rss+xml href=/f>";
    std::string padded = std::string(PageHeadBytes - head.size(), ' ') + head;
    EXPECT_EQ(Links(padded), (std::vector<std::string>{"http://site.example/f"}));
    EXPECT_EQ(Links(" " + padded), std::vector<std::string>{});

    // A title fills its buffer and is cut there, never inside a UTF-8 character;
    // an address is cut to the address buffer.
    std::string title(FeedLinkTitleSize - 2, 'x');
    std::string link = "<link rel=alternate type=application/rss+xml title=\"" + title + "\xE6\x97\xA5\" href=\"/" +
                       std::string(3000, 'a') + "\">";
    std::vector<FeedLink> links(1);
    ASSERT_EQ(read_feed_links(link.data(), link.size(), Page, links.data(), 1), 1u);
    EXPECT_EQ(std::string(links[0].title), title);
    EXPECT_EQ(strlen(links[0].address), size_t(AddressSize - 1));
    EXPECT_EQ(std::string(links[0].address, 20), "http://site.example/");
}

TEST(FeedLinks, HostilePagesCostLittle)
{
    // Deep nesting, endless attributes, a million '<'s, unclosed markup:
    // nothing taken, no stack used, done at once.
    const std::string pages[] = {
        std::string(500000, '<'),
        [] {
            std::string deep;
            for (int i = 0; i < 100000; ++i)
                deep += "<div>";
            return deep;
        }(),
        "<link" + std::string(900000, ' ') + "a=b",
        "<link " + [] {
            std::string attributes;
            for (int i = 0; i < 100000; ++i)
                attributes += "a" + std::to_string(i) + "=\"&amp;\" ";
            return attributes;
        }() + ">",
    };
    for (const std::string &page : pages)
        EXPECT_EQ(Links(page), std::vector<std::string>{});    // No page at all: an empty body.
    FeedLink link;
    EXPECT_EQ(read_feed_links(nullptr, 0, Page, &link, 1), 0u);
}

}  // namespace

// Relative addresses made absolute: the resolution examples of RFC 3986
// itself, the references that stay as they are, the bound of the output, and
// the bases that xml:base gives the elements of a document.
#include "base/addresses.h"
#include "feed_test_support.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string Resolved(const char *base, const std::string &reference)
{
    std::vector<char> out(AddressSize, '\x5a');
    size_t length = resolve_address(base, reference.c_str(), out.data(), out.size());
    EXPECT_EQ(length, strlen(out.data()));
    return out.data();
}

struct Case {
    const char *reference, *resolved;
};

TEST(Addresses, ExamplesOfTheStandard)
{
    const char *base = "http://a/b/c/d;p?q";
    const Case cases[] = {
        // Section 5.4.1, normal examples.
        {"g:h", "g:h"}, {"g", "http://a/b/c/g"}, {"./g", "http://a/b/c/g"}, {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"}, {"//g", "http://g"}, {"?y", "http://a/b/c/d;p?y"}, {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"}, {"g#s", "http://a/b/c/g#s"}, {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"}, {"g;x", "http://a/b/c/g;x"}, {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"}, {".", "http://a/b/c/"}, {"./", "http://a/b/c/"}, {"..", "http://a/b/"},
        {"../", "http://a/b/"}, {"../g", "http://a/b/g"}, {"../..", "http://a/"}, {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        // Section 5.4.2, abnormal examples.
        {"../../../g", "http://a/g"}, {"../../../../g", "http://a/g"}, {"/./g", "http://a/g"},
        {"/../g", "http://a/g"}, {"g.", "http://a/b/c/g."}, {".g", "http://a/b/c/.g"}, {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"}, {"./../g", "http://a/b/g"}, {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"}, {"g/../h", "http://a/b/c/h"}, {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"}, {"g?y/./x", "http://a/b/c/g?y/./x"}, {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"}, {"g#s/../x", "http://a/b/c/g#s/../x"},
        // A reference with a scheme of its own stands as written (the strict reading).
        {"http:g", "http:g"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.resolved, Resolved(base, c.reference)) << c.reference;
}

TEST(Addresses, FeedsOwnShapes)
{
    const Case cases[] = {
        // A base without a path, and one whose fragment the reference never keeps.
        {"post/1", "http://h.example/post/1"},
        {"?page=2", "http://h.example?page=2"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.resolved, Resolved("http://h.example", c.reference)) << c.reference;
    EXPECT_EQ("HTTPS://h.example/a/c", Resolved("HTTPS://h.example/a/b#frag", "c"));
    EXPECT_EQ("https://other.example/x", Resolved("https://h.example/", "//other.example/x"));
    EXPECT_EQ("http://u:p@h.example:8080/d/e", Resolved("http://u:p@h.example:8080/d/", "e"));

    // Absolute references stand as they are, dot segments and all; so does
    // every reference without an http(s) base to stand on.
    for (const char *absolute : {"http://x.example/a/../b", "mailto:a@b.example", "javascript:void(0)",
                                 "urn:uuid:1225c695", "ftp://f.example/p"})
        EXPECT_EQ(absolute, Resolved("http://h.example/a/", absolute));
    for (const char *base : {"", "urn:uuid:1225c695", "file:///c:/feeds/", "/relative/", "tag:h.example,2024:"})
        EXPECT_EQ("../g?q#f", Resolved(base, "../g?q#f")) << base;
    EXPECT_EQ("g", Resolved(nullptr, "g"));
    // A first segment with a colon in it is no scheme.
    EXPECT_EQ("http://h.example/a/1:x", Resolved("http://h.example/a/", "1:x"));
}

// The output holds at most the base, the reference and a slash, and a
// buffer too small for it gets a cut, terminated prefix and nothing past it.
TEST(Addresses, OutputIsBoundedAndMayBeTheBase)
{
    const std::string base = "http://h.example/" + std::string(300, 'p') + "/x";
    const std::string reference = "../" + std::string(200, 'r') + "?" + std::string(100, 'q');
    const std::string full = Resolved(base.c_str(), reference);
    EXPECT_EQ("http://h.example/" + std::string(200, 'r') + "?" + std::string(100, 'q'), full);
    const std::string longest = Resolved("http://h", "x");
    EXPECT_EQ("http://h/x", longest);  // base, reference and the slash between
    for (size_t size : {size_t(1), size_t(2), full.size(), full.size() + 1}) {
        std::vector<char> out(size + 16, '\x5a');
        size_t length = resolve_address(base.c_str(), reference.c_str(), out.data(), size);
        EXPECT_EQ(std::min(full.size(), size - 1), length);
        EXPECT_EQ(full.substr(0, length), std::string(out.data(), length));
        EXPECT_EQ(std::string(16, '\x5a'), std::string(out.data() + size, 16));
    }
    char in_place[AddressSize] = "http://h.example/a/b";
    EXPECT_EQ(18u, resolve_address(in_place, "../c", in_place, sizeof in_place));
    EXPECT_STREQ("http://h.example/c", in_place);
    // Long runs of dot segments cost no more than their length.
    std::string dots;
    for (int i = 0; i < 100000; ++i)
        dots += "a/../";
    EXPECT_EQ("http://h.example/x", Resolved("http://h.example/", dots + "x"));
}

TEST(Addresses, XmlBaseFromTheRootDown)
{
    TiXmlDocument document;
    ParseFeed(document, "<?xml version=\"1.0\"?><feed xml:base=\"/blog/\"><entry xml:base=\"2024/\">"
                        "<link xml:base=\"https://other.example/x/\"/><content xml:base=\"../\"/></entry>"
                        "<entry><summary/></entry></feed>");
    TiXmlElement *feed = document.RootElement();
    TiXmlElement *entry = feed->FirstChildElement("entry");
    struct {
        const TiXmlElement *element;
        const char *address, *base;
    } cases[] = {
        {feed, "http://h.example/feeds/atom.xml", "http://h.example/blog/"},
        {entry, "http://h.example/feeds/atom.xml", "http://h.example/blog/2024/"},
        {entry->FirstChildElement("content"), "http://h.example/feeds/atom.xml", "http://h.example/blog/"},
        {entry->FirstChildElement("link"), "http://h.example/feeds/atom.xml", "https://other.example/x/"},
        {entry->NextSiblingElement("entry")->FirstChildElement(), "http://h.example/f", "http://h.example/blog/"},
        // Without the document's address the relative bases stay relative.
        {entry, nullptr, "2024/"},
        {entry->FirstChildElement("link"), nullptr, "https://other.example/x/"},
    };
    for (const auto &c : cases) {
        char base[AddressSize];
        element_base(c.element, c.address, base, sizeof base);
        EXPECT_STREQ(c.base, base) << c.element->Value();
    }
    TiXmlDocument plain;
    ParseFeed(plain, "<?xml version=\"1.0\"?><rss><channel/></rss>");
    char base[8];
    element_base(plain.RootElement()->FirstChildElement(), "http://h.example/feed", base, sizeof base);
    EXPECT_STREQ("http://", base);  // cut at its buffer
}

}  // namespace

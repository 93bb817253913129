// What is done to a feed's text before it is parsed: code pages converted to
// UTF-8, numeric references written in the feed's own code page, an
// internal DTD subset blanked.
#include "feed/read/code_pages.h"
#include "feed/read/document_text.h"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

const size_t Spare = 8;

// The text as it is made ready, and whether the spare bytes after it are zero.
std::string Ready(const std::string &text, bool *spare_zero = nullptr)
{
    char *buffer = static_cast<char *>(malloc(text.size() + 1 + Spare));
    memcpy(buffer, text.c_str(), text.size() + 1);
    memset(buffer + text.size() + 1, 0, Spare);
    char *ready = ready_document_text(buffer, text.size(), Spare);
    std::string result(ready);
    if (spare_zero) {
        *spare_zero = true;
        for (size_t i = 0; i <= Spare; ++i)
            *spare_zero = *spare_zero && ready[result.size() + i] == '\0';
    }
    if (ready != buffer)
        free(ready);
    free(buffer);
    return result;
}

TEST(DocumentText, CodePagesBecomeUtf8WithADeclarationThatSaysSo)
{
    struct Case {
        std::string text, ready;
    } cases[] = {
        {"<?xml version=\"1.0\" encoding=\"windows-1251\" standalone='yes'?>\n<a>\xcd\xee</a>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n<a>\xd0\x9d\xd0\xbe</a>"},
        {"<?xml version='1.0' encoding='ISO-8859-1'?><a t='\xe9'>\x92&#8217;</a>",
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a t='\xc3\xa9'>\xe2\x80\x99&#8217;</a>"},
        // Valid UTF-8 with no encoding named: the declaration names it.
        {"<?xml version=\"1.0\"?><a>\xe6\x97\xa5</a>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>\xe6\x97\xa5</a>"},
        {"\n<a>&#8217;</a>", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<a>&#8217;</a>"},
        {"\xef\xbb\xbf<a/>", "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"UTF-8\"?><a/>"},
        {"<?xml version=\"1.1\" encoding=\"UTF8\"?><a/>", "<?xml version=\"1.1\" encoding=\"UTF-8\"?><a/>"},
        // Left as they are: UTF-8 declared, Japanese code pages, anything
        // that is not markup, and names no code page answers to.
        {"<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xe3</a>", "<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xe3</a>"},
        {"<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\xa4\xa2</a>",
         "<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\xa4\xa2</a>"},
        {"<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x82\xa0</a>",
         "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?><a>\x82\xa0</a>"},
        {"<?xml version=\"1.0\" encoding=\"x-unheard-of\"?><a>\x93</a>",
         "<?xml version=\"1.0\" encoding=\"x-unheard-of\"?><a>\x93</a>"},
        {"not markup", "not markup"},
        {"", ""},
        {"<a>\x93</a>", "<a>\x93</a>"},
    };
    for (const Case &c : cases) {
        bool spare_zero = false;
        EXPECT_EQ(c.ready, Ready(c.text, &spare_zero)) << c.text;
        EXPECT_TRUE(spare_zero) << c.text;
    }
}

TEST(DocumentText, NumericReferencesInTheFeedsOwnCodePage)
{
    // Shift_JIS: "【" is 81 79, "あ" 82 a0; an emoji is not in the code page.
    const std::string text = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
                             "<a t=\"&#12304;\">&#12304;&#x3042;&#x1F600;&#65;&#x7f;"
                             "<![CDATA[&#12304;]]><!--&#12304;-->&#;&#x;&#12x;&#12304 &#X3042;</a>";
    bool spare_zero = false;
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>"
              "<a t=\"\x81\x79\">\x81\x79\x82\xa0?&#65;&#x7f;"
              "<![CDATA[&#12304;]]><!--&#12304;-->&#;&#x;&#12x;&#12304 &#X3042;</a>",
              Ready(text, &spare_zero));
    EXPECT_TRUE(spare_zero);
    EXPECT_EQ("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>\xa1\xda?</a>",
              Ready("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><a>&#12304;&#99999999999999999999;</a>"));
    // Unconverted texts are read in the host's code page.
    EXPECT_EQ("<a>\x93\x81\x79</a>", Ready("<a>\x93&#12304;</a>"));
    // A CDATA section or comment left open keeps the rest as it is.
    EXPECT_EQ("<a>\x93<!-- &#12304;", Ready("<a>\x93<!-- &#12304;"));
}

TEST(DocumentText, InternalDtdSubsetIsBlanked)
{
    const std::string subset = "<!DOCTYPE rss [<!ENTITY % l PUBLIC \"-//x//EN\" \"l.ent\"> %l;]>";
    const std::string tricky = "<!DOCTYPE r [<!ENTITY a \"]>\"> <!-- ]> --> ]>";
    struct Case {
        std::string text, ready;
    } cases[] = {
        {subset + "<rss/>", std::string(subset.size(), ' ') + "<rss/>"},
        {"<!-- c --><?pi x?>" + tricky + "<r/>", "<!-- c --><?pi x?>" + std::string(tricky.size(), ' ') + "<r/>"},
        {"<!DOCTYPE rss SYSTEM \"rss.dtd\"><rss/>", "<!DOCTYPE rss SYSTEM \"rss.dtd\"><rss/>"},
        {"<!DOCTYPE rss [<!ENTITY a \"b\">", "<!DOCTYPE rss [<!ENTITY a \"b\">"},
        {"<rss/><!DOCTYPE rss [<!ENTITY a \"b\">]>", "<rss/><!DOCTYPE rss [<!ENTITY a \"b\">]>"},
    };
    for (const Case &c : cases) {
        const std::string declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
        EXPECT_EQ(declaration + c.ready, Ready(declaration + c.text)) << c.text;
    }
}

TEST(DocumentText, Utf8Validity)
{
    struct Case {
        const char *bytes;
        bool valid;
    } cases[] = {
        {"plain", true},
        {"\xc3\xa9\xe6\x97\xa5\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", true},
        {"\xc0\x80", false},          // overlong
        {"\xe0\x80\x80", false},      // overlong
        {"\xed\xa0\x80", false},      // a surrogate
        {"\xf4\x90\x80\x80", false},  // beyond U+10FFFF
        {"\xe6\x97", false},          // cut
        {"\x80", false},
        {"\xff", false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.valid, is_valid_utf8(c.bytes, strlen(c.bytes))) << c.bytes;
}

}  // namespace

// Feeds in UTF-16 and UTF-32, with a byte order mark or without, read as
// their UTF-8 twins are.
#include "feed/read/code_pages.h"
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

// text (UTF-8, code points below U+10000 or a four-byte sequence) in code
// units of `unit` bytes, big- or little-endian.
std::string Encoded(const std::string &text, size_t unit, bool big)
{
    std::string out;
    auto put = [&](unsigned long value) {
        for (size_t i = 0; i < unit; ++i)
            out += char(value >> 8 * (big ? unit - 1 - i : i) & 0xff);
    };
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t n = c < 0x80 ? 1 : c < 0xe0 ? 2 : c < 0xf0 ? 3 : 4;
        unsigned long value = n == 1 ? c : c & (0x7f >> n);
        for (size_t k = 1; k < n; ++k)
            value = value << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3f);
        i += n;
        if (unit == 2 && value >= 0x10000) {
            put(0xd800 + ((value - 0x10000) >> 10));
            put(0xdc00 + ((value - 0x10000) & 0x3ff));
        } else {
            put(value);
        }
    }
    return out;
}

const char Feed[] =
    "<rss version=\"2.0\">\r\n<channel><title>C</title><link>http://c.example/</link><description>D</description>"
    "<item><title>\xe6\x97\xa5\xe8\xa8\x98 &#12304;1&#12305;</title><link>http://i.example/1</link>"
    "<pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate></item></channel></rss>\r\n";
const char Item[] = "2024/05/03 18:00:00+09:00\n\x93\xfa\x8bL \x81y1\x81z [  ]\nhttp://i.example/1\n";  // 日記 【1】

TEST(UnicodeDocuments, EveryFormReadsAsUtf8)
{
    InstallTestHostConversions();
    const std::string feed = Feed;
    struct Case {
        const char *form;
        size_t unit;
        bool big, mark;
        std::string text;
    } cases[] = {
        {"UTF-16LE, mark, declared", 2, false, true, "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n" + feed},
        {"UTF-16BE, mark, declared", 2, true, true, "<?xml version=\"1.0\" encoding=\"utf-16\"?>\r\n" + feed},
        {"UTF-16LE, declared", 2, false, false, "<?xml version=\"1.0\" encoding=\"UTF-16LE\"?>" + feed},
        {"UTF-16BE, declared", 2, true, false, "<?xml version=\"1.0\" encoding=\"UTF-16BE\"?>" + feed},
        {"UTF-16LE, mark alone", 2, false, true, feed},
        {"UTF-16BE, mark and stylesheet",
         2, true, true, "<?xml version=\"1.0\" encoding=\"UTF-16\"?><?xml-stylesheet href=\"a.css\"?>" + feed},
        {"UTF-32LE, mark, declared", 4, false, true, "<?xml version=\"1.0\" encoding=\"UTF-32\"?>" + feed},
        {"UTF-32BE, mark, declared", 4, true, true, "<?xml version=\"1.0\" encoding=\"UTF-32\"?>" + feed},
        {"UTF-32LE, declared", 4, false, false, "<?xml version=\"1.0\" encoding=\"UTF-32LE\"?>" + feed},
        {"UTF-32BE, declared", 4, true, false, "<?xml version=\"1.0\" encoding=\"UTF-32BE\"?>" + feed},
        // The bytes say what the text is, whatever its declaration says.
        {"UTF-16LE declared UTF-8", 2, false, true, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>" + feed},
        {"UTF-16BE declared windows-1251", 2, true, true,
         "<?xml version=\"1.0\" encoding=\"windows-1251\" standalone=\"yes\"?>" + feed},
        {"UTF-16LE declared EUC-JP", 2, false, false, "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>" + feed},
    };
    for (const Case &c : cases) {
        std::string text = Encoded((c.mark ? "\xef\xbb\xbf" : "") + c.text, c.unit, c.big);
        Conversion conversion = ConvertText(text, nullptr);
        EXPECT_EQ(1, conversion.result) << c.form << ": " << conversion.report.detail;
        EXPECT_NE(std::string::npos, conversion.message.find(Item)) << c.form << "\n" << conversion.message;
        // A code unit cut short at the end is left out.
        Conversion cut = ConvertText(text + "\n", nullptr);
        EXPECT_EQ(conversion.message, cut.message) << c.form;
    }
    // UTF-8 that still names the form it was converted from.
    Conversion relabelled = ConvertText("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + feed, nullptr);
    EXPECT_NE(std::string::npos, relabelled.message.find(Item)) << relabelled.message;
}

TEST(UnicodeDocuments, UnitsBecomeUtf8)
{
    struct Case {
        const char *what;
        std::string text, utf8;
    } cases[] = {
        {"mark dropped", std::string("\xff\xfe<\0a\0", 6), "<a"},
        {"big-endian mark", std::string("\xfe\xff\0<\0a", 6), "<a"},
        {"two and three bytes", std::string("<\0\xe9\0\xe5\x65", 6), "<\xc3\xa9\xe6\x97\xa5"},
        {"surrogate pair", std::string("<\0a\0\x3d\xd8\x00\xde", 8), "<a\xf0\x9f\x98\x80"},
        {"high surrogate alone", std::string("<\0a\0\x3d\xd8>\0", 8), "<a\xef\xbf\xbd>"},
        {"high surrogate last", std::string("<\0a\0\x3d\xd8", 6), "<a\xef\xbf\xbd"},
        {"low surrogate alone", std::string("<\0a\0\x00\xde" "b\0", 8), "<a\xef\xbf\xbd" "b"},
        {"odd byte left out", std::string("<\0a\0b", 5), "<a"},
        {"UTF-32 beyond Unicode", std::string("\0\0\0<\0\x11\0\0\0\0\xd8\0", 12), "<\xef\xbf\xbd\xef\xbf\xbd"},
        {"UTF-32 cut short", std::string("<\0\0\0a\0\0", 7), "<"},
        {"NUL kept for the reading to end at", std::string("<\0a\0\0\0b\0", 8), std::string("<a\0b", 4)},
    };
    for (const Case &c : cases) {
        std::string out = "untouched";
        EXPECT_TRUE(unicode_text_to_utf8(c.text.data(), c.text.size(), &out)) << c.what;
        EXPECT_EQ(c.utf8, out) << c.what;
    }
    // Single bytes, however they start, are left to the rest of the reading.
    for (const std::string &text : {std::string("<?xml"), std::string("\xef\xbb\xbf<a/>"), std::string("<"),
                                    std::string(""), std::string("\xff"), std::string("\0a", 2)}) {
        std::string out = "untouched";
        EXPECT_FALSE(unicode_text_to_utf8(text.data(), text.size(), &out)) << text;
        EXPECT_EQ("untouched", out);
    }
}

}  // namespace

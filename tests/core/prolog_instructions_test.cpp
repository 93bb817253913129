// Processing instructions and comments around a feed's root: a stylesheet
// instruction, which most blog services write, or any other, must not cost
// the feed, whatever its kind and its encoding.
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

const char Item[] = "2024/05/03 18:00:00+09:00\nKept [  ]\nhttp://i.example/1\n";

// A feed of each kind with one dated item titled `title`.
struct Kind {
    const char *name, *root;
} Kinds[] = {
    {"RSS 0.91",
     "<rss version=\"0.91\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>C</title>"
     "<link>http://c.example/</link><description>D</description><item><title>%s</title>"
     "<link>http://i.example/1</link><dc:date>2024-05-03T18:00:00+09:00</dc:date></item></channel></rss>"},
    {"RSS 1.0",
     "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" xmlns=\"http://purl.org/rss/1.0/\" "
     "xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel rdf:about=\"http://c.example/\"><title>C</title>"
     "<link>http://c.example/</link><description>D</description></channel><item rdf:about=\"http://i.example/1\">"
     "<title>%s</title><link>http://i.example/1</link><dc:date>2024-05-03T18:00:00+09:00</dc:date></item>"
     "</rdf:RDF>"},
    {"RSS 2.0",
     "<rss version=\"2.0\"><channel><title>C</title><link>http://c.example/</link><description>D</description>"
     "<item><title>%s</title><link>http://i.example/1</link><pubDate>Fri, 03 May 2024 18:00:00 +0900</pubDate>"
     "</item></channel></rss>"},
    {"Atom 0.3",
     "<feed version=\"0.3\" xmlns=\"http://purl.org/atom/ns#\"><title>C</title>"
     "<link rel=\"alternate\" href=\"http://c.example/\"/><entry><title>%s</title>"
     "<link rel=\"alternate\" href=\"http://i.example/1\"/><modified>2024-05-03T18:00:00+09:00</modified>"
     "</entry></feed>"},
    {"Atom 1.0",
     "<feed xmlns=\"http://www.w3.org/2005/Atom\"><title>C</title><link href=\"http://c.example/\"/><entry>"
     "<title>%s</title><link href=\"http://i.example/1\"/><updated>2024-05-03T18:00:00+09:00</updated></entry>"
     "</feed>"},
};

std::string Root(const Kind &kind, const std::string &title)
{
    std::string root = kind.root;
    return root.replace(root.find("%s"), 2, title);
}

// Where instructions and comments stand: before the root, after it, both.
// `D` is the declaration, `R` the root.
const char *const Shapes[] = {
    "D<?xml-stylesheet href=\"/style.css\" type=\"text/css\"?>\nR\n",
    "D\n<?xml-stylesheet type=\"text/xsl\" href=\"/feed.xsl?a=1&amp;b>2\"?>\n<?xml-stylesheet?>\nR",
    "D<?php echo $feed->title; ?>\nR",
    "DR\n<?xml-foo bar?>\n<!-- after the root -->\n<?php ?>\n",
    "D<!-- before the root --><?xml-stylesheet href=\"a.css\"?><!-- between -->R<!-- after -->",
    "D<?XML-STYLESHEET href=\"a.css\"?>R",
};

std::string Shaped(const char *shape, const std::string &declaration, const std::string &root)
{
    std::string text;
    for (const char *c = shape; *c; ++c)
        text += *c == 'D' ? declaration : *c == 'R' ? root : std::string(1, *c);
    return text;
}

TEST(PrologInstructions, EveryKindWithInstructionsAndCommentsAroundItsRoot)
{
    InstallTestHostConversions();
    for (const Kind &kind : Kinds)
        for (const char *shape : Shapes)
            for (const char *declaration : {"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n", ""}) {
                Conversion c = ConvertText(Shaped(shape, declaration, Root(kind, "Kept")), nullptr);
                EXPECT_EQ(1, c.result) << kind.name << ": " << shape << " " << c.report.detail;
                EXPECT_NE(std::string::npos, c.message.find(Item)) << kind.name << ": " << shape << "\n" << c.message;
            }
}

// Every way the text is made ready: each title reaches the host's code page
// (932) as the same character.
TEST(PrologInstructions, EveryEncodingPath)
{
    InstallTestHostConversions();
    const std::string sun = "\x93\xfa";  // 日 in code page 932
    struct Case {
        const char *path;
        std::string declaration, title, shown;
    } cases[] = {
        {"UTF-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>", "\xe6\x97\xa5", sun},
        {"UTF-8 undeclared", "", "\xe6\x97\xa5", sun},
        {"UTF-8, no encoding named", "<?xml version=\"1.0\"?>", "\xe6\x97\xa5", sun},
        {"byte order mark", "\xef\xbb\xbf", "\xe6\x97\xa5", sun},
        {"byte order mark and declaration", "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"utf-8\"?>", "\xe6\x97\xa5",
         sun},
        {"Shift_JIS", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "\x93\xfa", sun},
        {"Shift_JIS reference", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>", "&#26085;", sun},
        {"EUC-JP", "<?xml version=\"1.0\" encoding=\"EUC-JP\"?>", "\xc6\xfc", sun},
        {"windows-1251", "<?xml version=\"1.0\" encoding=\"windows-1251\"?>", "\xc4", "\x84\x44"},  // Д
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"x-unheard-of\"?>", "\x93\xfa", sun},
    };
    for (const Case &c : cases)
        for (const char *shape : Shapes) {
            Conversion conversion = ConvertText(Shaped(shape, c.declaration, Root(Kinds[2], c.title)), nullptr);
            EXPECT_EQ(1, conversion.result) << c.path << ": " << shape << " " << conversion.report.detail;
            EXPECT_NE(std::string::npos, conversion.message.find("\n" + c.shown + " [  ]\nhttp://i.example/1\n"))
                << c.path << ": " << shape << "\n" << conversion.message;
        }
}

// A document with a second declaration, or one behind an instruction, is
// no XML, as before; so is an instruction that never ends.
TEST(PrologInstructions, MisplacedDeclarationsStayRefused)
{
    InstallTestHostConversions();
    const std::string root = Root(Kinds[2], "Kept");
    for (const std::string &text : {
             "<?xml version=\"1.0\"?>\n<?xml version=\"1.0\"?>\n" + root,
             "<?xml version=\"1.0\"?>\n" + root + "<?xml version=\"1.0\"?>",
             "<?xml-stylesheet href=\"a.css\"?>\n<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + root,
             "<?php ?><?xml version=\"1.0\"?>" + root,
             "<?xml version=\"1.0\"?>\n<?xml-stylesheet href=\"a.css\"\n" + root,
         }) {
        Conversion c = ConvertText(text, nullptr);
        EXPECT_EQ(0, c.result) << text;
        EXPECT_EQ(ConversionNotFeed, c.report.failure) << text << " " << c.report.detail;
    }
}

}  // namespace

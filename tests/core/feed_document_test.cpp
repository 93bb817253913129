// Feed files in UTF-8 are loaded into the same document, with the same
// errors, as TinyXML's own LoadFile gives, without reading past the loaded
// text. (What changes before other texts are parsed is shown with the
// preparation of the text.)
#include "feed_test_support.h"

#include <gtest/gtest.h>

namespace {

std::string Printed(const TiXmlDocument &document)
{
    TiXmlPrinter printer;
    document.Accept(&printer);
    return printer.Str();
}

TEST(FeedDocument, SameDocumentAndErrorsAsLoadFile)
{
    const std::string files[] = {
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<rss version=\"2.0\">\r<a>x\r\ny\n\rz</a>\r\n</rss>\r\n",
        std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>kept</a>\0<b>dropped</b>", 60),
        std::string("\0<a/>", 5),
        "\xef\xbb\xbf<?xml version=\"1.0\" encoding=\"utf-8\"?><a>\xe6\x97\xa5</a>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><a><b></a>",
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n\n  <a x=>",
        "not xml at all",
        "",
    };
    TempFolder folder;
    const std::string path = folder.Path("feed.xml");
    for (const std::string &bytes : files) {
        WriteFileBytes(path, bytes);
        TiXmlDocument ours, theirs(path.c_str());
        int loaded = load_feed_document(&ours, path.c_str());
        bool expected = theirs.LoadFile();
        EXPECT_EQ(expected, loaded == 1) << bytes;
        EXPECT_EQ(theirs.ErrorId(), ours.ErrorId()) << bytes;
        EXPECT_STREQ(theirs.ErrorDesc(), ours.ErrorDesc()) << bytes;
        EXPECT_EQ(theirs.ErrorRow(), ours.ErrorRow()) << bytes;
        EXPECT_EQ(theirs.ErrorCol(), ours.ErrorCol()) << bytes;
        EXPECT_EQ(Printed(theirs), Printed(ours)) << bytes;
    }
    TiXmlDocument missing;
    EXPECT_EQ(0, load_feed_document(&missing, folder.Path("absent.xml").c_str()));
    EXPECT_STREQ("Failed to open file", missing.ErrorDesc());
}

// The parser steps over a whole multi-byte sequence at once; a file that ends
// inside one must end the text there, whatever lies behind the buffer (the
// fuzzing build, with the parser instrumented, shows that nothing is read
// beyond it).
TEST(FeedDocument, TextEndingInACutMultiByteSequence)
{
    const char *endings[] = {"\xe3", "\xe3\x81", "\xf0", "\xf0\x9f\x98", "\xc3"};
    for (const char *ending : endings) {
        TiXmlDocument document;
        ParseFeed(document, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a>") + ending);
        EXPECT_TRUE(document.Error()) << ending;
        ParseFeed(document, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?><a x=\"") + ending);
        EXPECT_TRUE(document.Error()) << ending;
    }
}

}  // namespace

// The per-feed record: its file name, what it keeps, and every kind of bad
// file counting as no record.
#include "feed/feed_record.h"
#include "test_support.h"

#include <cstdio>
#include <gtest/gtest.h>

namespace {

const char Url[] = "http://example.com/feed.xml";

FeedRecord Sample()
{
    FeedRecord record;
    record.etag = "\"v1-abc\"";
    record.last_modified = "Thu, 06 Jun 2024 18:30:00 GMT";
    record.memory.keys = {"d 0123456789abcdef", "g urn:1", "l http://example.com/2"};
    return record;
}

TEST(FeedRecord, WrittenAndReadBackByItsAddress)
{
    TempFolder folder;
    char path[MAX_PATH], other[MAX_PATH];
    ASSERT_EQ(1, feed_record_path(folder.Path().c_str(), Url, path, sizeof path));
    ASSERT_EQ(1, feed_record_path(folder.Path().c_str(), "http://example.com/feed.xml2", other, sizeof other));
    EXPECT_STRNE(path, other);
    const char *name = path + folder.Path().size() + 1;
    EXPECT_EQ(1, is_feed_record_name(name)) << name;
    for (const char *not_a_record : {"bkup.ini", "feed-0123456789abcdef.rec.new", "feed-0123456789ABCDEF.rec",
                                     "feed-0123.rec", "kfd1.tmp"})
        EXPECT_EQ(0, is_feed_record_name(not_a_record)) << not_a_record;
    EXPECT_EQ(0, feed_record_path(folder.Path().c_str(), Url, path, folder.Path().size() + 20));

    ASSERT_EQ(1, feed_record_path(folder.Path().c_str(), Url, path, sizeof path));
    ASSERT_EQ(1, write_feed_record(path, Url, Sample()));
    EXPECT_FALSE(FileExists(std::string(path) + ".new"));
    FeedRecord read;
    ASSERT_EQ(1, read_feed_record(path, Url, &read));
    EXPECT_EQ(Sample().etag, read.etag);
    EXPECT_EQ(Sample().last_modified, read.last_modified);
    EXPECT_EQ(Sample().memory.keys, read.memory.keys);
    EXPECT_TRUE(read.memory.known);
    // Another feed whose name would collide reads no record.
    EXPECT_EQ(0, read_feed_record(path, "http://example.com/other", &read));
    EXPECT_FALSE(read.memory.known);

    // The bounds: keys beyond MaxRecordKeys and unusable validators are left out.
    FeedRecord big;
    big.etag = "\"a\"\r\nX-Injected: 1";
    big.last_modified = std::string(MaxValidatorLength + 1, 'x');
    for (int i = 0; i <= MaxRecordKeys; ++i)
        big.memory.keys.push_back("g " + std::to_string(100000 + i));
    big.memory.keys.push_back("g \n");
    ASSERT_EQ(1, write_feed_record(path, Url, big));
    ASSERT_EQ(1, read_feed_record(path, Url, &read));
    EXPECT_EQ(size_t(MaxRecordKeys), read.memory.keys.size());
    EXPECT_EQ("", read.etag);
    EXPECT_EQ("", read.last_modified);
}

TEST(FeedRecord, BadRecordsCountAsNone)
{
    const std::string whole = format_feed_record(Url, Sample());
    FeedRecord read;
    ASSERT_EQ(1, parse_feed_record(whole.data(), whole.size(), Url, &read));
    // Cut anywhere, a record is no record.
    for (size_t length = 0; length < whole.size(); ++length) {
        EXPECT_EQ(0, parse_feed_record(whole.data(), length, Url, &read)) << length;
        EXPECT_FALSE(read.memory.known);
        EXPECT_TRUE(read.etag.empty() && read.memory.keys.empty());
    }
    const std::string head = std::string("KIV feed record 1\nurl ") + Url + "\n";
    const std::string garbage[] = {
        "\x89PNG\r\n\x1a\n",
        "KIV feed record 2\nurl http://example.com/feed.xml\nend\n",
        head + "key g 1\r\nend\n",
        head + "key \nend\n",
        head + "key g " + std::string(TextFieldSize + 1, 'k') + "\nend\n",
        head + "etag \"a\"\netag \"b\"\nend\n",
        head + "colour blue\nend\n",
        head + "end\nkey g 1\n",
        head + "end\nend\n",
        head + std::string("key g \0 1\n", 10) + "end\n",
        std::string("url ") + Url + "\nKIV feed record 1\nend\n",
    };
    for (const std::string &text : garbage) {
        EXPECT_EQ(0, parse_feed_record(text.data(), text.size(), Url, &read)) << text;
        EXPECT_FALSE(read.memory.known);
    }
    std::string many = head;
    for (int i = 0; i <= MaxRecordKeys; ++i)
        many += "key g " + std::to_string(i) + "\n";
    many += "end\n";
    EXPECT_EQ(0, parse_feed_record(many.data(), many.size(), Url, &read));
    EXPECT_EQ(1, parse_feed_record((head + "end\n").data(), head.size() + 4, Url, &read));
    EXPECT_TRUE(read.memory.known && read.memory.keys.empty());

    // Missing, empty, 50 MB, a folder in its place.
    TempFolder folder;
    const std::string path = folder.Path("feed-0000000000000000.rec");
    EXPECT_EQ(0, read_feed_record(path.c_str(), Url, &read));
    WriteFileBytes(path, "");
    EXPECT_EQ(0, read_feed_record(path.c_str(), Url, &read));
    FILE *file = fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    fputs(whole.c_str(), file);
    fseek(file, 50L << 20, SEEK_SET);
    fputc('\n', file);
    fclose(file);
    EXPECT_EQ(0, read_feed_record(path.c_str(), Url, &read));
    EXPECT_FALSE(read.memory.known);
    // A record cannot be written where there is no folder; nothing crashes.
    const std::string nowhere = folder.Path("absent") + "/feed-0000000000000000.rec";
    EXPECT_EQ(0, write_feed_record(nowhere.c_str(), Url, Sample()));
    EXPECT_EQ(0, read_feed_record(nowhere.c_str(), Url, &read));
}

}  // namespace

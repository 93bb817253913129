// The per-feed record: its file name, what it keeps, and every kind of bad
// file counting as no record.
#include "feed/deliver/feed_record.h"
#include "settings/feed_settings.h"
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
    record.memory.scope = EveryKey;
    record.memory.keys = {"l http://example.com/2", "g urn:1", "d 0123456789abcdef"};  // oldest first
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
    EXPECT_EQ(EveryKey, read.memory.scope);
    EXPECT_EQ(0, read.paused_until);
    // Another feed whose name would collide reads no record.
    EXPECT_EQ(0, read_feed_record(path, "http://example.com/other", &read));
    EXPECT_EQ(NoKeys, read.memory.scope);

    // The bounds: the newest MaxRecordKeys keys are kept, unusable keys and
    // validators are left out.
    FeedRecord big;
    big.memory.scope = EveryKey;
    big.etag = "\"a\"\r\nX-Injected: 1";
    big.last_modified = std::string(MaxValidatorLength + 1, 'x');
    for (int i = 0; i <= MaxRecordKeys; ++i)
        big.memory.keys.push_back("g " + std::to_string(100000 + i));
    big.memory.keys.push_back("g \n");
    ASSERT_EQ(1, write_feed_record(path, Url, big));
    ASSERT_EQ(1, read_feed_record(path, Url, &read));
    ASSERT_EQ(size_t(MaxRecordKeys), read.memory.keys.size());
    EXPECT_EQ("g 100001", read.memory.keys.front());
    EXPECT_EQ("g " + std::to_string(100000 + MaxRecordKeys), read.memory.keys.back());
    EXPECT_EQ("", read.etag);
    EXPECT_EQ("", read.last_modified);

    // At the limit in every part, a record stays within MaxRecordBytes and
    // reads back whole.
    FeedRecord widest;
    widest.memory.scope = EveryKey;
    widest.etag = std::string(MaxValidatorLength, 'e');
    widest.last_modified = std::string(MaxValidatorLength, 'm');
    for (int i = 0; i < MaxRecordKeys; ++i) {
        std::string number = std::to_string(i);
        widest.memory.keys.push_back("g " + std::string(TextFieldSize - 1 - number.size(), 'k') + number);
    }
    const std::string long_url = "http://example.com/" + std::string(UrlBufferSize - 21, 'u');
    const std::string text = format_feed_record(long_url.c_str(), widest);
    EXPECT_GT(size_t(MaxRecordBytes), text.size());
    EXPECT_EQ(1, parse_feed_record(text.data(), text.size(), long_url.c_str(), &read));
    EXPECT_EQ(widest.memory.keys, read.memory.keys);
    EXPECT_EQ(widest.etag, read.etag);
}

// A pause the server asked for is kept beside the rest, which stays as it
// was; a record of a feed that had none (no keys known) keeps meaning that.
TEST(FeedRecord, PauseKeptBesideTheRest)
{
    FeedRecord paused = Sample();
    paused.paused_until = 1796961600;
    const std::string text = format_feed_record(Url, paused);
    EXPECT_NE(std::string::npos, text.find("\npaused-until 1796961600\nkey "));
    FeedRecord read;
    ASSERT_EQ(1, parse_feed_record(text.data(), text.size(), Url, &read));
    EXPECT_EQ(1796961600, read.paused_until);
    EXPECT_EQ(Sample().memory.keys, read.memory.keys);
    EXPECT_EQ(Sample().etag, read.etag);
    EXPECT_EQ(text, format_feed_record(Url, read));

    FeedRecord none;
    none.paused_until = 1796961600;
    const std::string bare = format_feed_record(Url, none);
    ASSERT_EQ(1, parse_feed_record(bare.data(), bare.size(), Url, &read));
    EXPECT_TRUE(read.memory.keys.empty());
    EXPECT_NE(EveryKey, read.memory.scope);
    EXPECT_EQ(1796961600, read.paused_until);
}

// Whatever became of a response (items delivered, none new, the feed
// unchanged by its date), the validators it came with replace those kept,
// one the server no longer sends included, so that what goes back is what
// the server gave last. A feed that never delivered keeps them in a record
// that still knows no keys.
TEST(FeedRecord, ValidatorsKeptAsTheServerSentThem)
{
    const char *date = "Thu, 06 Jun 2024 18:30:00 GMT", *later = "Fri, 07 Jun 2024 08:00:00 GMT";
    struct Case {
        const char *what;
        const char *sent_etag, *sent_date;
        int changed;
        const char *etag, *last_modified;  // kept afterwards
    } cases[] = {
        {"the same again", "\"v1-abc\"", date, 0, "\"v1-abc\"", date},
        {"a new date", "\"v1-abc\"", later, 1, "\"v1-abc\"", later},
        {"Last-Modified alone", nullptr, later, 1, "", later},
        {"ETag alone", "\"v2\"", "", 1, "\"v2\"", ""},
        {"neither", nullptr, nullptr, 1, "", ""},
    };
    for (const Case &c : cases) {
        FeedRecord record = Sample();
        EXPECT_EQ(c.changed, keep_validators(&record, c.sent_etag, c.sent_date)) << c.what;
        EXPECT_EQ(c.etag, record.etag) << c.what;
        EXPECT_EQ(c.last_modified, record.last_modified) << c.what;
        EXPECT_EQ(Sample().memory.keys, record.memory.keys) << c.what;
    }

    FeedRecord unread;
    ASSERT_EQ(1, keep_validators(&unread, "", date));
    EXPECT_EQ(0, keep_validators(&unread, nullptr, date));
    const std::string text = format_feed_record(Url, unread);
    EXPECT_EQ(std::string("KIV feed record 1\nurl ") + Url + "\nlast-modified " + date + "\nend\n", text);
    FeedRecord read;
    ASSERT_EQ(1, parse_feed_record(text.data(), text.size(), Url, &read));
    EXPECT_EQ(date, read.last_modified);
    EXPECT_TRUE(read.memory.keys.empty());
    EXPECT_NE(EveryKey, read.memory.scope);
}

// Version 2 holds every item's key; version 1, as earlier versions wrote it,
// undated items' keys, which are kept. A record is written in the version of
// what it holds, so that one read as version 1 keeps its meaning until a
// document was walked. Each version reads only the first lines it knows.
TEST(FeedRecord, VersionsByTheirFirstLine)
{
    const std::string rest = std::string("url ") + Url + "\nkey g b\nkey g a\nend\n";
    struct Case {
        std::string first_line;
        int read;
        KeyScope scope;
    } cases[] = {
        {"KIV feed record 2", 1, EveryKey},
        {"KIV feed record 1", 1, UndatedKeys},
        {"KIV feed record 3", 0, NoKeys},
        {"KIV feed record 2 ", 0, NoKeys},
        {"KIV feed record 20", 0, NoKeys},
        {"KIV feed record", 0, NoKeys},
        {"kiv feed record 2", 0, NoKeys},
    };
    for (const Case &c : cases) {
        const std::string text = c.first_line + "\n" + rest;
        FeedRecord read;
        EXPECT_EQ(c.read, parse_feed_record(text.data(), text.size(), Url, &read)) << c.first_line;
        EXPECT_EQ(c.scope, read.memory.scope) << c.first_line;
        if (c.read) {
            EXPECT_EQ((std::vector<std::string>{"g b", "g a"}), read.memory.keys);
            EXPECT_EQ(text, format_feed_record(Url, read)) << "written as read";
        }
    }
    // Earlier versions take a record only when its first line is exactly
    // theirs, so a version 2 record is none to them.
    const std::string written = format_feed_record(Url, Sample());
    EXPECT_EQ("KIV feed record 2\n", written.substr(0, 18));
    EXPECT_NE(0u, written.find("KIV feed record 1\n"));
}

TEST(FeedRecord, BadRecordsCountAsNone)
{
    const std::string whole = format_feed_record(Url, Sample());
    FeedRecord read;
    ASSERT_EQ(1, parse_feed_record(whole.data(), whole.size(), Url, &read));
    // Cut anywhere, a record is no record.
    for (size_t length = 0; length < whole.size(); ++length) {
        EXPECT_EQ(0, parse_feed_record(whole.data(), length, Url, &read)) << length;
        EXPECT_EQ(NoKeys, read.memory.scope);
        EXPECT_TRUE(read.etag.empty() && read.memory.keys.empty());
    }
    const std::string head = std::string("KIV feed record 2\nurl ") + Url + "\n";
    const std::string garbage[] = {
        "\x89PNG\r\n\x1a\n",
        "KIV feed record 2\nurl http://example.com/feed.xml2\nend\n",
        head + "key g 1\nkey g 2\nkey g 1\nend\n",
        head + "key g 1\r\nend\n",
        head + "key \nend\n",
        head + "key g " + std::string(TextFieldSize, 'k') + "\nend\n",  // a byte beyond the longest key
        head + "etag \"a\"\netag \"b\"\nend\n",
        head + "colour blue\nend\n",
        head + "end\nkey g 1\n",
        head + "end\nend\n",
        head + std::string("key g \0 1\n", 10) + "end\n",
        std::string("url ") + Url + "\nKIV feed record 1\nend\n",
        head + "paused-until 0\nend\n",
        head + "paused-until -5\nend\n",
        head + "paused-until 0123\nend\n",
        head + "paused-until 1796961600s\nend\n",
        head + "paused-until 1234567890123\nend\n",
        head + "paused-until 1796961600\npaused-until 1796961601\nend\n",
    };
    for (const std::string &text : garbage) {
        EXPECT_EQ(0, parse_feed_record(text.data(), text.size(), Url, &read)) << text;
        EXPECT_EQ(NoKeys, read.memory.scope);
    }
    std::string many = head;
    for (int i = 0; i <= MaxRecordKeys; ++i)
        many += "key g " + std::to_string(i) + "\n";
    many += "end\n";
    EXPECT_EQ(0, parse_feed_record(many.data(), many.size(), Url, &read));
    EXPECT_EQ(1, parse_feed_record((head + "end\n").data(), head.size() + 4, Url, &read));
    EXPECT_TRUE(read.memory.scope == EveryKey && read.memory.keys.empty());

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
    EXPECT_EQ(NoKeys, read.memory.scope);
    // A record cannot be written where there is no folder; nothing crashes.
    const std::string nowhere = folder.Path("absent") + "/feed-0000000000000000.rec";
    EXPECT_EQ(0, write_feed_record(nowhere.c_str(), Url, Sample()));
    EXPECT_EQ(0, read_feed_record(nowhere.c_str(), Url, &read));
}

}  // namespace

// The settings file: entries, option entries, feed entries, rewrites.
#include "settings/feed_settings.h"
#include "base/process_values.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override { UseSettingsFile(Ini(), folder.Path("KIV")); }
    std::string Ini() const { return folder.Path("KIV.ini"); }
    void Write(const std::string &bytes) { WriteFileBytes(Ini(), bytes); }
    std::string Read() const { return ReadFileBytes(Ini()); }
    TempFolder folder;
};

TEST_F(SettingsFileTest, ThreeEntriesGiveFolderIntervalAndAutoSort)
{
    Write("Inbox\\Feeds\r\n3\r\n1");
    FolderConfigured = 0;
    EXPECT_EQ(1, FeedSettings::IsFolderConfigured());
    EXPECT_EQ(1, FolderConfigured);
    FeedSettings::LoadInterval();
    EXPECT_EQ(180, IntervalMinutes);
    EXPECT_EQ(180, MinutesLeft);
    EXPECT_EQ(1, FeedSettings::LoadAutoSort());
    EXPECT_EQ(1, AutoSortEnabled);
}

TEST_F(SettingsFileTest, OptionEntriesReadAsAtoiWithRangeRules)
{
    struct Case {
        const char *file;
        int configured, interval, autoSort;
    } cases[] = {
        {"A\\B\r\n7\r\n2", 1, 0, 1},
        {"A\\B\r\n-1\r\nabc", 1, 0, 0},
        {"A\\B\r\n6\r\n0", 1, 6, 0},
        {"A\\B\r\n+4x\r\n-3", 1, 4, 1},
        {"NoBackslash\n2\n1\n", 0, 2, 1},   // bare line feeds, final line end
        {"  \t\r\n A\\B \n\n 5 \n\n", 1, 5, 0},
        {"A\\B\r\n2", 1, 2, 0},             // two entries: auto-sort reads as off
        {"", 0, 0, 0},
        {"\x1a\x00\xff garbage \x01", 0, 0, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        Write(c.file);
        EXPECT_EQ(c.configured, FeedSettings::IsFolderConfigured());
        EXPECT_EQ(c.interval, FeedSettings::ReadIntervalIndex());
        EXPECT_EQ(c.autoSort, FeedSettings::ReadAutoSort());
    }
}

TEST_F(SettingsFileTest, MissingFileGivesDefaultsAndKeepsFolderFlag)
{
    FolderConfigured = 1;
    EXPECT_EQ(0, FeedSettings::IsFolderConfigured());
    EXPECT_EQ(1, FolderConfigured);
    EXPECT_EQ(0, FeedSettings::ReadIntervalIndex());
    EXPECT_EQ(0, FeedSettings::ReadAutoSort());
    FeedSettings::WriteAutoSort(1);
    FeedSettings::WriteIntervalIndex(3);
    EXPECT_FALSE(FileExists(Ini()));
}

TEST_F(SettingsFileTest, OptionWritesReplaceOneEntryAndNormaliseLineEnds)
{
    Write("F\\G\n0\n0\nhttp://a/,2000-01-01T00:00:00+09:00\n");
    FeedSettings::WriteAutoSort(5);
    EXPECT_EQ("F\\G\r\n0\r\n1\r\nhttp://a/,2000-01-01T00:00:00+09:00", Read());
    FeedSettings::WriteIntervalIndex(4);
    EXPECT_EQ("F\\G\r\n4\r\n1\r\nhttp://a/,2000-01-01T00:00:00+09:00", Read());
    FeedSettings::WriteAutoSort(0);
    EXPECT_EQ("F\\G\r\n4\r\n0\r\nhttp://a/,2000-01-01T00:00:00+09:00", Read());
}

TEST_F(SettingsFileTest, OptionWriteOnShortFileAddsNothing)
{
    Write("F\\G\n2\n");
    FeedSettings::WriteAutoSort(1);
    EXPECT_EQ("F\\G\n2\n", Read());
    Write("F\\G");
    FeedSettings::WriteIntervalIndex(1);
    EXPECT_EQ("F\\G", Read());
}

TEST_F(SettingsFileTest, FeedEntriesSplitIntoUrlAndTimestamp)
{
    struct Case {
        const char *entry, *url, *timestamp;
    } cases[] = {
        {"http://x/rss,2024-05-03T18:00:00+09:00", "http://x/rss", "2024-05-03T18:00:00+09:00"},
        {"http://x/rss", "http://x/rss", nullptr},
        {"http://x/rss,", "http://x/rss", ""},
        {"http://x/rss,a,b", "http://x/rss", "a,b"},
        {",2000", "", "2000"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.entry);
        char url[UrlBufferSize];
        EXPECT_EQ(1, FeedSettings::SplitFeedLine(c.entry, url));
        EXPECT_STREQ(c.url, url);
        const char *timestamp = FeedSettings::FindTimestamp(c.entry);
        if (c.timestamp) {
            ASSERT_NE(nullptr, timestamp);
            EXPECT_STREQ(c.timestamp, timestamp);
        } else {
            EXPECT_EQ(nullptr, timestamp);
        }
    }
    EXPECT_EQ(0, FeedSettings::SplitFeedLine("http://x/", nullptr));
}

TEST_F(SettingsFileTest, UrlPartIsCutAt999Bytes)
{
    std::string longUrl(1200, 'u');
    char url[UrlBufferSize + 1];
    url[UrlBufferSize] = '#';  // guard byte just past the buffer
    ASSERT_EQ(1, FeedSettings::SplitFeedLine((longUrl + ",2000-01-01T00:00:00+09:00").c_str(), url));
    EXPECT_EQ(std::string(999, 'u'), url);
    EXPECT_EQ('#', url[UrlBufferSize]);
    ASSERT_EQ(1, FeedSettings::SplitFeedLine(std::string(999, 'v').c_str(), url));
    EXPECT_EQ(std::string(999, 'v'), url);
}

TEST_F(SettingsFileTest, TenThousandFeedsRoundTrip)
{
    std::string file = "F\\G\r\n1\r\n0";
    for (int i = 0; i < 10000; ++i)
        file += "\r\nhttp://feeds.example/" + std::to_string(i) + ",2000-01-01T00:00:00+09:00";
    Write(file);
    SettingsEntries entries;
    ASSERT_EQ(1, FeedSettings::ReadEntries(entries));
    ASSERT_EQ(10003u, entries.size());
    EXPECT_EQ("http://feeds.example/9999,2000-01-01T00:00:00+09:00", entries.back());
    FeedSettings::WriteIntervalIndex(2);
    std::string expected = file;
    expected[5] = '2';
    EXPECT_EQ(expected, Read());
}

TEST_F(SettingsFileTest, RewriteLeavesNoTemporaryFileAndKeepsOldFileWhenUnwritable)
{
    Write("F\\G\r\n0\r\n0");
    FeedSettings::WriteAutoSort(1);
    EXPECT_FALSE(FileExists(Ini() + ".new"));
    // A settings path in a folder that does not exist cannot be written.
    UseSettingsFile(folder.Path("missing") + "/KIV.ini", folder.Path("KIV"));
    SettingsEntries entries = {"x"};
    EXPECT_EQ(0, FeedSettings::RewriteEntries(entries));
}

}  // namespace

namespace {

TEST(SettingsFileUnreadable, FolderInPlaceOfTheFileGivesDefaultsAndWritesNothing)
{
    TempFolder folder;
    std::string ini = folder.Path("KIV.ini");
    CreateDirectoryA(ini.c_str(), nullptr);
    UseSettingsFile(ini, folder.Path("KIV"));
    FolderConfigured = 0;
    EXPECT_EQ(0, FeedSettings::IsFolderConfigured());
    FeedSettings::LoadInterval();
    EXPECT_EQ(0, IntervalMinutes);
    EXPECT_EQ(0, FeedSettings::LoadAutoSort());
    FeedSettings::WriteAutoSort(1);
    EXPECT_FALSE(FileExists(ini + ".new"));
    RemoveFolder(ini);
}

}  // namespace

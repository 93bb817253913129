// The timestamps a patrol stores: merged into the settings file as it is at
// that moment, and kept through the preferences dialog's Cancel.
#include "settings/feed_settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

const char Old[] = "2000-01-01T00:00:00+09:00";
const char New[] = "2024-05-03T18:00:00+09:00";

std::string Feed(const std::string &url, const char *timestamp) { return url + "," + timestamp; }

class PatrolTimestampsTest : public ::testing::Test {
protected:
    void SetUp() override { UseSettingsFile(Ini(), folder.Path("KIV")); }
    void TearDown() override { FeedSettings::ClearTimestampJournal(); }
    std::string Ini() const { return folder.Path("KIV.ini"); }
    void Write(const std::string &bytes) { WriteFileBytes(Ini(), bytes); }
    std::string Read() const { return ReadFileBytes(Ini()); }
    TempFolder folder;
};

TEST_F(PatrolTimestampsTest, StoreKeepsWhatChangedInTheFileMeanwhile)
{
    // The patrol read A, B, C and D; meanwhile the interval changed, B was
    // deleted, C replaced by another address and E added.
    Write("F\\G\r\n3\r\n0\r\n" + Feed("http://a/", Old) + "\r\n" + Feed("http://c2/", Old) + "\r\n" +
          Feed("http://d/", Old) + "\r\n" + Feed("http://e/", Old));
    EXPECT_EQ(1, FeedSettings::StoreFeedEntry(Feed("http://a/", Old), Feed("http://a/", New)));
    EXPECT_EQ(1, FeedSettings::StoreFeedEntry(Feed("http://b/", Old), Feed("http://b/", New)));
    EXPECT_EQ(1, FeedSettings::StoreFeedEntry(Feed("http://c/", Old), Feed("http://c/", New)));
    EXPECT_EQ(1, FeedSettings::StoreFeedEntry("http://d/,", Feed("http://d/", New)));  // not the text read
    EXPECT_EQ("F\\G\r\n3\r\n0\r\n" + Feed("http://a/", New) + "\r\n" + Feed("http://c2/", Old) + "\r\n" +
                  Feed("http://d/", Old) + "\r\n" + Feed("http://e/", Old),
              Read());
}

TEST_F(PatrolTimestampsTest, StoreMatchesWholeFeedEntriesOnlyOncePerStore)
{
    // Equal entries are stored one per store; option entries are never feed
    // entries, even when they read the same.
    std::string a = Feed("http://a/", Old);
    Write(a + "\n" + a + "\n" + a + "\n" + a + "\n" + a + "\n" + "http://a/");
    ASSERT_EQ(1, FeedSettings::StoreFeedEntry(a, Feed("http://a/", New)));
    EXPECT_EQ(a + "\r\n" + a + "\r\n" + a + "\r\n" + Feed("http://a/", New) + "\r\n" + a + "\r\nhttp://a/", Read());
    ASSERT_EQ(1, FeedSettings::StoreFeedEntry(a, Feed("http://a/", New)));
    ASSERT_EQ(1, FeedSettings::StoreFeedEntry("http://a/", Feed("http://a/", New)));
    EXPECT_EQ(a + "\r\n" + a + "\r\n" + a + "\r\n" + Feed("http://a/", New) + "\r\n" + Feed("http://a/", New) +
                  "\r\n" + Feed("http://a/", New),
              Read());
}

TEST_F(PatrolTimestampsTest, StoreReportsAFileItCannotReadOrRewrite)
{
    EXPECT_EQ(0, FeedSettings::StoreFeedEntry(Feed("http://a/", Old), Feed("http://a/", New)));
    EXPECT_FALSE(FileExists(Ini()));

    std::string before = "F\\G\r\n0\r\n0\r\n" + Feed("http://a/", Old);
    Write(before);
    CreateDirectoryA((Ini() + ".new").c_str(), nullptr);  // the rewrite's own file cannot be made
    EXPECT_EQ(0, FeedSettings::StoreFeedEntry(Feed("http://a/", Old), Feed("http://a/", New)));
    EXPECT_EQ(before, Read());
    RemoveFolder(Ini() + ".new");
}

TEST_F(PatrolTimestampsTest, JournalPutsStoredTimestampsBackAfterCancel)
{
    std::string backup = "F\\G\r\n0\r\n0\r\n" + Feed("http://a/", Old) + "\r\n" + Feed("http://b/", Old) + "\r\n" +
                         Feed("http://c/", Old);
    Write(backup);
    FeedSettings::StartTimestampJournal();
    // While the dialog is open: the user deletes C and adds D, a patrol
    // stores A, then another stores A again and C, which is gone.
    Write("F\\G\r\n0\r\n0\r\n" + Feed("http://a/", Old) + "\r\n" + Feed("http://b/", Old) + "\r\n" +
          Feed("http://d/", Old));
    FeedSettings::StoreFeedEntry(Feed("http://a/", Old), Feed("http://a/", "2024-01-01T00:00:00Z"));
    FeedSettings::StoreFeedEntry(Feed("http://a/", "2024-01-01T00:00:00Z"), Feed("http://a/", New));
    FeedSettings::StoreFeedEntry(Feed("http://c/", Old), Feed("http://c/", New));
    // Cancel: the backup goes back, then the journal over it.
    Write(backup);
    EXPECT_EQ(1, FeedSettings::ReapplyTimestampJournal());
    EXPECT_EQ("F\\G\r\n0\r\n0\r\n" + Feed("http://a/", New) + "\r\n" + Feed("http://b/", Old) + "\r\n" +
                  Feed("http://c/", New),
              Read());

    // Closed, it records nothing and puts nothing back.
    FeedSettings::ClearTimestampJournal();
    Write(backup);
    FeedSettings::StoreFeedEntry(Feed("http://b/", Old), Feed("http://b/", New));
    Write(backup);
    EXPECT_EQ(1, FeedSettings::ReapplyTimestampJournal());
    EXPECT_EQ(backup, Read());
}

// A patrol records its stores as it goes and makes them at its end: in order,
// as StoreFeedEntry makes them, with what changed meanwhile kept. A line that
// a crash cut short was never recorded; a record that cannot be stored stays.
TEST_F(PatrolTimestampsTest, RecordedStoresAreMadeInOrderAtTheEnd)
{
    const std::string before = "F\\G\r\n0\r\n0\r\n" + Feed("http://a/", Old) + "\r\n" + Feed("http://b2/", Old) +
                               "\r\n" + Feed("http://c/", Old);
    Write(before);
    FeedSettings::StartTimestampJournal();
    EXPECT_EQ(1, FeedSettings::RecordFeedEntry(Feed("http://a/", Old), Feed("http://a/", "2024-01-01T00:00:00Z")));
    EXPECT_EQ(1, FeedSettings::RecordFeedEntry(Feed("http://a/", "2024-01-01T00:00:00Z"), Feed("http://a/", New)));
    EXPECT_EQ(1, FeedSettings::RecordFeedEntry(Feed("http://b/", Old), Feed("http://b/", New)));  // b2 meanwhile
    EXPECT_EQ(before, Read());
    const std::string record = Ini() + ".patrol";
    WriteFileBytes(record, ReadFileBytes(record) + Feed("http://c/", Old) + " " + Feed("http://c/", New));

    CreateDirectoryA((Ini() + ".new").c_str(), nullptr);  // the rewrite's own file cannot be made
    EXPECT_EQ(0, FeedSettings::StoreRecordedEntries());
    EXPECT_EQ(before, Read());
    RemoveFolder(Ini() + ".new");
    {
        SettingsFileLock taken;
        EXPECT_EQ(0, FeedSettings::StoreRecordedEntries(false));
    }
    EXPECT_EQ(1, FeedSettings::StoreRecordedEntries());
    const std::string after = "F\\G\r\n0\r\n0\r\n" + Feed("http://a/", New) + "\r\n" + Feed("http://b2/", Old) +
                              "\r\n" + Feed("http://c/", Old);
    EXPECT_EQ(after, Read());
    EXPECT_FALSE(FileExists(record));
    EXPECT_EQ(1, FeedSettings::StoreRecordedEntries());

    // Recorded stores are journalled for the dialog's Cancel as stored ones are.
    Write(before);
    EXPECT_EQ(1, FeedSettings::ReapplyTimestampJournal());
    EXPECT_EQ(after, Read());
}

TEST_F(PatrolTimestampsTest, StoresAndOptionWritesFromTwoThreadsLoseNothing)
{
    const int feeds = 200;
    std::string file = "F\\G\r\n0\r\n0";
    for (int i = 0; i < feeds; ++i)
        file += "\r\n" + Feed("http://f/" + std::to_string(i), Old);
    Write(file);
    std::thread patrol([&] {
        for (int i = 0; i < feeds; ++i)
            FeedSettings::StoreFeedEntry(Feed("http://f/" + std::to_string(i), Old),
                                         Feed("http://f/" + std::to_string(i), New));
    });
    for (int i = 0; i < feeds; ++i) {
        FeedSettings::WriteIntervalIndex(i % 7);
        FeedSettings::WriteAutoSort(i % 2);
    }
    patrol.join();
    SettingsEntries entries;
    ASSERT_EQ(1, FeedSettings::ReadEntries(entries));
    ASSERT_EQ(size_t(feeds + 3), entries.size());
    EXPECT_EQ(std::to_string((feeds - 1) % 7), entries[1]);
    EXPECT_EQ("1", entries[2]);
    for (int i = 0; i < feeds; ++i)
        EXPECT_EQ(Feed("http://f/" + std::to_string(i), New), entries[size_t(3 + i)]);
}

}  // namespace

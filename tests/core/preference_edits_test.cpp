// What the preferences write: the folder entry, feed lines added and removed,
// the feed list they show, and the backup that CANCEL puts back.
#include "settings/feed_options.h"
#include "settings/feed_settings.h"
#include "settings/options_file.h"
#include "settings/settings_backup.h"
#include "base/process_values.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace {

const char Stamp[] = "2000-01-01T00:00:00+09:00";

class PreferenceEditsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        UseSettingsFile(Ini(), folder.Path("KIV"));
        CreateDirectoryA(folder.Path("KIV").c_str(), nullptr);  // the data folder, made at attach
    }
    void TearDown() override
    {
        DeleteFileA(Backup().c_str());
        RemoveFolder(folder.Path("KIV"));
    }
    std::string Ini() const { return folder.Path("KIV.ini"); }
    void Write(const std::string &bytes) { WriteFileBytes(Ini(), bytes); }
    std::string Read() const { return ReadFileBytes(Ini()); }
    std::string Backup() const
    {
        char path[MAX_PATH];
        SettingsBackupPath(path, sizeof path);
        return path;
    }
    TempFolder folder;
};

TEST_F(PreferenceEditsTest, FolderIdentifierBecomesTheFirstEntry)
{
    struct Case {
        const char *before, *after;
    } cases[] = {
        {"0\r\n0\r\nhttp://a/,x", "Inbox\\KIV\r\n0\r\n0\r\nhttp://a/,x"},
        {"\r\n3\n1", "Inbox\\KIV\r\n3\r\n1"},  // a blanked line 1 holds no entry
        {"", "Inbox\\KIV"},
        {"NoFolder\r\n2\r\n1", "Inbox\\KIV\r\nNoFolder\r\n2\r\n1"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.before);
        Write(c.before);
        FolderConfigured = 0;
        EXPECT_EQ(1, FeedSettings::InsertFolderEntry("Inbox\\KIV"));
        EXPECT_EQ(c.after, Read());
        EXPECT_EQ(1, FolderConfigured);
    }
}

TEST_F(PreferenceEditsTest, FolderEntryIsNotWrittenWithoutASettingsFile)
{
    FolderConfigured = 0;
    EXPECT_EQ(0, FeedSettings::InsertFolderEntry("Inbox\\KIV"));
    EXPECT_FALSE(FileExists(Ini()));
    EXPECT_EQ(0, FolderConfigured);
}

TEST_F(PreferenceEditsTest, EntrySpaceIsWhatSplitsEntries)
{
    for (const char *text : {"a b", "a\tb", "a\r", "\nb", "a\vb", "a\fb", " "})
        EXPECT_TRUE(FeedSettings::HoldsEntrySpace(text)) << text;
    // An ideographic space (0x81 0x40 in code page 932) is not a separator.
    for (const char *text : {"", "Inbox\\KIV", "http://a/?q=1,2", "\x81\x40"})
        EXPECT_FALSE(FeedSettings::HoldsEntrySpace(text)) << text;
}

TEST_F(PreferenceEditsTest, AppendFeedAddsALineUnlessTheUrlIsListed)
{
    const std::string start = std::string("F\\G\r\n0\r\n0\r\nhttp://a/x,") + Stamp;
    struct Case {
        const char *url;
        int appended;
    } cases[] = {
        {"http://a/x", 0},
        {"http://a/X", 1},   // letter case counts
        {"http://a/x/", 1},  // so does a trailing slash
        {"F\\G", 1},         // the option entries are not feeds
        {"0", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.url);
        Write(start);
        EXPECT_EQ(c.appended, FeedSettings::AppendFeed(c.url, Stamp));
        EXPECT_EQ(c.appended ? start + "\r\n" + c.url + "," + Stamp : start, Read());
    }
}

TEST_F(PreferenceEditsTest, AppendFeedKeepsTheFileAsItIsAndNeedsIt)
{
    Write("F\\G\n0\n0\n");  // written by hand: bare line feeds, a final line end
    EXPECT_EQ(1, FeedSettings::AppendFeed("http://b/", "T"));
    EXPECT_EQ("F\\G\n0\n0\n\r\nhttp://b/,T", Read());
    std::vector<std::string> urls;
    ASSERT_EQ(1, FeedSettings::ReadFeedUrls(urls));
    EXPECT_EQ(std::vector<std::string>{"http://b/"}, urls);

    DeleteFileA(Ini().c_str());
    EXPECT_EQ(0, FeedSettings::AppendFeed("http://b/", "T"));
    EXPECT_FALSE(FileExists(Ini()));
    EXPECT_EQ(0, FeedSettings::ReadFeedUrls(urls));
}

TEST_F(PreferenceEditsTest, FeedUrlsAreTheUrlPartsCutAt999Bytes)
{
    std::string longUrl(1200, 'u');
    Write("F\\G\r\n0\r\n0\r\nhttp://a/,T\r\nhttp://b/\r\nhttp://c/,\r\n" + longUrl + ",T");
    std::vector<std::string> urls;
    ASSERT_EQ(1, FeedSettings::ReadFeedUrls(urls));
    EXPECT_EQ((std::vector<std::string>{"http://a/", "http://b/", "http://c/", longUrl.substr(0, 999)}), urls);
    // A URL is compared by what the list shows of it.
    EXPECT_EQ(0, FeedSettings::AppendFeed(longUrl.substr(0, 999).c_str(), Stamp));
}

TEST_F(PreferenceEditsTest, RemoveFeedTakesOutOneFeedWithItsTimestamp)
{
    Write("F\\G\r\n4\r\n1\r\nhttp://a/,A\r\nhttp://b/,B\r\nhttp://c/,C");
    FeedSettings::RemoveFeed(1);
    EXPECT_EQ("F\\G\r\n4\r\n1\r\nhttp://a/,A\r\nhttp://c/,C", Read());
    FeedSettings::RemoveFeed(1);
    FeedSettings::RemoveFeed(0);
    EXPECT_EQ("F\\G\r\n4\r\n1", Read());

    // A position with no feed changes nothing, not even the line ends.
    Write("F\\G\n4\n1\nhttp://a/,A\n");
    for (int position : {1, 5, -1})
        FeedSettings::RemoveFeed(position);
    EXPECT_EQ("F\\G\n4\n1\nhttp://a/,A\n", Read());
}

TEST_F(PreferenceEditsTest, CancelPutsTheBackupBackAndOkDiscardsIt)
{
    const std::string opened = "F\\G\r\n1\r\n0\r\nhttp://a/,A";
    Write(opened);
    ASSERT_EQ(1, TakeSettingsBackup());
    EXPECT_EQ(opened, ReadFileBytes(Backup()));
    FeedSettings::WriteIntervalIndex(4);
    FeedSettings::AppendFeed("http://b/", Stamp);
    EXPECT_EQ(1, RestoreSettingsBackup());
    EXPECT_EQ(opened, Read());
    EXPECT_FALSE(FileExists(Backup()));

    ASSERT_EQ(1, TakeSettingsBackup());
    FeedSettings::WriteIntervalIndex(4);
    DiscardSettingsBackup();
    EXPECT_EQ("F\\G\r\n4\r\n0\r\nhttp://a/,A", Read());
    EXPECT_FALSE(FileExists(Backup()));
}

// The switch lives in a file of its own, which KIV.ini never shows; CANCEL
// puts it back as the dialog found it, OK keeps it.
TEST_F(PreferenceEditsTest, OneMailPerItemIsStoredBesideTheSettingsFile)
{
    const std::string opened = "F\\G\r\n1\r\n0\r\nhttp://a/,A";
    Write(opened);
    EXPECT_EQ(0, ReadOneMailPerItem());
    ASSERT_EQ(1, TakeSettingsBackup());
    ASSERT_EQ(1, WriteOneMailPerItem(1));
    EXPECT_EQ(1, ReadOneMailPerItem());
    EXPECT_EQ(opened, Read());
    RestoreSettingsBackup();
    EXPECT_EQ(0, ReadOneMailPerItem());

    ASSERT_EQ(1, TakeSettingsBackup());
    WriteOneMailPerItem(1);
    DiscardSettingsBackup();
    EXPECT_EQ(1, ReadOneMailPerItem());
    EXPECT_EQ(opened, Read());
    // A CANCEL of a dialog that never noted the option leaves it.
    RestoreSettingsBackup();
    EXPECT_EQ(1, ReadOneMailPerItem());

    const std::string path = std::string(DataFolderPath) + "\\options.ini";
    EXPECT_EQ("one-mail-per-item=1\r\n", ReadFileBytes(path));
    const struct {
        std::string bytes;
        int flag;
    } files[] = {
        {"one-mail-per-item=1", 1},
        {"future=2\r\none-mail-per-item=1\r\n", 1},
        {"one-mail-per-item=0\r\n", 0},
        {"one-mail-per-item=yes\r\n", 0},
        {" one-mail-per-item=1\r\n", 0},
        {std::string(100, 'x') + "one-mail-per-item=1\r\n", 0},
        {std::string("one-mail-per-item=1\0", 20), 1},
        {"", 0},
    };
    for (const auto &file : files) {
        WriteFileBytes(path, file.bytes);
        EXPECT_EQ(file.flag, ReadOneMailPerItem()) << file.bytes;
    }
    DeleteFileA(path.c_str());
    EXPECT_EQ(0, ReadOneMailPerItem());
}

TEST_F(PreferenceEditsTest, CancelWithoutABackupOfItsOwnLeavesTheFile)
{
    // A bkup.ini left behind by an earlier run is not this opening's backup.
    WriteFileBytes(Backup(), "Old\\Folder\r\n0\r\n0");
    Write("F\\G\r\n1\r\n0");
    EXPECT_EQ(0, RestoreSettingsBackup());
    EXPECT_EQ("F\\G\r\n1\r\n0", Read());

    // Nothing to copy: no backup is taken, and CANCEL then keeps the edits.
    DeleteFileA(Ini().c_str());
    EXPECT_EQ(0, TakeSettingsBackup());
    Write("F\\G\r\n2\r\n0");
    EXPECT_EQ(0, RestoreSettingsBackup());
    EXPECT_EQ("F\\G\r\n2\r\n0", Read());
}

TEST_F(PreferenceEditsTest, CancelKeepsTheTimestampsAPatrolStoredMeanwhile)
{
    Write("F\\G\r\n1\r\n0\r\nhttp://a/,A\r\nhttp://b/,B");
    ASSERT_EQ(1, TakeSettingsBackup());
    FeedSettings::RemoveFeed(0);
    FeedSettings::AppendFeed("http://c/", Stamp);
    FeedSettings::StoreFeedEntry("http://b/,B", "http://b/,B2");
    ASSERT_EQ(1, RestoreSettingsBackup());
    EXPECT_EQ("F\\G\r\n1\r\n0\r\nhttp://a/,A\r\nhttp://b/,B2", Read());

    // The journal closes with the dialog: later stores are plain rewrites.
    FeedSettings::StoreFeedEntry("http://a/,A", "http://a/,A2");
    WriteFileBytes(Backup(), "F\\G\r\n1\r\n0");
    EXPECT_EQ(0, RestoreSettingsBackup());
    EXPECT_EQ("F\\G\r\n1\r\n0\r\nhttp://a/,A2\r\nhttp://b/,B2", Read());
}

}  // namespace

// CANCEL puts feeds.ini back byte for byte, also where there was none; a
// file KIV never rewrites (over its bound) is left alone.
TEST_F(PreferenceEditsTest, CancelPutsFeedsIniBackByteForByte)
{
    Write("F\\G\r\n0\r\n0\r\nhttp://a/");
    char path[MAX_PATH];
    ASSERT_EQ(1, FeedOptionsPath(path, sizeof path));
    const std::string hand = "\xEF\xBB\xBF; mine\n[http://a/]\npaused=1\ncolour=blue\n";
    const std::string large = "[http://a/]\npaused=1\n" + std::string(MaxFeedOptionsBytes, ';');
    for (const std::string *opened : {&hand, static_cast<const std::string *>(nullptr), &large}) {
        if (opened)
            WriteFileBytes(path, *opened);
        else
            DeleteFileA(path);
        ASSERT_EQ(1, TakeSettingsBackup());
        FeedOptions moved;
        moved.every_hours = 3;
        EditFeedOptions([&](FeedOptionsFile *file) {
            set_feed_options(file, "http://a/", moved);
            return true;
        });
        MoveFeedOptions("http://a/", "http://b/");
        RestoreSettingsBackup();
        if (opened)
            EXPECT_EQ(*opened, ReadFileBytes(path));
        else
            EXPECT_FALSE(FileExists(path));
    }
}

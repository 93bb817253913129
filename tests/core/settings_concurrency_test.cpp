// The patrol (worker thread) and the preferences (host's thread) change the
// settings file at the same time; neither may lose the other's changes.
// Also run under ThreadSanitizer by the test command.
#include "settings/feed_settings.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Feed(const std::string &name) { return "http://feeds.example/" + name; }

std::string Stamp(int round) { return "2024-05-03T18:" + std::string(round < 10 ? "0" : "") + std::to_string(round) + ":00+09:00"; }

TEST(SettingsConcurrency, PatrolStoresAndPreferenceEditsKeepEachOther)
{
    TempFolder folder;
    UseSettingsFile(folder.Path("KIV.ini"), folder.Path("KIV"));
    const int kept = 8, deleted = 4, added = 40, rounds = 30;
    std::string file = "Inbox\\KIV\r\n0\r\n0";
    for (int i = 0; i < kept; ++i)
        file += "\r\n" + Feed("kept" + std::to_string(i)) + ",2000-01-01T00:00:00+09:00";
    for (int i = 0; i < deleted; ++i)
        file += "\r\n" + Feed("gone" + std::to_string(i)) + ",2000-01-01T00:00:00+09:00";
    WriteFileBytes(folder.Path("KIV.ini"), file);

    // The patrol stores a new timestamp for every feed it read, round after round.
    std::thread patrol([&] {
        std::vector<std::string> last;
        for (int i = 0; i < kept; ++i)
            last.push_back(Feed("kept" + std::to_string(i)) + ",2000-01-01T00:00:00+09:00");
        for (int i = 0; i < deleted; ++i)
            last.push_back(Feed("gone" + std::to_string(i)) + ",2000-01-01T00:00:00+09:00");
        for (int round = 1; round <= rounds; ++round)
            for (std::string &entry : last) {
                std::string written = entry.substr(0, entry.find(',')) + "," + Stamp(round);
                EXPECT_EQ(1, FeedSettings::StoreFeedEntry(entry, written));
                entry = written;
            }
    });
    // Meanwhile the user adds feeds, deletes some, and changes both options.
    std::thread preferences([&] {
        for (int k = 0; k < added; ++k) {
            EXPECT_EQ(1, FeedSettings::AppendFeed(Feed("new" + std::to_string(k)).c_str(), "2000-01-01T00:00:00+09:00"));
            FeedSettings::WriteIntervalIndex(k % 7);
            FeedSettings::WriteAutoSort(k % 2);
            if (k < deleted) {
                std::vector<std::string> urls;
                ASSERT_EQ(1, FeedSettings::ReadFeedUrls(urls));
                auto at = std::find(urls.begin(), urls.end(), Feed("gone" + std::to_string(k)));
                ASSERT_NE(urls.end(), at);
                FeedSettings::RemoveFeed(int(at - urls.begin()));
            }
        }
    });
    patrol.join();
    preferences.join();

    SettingsEntries entries;
    ASSERT_EQ(1, FeedSettings::ReadEntries(entries));
    ASSERT_EQ(size_t(3 + kept + added), entries.size());
    EXPECT_EQ("Inbox\\KIV", entries[0]);
    EXPECT_EQ(std::to_string((added - 1) % 7), entries[1]);
    EXPECT_EQ(std::to_string((added - 1) % 2), entries[2]);
    for (int i = 0; i < kept; ++i)
        EXPECT_EQ(Feed("kept" + std::to_string(i)) + "," + Stamp(rounds), entries[3 + i]);
    for (int k = 0; k < added; ++k)
        EXPECT_EQ(Feed("new" + std::to_string(k)) + ",2000-01-01T00:00:00+09:00", entries[3 + kept + k]);
}

}  // namespace

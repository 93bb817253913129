// Any bytes as KIV.ini, then every operation on the settings file, each
// checked against what it promises: option entries in range, URL parts within
// their buffer, rewrites that keep every other entry, and no entry ever
// holding white space. The same bytes are also read as a feed's record and as
// its failing streak, which live beside KIV.ini and are read as warily.
#include "feed/patrol/failing_feeds.h"
#include "feed/deliver/feed_record.h"
#include "settings/feed_settings.h"
#include "base/process_values.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

std::string Folder;

void Check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "settings: %s\n", what);
        abort();
    }
}

SettingsEntries Entries()
{
    SettingsEntries entries;
    Check(FeedSettings::ReadEntries(entries) == 1, "the file reads");
    for (const std::string &entry : entries)
        Check(!entry.empty() && !FeedSettings::HoldsEntrySpace(entry.c_str()), "entries hold no white space");
    return entries;
}

void WriteFile(const uint8_t *data, size_t size)
{
    FILE *file = fopen(SettingsPath, "wb");
    Check(file != nullptr, "the file can be written");
    Check(fwrite(data, 1, size, file) == size, "the file is written whole");
    fclose(file);
}

// A text taken from the input, without the characters that separate entries.
std::string Piece(const uint8_t *data, size_t size, size_t length)
{
    std::string text(reinterpret_cast<const char *>(data), length < size ? length : size);
    for (char &c : text)
        if (c == '\0' || FeedSettings::HoldsEntrySpace(std::string(1, c).c_str()))
            c = '_';
    return text.empty() ? std::string("u") : text;
}

// A record reads whole or not at all, within its bounds, and what it holds
// is written back to a text that reads the same.
void CheckRecord(const uint8_t *data, size_t size)
{
    const char url[] = "http://example.com/feed.xml";
    FeedRecord record;
    int read = parse_feed_record(reinterpret_cast<const char *>(data), size, url, &record);
    Check(read == 0 || read == 1, "a record reads or not");
    Check(read == int(record.memory.scope != NoKeys), "a read record is known");
    if (!read) {
        Check(record.memory.keys.empty() && record.etag.empty() && record.last_modified.empty(),
              "no record holds nothing");
        return;
    }
    std::vector<std::string> keys = record.memory.keys;
    Check(keys.size() <= MaxRecordKeys, "keys within the bound");
    std::sort(keys.begin(), keys.end());
    Check(std::adjacent_find(keys.begin(), keys.end()) == keys.end(), "keys single");
    std::string text = format_feed_record(url, record);
    FeedRecord again;
    Check(parse_feed_record(text.data(), text.size(), url, &again) == 1, "a written record reads");
    Check(again.memory.keys == record.memory.keys && again.memory.scope == record.memory.scope &&
              again.etag == record.etag && again.last_modified == record.last_modified,
          "a written record reads the same");
}

// A streak reads whole or not at all, and what it holds is written back to
// the same bytes.
void CheckStreak(const uint8_t *data, size_t size)
{
    const char url[] = "http://example.com/feed.xml";
    FailingFeed streak;
    int read = parse_failing_feed(reinterpret_cast<const char *>(data), size, url, &streak);
    Check(read == 0 || read == 1, "a streak reads or not");
    if (!read) {
        Check(streak.failures == 0 && !streak.noticed && streak.reason[0] == '\0', "no streak holds nothing");
        return;
    }
    Check(streak.failures >= 1 && streak.failures <= MaxFailureCount, "failures within the bound");
    std::string text = format_failing_feed(url, streak);
    Check(text == std::string(reinterpret_cast<const char *>(data), size), "a streak is written as it was read");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    char folder[] = "/tmp/kiv-settings-fuzz-XXXXXX";
    Folder = mkdtemp(folder);
    snprintf(SettingsPath, sizeof SettingsPath, "%s/KIV.ini", Folder.c_str());
    snprintf(DataFolderPath, sizeof DataFolderPath, "%s/KIV", Folder.c_str());
    atexit([] {
        unlink(SettingsPath);
        rmdir(Folder.c_str());
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    int interval = int8_t(data[0]), flag = int8_t(data[1]);
    size_t urlLength = size_t(data[2]) * 8, position = data[3] % 16;
    data += 4, size -= 4;
    CheckRecord(data, size);
    CheckStreak(data, size);
    WriteFile(data, size);

    // Reading: the option entries, the feed entries.
    FeedSettings::IsFolderConfigured();
    int index = FeedSettings::ReadIntervalIndex();
    Check(index >= 0 && index < IntervalCount, "interval index in range");
    int autoSort = FeedSettings::ReadAutoSort();
    Check(autoSort == 0 || autoSort == 1, "auto-sort switch is 0 or 1");
    FeedSettings::LoadInterval();
    Check(MinutesLeft == IntervalMinutes, "the countdown starts at the interval");
    SettingsEntries before = Entries();
    for (const std::string &entry : before) {
        char url[UrlBufferSize + 1];
        url[UrlBufferSize] = '#';
        Check(FeedSettings::SplitFeedLine(entry.c_str(), url) == 1, "split");
        Check(url[UrlBufferSize] == '#' && strlen(url) < UrlBufferSize, "URL part within its buffer");
        Check(entry.compare(0, strlen(url), url) == 0, "URL part is the entry's start");
    }

    // Option writes replace one entry and keep the others.
    FeedSettings::WriteIntervalIndex(interval);
    FeedSettings::WriteAutoSort(flag);
    SettingsEntries options = Entries();
    Check(options.size() == before.size(), "option writes add or drop nothing");
    if (options.size() >= 3)
        Check(options[1] == std::to_string(interval) && options[2] == (flag ? "1" : "0"), "options stored");

    // A feed appended, a patrol's timestamp stored and journalled, a feed removed.
    std::string url = Piece(data, size, urlLength);
    char cut[UrlBufferSize];
    FeedSettings::SplitFeedLine(url.c_str(), cut);
    // On a file of fewer than three entries the line lands among the options.
    if (FeedSettings::AppendFeed(url.c_str(), "2000-01-01T00:00:00+09:00") && options.size() >= size_t(FirstFeedEntry)) {
        std::vector<std::string> urls;
        Check(FeedSettings::ReadFeedUrls(urls) == 1, "feed URLs read");
        Check(!urls.empty() && urls.back() == cut, "appended feed comes last");
    }
    SettingsEntries feeds = Entries();
    FeedSettings::StartTimestampJournal();
    if (feeds.size() > size_t(FirstFeedEntry) + position) {
        std::string read = feeds[FirstFeedEntry + position];
        char listed[UrlBufferSize];
        FeedSettings::SplitFeedLine(read.c_str(), listed);
        std::string written = std::string(listed) + ",2024-05-03T18:00:00+09:00";
        Check(FeedSettings::StoreFeedEntry(read, written) == 1, "timestamp stored");
        SettingsEntries stored = Entries();
        Check(stored.size() == feeds.size(), "a stored timestamp adds or drops nothing");
        WriteFile(data, size);  // a Cancel puts an older file back
        Check(FeedSettings::ReapplyTimestampJournal() == 1, "journal reapplied");
    }
    FeedSettings::ClearTimestampJournal();
    SettingsEntries last = Entries();
    FeedSettings::RemoveFeed(int(position));
    SettingsEntries removed = Entries();
    Check(removed.size() == last.size() - (last.size() > size_t(FirstFeedEntry) + position ? 1 : 0),
          "remove takes exactly the feed at its position");
    Check(FeedSettings::InsertFolderEntry(url.c_str()) == 1 && Entries().front() == url, "folder entry inserted first");
    return 0;
}

// What the preferences write into the settings file: the destination folder
// entry, feed lines appended and removed, and the feed list they show.
#include "feed_settings.h"

#include "base/process_values.h"

#include <cstdio>
#include <cstring>

int FeedSettings::HoldsEntrySpace(const char *text)
{
    // The same characters that separate entries when the file is read.
    return strpbrk(text, " \t\r\n\v\f") != nullptr;
}

int FeedSettings::InsertFolderEntry(const char *identifier)
{
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!ReadEntries(entries))
        return 0;  // the file is delivered with the plug-in, never created here
    entries.insert(entries.begin(), identifier);
    if (!RewriteEntries(entries))
        return 0;
    FolderConfigured = 1;
    return 1;
}

int FeedSettings::ReadFeedUrls(std::vector<std::string> &urls)
{
    SettingsEntries entries;
    {
        SettingsFileLock lock;
        if (!ReadEntries(entries))
            return 0;
    }
    urls.clear();
    char url[UrlBufferSize];
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        SplitFeedLine(entries[i].c_str(), url);
        urls.push_back(url);
    }
    return 1;
}

int FeedSettings::AppendFeed(const char *url, const char *timestamp)
{
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!ReadEntries(entries))
        return 0;
    char listed[UrlBufferSize];
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        SplitFeedLine(entries[i].c_str(), listed);
        if (strcmp(listed, url) == 0)
            return 0;
    }
    // Appended in place: the writers leave no line end after the last entry,
    // so the new line starts with one.
    std::string line = std::string("\r\n") + url + "," + timestamp;
    FILE *file = fopen(SettingsPath, "ab");
    if (!file)
        return 0;
    bool written = fwrite(line.data(), 1, line.size(), file) == line.size();
    written = (fclose(file) == 0) && written;
    return written ? 1 : 0;
}

void FeedSettings::RemoveFeed(int position)
{
    if (position < 0)
        return;
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!ReadEntries(entries))
        return;
    size_t index = size_t(position) + FirstFeedEntry;
    if (index >= entries.size())
        return;
    entries.erase(entries.begin() + index);
    RewriteEntries(entries);
}

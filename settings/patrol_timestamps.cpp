// The timestamps a patrol stores, merged into the settings file as it is when
// they are stored, and the journal that lets the preferences dialog's Cancel
// keep them.
#include "feed_settings.h"

#include <map>

namespace {

// URL -> the entry last stored for it while the journal is open. Guarded by
// the settings file's lock.
bool journalOpen;
std::map<std::string, std::string> journal;

std::string UrlOf(const std::string &entry)
{
    char url[UrlBufferSize];
    FeedSettings::SplitFeedLine(entry.c_str(), url);
    return url;
}

}  // namespace

int FeedSettings::StoreFeedEntry(const std::string &read, const std::string &written)
{
    SettingsFileLock lock;
    // Journalled even when the entry is not in the file now: a Cancel that
    // brings a deleted feed back must not bring back its delivered items.
    if (journalOpen)
        journal[UrlOf(written)] = written;
    SettingsEntries entries;
    if (!ReadEntries(entries))
        return 0;
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        if (entries[i] != read)
            continue;
        entries[i] = written;
        return RewriteEntries(entries);
    }
    return 1;
}

void FeedSettings::StartTimestampJournal()
{
    SettingsFileLock lock;
    journal.clear();
    journalOpen = true;
}

void FeedSettings::ClearTimestampJournal()
{
    SettingsFileLock lock;
    journal.clear();
    journalOpen = false;
}

int FeedSettings::ReapplyTimestampJournal()
{
    SettingsFileLock lock;
    if (journal.empty())
        return 1;
    SettingsEntries entries;
    if (!ReadEntries(entries))
        return 0;
    bool changed = false;
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        auto stored = journal.find(UrlOf(entries[i]));
        if (stored != journal.end() && entries[i] != stored->second) {
            entries[i] = stored->second;
            changed = true;
        }
    }
    return changed ? RewriteEntries(entries) : 1;
}

// The timestamps a patrol stores, merged into the settings file as it is when
// they are stored, and the journal that lets the preferences dialog's Cancel
// keep them.
#include "feed_settings.h"

#include "base/process_values.h"

#include <cstdio>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

// URL -> the entry last stored for it while the journal is open. Guarded by
// the settings file's lock.
bool journalOpen;
std::map<std::string, std::string> journal;

// A store: the feed entry as it was read, and as it is to be written.
typedef std::pair<std::string, std::string> Store;

std::string UrlOf(const std::string &entry)
{
    char url[UrlBufferSize];
    FeedSettings::SplitFeedLine(entry.c_str(), url);
    return url;
}

void Journal(const std::string &written)
{
    // Journalled even when the entry is not in the file now: a Cancel that
    // brings a deleted feed back must not bring back its delivered items.
    if (journalOpen)
        journal[UrlOf(written)] = written;
}

// Makes the stores, in order, in the settings file as it is now, with one
// rewrite: each time, the first feed entry that still reads `read` becomes
// `written`. 1 when stored or when no entry reads `read` any more.
int StoreEntries(const std::vector<Store> &stores)
{
    SettingsEntries entries;
    if (!FeedSettings::ReadEntries(entries))
        return 0;
    std::map<std::string, std::set<size_t>> positions;  // feed entry -> where it stands
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i)
        positions[entries[i]].insert(i);
    bool changed = false;
    for (const Store &store : stores) {
        auto found = positions.find(store.first);
        if (found == positions.end() || found->second.empty())
            continue;
        size_t at = *found->second.begin();
        found->second.erase(found->second.begin());
        entries[at] = store.second;
        positions[store.second].insert(at);
        changed = true;
    }
    return changed ? FeedSettings::RewriteEntries(entries) : 1;
}

// The record of a patrol's stores beside the settings file: one line a store,
// "read written", the entries holding no blanks. Appending a line costs the
// same however long the file is, where a rewrite of the file after every feed
// made a patrol's time grow with the square of its feeds.
std::string RecordPath() { return std::string(SettingsPath) + ".patrol"; }

}  // namespace

int FeedSettings::StoreFeedEntry(const std::string &read, const std::string &written)
{
    SettingsFileLock lock;
    Journal(written);
    return StoreEntries({Store(read, written)});
}

int FeedSettings::RecordFeedEntry(const std::string &read, const std::string &written)
{
    SettingsFileLock lock;
    Journal(written);
    FILE *record = fopen(RecordPath().c_str(), "ab");
    if (!record)
        return 0;
    std::string line = read + " " + written + "\n";
    bool ok = fwrite(line.data(), 1, line.size(), record) == line.size();
    ok = (fclose(record) == 0) && ok;
    return ok;
}

int FeedSettings::StoreRecordedEntries(bool wait)
{
    SettingsFileLock lock(wait);
    if (!lock.held())
        return 0;
    const std::string path = RecordPath();
    FILE *record = fopen(path.c_str(), "rb");
    if (!record)
        return 1;
    // A line cut short by a crash (no line end) was never recorded.
    std::vector<Store> stores;
    std::string line;
    for (int c; (c = getc(record)) != EOF;) {
        if (c != '\n') {
            line.push_back(char(c));
            continue;
        }
        size_t blank = line.find(' ');
        if (blank != std::string::npos)
            stores.emplace_back(line.substr(0, blank), line.substr(blank + 1));
        line.clear();
    }
    fclose(record);
    if (!StoreEntries(stores))
        return 0;
    DeleteFileA(path.c_str());
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

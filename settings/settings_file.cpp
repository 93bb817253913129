// The settings file: its entries, the option entries and the feed entries.
#include "feed_settings.h"

#include "base/atomic_file.h"
#include "base/process_values.h"
#include "base/scoped_handles.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

const int IntervalMinutesTable[IntervalCount] = {0, 60, 120, 180, 360, 720, 1440};
const char DefaultTimestamp[] = "2000-01-01T00:00:00+09:00";

namespace {

SRWLOCK settingsLock = SRWLOCK_INIT;

bool IsEntrySpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Reads up to `wanted` entries (all of them when wanted is 0) from an open file.
void ReadEntriesFrom(FILE *file, SettingsEntries &entries, size_t wanted)
{
    std::string entry;
    int c;
    while ((c = getc(file)) != EOF) {
        if (!IsEntrySpace(c)) {
            entry.push_back(char(c));
            continue;
        }
        if (entry.empty())
            continue;
        entries.push_back(entry);
        entry.clear();
        if (wanted && entries.size() == wanted)
            return;
    }
    if (!entry.empty())
        entries.push_back(entry);
}

// Opens the file and reads entries 1 to `position`; 0 when unreadable.
int ReadLeadingEntries(SettingsEntries &entries, size_t position)
{
    // Closed also when the entries run out of memory.
    ScopedFile file(fopen(SettingsPath, "rb"));
    if (!file.held())
        return 0;
    ReadEntriesFrom(file.get(), entries, position);
    return 1;
}

// Entry `position` (1-based) as atoi reads it; 0 when absent or unreadable.
int ReadNumberEntry(size_t position, int &value)
{
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!ReadLeadingEntries(entries, position))
        return 0;
    value = entries.size() >= position ? atoi(entries[position - 1].c_str()) : 0;
    return 1;
}

void ReplaceEntry(size_t position, int value)
{
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!FeedSettings::ReadEntries(entries))
        return;
    if (entries.size() < position)
        return;  // nothing is added to a short file
    char text[16];
    snprintf(text, sizeof text, "%d", value);
    entries[position - 1] = text;
    FeedSettings::RewriteEntries(entries);
}

}  // namespace

SettingsFileLock::SettingsFileLock(bool wait) : held_(true)
{
    if (wait)
        AcquireSRWLockExclusive(&settingsLock);
    else
        held_ = TryAcquireSRWLockExclusive(&settingsLock) != 0;
}

SettingsFileLock::~SettingsFileLock()
{
    if (held_)
        ReleaseSRWLockExclusive(&settingsLock);
}

int FeedSettings::ReadEntries(SettingsEntries &entries)
{
    entries.clear();
    return ReadLeadingEntries(entries, 0);
}

int FeedSettings::RewriteEntries(const SettingsEntries &entries)
{
    std::string text;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0)
            text += "\r\n";
        text += entries[i];
    }
    return WriteFileAtomically(SettingsPath, text.data(), text.size());
}

int FeedSettings::IsFolderConfigured()
{
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!ReadLeadingEntries(entries, 1))
        return 0;
    FolderConfigured = (!entries.empty() && strchr(entries[0].c_str(), '\\')) ? 1 : 0;
    return FolderConfigured;
}

int FeedSettings::ReadIntervalIndex()
{
    int index = 0;
    if (!ReadNumberEntry(2, index))
        return 0;
    return (index < 0 || index >= IntervalCount) ? 0 : index;
}

void FeedSettings::LoadInterval()
{
    IntervalMinutes = IntervalMinutesTable[ReadIntervalIndex()];
    MinutesLeft = IntervalMinutes.load();
}

int FeedSettings::ReadAutoSort()
{
    int flag = 0;
    if (!ReadNumberEntry(3, flag))
        return 0;
    return flag != 0 ? 1 : 0;
}

int FeedSettings::LoadAutoSort()
{
    AutoSortEnabled = ReadAutoSort();
    return AutoSortEnabled;
}

void FeedSettings::WriteIntervalIndex(int index) { ReplaceEntry(2, index); }

void FeedSettings::WriteAutoSort(int flag) { ReplaceEntry(3, flag != 0 ? 1 : 0); }

int FeedSettings::SplitFeedLine(const char *entry, char *url)
{
    if (!url)
        return 0;
    const char *comma = strchr(entry, ',');
    size_t length = comma ? size_t(comma - entry) : strlen(entry);
    if (length > UrlBufferSize - 1)
        length = UrlBufferSize - 1;
    memcpy(url, entry, length);
    url[length] = '\0';
    return 1;
}

const char *FeedSettings::FindTimestamp(const char *entry)
{
    const char *comma = strchr(entry, ',');
    return comma ? comma + 1 : nullptr;
}

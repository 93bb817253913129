// The settings object: every operation on the settings file (KIV.ini beside
// the library). No copy of the file is kept in memory; each operation opens
// it, reads what it needs and, when it changes something, rewrites it whole.
#pragma once
#include "base/patrol_requests.h"
#include "native/platform.h"

#include <string>
#include <vector>

enum {
    UrlBufferSize = 1000,  // a URL part holds at most 999 bytes
    IntervalCount = 7,
    FirstFeedEntry = 3,    // index of the first feed entry, after the three options
};

extern const int IntervalMinutesTable[IntervalCount];
// The last-seen timestamp of a feed that never delivered anything.
extern const char DefaultTimestamp[];

typedef std::vector<std::string> SettingsEntries;

class FeedSettings {
public:
    // Option entries.
    static int IsFolderConfigured();
    static int ReadIntervalIndex();
    static void LoadInterval();
    static int ReadAutoSort();
    static int LoadAutoSort();
    static void WriteIntervalIndex(int index);
    static void WriteAutoSort(int flag);

    // Feed entries.
    static int SplitFeedLine(const char *entry, char *url);
    static const char *FindTimestamp(const char *entry);

    // The destination folder. EnsureDestinationFolder asks the user (owned by
    // `owner`) while no folder is recorded: 1 when one is recorded on return.
    // InsertFolderEntry puts `identifier` above every existing entry: 1 when
    // the file was rewritten.
    static int EnsureDestinationFolder(HWND owner);
    static int InsertFolderEntry(const char *identifier);

    // The feed list as the URL LIST page edits it. AppendFeed gives 1 when it
    // appended the line, 0 when the URL is listed already or the file cannot
    // be read. RemoveFeed takes a list position (0 is the first feed).
    static void FillFeedList(HWND list);
    static int ReadFeedUrls(std::vector<std::string> &urls);
    static int AppendFeed(const char *url, const char *timestamp);
    static void RemoveFeed(int position);

    // 1 when `text` holds a character that separates entries: stored, it
    // would read back as several entries.
    static int HoldsEntrySpace(const char *text);

    // One pass over the feed list (worker thread): 1 when at least one
    // message was appended and every delivered feed's timestamp was stored
    // (recorded right after its message), else 0. A whole patrol at start-up
    // or by the timer leaves out the feeds not due by their own interval; the
    // feeds asked for by hand are requested whatever it.
    static int Patrol(const PatrolRequests &asked);

    // A patrol stores one delivered feed: under the lock, the feed entry that
    // still reads `read` becomes `written`, in the file as it is now, so that
    // entries added, changed or removed meanwhile stay as they are. 1 when
    // stored or when no entry reads `read` any more; 0 when the file could
    // not be read or rewritten.
    static int StoreFeedEntry(const std::string &read, const std::string &written);
    // A patrol records each delivered feed's store at once, at a cost that
    // does not grow with the file (so a crash delivers again at most the feed
    // in hand), and makes the recorded stores, in order, with one rewrite at
    // its end, or at the next patrol's start after a crash. Record gives 1
    // when the store is recorded, StoreRecorded 1 when every recorded store
    // was made as StoreFeedEntry makes it (or there was none). Without
    // waiting, StoreRecorded gives 0 at once when the lock is not free.
    static int RecordFeedEntry(const std::string &read, const std::string &written);
    static int StoreRecordedEntries(bool wait = true);

    // The journal of the entries that patrols store while the preferences
    // dialog is open (URL -> entry, also for a feed deleted meanwhile), so
    // that its Cancel, which puts the backup back, does not undo them. Start
    // empties and opens it, Clear empties and closes it, Reapply writes every
    // journalled entry over the feed entry with the same URL (call it without
    // holding the lock); 0 when the file could not be read or rewritten.
    static void StartTimestampJournal();
    static void ClearTimestampJournal();
    static int ReapplyTimestampJournal();

    // The shared read and rewrite procedures. ReadEntries gives 0 when the
    // file cannot be opened. RewriteEntries replaces the file atomically and
    // gives 0 when nothing could be written.
    static int ReadEntries(SettingsEntries &entries);
    static int RewriteEntries(const SettingsEntries &entries);
};

// Serialises every read-modify-write of the settings file between the host's
// thread and the worker. Held only around file work, never around downloads.
class SettingsFileLock {
public:
    // Without waiting, the lock is taken only when it is free; held() tells.
    explicit SettingsFileLock(bool wait = true);
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock &) = delete;
    SettingsFileLock &operator=(const SettingsFileLock &) = delete;
    bool held() const { return held_; }

private:
    bool held_;
};

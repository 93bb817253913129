// The settings object: every operation on the settings file (KIV.ini beside
// the library). No copy of the file is kept in memory; each operation opens
// it, reads what it needs and, when it changes something, rewrites it whole.
#pragma once
#include "../native/platform.h"

#include <string>
#include <vector>

enum {
    UrlBufferSize = 1000,  // a URL part holds at most 999 bytes
    IntervalCount = 7,
};

extern const int IntervalMinutesTable[IntervalCount];

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

    // One pass over the feed list (worker thread): 1 when at least one
    // message was appended and the settings file was rewritten, else 0.
    static int Patrol();

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
    SettingsFileLock();
    ~SettingsFileLock();
    SettingsFileLock(const SettingsFileLock &) = delete;
    SettingsFileLock &operator=(const SettingsFileLock &) = delete;
};

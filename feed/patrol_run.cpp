// One patrol: every feed of the settings file is downloaded, its new items
// become one message in the host's destination folder, and its entry takes
// the newest item's timestamp.
#include "feed_converter.h"

#include "../settings/feed_settings.h"
#include "../shell/host_functions.h"
#include "../shell/patrol_worker.h"
#include "../shell/process_values.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

const char DownloadPrefix[] = "kfd";

// The patrol's download file in the data folder, deleted on every path. A
// data folder removed since the attach is made again.
class TemporaryFile {
public:
    TemporaryFile() : created_(create() || (CreateDirectoryA(DataFolderPath, nullptr) && create())) {}
    ~TemporaryFile()
    {
        if (created_)
            DeleteFileA(path_);
    }
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;
    bool created() const { return created_; }
    const char *path() const { return path_; }

private:
    bool create() { return GetTempFileNameA(DataFolderPath, DownloadPrefix, 0, path_) != 0; }
    char path_[MAX_PATH] = "";
    bool created_;
};

// Download files that a patrol stopped in the middle of a feed left behind.
void remove_leftover_files()
{
    char pattern[MAX_PATH], path[MAX_PATH];
    if (snprintf(pattern, sizeof pattern, "%s\\%s*.tmp", DataFolderPath, DownloadPrefix) >= int(sizeof pattern))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (snprintf(path, sizeof path, "%s\\%s", DataFolderPath, found.cFileName) < int(sizeof path))
            DeleteFileA(path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Downloads and converts one feed and appends its message to folder. 1 and
// the entry to store in url_and_time_new when a message was appended; 0 when
// the feed is skipped and its entry kept.
int patrol_feed(const std::string &folder, const std::string &url_and_time, std::string &url_and_time_new)
{
    // Without a file of its own the feed is skipped, never written elsewhere.
    TemporaryFile file_temp;
    if (!file_temp.created())
        return 0;
    char url[UrlBufferSize] = {};
    FeedSettings::SplitFeedLine(url_and_time.c_str(), url);
    const char *last_seen = FeedSettings::FindTimestamp(url_and_time.c_str());

    unsigned long size = FeedConverter::download_feed(url, file_temp.path(), last_seen);
    if (size == 0 || size > (unsigned long)-1 - MessageSlack)
        return 0;
    size_t message_size = size_t(size) + MessageSlack;
    char *message = static_cast<char *>(malloc(message_size));
    if (!message)
        return 0;
    char date_message[NewestTimestampSize] = {};
    // The parsed document lives on the heap; a mail client short of memory
    // makes this feed fail, not the process.
    int converted = 0;
    try {
        converted = FeedConverter::convert_feed(message, message_size, file_temp.path(), last_seen, date_message);
    } catch (const std::exception &) {
        converted = 0;
    }
    // While the library is being unloaded the host is not called any more:
    // the unload holds the loader's lock, which the host's code may need.
    // The feed is left for the next patrol.
    int delivered = converted && !PatrolStopRequested;
    if (delivered) {
        HostFunctions.AppendMessage(folder.c_str(), message);
        url_and_time_new = std::string(url) + "," +
                           (FeedConverter::is_valid_date(date_message) ? date_message : DefaultTimestamp);
    }
    free(message);
    return delivered;
}

}  // namespace

int FeedSettings::Patrol()
{
    if (!FolderConfigured)
        return 0;
    // What a patrol cut short recorded goes into the file before it is read;
    // read without it, the file would deliver those feeds again.
    if (!StoreRecordedEntries())
        return 0;
    SettingsEntries rsslist;
    {
        SettingsFileLock lock;
        if (!ReadEntries(rsslist))
            return 0;
    }
    if (rsslist.size() <= FirstFeedEntry)
        return 0;
    const std::string folder = rsslist[0];
    remove_leftover_files();

    // Each delivered feed's timestamp is recorded at once, so that a patrol
    // cut short (the library unloaded, the process ended) has recorded every
    // message it appended and none is delivered again.
    int appended = 0, stored = 1;
    for (size_t i = FirstFeedEntry; i < rsslist.size() && !PatrolStopRequested; ++i) {
        std::string url_and_time_new;
        if (!patrol_feed(folder, rsslist[i], url_and_time_new))
            continue;
        appended = 1;
        if (!RecordFeedEntry(rsslist[i], url_and_time_new))
            stored = 0;
    }
    if (!StoreRecordedEntries())
        stored = 0;
    return appended && stored;
}

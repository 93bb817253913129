// Runs each feed's download on a thread of its own and gives it up when its
// deadline passes. The abandoned threads live in a fixed table, so many
// stalled servers cost a bounded number of threads and bytes.
#include "download_deadline.h"
#include "feed_converter.h"

#include "../shell/patrol_worker.h"
#include "../shell/process_values.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

// How often the waiting patrol looks whether the library is being unloaded.
const DWORD StopCheckMilliseconds = 50;
// How long the unload lets downloads that are not stuck end by themselves:
// a stopped download gives up before its next read.
const DWORD FinishWaitMilliseconds = 1000;
// How long the unload waits for one terminated download thread to be gone.
const DWORD TerminationWaitMilliseconds = 2000;

// One download and its thread. The patrol's thread (or the unload, once the
// patrol has stopped) alone starts, reclaims and reuses it; the download
// thread reads the request and writes outcome and file, and the patrol reads
// them only once that thread has ended.
struct Download {
    HANDLE thread = nullptr;
    std::string url;
    std::string last_seen;
    bool has_last_seen = false;
    std::string etag;
    std::string last_modified;
    char file[MAX_PATH] = "";   // the thread's own download file
    DownloadOutcome outcome;
    std::atomic<int> finished{0};  // set by the thread when its download has returned
};

Download Downloads[MaxDownloadThreads];  // the one in hand and the abandoned ones

DWORD WINAPI download_thread(LPVOID parameter)
{
    Download *download = static_cast<Download *>(parameter);
    try {
        FeedConverter::download_feed(download->url.c_str(), download->file,
                                     download->has_last_seen ? download->last_seen.c_str() : nullptr,
                                     download->etag.c_str(), download->last_modified.c_str(), &download->outcome);
    } catch (const std::exception &) {
        download->outcome = DownloadOutcome();
        download->outcome.reason = "out of memory";
    }
    download->finished = 1;
    return 0;
}

// Releases a download whose thread has ended, and its file.
void release(Download &download)
{
    CloseHandle(download.thread);
    download.thread = nullptr;
    DeleteFileA(download.file);
}

// Releases the downloads whose threads have ended; the first one free after
// that, or nullptr when every one is taken.
Download *free_download()
{
    Download *found = nullptr;
    for (Download &download : Downloads) {
        if (download.thread && WaitForSingleObject(download.thread, 0) == WAIT_OBJECT_0)
            release(download);
        if (!download.thread && !found)
            found = &download;
    }
    return found;
}

// The feed deadline; the environment variable KIV_FEED_DEADLINE_MS may make
// it shorter (the tests' stalled servers would cost too long otherwise),
// never longer.
DWORD feed_deadline()
{
    char text[16];
    DWORD length = GetEnvironmentVariableA("KIV_FEED_DEADLINE_MS", text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return FeedDeadlineMilliseconds;
    const DWORD longest = FeedDeadlineMilliseconds;
    unsigned long value = strtoul(text, nullptr, 10);
    return value >= 1000 && value < longest ? DWORD(value) : longest;
}

// 1 while some download has not returned yet. A thread that has returned
// cannot end while the unload holds the loader lock, so its handle says
// nothing.
int downloads_running()
{
    for (const Download &download : Downloads) {
        if (download.thread && !download.finished)
            return 1;
    }
    return 0;
}

}  // namespace

int download_feed_within_deadline(const char *url, const char *file_temp, const char *last_seen, const char *etag,
                                  const char *last_modified, DownloadOutcome *outcome)
{
    *outcome = DownloadOutcome();
    Download *download = free_download();
    if (!download) {
        outcome->reason = "too many stalled downloads";
        return DownloadFailed;
    }
    int index = int(download - Downloads);
    if (snprintf(download->file, sizeof download->file, "%s\\kdl%d.tmp", DataFolderPath, index) >=
        int(sizeof download->file)) {
        outcome->reason = "no download file";
        return DownloadFailed;
    }
    download->url = url;
    download->has_last_seen = last_seen != nullptr;
    download->last_seen = last_seen ? last_seen : "";
    download->etag = etag ? etag : "";
    download->last_modified = last_modified ? last_modified : "";
    download->outcome = DownloadOutcome();
    download->finished = 0;
    download->thread = CreateThread(nullptr, 0, download_thread, download, 0, nullptr);
    if (!download->thread) {
        outcome->reason = "no download thread";
        return DownloadFailed;
    }

    const DWORD deadline = feed_deadline();
    const DWORD started = GetTickCount();
    for (;;) {
        DWORD waited = GetTickCount() - started;
        if (waited >= deadline || PatrolStopRequested) {
            // Abandoned: reclaimed once its thread has ended.
            outcome->reason = "deadline passed";
            outcome->failure = PatrolStopRequested ? FailureStopped : FailureTimedOut;
            return DownloadFailed;
        }
        DWORD step = deadline - waited < StopCheckMilliseconds ? deadline - waited : StopCheckMilliseconds;
        if (WaitForSingleObject(download->thread, step) == WAIT_OBJECT_0)
            break;
    }
    *outcome = download->outcome;
    if (outcome->result == Downloaded && !MoveFileExA(download->file, file_temp, MOVEFILE_REPLACE_EXISTING)) {
        outcome->result = DownloadFailed;
        outcome->reason = "download file not moved";
    }
    release(*download);
    return outcome->result;
}

void end_download_threads()
{
    // A download ended by its own code leaves the HTTP stack in order; one
    // terminated in the middle of a call may not.
    for (DWORD waited = 0; waited < FinishWaitMilliseconds && downloads_running(); waited += 10)
        Sleep(10);
    // Terminated all at once, then awaited: a terminated thread makes no
    // detach calls, so the wait needs no loader lock.
    for (Download &download : Downloads) {
        DWORD exitCode = 0;
        if (download.thread && GetExitCodeThread(download.thread, &exitCode) && exitCode == STILL_ACTIVE)
            TerminateThread(download.thread, STILL_ACTIVE);
    }
    for (Download &download : Downloads) {
        if (!download.thread)
            continue;
        WaitForSingleObject(download.thread, TerminationWaitMilliseconds);
        release(download);
    }
}

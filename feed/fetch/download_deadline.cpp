// Runs feed downloads on threads of their own and gives each up when its
// deadline passes. The threads live in a fixed table and are kept for the
// next downloads, since a thread's start is dear on some platforms; many
// stalled servers cost a bounded number of threads and bytes.
#include "download_deadline.h"

#include "base/data_files.h"
#include "base/process_values.h"
#include "base/text_copy.h"
#include "base/thread_stacks.h"
#include "feed/feed_converter.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

const char DownloadFilePrefix[] = "kfd";

namespace {

// How long the unload lets the download threads end by themselves: a stopped
// download gives up before its next read.
const DWORD FinishWaitMilliseconds = 1000;
// How long the unload waits for one terminated download thread to be gone.
const DWORD TerminationWaitMilliseconds = 2000;

// One download slot and its thread. The patrol's thread (or the unload, once
// the patrol has stopped) alone hands it a download, reclaims and reuses it;
// the download thread reads the request and writes outcome and file, which
// the patrol reads only once `done` is set.
struct Download {
    HANDLE thread = nullptr;
    HANDLE wake = nullptr;      // set when a download is handed to the thread
    HANDLE done = nullptr;      // set by the thread when that download has returned
    std::string url;
    std::string last_seen;
    bool has_last_seen = false;
    std::string etag;
    std::string last_modified;
    char file[MAX_PATH] = "";   // the download's file, until the patrol takes it
    DWORD started = 0;          // the tick the download was handed over; its deadline counts from it
    bool awaited = false;       // the patrol will still take it: not to be reclaimed
    DownloadOutcome outcome;
    std::atomic<int> running{0};  // handed over and not returned yet
};

Download Downloads[MaxDownloadThreads];  // those in flight, the abandoned ones and idle threads
// Set by the unload: a thread woken then ends instead of downloading.
std::atomic<int> EndingThreads{0};
// Numbers the download files: a file taken by the patrol outlives its slot's
// next download.
unsigned long FileNumber = 0;

DWORD WINAPI download_thread(LPVOID parameter)
{
    Download *download = static_cast<Download *>(parameter);
    while (WaitForSingleObject(download->wake, INFINITE) == WAIT_OBJECT_0 && !EndingThreads) {
        try {
            FeedConverter::download_feed(download->url.c_str(), download->file,
                                         download->has_last_seen ? download->last_seen.c_str() : nullptr,
                                         download->etag.c_str(), download->last_modified.c_str(),
                                         &download->outcome);
        } catch (const std::exception &) {
            download->outcome = DownloadOutcome();
            download->outcome.reason = "out of memory";
            download->outcome.failure = FailureLocal;
        }
        // In this order: the slot counts as free only once `done` can no
        // longer be set for the download that just returned.
        SetEvent(download->done);
        download->running = 0;
    }
    // The unload holds the loader lock, which an ordinary thread exit waits
    // for: the thread ends itself here instead, where it holds no lock of its
    // own, of the HTTP stack or of the heap.
    TerminateThread(GetCurrentThread(), 0);
    return 0;
}

void close_handle(HANDLE &handle)
{
    if (handle)
        CloseHandle(handle);
    handle = nullptr;
}

// Deletes the slot's download file, if one may be left.
void delete_file(Download &download)
{
    if (download.file[0])
        DeleteFileA(download.file);
    download.file[0] = '\0';
}

// The slot's thread and its events, made on the slot's first download. 1 when
// they are there.
int start_thread(Download &download)
{
    if (download.thread)
        return 1;
    download.wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    download.done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (download.wake && download.done)
        download.thread = start_thread_reserving(download_thread, &download, NetworkStackReserve);
    if (download.thread)
        return 1;
    close_handle(download.wake);
    close_handle(download.done);
    return 0;
}

// The first slot that holds no download, the files of abandoned downloads
// that have returned deleted on the way; nullptr when every slot is taken.
Download *free_download()
{
    Download *found = nullptr;
    for (Download &download : Downloads) {
        if (download.awaited || download.running)
            continue;
        delete_file(download);
        if (!found)
            found = &download;
    }
    return found;
}

}  // namespace

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

void DownloadFile::hold(const char *path)
{
    if (path_[0])
        DeleteFileA(path_);
    copy_text(path_, sizeof path_, path);
}

int start_download(const char *url, const char *last_seen, const char *etag, const char *last_modified)
{
    Download *download = free_download();
    if (!download || !start_thread(*download))
        return NoDownload;
    if (snprintf(download->file, sizeof download->file, "%s\\%s%lu.tmp", DataFolderPath, DownloadFilePrefix,
                 ++FileNumber) >= int(sizeof download->file)) {
        download->file[0] = '\0';
        return NoDownload;
    }
    // The file goes into the data folder: one removed since the attach, or
    // during the patrol, is made again.
    CreateDirectoryA(DataFolderPath, nullptr);
    download->url = url;
    download->has_last_seen = last_seen != nullptr;
    download->last_seen = last_seen ? last_seen : "";
    download->etag = etag ? etag : "";
    download->last_modified = last_modified ? last_modified : "";
    download->outcome = DownloadOutcome();
    download->started = GetTickCount();
    download->awaited = true;
    download->running = 1;
    ResetEvent(download->done);
    SetEvent(download->wake);
    return int(download - Downloads);
}

int download_returned(int started) { return WaitForSingleObject(Downloads[started].done, 0) == WAIT_OBJECT_0; }

int download_overdue(int started) { return GetTickCount() - Downloads[started].started >= feed_deadline(); }

void wait_for_downloads(const int *started, size_t count, DWORD milliseconds)
{
    HANDLE done[MaxDownloadThreads];
    DWORD waited = 0;
    for (size_t i = 0; i < count && waited < MaxDownloadThreads; ++i)
        done[waited++] = Downloads[started[i]].done;
    if (waited)
        WaitForMultipleObjects(waited, done, FALSE, milliseconds);
    else
        Sleep(milliseconds);
}

int take_download(int started, DownloadOutcome *outcome, DownloadFile *file)
{
    Download &download = Downloads[started];
    *outcome = download.outcome;
    file->hold(download.file);
    download.file[0] = '\0';
    download.awaited = false;
    return outcome->result;
}

void release_download(int started)
{
    if (started == NoDownload)
        return;
    Download &download = Downloads[started];
    download.awaited = false;
    // A download that has returned has closed its file, though its thread
    // may not have marked the slot free yet. The file of one that has not
    // returned goes when the slot is next looked at.
    if (!download.running || WaitForSingleObject(download.done, 0) == WAIT_OBJECT_0)
        delete_file(download);
}

void end_threads(const HANDLE *threads, DWORD count)
{
    if (count)
        WaitForMultipleObjects(count, threads, TRUE, FinishWaitMilliseconds);
    // Only a thread still inside a network call is terminated, and awaited:
    // the termination is asynchronous, and a terminated thread makes no
    // detach calls, so the wait needs no loader lock.
    for (DWORD i = 0; i < count; ++i) {
        if (WaitForSingleObject(threads[i], 0) == WAIT_TIMEOUT) {
            TerminateThread(threads[i], STILL_ACTIVE);
            WaitForSingleObject(threads[i], TerminationWaitMilliseconds);
        }
    }
}

void end_download_threads()
{
    // Every thread ends itself once it is woken: an idle one at once, one
    // still downloading when its download returns (a stopped download gives
    // up before its next read). A thread terminated in the middle of a call
    // could leave a lock of the HTTP stack or of the heap taken, for the
    // host's own threads to wait on for ever.
    EndingThreads = 1;
    HANDLE threads[MaxDownloadThreads];
    DWORD count = 0;
    for (Download &download : Downloads) {
        if (download.thread) {
            threads[count++] = download.thread;
            SetEvent(download.wake);
        }
    }
    end_threads(threads, count);
    for (Download &download : Downloads) {
        close_handle(download.thread);
        close_handle(download.wake);
        close_handle(download.done);
        download.running = 0;
        download.awaited = false;
        delete_file(download);
    }
    // A worker that did not finish its patrol in time was terminated with
    // the bodies that had arrived ahead of their turn still in its hands;
    // none of them is read any more.
    delete_leftover_files(DownloadFilePrefix);
    EndingThreads = 0;
}

void delete_leftover_files(const char *prefix)
{
    delete_data_files(std::string(prefix) + "*.tmp", [](const char *, const char *) { return true; });
}

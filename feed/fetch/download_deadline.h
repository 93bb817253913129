// A deadline on each feed's download, whatever the HTTP stack underneath
// does: some platforms bound connecting, sending and receiving but not a TLS
// handshake, and a server that stalls inside one would otherwise hold the
// patrol for ever.
#pragma once
#include "download_outcome.h"

#include "native/platform.h"

#include <cstddef>

// The most one feed's download may hold the patrol. A download that would
// succeed ends well within it: no read starts 30 s into a feed, and a read
// waits at most 10 s.
enum { FeedDeadlineMilliseconds = 45000 };
// Download threads at once, at most: those in flight and those whose deadline
// passed but which still wait for their server. While every one is taken,
// further feeds are skipped without a request.
enum { MaxDownloadThreads = 32 };

enum { NoDownload = -1 };
// Download files are named this, a number and ".tmp", in the data folder; a
// patrol deletes those that a process ended mid-download left.
extern const char DownloadFilePrefix[];

// A download's file once its download has returned: the caller's, deleted
// when the holder goes.
class DownloadFile {
public:
    DownloadFile() = default;
    DownloadFile(const DownloadFile &) = delete;
    DownloadFile &operator=(const DownloadFile &) = delete;
    ~DownloadFile() { remove(); }
    const char *path() const { return path_; }
    // Deletes the file held, if any, and holds path instead.
    void hold(const char *path);
    void remove() { hold(""); }
    // Holds the file that other held, which then holds none.
    void take(DownloadFile &other)
    {
        hold(other.path_);
        other.path_[0] = '\0';
    }

private:
    char path_[MAX_PATH] = "";
};

// Starts FeedConverter::download_feed for url on a thread of its own, into a
// file of its own; the download's number, or NoDownload when no thread could
// be had (every one taken, or none made).
int start_download(const char *url, const char *last_seen, const char *etag, const char *last_modified);

// The feed deadline; the environment variable KIV_FEED_DEADLINE_MS may make
// it shorter (the tests' stalled servers would cost too long otherwise),
// never longer.
DWORD feed_deadline();

// 1 when the download numbered started has returned.
int download_returned(int started);
// 1 when the download numbered started has passed its deadline, counted from
// its start (the environment variable KIV_FEED_DEADLINE_MS may shorten it).
int download_overdue(int started);
// Waits until one of the count downloads numbered in started returns, or
// milliseconds pass.
void wait_for_downloads(const int *started, size_t count, DWORD milliseconds);

// Takes the result, outcome and file of the returned download numbered
// started; its thread is then free for the next download.
int take_download(int started, DownloadOutcome *outcome, DownloadFile *file);

// Gives up the download numbered started (NoDownload: nothing), returned or
// not: its file is deleted, and its thread is taken again once it has
// returned; a stalled one finishes by itself when its server gives up.
void release_download(int started);

// At unload: lets the count threads end by themselves within a second (a
// stopped download gives up before its next read), then terminates those
// still inside a network call and waits for them to be gone.
void end_threads(const HANDLE *threads, DWORD count);

// Deletes the files of the data folder named prefix, a number and ".tmp".
void delete_leftover_files(const char *prefix);

// At unload, before the library is unmapped: ends every download thread, so
// that none runs the library's code afterwards. Each ends itself where it
// holds no lock; only one still inside a network call after a second is
// terminated.
void end_download_threads();

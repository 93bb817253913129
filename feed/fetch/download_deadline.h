// A deadline on each feed's download, whatever the HTTP stack underneath
// does: some platforms bound connecting, sending and receiving but not a TLS
// handshake, and a server that stalls inside one would otherwise hold the
// patrol for ever.
#pragma once
#include "download_outcome.h"

// The most one feed's download may hold the patrol. A download that would
// succeed ends well within it: no read starts 30 s into a feed, and a read
// waits at most 10 s.
enum { FeedDeadlineMilliseconds = 45000 };
// Download threads at once, at most: those in flight and those whose deadline
// passed but which still wait for their server. While that many remain,
// further feeds are skipped without a request.
enum { MaxDownloadThreads = 16 };

// The downloads that a patrol keeps in flight: the feed in hand and those
// after it, so that their servers' waits overlap with each other and with
// the conversion of the feed in hand.
enum { DownloadsAhead = 4 };
enum { NoDownload = -1 };
// Download files are named this, the slot's number and ".tmp", in the data
// folder; a patrol deletes those that a process ended mid-download left.
extern const char DownloadFilePrefix[];

// Starts FeedConverter::download_feed for url on a thread of its own; the
// download's number for finish_download, or NoDownload when no thread could
// be had (every one taken by stalled servers, or none made).
int start_download(const char *url, const char *last_seen, const char *etag, const char *last_modified);

// Waits for the download numbered started (NoDownload: a failure) until its
// deadline, counted from its start, or a stop of the patrol; its result and
// outcome. A download still running then is given up (DownloadFailed: the
// feed is skipped): its thread finishes by itself when the server gives up.
// A Downloaded body is in download_file(started) until the release.
int finish_download(int started, DownloadOutcome *outcome);
const char *download_file(int started);

// Ends the caller's hold on the download numbered started (NoDownload:
// nothing), finished or not: its file is deleted, and its slot is taken
// again once its thread has returned.
void release_download(int started);

// A started download of one feed, released when the feed is done with it
// or dropped unfinished (a stopped patrol, a failure on its way).
class StartedDownload {
public:
    StartedDownload() = default;
    StartedDownload(StartedDownload &&other) noexcept : number_(other.number_) { other.number_ = NoDownload; }
    StartedDownload &operator=(StartedDownload &&) = delete;
    ~StartedDownload() { release_download(number_); }
    // Starts the download unless it has been; a download that found every
    // thread taken is tried again.
    void start(const char *url, const char *last_seen, const char *etag, const char *last_modified)
    {
        if (number_ == NoDownload)
            number_ = start_download(url, last_seen, etag, last_modified);
    }
    int finish(DownloadOutcome *outcome) { return finish_download(number_, outcome); }
    const char *file() const { return download_file(number_); }

private:
    int number_ = NoDownload;
};

// At unload, before the library is unmapped: ends every download thread, so
// that none runs the library's code afterwards. Each ends itself where it
// holds no lock; only one still inside a network call after a second is
// terminated.
void end_download_threads();

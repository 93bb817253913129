// The downloads of one patrol: feeds download in list order, many at once,
// the next one starting whenever one ends, so that a slow server holds up
// no other feed's download; the patrol takes them strictly in list order.
// Bodies that arrived before their turn wait on disk, each in a file of its
// own, so memory does not grow with the number in flight.
#pragma once
#include "download_deadline.h"

#include <cstddef>
#include <deque>
#include <functional>
#include <string>
#include <utility>

// Feeds downloading at once, at most: enough to overlap the round trips of
// a list of feeds on many servers; well inside the download threads, so
// that downloads given up at their deadline leave the pool whole.
enum { DownloadsInFlight = 16 };
// Feeds started ahead of the one in hand, at most, downloading or waiting:
// their files take at most this many times a body's bound (8 MiB) on disk.
enum { DownloadsAhead = 32 };

// What a feed is requested with.
struct FeedRequest {
    std::string url;
    bool skipped = false;           // not requested this time: its server asked for a pause
    bool has_last_seen = false;
    std::string last_seen;
    std::string etag;
    std::string last_modified;
};

class DownloadPool {
public:
    // Fills in the request of the feed numbered index (0 for the first).
    typedef std::function<void(size_t index, FeedRequest *request)> Prepare;

    DownloadPool(size_t feeds, Prepare prepare) : feeds_(feeds), prepare_(std::move(prepare)) {}
    DownloadPool(const DownloadPool &) = delete;
    DownloadPool &operator=(const DownloadPool &) = delete;
    // Downloads still running are given up, files still waiting deleted.
    ~DownloadPool();

    // The next feed's download, waited for until its deadline or a stop of
    // the patrol while the others go on; its result, outcome and file (a
    // Downloaded body is there). A download still running then is given up
    // (DownloadFailed: the feed is skipped).
    int take_next(DownloadOutcome *outcome, DownloadFile *file);

private:
    struct Feed {
        FeedRequest request;
        int started = NoDownload;   // while its download runs
        bool ended = false;         // outcome and file hold what came of it
        DownloadOutcome outcome;
        DownloadFile file;
    };

    // Takes the downloads that returned, gives up those past their deadline
    // and starts the next feeds while there is room.
    void advance();
    void end(Feed &feed, const char *reason, int failure);

    size_t feeds_;
    Prepare prepare_;
    size_t prepared_ = 0;           // feeds whose request has been made
    std::deque<Feed> ahead_;        // from the feed in hand on, in list order
};

#include "download_pool.h"

#include "base/process_values.h"

namespace {

// How often a waiting patrol looks whether the library is being unloaded.
const DWORD StopCheckMilliseconds = 50;

}  // namespace

DownloadPool::~DownloadPool()
{
    for (Feed &feed : ahead_)
        release_download(feed.started);
}

void DownloadPool::end(Feed &feed, const char *reason, int failure)
{
    release_download(feed.started);
    feed.started = NoDownload;
    feed.ended = true;
    feed.outcome = DownloadOutcome();
    feed.outcome.reason = reason;
    feed.outcome.failure = failure;
}

void DownloadPool::advance()
{
    size_t running = 0;
    for (Feed &feed : ahead_) {
        if (feed.started == NoDownload)
            continue;
        // A download that has returned counts, however late the patrol
        // comes to it: the feeds before it may have taken up its time.
        if (download_returned(feed.started)) {
            take_download(feed.started, &feed.outcome, &feed.file);
            feed.started = NoDownload;
            feed.ended = true;
        } else if (download_overdue(feed.started)) {
            end(feed, "deadline passed", FailureTimedOut);
        } else {
            ++running;
        }
    }
    while (ahead_.size() < DownloadsAhead && prepared_ < feeds_) {
        ahead_.emplace_back();
        Feed &feed = ahead_.back();
        prepare_(prepared_++, &feed.request);
        if (feed.request.skipped)
            end(feed, "paused", FailurePaused);
    }
    // In list order: a feed that found no thread free waits for one, and so
    // do those after it.
    for (Feed &feed : ahead_) {
        if (running >= DownloadsInFlight)
            break;
        if (feed.ended || feed.started != NoDownload)
            continue;
        const FeedRequest &request = feed.request;
        feed.started = start_download(request.url.c_str(), request.has_last_seen ? request.last_seen.c_str() : nullptr,
                                      request.etag.c_str(), request.last_modified.c_str());
        if (feed.started == NoDownload)
            break;
        ++running;
    }
}

int DownloadPool::take_next(DownloadOutcome *outcome, DownloadFile *file)
{
    *outcome = DownloadOutcome();
    for (;;) {
        advance();
        if (ahead_.empty()) {
            outcome->reason = "no feed left";
            outcome->failure = FailureLocal;
            return DownloadFailed;
        }
        Feed &next = ahead_.front();
        // With no thread free even for the feed in hand, every one is held by
        // a download given up: the feed is skipped without a request.
        if (!next.ended && next.started == NoDownload)
            end(next, "too many stalled downloads", FailureLocal);
        else if (!next.ended && PatrolStopRequested)
            end(next, "stopped", FailureStopped);
        if (next.ended)
            break;
        int running[DownloadsInFlight];
        size_t count = 0;
        for (const Feed &feed : ahead_)
            if (feed.started != NoDownload && count < DownloadsInFlight)
                running[count++] = feed.started;
        wait_for_downloads(running, count, StopCheckMilliseconds);
    }
    Feed &next = ahead_.front();
    *outcome = next.outcome;
    file->take(next.file);
    ahead_.pop_front();
    return outcome->result;
}

#include "failing_feed_watch.h"
#include "failing_feeds.h"

#include "base/process_values.h"
#include "shell/host_functions.h"

void watch_feed(const char *folder, const char *url, const FeedOutcome &outcome, std::set<std::string> &files)
{
    char path[MAX_PATH];
    // A stop, a feed not requested, or a failure of this computer's, says nothing of the feed.
    if (outcome.kind == FeedStopped || outcome.kind == FeedSetAside || (outcome.kind == FeedFailed && !outcome.feed_failed) ||
        !failing_feed_path(DataFolderPath, url, path, sizeof path))
        return;
    if (outcome_is_success(outcome)) {
        if (files.erase(path))
            DeleteFileA(path);
        return;
    }
    // A streak that cannot be read starts afresh.
    FailingFeed state;
    read_failing_feed(path, url, &state);
    SYSTEMTIME now;
    GetSystemTime(&now);
    char notice[FailureNoticeSize] = "";
    if (add_failure(&state, seconds_since_1970(now), outcome.reason) && !PatrolStopRequested) {
        SYSTEMTIME since_local;
        local_time_of_seconds(state.since, &since_local);
        if (compose_failure_notice(url, state, now, since_local, notice, sizeof notice))
            state.noticed = true;
    }
    // The streak is stored before its notice goes out: a notice whose
    // streak could not be stored would go out again at every patrol.
    if (!write_failing_feed(path, url, state))
        return;
    files.insert(path);
    if (notice[0])
        HostFunctions.AppendMessage(folder, notice);
}

void local_time_of_seconds(long long seconds, SYSTEMTIME *local)
{
    SYSTEMTIME utc;
    time_of_seconds(seconds, &utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, local))
        *local = utc;
}

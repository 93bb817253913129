#include "feed_state_reader.h"
#include "failing_feed_watch.h"
#include "failing_feeds.h"
#include "patrol_log_file.h"

#include "base/process_values.h"
#include "feed/deliver/feed_record.h"

void read_feed_state(const char *url, FeedState *state)
{
    *state = FeedState();
    char path[MAX_PATH];
    FeedRecord record;
    if (feed_record_path(DataFolderPath, url, path, sizeof path) && read_feed_record(path, url, &record)) {
        state->title = record.title;
        state->site = record.site;
    }
    read_last_verdict(DataFolderPath, url, &state->last_when, &state->last_words);
    FailingFeed streak;
    if (failing_feed_path(DataFolderPath, url, path, sizeof path) && read_failing_feed(path, url, &streak)) {
        SYSTEMTIME since;
        local_time_of_seconds(streak.since, &since);
        char when[24];
        format_clock(since, when, sizeof when);
        state->failing_since = when;
        state->failures = streak.failures;
        state->failing_reason = streak.reason;
    }
}

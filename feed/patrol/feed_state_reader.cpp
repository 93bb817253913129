#include "feed_state_reader.h"
#include "failing_feed_watch.h"
#include "failing_feeds.h"
#include "patrol_log_file.h"

#include "base/process_values.h"
#include "feed/deliver/feed_record.h"
#include "feed/fetch/credentials.h"
#include "settings/feed_options.h"
#include "settings/feed_settings.h"

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
    state->held_back = read_held_back_patrols(DataFolderPath, url, HeldBackPatrolsShown);
    FeedOptionsFile own;
    ReadFeedOptions(&own);
    state->options_unusable = own.state == FeedOptionsTooLarge || own.state == FeedOptionsUnreadable;
    // A pane, not a copy of the file: a few lines, each cut short.
    auto name_unread = [&](const std::vector<UnreadLine> &lines) {
        for (const UnreadLine &line : lines)
            if (state->unread.size() < UnreadLinesShown)
                state->unread.push_back({line.number, line.text.substr(0, UnreadLineBytesShown)});
    };
    name_unread(own.unread);
    char shown[UrlBufferSize];
    hide_password(url, shown, sizeof shown, PasswordMasked);
    if (const FeedOptionsSection *section = find_feed_options(own, shown)) {
        state->own = feed_option_lines(section->options);
        name_unread(section->unread);
    }
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

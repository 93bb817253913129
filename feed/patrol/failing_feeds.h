// A feed that keeps failing: its failing streak, kept in the data folder in a
// small text file beside the feed's record, named like it:
//
//   KIV failing feed 1
//   url http://example.com/feed.xml
//   since 2026-12-07T14:03:05Z      (the streak's first failure, UTC)
//   failures 5                      (failed patrols in the streak)
//   noticed 0                       (1 once the notice went to the host)
//   reason HTTP 404                 (the latest failure's words)
//   end
//
// The file exists only while the feed fails: a patrol that reaches the feed
// deletes it. When every patrol of a feed has failed for NoticeAfterSeconds
// and at least NoticeAfterFailures times, one notice message goes to the
// destination folder; the next comes only after the feed has worked again and
// failed as long anew. A file that is missing, cut, garbled or of another
// address counts as none: the streak starts afresh.
#pragma once
#include "patrol_log.h"

#include <cstddef>
#include <string>

enum {
    NoticeAfterSeconds = 72 * 60 * 60,
    NoticeAfterFailures = 3,
    MaxFailureCount = 1000000,        // the count stops there
    MaxFailingFeedBytes = 4096,       // beyond every file the writer makes
    FailureNoticeSize = 4096,         // a notice message and its NUL
};

struct FailingFeed {
    long long since = 0;                   // seconds since 1970-01-01 00:00 UTC
    unsigned long failures = 0;
    bool noticed = false;
    char reason[OutcomeReasonSize] = "";
};

// The streak file's path for url in folder; 0 when it does not fit size bytes.
int failing_feed_path(const char *folder, const char *url, char *path, size_t size);
// 1 when name is the name of a streak file (of any feed).
int is_failing_feed_name(const char *name);

// Reads a streak of url from bytes; 1 and state filled when it is whole and
// well formed, else 0 and state empty.
int parse_failing_feed(const char *bytes, size_t length, const char *url, FailingFeed *state);
int read_failing_feed(const char *path, const char *url, FailingFeed *state);
std::string format_failing_feed(const char *url, const FailingFeed &state);
// Replaces the file at path by the streak, atomically; 1 when written.
int write_failing_feed(const char *path, const char *url, const FailingFeed &state);

// Counts one more failed patrol at now, for reason; a streak that has none
// yet starts now. 1 when the notice is due now.
int add_failure(FailingFeed *state, long long now, const char *reason);

// A UTC time as seconds since 1970 and back (years 1970 to 9999).
long long seconds_since_1970(const SYSTEMTIME &utc);
void time_of_seconds(long long seconds, SYSTEMTIME *utc);

// The notice message for url: header lines and text, CR LF line ends, at most
// size - 1 bytes. now_utc dates it; since_local is the streak's start as the
// user's clock shows it. The length written, 0 when it does not fit.
size_t compose_failure_notice(const char *url, const FailingFeed &state, const SYSTEMTIME &now_utc,
                              const SYSTEMTIME &since_local, char *out, size_t size);

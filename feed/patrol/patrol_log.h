// What became of each feed of a patrol, in words, one line per feed:
//
//   2026/12/10 14:03:05 http://example.com/feed.xml delivered 3 items
//
// local date and time, the address, the outcome. The lines go to patrol.log
// in the data folder (patrol_log_file.cpp) and to the debugger output.
#pragma once
#include "native/platform.h"

#include <cstddef>
#include <string>

struct DownloadOutcome;
struct ConversionReport;

enum FeedOutcomeKind {
    FeedDelivered = 0,   // items went into an appended message
    FeedNothingNew,      // read as a feed, no item new
    FeedUnchanged,       // the server's Last-Modified is not after the feed's timestamp
    FeedNotModified,     // the server answered 304
    FeedFailed,          // reason says why
    FeedStopped,         // the patrol stopped in the middle of the feed: no verdict
    FeedMoved,           // listed under the address in reason from now on: a note, no verdict
    FeedPaused,          // the server asked for a pause, which lasts: reason says until when
    FeedSetAside,        // paused in feeds.ini, or not due by its own interval: not requested
};

enum {
    // The log file's size, at most, before it is rotated (patrol_log_file.h).
    MaxPatrolLogBytes = 1 << 20,
    OutcomeReasonSize = 192,
    // Date and time, the address (settings/feed_settings.h: at most 999
    // bytes), the outcome's words, CR LF and the NUL.
    PatrolLogLineSize = 20 + 1000 + 1 + 10 + OutcomeReasonSize + 3,
};

struct FeedOutcome {
    int kind = FeedFailed;
    // When FeedFailed: false when the failure lies with this computer (no
    // connection, no memory, no file, no thread), which says nothing of the feed.
    bool feed_failed = true;
    int items = 0;                          // when FeedDelivered
    int filtered = 0;                       // new items held back by the feed's rules
    char reason[OutcomeReasonSize] = "";    // when FeedFailed (or FeedStopped), one line of ASCII
};

// A time as the log writes it: 2026/12/10 14:03:05 (19 bytes); the length
// snprintf gives.
int format_clock(const SYSTEMTIME &time, char *out, size_t size);
// Sets outcome to a failure with the given reason, cut to its buffer.
void fail_outcome(FeedOutcome *outcome, const char *reason);
// The same for a failure of this computer's, not of the feed.
void fail_outcome_here(FeedOutcome *outcome, const char *reason);
// A feed left alone until until_local (the user's clock) as its server
// asked; status is the response that asked (0: an earlier one did).
void pause_outcome(FeedOutcome *outcome, const SYSTEMTIME &until_local, int status);
// A feed not requested in this patrol: paused in feeds.ini, or, when
// every_hours is not 0, not due by its own interval until until_local.
void set_aside_outcome(FeedOutcome *outcome, int every_hours, const SYSTEMTIME &until_local);
// The outcome of a download that brought no body to convert.
void outcome_of_download(const DownloadOutcome &download, FeedOutcome *outcome);
// The outcome of a downloaded body's conversion: status is the response's
// HTTP status, appended whether its message went to the host.
void outcome_of_conversion(int status, const ConversionReport &report, bool appended, FeedOutcome *outcome);
// 1 when the outcome shows the feed working: delivered, nothing new, or
// unchanged either way.
int outcome_is_success(const FeedOutcome &outcome);
// The outcome in words ("delivered 3 items", "failed: HTTP 404"), at most
// size - 1 bytes; the length written.
size_t describe_outcome(const FeedOutcome &outcome, char *out, size_t size);
// One log line, CR LF at its end, at most size - 1 bytes: an address too long
// for the buffer is cut, never the line end. The length written; 0 when size
// cannot hold even the date and the line end.
size_t format_patrol_line(const SYSTEMTIME &local_time, const char *url, const FeedOutcome &outcome, char *out,
                          size_t size);
// The last verdict on url in a log's text: its line's date and time and its
// words. A line of a patrol stopped in the middle of the feed, or the note of
// a move, or a feed not due by its interval, is no verdict. 1 when one is
// found; line_start, when given, then holds where its line starts.
int find_last_verdict(const char *text, size_t length, const char *url, std::string *stamp, std::string *words,
                      size_t *line_start = nullptr);
// How many of url's last verdicts in a row, up to most, found new items and
// delivered none of them, its rules holding every one back.
int held_back_patrols(const char *text, size_t length, const char *url, int most);

// After each feed of a patrol: the feed's failing streak brought up to date
// (failing_feeds.h) and, when it is due, the notice appended to the
// destination folder.
#pragma once
#include "patrol_log.h"

#include <set>
#include <string>

// folder is the destination folder; a stopped outcome changes nothing.
// files holds the paths of the data folder's files, at least of its streak
// files, and is kept up to date here: a feed that works costs no file call
// unless it had a streak.
void watch_feed(const char *folder, const char *url, const FeedOutcome &outcome, std::set<std::string> &files);

// A time in seconds since 1970 (UTC) as the user's clock shows it; the UTC
// time itself when the time zone cannot say.
void local_time_of_seconds(long long seconds, SYSTEMTIME *local);

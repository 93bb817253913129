// After each feed of a patrol: the feed's failing streak brought up to date
// (failing_feeds.h) and, when it is due, the notice appended to the
// destination folder.
#pragma once
#include "patrol_log.h"

// folder is the destination folder; a stopped outcome changes nothing.
void watch_feed(const char *folder, const char *url, const FeedOutcome &outcome);

// The download behind ADD's look at a typed address, on a thread of its own
// so that the preferences dialog stays responsive, under the patrol's bounds
// (FeedConverter::download_feed: 8 MiB, its waits and its request headers)
// but apart from the patrol's download threads, which belong to the patrol.
#pragma once
#include "feed_discovery.h"

#include "feed/fetch/download_outcome.h"
#include "native/platform.h"

// Lookups at once, at most: the one the dialog waits for and those given up
// (cancelled, or past the deadline) whose servers have not let go yet.
enum { MaxDiscoveries = 4 };
enum { NoDiscovery = -1 };

// Starts fetching url and judging what comes; the lookup's number, or
// NoDiscovery when no thread could be had.
int start_discovery(const char *url);
// An event set once the lookup numbered started has ended.
HANDLE discovery_ended(int started);
// What the ended lookup numbered started came to; its slot is then free.
void take_discovery(int started, DownloadOutcome *outcome, Discovery *found);
// Gives up the lookup numbered started: it ends by itself, deleting its
// file, and its slot is free again then.
void abandon_discovery(int started);

// At unload, before the library is unmapped, after the stop of downloads
// has been asked for: ends every lookup's thread, as end_download_threads
// ends the download threads, and deletes their files.
void end_discovery_threads();

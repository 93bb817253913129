// A deadline on each feed's download, whatever the HTTP stack underneath
// does: some platforms bound connecting, sending and receiving but not a TLS
// handshake, and a server that stalls inside one would otherwise hold the
// patrol for ever.
#pragma once
#include "download_outcome.h"

// The most one feed's download may hold the patrol. A download that would
// succeed ends well within it: no read starts 30 s into a feed, and a read
// waits at most 10 s.
enum { FeedDeadlineMilliseconds = 45000 };
// Download threads at once, at most: the one in hand and those whose deadline
// passed but which still wait for their server. While that many remain,
// further feeds are skipped without a request.
enum { MaxDownloadThreads = 16 };

// FeedConverter::download_feed on a thread of its own, which the caller waits
// for until the feed's deadline or a stop of the patrol; its result and
// outcome. A download still running then is abandoned (DownloadFailed: the
// feed is skipped): its thread finishes by itself when the server gives up,
// and its file is not the caller's.
int download_feed_within_deadline(const char *url, const char *file_temp, const char *last_seen, const char *etag,
                                  const char *last_modified, DownloadOutcome *outcome);

// At unload, before the library is unmapped: ends every download thread that
// is still running, so that none runs the library's code afterwards.
void end_download_threads();

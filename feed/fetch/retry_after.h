// A server's wish for a pause: the Retry-After of a 429 (too many requests)
// or 503 (unavailable) response, in seconds or as an HTTP date.
#pragma once
#include "native/platform.h"

// A pause is never longer than a day: a server that asks for a week is asked
// again tomorrow.
enum { MaxPauseSeconds = 24 * 60 * 60 };

// The seconds the header value asks the client to wait from now (UTC), at
// most MaxPauseSeconds; 0 when it asks nothing readable, or a time already
// past.
long retry_after_seconds(const char *text, const SYSTEMTIME &now_utc);

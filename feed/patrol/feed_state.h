// What KIV knows of a listed feed besides its address, as the URL LIST page
// shows it for the selected feed: its name, and how its patrols went as the
// patrol log tells it.
#pragma once
#include <string>

struct FeedState {
    std::string title;           // the feed's title as last read, UTF-8; empty: not known
    std::string site;            // its site link as last read
    std::string last_when;       // the last verdict's local date and time as the log writes it; empty: none
    std::string last_words;      // and its words ("delivered 3 items", "failed: HTTP 404")
    std::string failing_since;   // the failing streak's first failure, local date and time; empty: not failing
    unsigned long failures = 0;  // failed patrols in the streak
    std::string failing_reason;  // the latest failure's words
};

// Fills state for the feed at url. The patrol's stage knows where all of it
// is kept; the one who opens the preferences hands its reader to the page.
typedef void (*FeedStateReader)(const char *url, FeedState *state);

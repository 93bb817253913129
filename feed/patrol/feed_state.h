// What KIV knows of a listed feed besides its address, as the URL LIST page
// shows it for the selected feed: its name, and how its patrols went as the
// patrol log tells it.
#pragma once
#include <string>
#include <vector>

// A line of feeds.ini that KIV did not read: its number and text (UTF-8).
struct UnreadOptionLine {
    int number = 0;
    std::string text;
};

struct FeedState {
    std::string title;           // the feed's title as last read, UTF-8; empty: not known
    std::string site;            // its site link as last read
    std::string last_when;       // the last verdict's local date and time as the log writes it; empty: none
    std::string last_words;      // and its words ("delivered 3 items", "failed: HTTP 404")
    std::string failing_since;   // the failing streak's first failure, local date and time; empty: not failing
    unsigned long failures = 0;  // failed patrols in the streak
    std::string failing_reason;  // the latest failure's words
    // Its settings of its own in feeds.ini, as lines of the file (UTF-8),
    // and the lines of its section (or before every section) KIV did not read.
    std::vector<std::string> own;
    std::vector<UnreadOptionLine> unread;
    bool options_unusable = false;  // feeds.ini over its bound or unreadable: counts as none
    int held_back = 0;              // its last patrols in a row whose new items its rules all held back
};

// A feed is named in its pane once its rules held back every new item of
// this many patrols in a row.
// At most so many unread lines are named, each cut at so many bytes.
enum { HeldBackPatrolsShown = 3, UnreadLinesShown = 16, UnreadLineBytesShown = 200 };

// Fills state for the feed at url. The patrol's stage knows where all of it
// is kept; the one who opens the preferences hands its reader to the page.
typedef void (*FeedStateReader)(const char *url, FeedState *state);

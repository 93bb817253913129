// The feeds a web page names for itself: the <link rel="alternate"> elements
// of its head whose type is one of the feed types KIV reads, their addresses
// made absolute. What a person pastes is often a site's address, not its
// feed's.
#pragma once
#include "base/addresses.h"

#include <cstddef>

enum {
    // Feed links read from one page, at most; a real page names one to a few.
    MaxFeedLinks = 16,
    // The part of a page looked at: its head ends well before this on real
    // pages, inline scripts and styles included.
    PageHeadBytes = 1 << 20,
    // A link's title as the page gives it, references resolved, cut there.
    FeedLinkTitleSize = 256,
};

struct FeedLink {
    char address[AddressSize];          // absolute, references resolved, cut to AddressSize - 1 bytes
    char title[FeedLinkTitleSize];      // empty when the page gives none
};

// Reads the feed links of the HTML page text (length bytes, no NUL needed)
// that came from page_address: those of type application/rss+xml,
// application/atom+xml, application/rdf+xml or application/feed+json (JSON
// Feed) whose rel holds the token "alternate", in page order, the same
// address once. Their addresses are
// resolved against the page's <base href>, itself resolved against
// page_address. Only the head is read (up to </head> or <body>, and at most
// PageHeadBytes); comments, scripts, styles and the title are skipped.
// Writes at most capacity links; gives the number written.
size_t read_feed_links(const char *page, size_t length, const char *page_address, FeedLink *links,
                       size_t capacity);

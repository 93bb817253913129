// What an address typed for a new feed turned out to be once fetched: a
// feed, a page that names its feeds, or neither (and why).
#pragma once
#include "feed/read/feed_links.h"

#include <cstddef>
#include <vector>

enum DiscoveryKind {
    DiscoveredFeed = 0,     // a document KIV reads as a feed: the address is added as typed
    DiscoveredLinks,        // a page naming feeds that can be listed: links holds them
    DiscoveredNothing,      // neither: the person decides; why tells
};

enum DiscoveryWhy {
    WhyNotDownloaded = 0,   // the download failed: the DownloadOutcome tells
    WhyHttpStatus,          // an answer outside 2xx that is no feed: status
    WhyNoFeedLink,          // a document that is no feed and names none: detail
    WhyNoListableLink,      // a page whose feed links cannot be listed (not http or https, too long ...)
};

enum { DiscoveryDetailSize = 128 };

struct Discovery {
    int kind = DiscoveredNothing;
    int why = WhyNotDownloaded;
    int status = 0;                          // the final response's HTTP status
    char detail[DiscoveryDetailSize] = "";   // WhyNoFeedLink: why the document is no feed, one line of ASCII
    std::vector<FeedLink> links;             // DiscoveredLinks: those that pass the checks of a typed address
};

// Judges the body downloaded from address (after redirects) into file_path,
// which came with HTTP status: a feed, a page with feed links, or neither.
void judge_download(const char *file_path, const char *address, int status, Discovery *found);

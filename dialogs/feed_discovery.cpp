// A fetched address judged as the patrol would read it: first as a feed,
// then, failing that, as a page whose head names its feeds.
#include "feed_discovery.h"

#include "base/scoped_handles.h"
#include "base/text_copy.h"
#include "feed/deliver/message_pieces.h"
#include "settings/feed_list_additions.h"

#include <cstdio>

void judge_download(const char *file_path, const char *address, int status, Discovery *found)
{
    *found = Discovery();
    found->status = status;
    ConversionReport report;
    {
        OpenedFeed feed;
        if (open_feed(&feed, file_path, &report, address)) {
            found->kind = DiscoveredFeed;
            return;
        }
    }
    // An error page's links are no answer to the address typed.
    if (status < 200 || status > 299) {
        found->why = WhyHttpStatus;
        return;
    }
    std::vector<char> head(PageHeadBytes);
    size_t length = 0;
    ScopedFile file(fopen(file_path, "rb"));
    if (file.get())
        length = fread(head.data(), 1, head.size(), file.get());
    std::vector<FeedLink> links(MaxFeedLinks);
    links.resize(read_feed_links(head.data(), length, address, links.data(), links.size()));
    for (const FeedLink &link : links)
        if (import_skip_reason(link.address) == SkipNone)
            found->links.push_back(link);
    if (!found->links.empty()) {
        found->kind = DiscoveredLinks;
        return;
    }
    found->why = links.empty() ? WhyNoFeedLink : WhyNoListableLink;
    copy_text(found->detail, sizeof found->detail, report.detail);
}

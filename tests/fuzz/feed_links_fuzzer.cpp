// Any bytes as a web page's head: the feed links read stay within the
// caller's room and their buffers, each address and title terminated, and a
// caller with room for fewer links gets the first of the same ones.
#include "feed/read/feed_links.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "read_feed_links: %s\n", what);
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The page exactly as long as the input, so that the sanitizer sees any byte read past it.
    std::vector<char> page(data, data + size);
    std::vector<FeedLink> links(MaxFeedLinks);
    size_t count = read_feed_links(page.data(), page.size(), "http://h.example/a/b?q", links.data(), links.size());
    Check(count <= links.size(), "no more links than room");
    for (size_t i = 0; i < count; ++i) {
        Check(memchr(links[i].address, '\0', sizeof links[i].address) != nullptr, "an address is terminated");
        Check(links[i].address[0] != '\0', "no empty address");
        Check(memchr(links[i].title, '\0', sizeof links[i].title) != nullptr, "a title is terminated");
    }
    if (count > 1) {
        std::vector<FeedLink> first(1);
        Check(read_feed_links(page.data(), page.size(), "http://h.example/a/b?q", first.data(), 1) == 1 &&
                  strcmp(first[0].address, links[0].address) == 0,
              "less room gives the first of the same links");
    }
    return 0;
}

#include "download_outcome.h"

#include <cstdio>
#include <cstring>

namespace {

bool sendable(const char *text)
{
    if (!text || !text[0] || strlen(text) >= ValidatorSize)
        return false;
    for (; *text; ++text)
        if ((unsigned char)*text < 0x20 || *text == 0x7f)
            return false;
    return true;
}

}  // namespace

size_t build_request_headers(const char *etag, const char *last_modified, char *out, size_t size)
{
    // No "Connection: close": the next feed on the same server takes the
    // connection up again (a download that ends while the library is being
    // unloaded keeps its handles, see http_retrieval.cpp). The feed types
    // first; a server that sends a page instead still gets read, since some
    // serve feeds as text/html or text/plain. The two compressions named
    // here are decoded as the body arrives (inflate.h).
    static const char fixed[] = "Accept: application/rss+xml, application/atom+xml, application/rdf+xml, "
                                "application/xml;q=0.9, text/xml;q=0.9, */*;q=0.8\r\n"
                                "Accept-Encoding: gzip, deflate\r\n";
    if (!out || size < sizeof fixed)
        return 0;
    size_t length = snprintf(out, size, "%s", fixed);
    const struct {
        const char *name;
        const char *value;
    } conditions[] = {{"If-None-Match", etag}, {"If-Modified-Since", last_modified}};
    for (const auto &condition : conditions) {
        if (!sendable(condition.value))
            continue;
        int added = snprintf(out + length, size - length, "%s: %s\r\n", condition.name, condition.value);
        if (added < 0 || size_t(added) >= size - length) {
            out[length] = '\0';  // a header that does not fit is not sent at all
            continue;
        }
        length += size_t(added);
    }
    return length;
}

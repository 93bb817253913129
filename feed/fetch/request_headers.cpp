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
    // unloaded keeps its handles, see http_retrieval.cpp).
    if (!out || size == 0)
        return 0;
    out[0] = '\0';
    size_t length = 0;
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

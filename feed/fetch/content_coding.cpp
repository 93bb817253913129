#include "content_coding.h"

#include <cstring>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t';
}

// 1 when text, blanks around it aside, is name in any case.
bool names(const char *text, size_t length, const char *name)
{
    size_t name_length = strlen(name);
    if (length != name_length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if ((text[i] | 0x20) != name[i])
            return false;
    return true;
}

}  // namespace

int content_coding(const char *header)
{
    if (!header)
        return CodingIdentity;
    while (is_space(*header))
        ++header;
    size_t length = strlen(header);
    while (length && is_space(header[length - 1]))
        --length;
    if (length == 0 || names(header, length, "identity"))
        return CodingIdentity;
    // Only one coding is decoded: "gzip, gzip" would leave gzip bytes behind.
    if (names(header, length, "gzip"))
        return CodingGzip;
    if (names(header, length, "deflate"))
        return CodingDeflate;
    return CodingUnreadable;
}

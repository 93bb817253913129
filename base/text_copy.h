// The one bounded copy that every text of the feed converter goes through.
#pragma once
#include <cstddef>
#include <cstring>

// Copies text into out, cut to size - 1 bytes without regard to multi-byte
// characters, and terminates it; gives the length copied. The text may lie
// in out itself: a host conversion may hand back the text it was given.
inline size_t copy_text(char *out, size_t size, const char *text)
{
    if (size == 0)
        return 0;
    size_t length = strnlen(text, size - 1);
    memmove(out, text, length);
    out[length] = '\0';
    return length;
}

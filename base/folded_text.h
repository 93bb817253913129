// Names compared as protocols and formats compare them: ASCII letters in
// either case.
#pragma once

// Whole-text comparison in which only ASCII letters fold: names are ASCII,
// and a multi-byte text must never match by a folded trail byte. Null
// matches nothing.
inline bool same_folded(const char *a, const char *b)
{
    if (!a || !b)
        return false;
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
        if (x == '\0')
            return true;
    }
}

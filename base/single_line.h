// Texts that must stay on one line: header values and the title line of an
// item block. A line break from a feed there would start a line of the
// feed's choosing, in the header a header line.
#pragma once
#include <cstddef>
#include <string>

inline bool is_control(char c) { return c != '\0' && (static_cast<unsigned char>(c) < 0x20 || c == 0x7f); }

// Whether a text kept on one line of a file (a key, an address, a setting)
// holds a control character, a NUL among them.
inline bool holds_control(const std::string &text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return true;
    return false;
}

// Turns each run of white space and control characters that holds a control
// character into one space, dropping it at either end. Bytes of multi-byte
// characters are never control characters in the code pages that reach
// here, so they stay whole.
inline void make_single_line(char *text)
{
    char *write = text;
    for (const char *read = text; *read;) {
        if (*read != ' ' && !is_control(*read)) {
            *write++ = *read++;
            continue;
        }
        const char *run = read;
        bool control = false;
        for (; *read == ' ' || is_control(*read); ++read)
            control = control || is_control(*read);
        if (!control) {
            while (run < read)
                *write++ = *run++;
        } else if (write != text && *read) {
            *write++ = ' ';
        }
    }
    *write = '\0';
}

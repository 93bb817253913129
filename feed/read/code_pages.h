// Encoding names as feeds declare them, the Windows code pages they mean,
// and the conversions between those code pages and UTF-8.
#pragma once
#include "base/folded_text.h"

#include <cstddef>
#include <string>

enum {
    CodePageShiftJis = 932,
    CodePageEucJp = 20932,
    CodePageUtf8 = 65001,
};

// The Windows code page of an encoding name (case does not matter), or 0
// for a name that no code page of ours answers to.
unsigned code_page_of(const char *name);

// Converts length bytes of text in code_page to UTF-8, appending to out;
// false, with out unchanged, when the code page cannot be converted here.
bool convert_to_utf8(unsigned code_page, const char *text, size_t length, std::string *out);

// Converts UTF-8 text to code_page into out; false when it cannot be, or
// when a character of it has no form in code_page.
bool convert_from_utf8(unsigned code_page, const std::string &text, std::string *out);

// Writes the character code_point in code_page into out (room for 4 bytes);
// its byte length, or 0 when the code page lacks it.
size_t encode_character(unsigned code_page, unsigned long code_point, char *out);

bool is_valid_utf8(const char *text, size_t length);

// A text in UTF-16 or UTF-32, little- or big-endian, as its byte order mark
// or its first character '<' shows, as UTF-8 in out, the mark left out;
// false, with out unchanged, for a text of single bytes. A code unit cut
// short at the end is dropped; an unpaired surrogate and a value beyond
// Unicode read as U+FFFD. At most 3 bytes of UTF-8 for every 2 of text.
bool unicode_text_to_utf8(const char *text, size_t length, std::string *out);


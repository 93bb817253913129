// A downloaded feed's text made ready for the parser.
#pragma once
#include <cstddef>

// Makes text (length bytes, a NUL and `spare` zero bytes, from malloc) ready
// for the parser: the text of a feed in a code page that Windows converts
// becomes UTF-8, as does an undeclared one that is valid UTF-8, each with a
// declaration that says so; in a feed left in its own code page, numeric
// character references are written as the characters they name in it; an
// internal DTD subset is blanked. Gives the ready text, with the same NUL
// and spare zero bytes: text itself or a new buffer from malloc; null when
// memory runs out. text stays the caller's to free in every case. A text
// that was converted from UTF-16 or UTF-32 (`unicode`) is UTF-8 whatever
// its declaration says, and gets one that says so.
char *ready_document_text(char *text, size_t length, size_t spare, bool unicode = false);

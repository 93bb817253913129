// HTML as a person reads it: the text of an item description that carries
// HTML markup or character references, with its paragraphs, line breaks and
// list items on lines of their own, references resolved, scripts, styles and
// comments left out, images as their alt text, links as their text with a
// numbered mark whose address is listed after the text, and embedded frames
// (video players) as their address on a line of its own.
#pragma once
#include <cstddef>

// The readable text of any html is at most this many times its length.
enum { HtmlTextGrowth = 3 };

// 1 when html_to_text would change text: it holds a known HTML tag, a comment
// or a character reference. Text without any of them is left as it is.
int carries_html(const char *text);

// Writes the readable text of html into out, which holds out_size bytes, and
// terminates it; gives the length written. A text that carries no HTML is
// copied unchanged; a result longer than out_size - 1 bytes is cut there,
// without regard to multi-byte characters. With out_size at least
// HtmlTextGrowth * strlen(html) + 1 nothing is cut when base is null. Lines
// end in LF.
// utf8: the text is UTF-8, so that references are written as UTF-8; in any
// other text only references to ASCII characters are resolved and the rest
// are kept as they stand.
// base: the address that the links' addresses are relative to (null or
// empty: none); the list then holds them made absolute.
size_t html_to_text(const char *html, char *out, size_t out_size, int utf8, const char *base = nullptr);

// The size of out that html_to_text needs for html with a base of
// base_length bytes: HtmlTextGrowth times its length, one more byte, and as
// much again at most for what the base adds to its links' and frames'
// addresses. A text so dense in relative links that they need more has the
// end of its list cut.
size_t html_text_size(const char *html, size_t base_length);

// The readable text of html for a title: as html_to_text gives it, but with
// links as their text alone, neither marked nor listed.
size_t html_to_line(const char *html, char *out, size_t out_size, int utf8);

// text with only its character references resolved, as html_to_text
// resolves them, and every other byte kept. Never longer than text.
size_t resolve_references(const char *text, char *out, size_t out_size, int utf8);

// 1 for the characters HTML counts as white space.
bool is_html_space(char c);

// The whole text of an element, as the fields of a feed read it.
#pragma once
#include <tinyxml.h>

// The text of element: its first child and the text and CDATA pieces right
// after it, joined, when that child is text; the markup of its content when
// its type is "xhtml". Null when it has none. The text stays owned by the
// document, which keeps it in the element's first child from then on.
const char *element_text(TiXmlElement *element);

// The same for a text that is read as HTML: when element holds elements or
// comments, the feed wrote its markup unescaped, and the text is the markup
// of its content, as an XHTML one's ("html" its type from then on).
const char *element_markup_text(TiXmlElement *element);

// The whole text of an element, as the fields of a feed read it.
#pragma once
#include <tinyxml.h>

// The text of element: its first child and the text and CDATA pieces right
// after it, joined, when that child is text; the markup of its content when
// its type is "xhtml". Null when it has none. The text stays owned by the
// document, which keeps it in the element's first child from then on.
const char *element_text(TiXmlElement *element);

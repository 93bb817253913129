// The whole text of an element, as the fields of a feed read it.
#pragma once
#include <tinyxml.h>

// The text of element: its first child and the text and CDATA pieces right
// after it, joined, when that child is text; the markup of its content when
// its type is "xhtml". Null when it has none. The text stays owned by the
// document, which keeps it in the element's first child from then on.
const char *element_text(TiXmlElement *element);

// The text of an RSS body, which sites also write as unescaped HTML
// (<description>See <b>this</b></description>, <description><img/><![CDATA[…]]>):
// an element with elements inside and no type or mode of its own is read
// as its markup; any other as element_text reads it.
const char *body_text(TiXmlElement *element);

// How an Atom content element says its text is written, beyond "text",
// "html" and "xhtml": Atom 0.3's modes and Atom 1.0's media types.
#pragma once
#include <tinyxml.h>

// Whether element's content is markup to be read as its text: type "xhtml",
// or elements inside one whose mode is "xml" (Atom 0.3) or whose type is an
// XML media type (application/xhtml+xml).
bool holds_markup(const TiXmlElement *element);

// Decodes element's text in place when it is base64: mode "base64" (Atom
// 0.3), or a content element of a media type that is neither text nor XML
// (Atom 1.0). What decodes to more than text (a control byte, a NUL: an
// image, say) leaves the element without text; what is no base64 stays as
// written. Read again, the element is text. text is the element's joined
// text; false when none is left.
bool decode_base64_content(TiXmlElement *element, TiXmlText *text);

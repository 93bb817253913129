// What the readers of an item's fields share: the host's text conversion and
// an address made absolute as a link's is.
#pragma once
#include <tinyxml.h>

// The host's conversion of text for the encoding code, or the text itself
// when the encoding needs none. The result belongs to the host: copy it at once.
const char *host_converted(int encoding, const char *text);

// The address written in element, its references resolved, made absolute
// against the element's base, in field (TextFieldSize bytes, cut at 511).
// No address stays none: an empty reference would name the base itself.
void copy_address(const TiXmlElement *element, const char *written, const char *address, char *field);

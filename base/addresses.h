// Addresses as a feed writes them, made absolute: item and channel links and
// the links of an item's text may be relative to the document's address or
// to an xml:base around them.
#pragma once
#include <cstddef>

class TiXmlElement;

// The longest address the HTTP stack takes (2,083 bytes) and its NUL.
enum { AddressSize = 2084 };

// Resolves reference against base as RFC 3986 section 5.2 does: merged
// paths, dot segments removed, a network-path, query-only or fragment-only
// reference taking the rest from base. A reference with a scheme of its own
// stays as it stands, and so does every reference when base is null, empty
// or not an http or https address. Writes into out, which holds size bytes
// and may be base itself, cut to size - 1 bytes; gives the length written.
// The result is at most strlen(base) + strlen(reference) + 1 bytes long.
size_t resolve_address(const char *base, const char *reference, char *out, size_t size);

// The base address of element's content: address (the one the document came
// from, or null), changed by each xml:base from the root down to element
// itself, each resolved against the one around it. Written into out (size
// bytes, cut there); empty when there is none.
void element_base(const TiXmlElement *element, const char *address, char *out, size_t size);

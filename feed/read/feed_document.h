// A downloaded feed file made into a parsed document, within the bounds that
// keep the parser's stack, time and memory safe.
#pragma once
#include <cstddef>

class TiXmlDocument;

// The most a feed document may ask of the parser; no feed comes near them.
// The parser's recursion costs the worker's 1 MiB stack some 80 to 100 bytes
// an element level (it overflows at about 12,000 levels), and an attribute is
// checked against all the others of its element. The node bound lets through
// every feed that fits the 8 MiB download bound with at least 8 bytes of text
// a node ("<a>x</a>" is two nodes in 8 bytes; a real item's elements take
// several times that). The costliest node, an empty element, takes 140 bytes
// and the heap's own in the 32-bit build, so no document's tree passes about
// 150 MB.
enum {
    MaxElementDepth = 256,
    MaxElementAttributes = 64,
    MaxDocumentNodes = (8 << 20) / 8,   // nodes and attributes together
};

// What a document asks of the parser: its deepest element nesting (a root
// alone is 1), the most attributes on one element, and its nodes and
// attributes in all.
struct DocumentShape {
    size_t depth = 0;
    size_t attributes = 0;
    size_t nodes = 0;
};

// Loads a feed file into document as TiXmlDocument::LoadFile would; 1 when
// it parsed without error. A document beyond the bounds above is refused
// unparsed. On 0, failure (when given) says why: the parser's error
// description or the bound the document passed.
int load_feed_document(TiXmlDocument *document, const char *file_path, const char **failure = nullptr);
// Measures text as the parser would read it, without parsing it; 1 when it
// is within every bound. The measure stops at the first bound passed.
int measure_document(const char *text, DocumentShape *shape);
// The steps of load_feed_document besides the measure. The file's text as
// LoadFile reads it (line ends made LF, ending at its first NUL, zero bytes
// behind it), to be freed with free(); null with the error in document. And
// the parse of a text into document, 1 without error.
char *read_feed_text(TiXmlDocument *document, const char *file_path);
int parse_feed_text(TiXmlDocument *document, const char *text);

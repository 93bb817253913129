// Elements named by their namespace, not by the prefix a feed gave them.
#pragma once
#include <tinyxml.h>

// The converter looks elements up by the names feeds mostly give them:
// RSS 1.0 and Atom elements unprefixed, "dc:", "dcterms:", "content:",
// "rdf:", "itunes:", "media:". An element whose namespace is one of these under another prefix
// (<rss:item xmlns:rss="http://purl.org/rss/1.0/">, <d:date>), or is the
// namespace of an rss root that carries a prefix (<r:rss xmlns:r="…">), is
// renamed to that name; Atom's only in an Atom document. Elements with those names already, and those of
// other or undeclared namespaces, keep theirs. One pass over the elements,
// no recursion; time linear in the elements and attributes.
void name_elements_by_namespace(TiXmlDocument *document);

// Reading an OPML file for its feed addresses.
#include "opml_import.h"

#include "base/folded_text.h"
#include "base/scoped_handles.h"
#include "feed/read/feed_document.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>

namespace {

// The size of the file at path, or -1 when it cannot be opened.
long file_size(const char *path)
{
    ScopedFile file(fopen(path, "rb"));
    if (!file.held() || fseek(file.get(), 0, SEEK_END) != 0)
        return -1;
    return ftell(file.get());
}

// The feed address of an outline: its xmlUrl, which some writers spell in
// other cases (xmlurl, xmlURL).
const char *feed_address_of(const TiXmlElement *outline)
{
    for (const TiXmlAttribute *a = outline->FirstAttribute(); a; a = a->Next())
        if (same_folded(a->Name(), "xmlUrl"))
            return a->Value();
    return nullptr;
}

// The element after element in document order within root: its first child
// element, else the next element beside it or beside one of its ancestors.
// A walk without recursion: nesting costs no stack.
const TiXmlElement *next_in_document(const TiXmlElement *element, const TiXmlElement *root)
{
    if (const TiXmlElement *child = element->FirstChildElement())
        return child;
    for (const TiXmlNode *node = element; node && node != root; node = node->Parent())
        if (const TiXmlElement *sibling = node->NextSiblingElement())
            return sibling;
    return nullptr;
}

}  // namespace

int read_opml_file(const char *path, std::vector<std::string> *addresses, std::string *detail)
{
    addresses->clear();
    std::string ignored;
    if (!detail)
        detail = &ignored;
    detail->clear();
    long size = file_size(path);
    if (size < 0)
        return OpmlCannotOpen;
    if (size > long(MaxOpmlFileBytes))
        return OpmlTooLarge;
    TiXmlDocument document;
    const char *failure = nullptr;
    if (!load_feed_document(&document, path, &failure)) {
        *detail = failure ? failure : "";
        return OpmlNotXml;
    }
    const TiXmlElement *root = document.RootElement();
    if (!root || strcmp(root->Value(), "opml") != 0) {
        *detail = root ? root->Value() : "";
        return OpmlNotOpml;
    }
    size_t outlines = 0;
    std::vector<std::string> found;
    for (const TiXmlElement *e = root->FirstChildElement(); e; e = next_in_document(e, root)) {
        if (strcmp(e->Value(), "outline") != 0)
            continue;
        if (++outlines > MaxOpmlOutlines)
            return OpmlTooManyOutlines;
        if (const char *address = feed_address_of(e))
            found.push_back(address);
    }
    addresses->swap(found);
    return OpmlReadable;
}

// Feed lists as other readers keep them: an OPML file (1.0 or 2.0, folders
// of outlines nested in any order) read for its feed addresses, which
// settings/feed_list_additions.h appends to the list.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

enum {
    // An OPML file is read whole, as a feed download is, and within the same
    // bounds; a reader's list of a few hundred feeds takes some 100 KB.
    MaxOpmlFileBytes = 8 << 20,
    MaxOpmlOutlines = 10000,
};

// Why a file gives no list.
enum OpmlFailure {
    OpmlReadable = 0,
    OpmlCannotOpen,
    OpmlTooLarge,          // beyond MaxOpmlFileBytes
    OpmlNotXml,            // detail: the parser's error, or the document bound passed
    OpmlNotOpml,           // detail: the root element's name
    OpmlTooManyOutlines,   // beyond MaxOpmlOutlines
};

// Reads the xmlUrl of every outline that has one, in document order, from
// the OPML file at path. OpmlReadable with addresses filled, or the failure
// with detail (when given) saying more; addresses are left empty then.
int read_opml_file(const char *path, std::vector<std::string> *addresses, std::string *detail);

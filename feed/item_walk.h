// The item walk: which items of a feed are new. A dated item is new when its
// date is later than the last-seen timestamp, wherever it stands; an undated
// one when its key is not among those the feed remembers. Composition of the
// message is apart from this, in message_composition.cpp.
#pragma once
#include "feed_converter.h"

#include <string>
#include <vector>

// The keys of a feed's undated items, kept between patrols. Before a
// conversion: those of the last document, when known. After it: those of the
// document just converted that are delivered or were remembered, so that an
// item left out of a full message comes again.
struct ItemMemory {
    bool known = false;             // keys holds a remembered document's keys
    std::vector<std::string> keys;  // sorted, without duplicates
    bool walked = false;            // set when a document's items were walked
};

struct WalkedItem {
    TiXmlElement *element;
    bool fresh;                // new: to be delivered
    bool dated;
    char date[ItemDateSize];   // the long timestamp text, or empty
    std::string key;           // undated items only
};

// An undated item's key: "g " and its guid (RSS) or id (Atom), else "l " and
// its link, else "d " and a digest of its title and description. Control
// characters become spaces, so that a key is one line of text.
std::string item_key(TiXmlHandle item, int feed_type);

// Walks every sibling element from first on, in document order. Without a
// known memory every undated item is new.
std::vector<WalkedItem> walk_items(TiXmlElement *first, int feed_type, const char *last_seen,
                                   const ItemMemory *memory);

// The item walk: which items of a feed are new. Once a feed has a record of
// every item's key, an item is new when its key is not remembered, whatever
// its date says. Without one (a feed's first patrol, a damaged record, a
// record of an older version) a dated item is new when its date is later
// than the last-seen timestamp, wherever it stands, and an undated one when
// its key is not among those remembered. Composition of the message is apart
// from this, in message_composition.cpp.
#pragma once
#include "feed/feed_converter.h"

#include <string>
#include <vector>

// What the keys of a memory cover.
enum KeyScope {
    NoKeys,        // nothing is known of the feed
    UndatedKeys,   // the keys of undated items only (a record of an older version)
    EveryKey,      // the keys of every item: they alone decide
};

// The keys of a feed's items, kept between patrols, oldest first: an item's
// key moves to the end whenever a document shows it. Before a conversion:
// what the record holds. After it: the keys remembered before and those of
// the document just converted, without the new items that a full message
// left out, so that those come again; at most MaxRememberedKeys, the oldest
// forgotten first.
struct ItemMemory {
    KeyScope scope = NoKeys;
    std::vector<std::string> keys;  // without duplicates
    bool walked = false;            // set when a document's items were walked
};

enum { MaxRememberedKeys = 10000 };

struct WalkedItem {
    TiXmlElement *element;
    bool fresh;                // new: to be delivered
    bool dated;
    char date[ItemDateSize];   // the long timestamp text, or empty
    std::string key;           // empty when no memory was given
};

// An item's key: "g " and its guid (RSS) or id (Atom), else "l " and its
// link, else "d " and a digest of its title and description. Control
// characters become spaces, so that a key is one line of text.
std::string item_key(TiXmlHandle item, int feed_type);

// Walks the items among the sibling elements from first on (item, or Atom's
// entry), in document order, stepping over the others. Without a
// memory every undated item is new and no key is taken. Items that share a
// key in one document go by their dates even when every key decides.
std::vector<WalkedItem> walk_items(TiXmlElement *first, int feed_type, const char *last_seen,
                                   const ItemMemory *memory);

// Takes the keys of a walked document into memory: kept, in document order,
// are the keys to remember now (the items that were not new and the new ones
// delivered). Afterwards every key decides.
void remember_keys(ItemMemory *memory, const std::vector<std::string> &kept);

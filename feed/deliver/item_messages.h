// One message per item, the other form of delivery: each new item becomes a
// message of its own, whose Subject is the item's title and whose Date is the
// item's date, so that a mail client sorts, flags and threads items one by
// one. The body is the item's block as the per-feed message shows it,
// followed by the feed's title and link:
//
//   Date: 03 May 24 18:00:00 +0900
//   From: [http://garden.example/]
//   Subject: Tomatoes
//   To: [KIVv1.08]
//   Message-ID: <0123456789abcdef.fedcba9876543210@kiv.invalid>
//
//   2024/05/03 18:00:00+09:00
//   Tomatoes [ vegetables ]
//   http://garden.example/tomatoes
//   Staking the plants.
//
//   ---
//   Garden Notes
//   http://garden.example/
//
// Header lines end in CR LF, body lines in LF, the message in CR LF. The
// Message-ID is the FNV-1a digest of the feed's address and that of the
// item's key (with its date where several items of the document share the
// key), so that the same item always has the same one.
#pragma once
#include "message_composition.h"

#include <cstddef>
#include <functional>
#include <string>

struct ItemFields;
struct ItemFilter;
struct ItemMemory;
struct OpenedFeed;

enum {
    // At most this many messages of one feed in one patrol: the first patrol
    // of a long feed stays short, and the rest come in the next patrols.
    MaxItemMessages = 50,
    // "<", two digests of 16 hex digits and a dot, "@kiv.invalid>", NUL.
    ItemMessageIdSize = 48,
};

// The Message-ID of an item of the feed at feed_url; date, when given, tells
// apart items that share their key.
void item_message_id(const char *feed_url, const std::string &key, const char *date, char *out);

// Composes one item's message whole at the end of message, or leaves the
// message as it was and gives 0. date is the timestamp text of its Date.
int compose_item_message(MessageBuffer *message, const OpenedFeed &feed, const ItemFields &fields,
                         const char *date, const char *message_id);
// Room enough for any message of the item, its terminator included.
size_t item_message_capacity(const ItemFields &fields);

// Hands one message to the host: 1 when it was appended, 0 when not (the
// feed then stops at that item). timestamp is the newest date delivered,
// this item included (the current time while no item had a date).
typedef std::function<int(const char *message, const char *timestamp)> ItemMessageSink;

// Delivers the new items of a feed file one message each, oldest first, at
// most MaxItemMessages, handing each to append. Before each call, memory
// already counts the item as delivered, so that what append stores of it
// tells of the item; a refused item is taken back out and comes again, as do
// the items after it. memory, last_seen, report and address are as for
// convert_feed; newest (NewestTimestampSize bytes) ends as the newest date
// delivered, or the current time when no delivered item had a date. Gives
// the number of messages appended, and in due the number of new items.
// filter, when given, holds the feed's rules: the new items they hold back
// are remembered from the first message on (or, when none is appended, in
// the memory given back), counted in report's filtered and not in due.
int deliver_item_messages(const char *file_path, const char *feed_url, const char *last_seen, char *newest,
                          ItemMemory *memory, ConversionReport *report, const char *address, int *due,
                          const ItemMessageSink &append, const ItemFilter *filter = nullptr);

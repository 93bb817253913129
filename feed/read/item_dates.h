// Item dates from the elements that feeds write beside dc:date and modified.
#pragma once
#include <tinyxml.h>

// The date of an item without a usable dc:date (RSS) or modified (Atom),
// from pubDate, updated, published and their kin, normalised; out holds
// ItemDateSize bytes.
int get_fallback_item_date(TiXmlHandle item, int feed_type, char *out);
// A date written as RFC 822 or RFC 3339 text, as the long timestamp text, in
// out (ItemDateSize bytes); 0 and the empty text when unreadable.
int normalise_date(const char *text, char *out);

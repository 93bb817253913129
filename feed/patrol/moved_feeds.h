// Feeds whose server says they have moved for good: after the same
// permanent redirect on MovedPatrolsToFollow patrols in a row, the feed is
// listed under its new address, its timestamp and record going with it.
// Temporary redirects never move a feed.
#pragma once
#include "feed/deliver/feed_record.h"

// Counts one patrol of a feed into the streak its record keeps: worked is
// whether the feed worked (a failure says nothing of where it lives and
// leaves the streak as it is), moved_to where the permanent redirects of its
// download led (empty: none). 1 when the streak changed.
int count_move(FeedRecord *record, bool worked, const char *moved_to);

// 1 when the record's streak says the feed is to be listed under
// record.moved_to now.
int move_is_due(const FeedRecord &record);

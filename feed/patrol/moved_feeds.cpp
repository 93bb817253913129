#include "moved_feeds.h"

int count_move(FeedRecord *record, bool worked, const char *moved_to)
{
    if (!worked)
        return 0;
    if (!moved_to || !*moved_to) {
        if (record->moved_to.empty())
            return 0;
        record->moved_to.clear();
        record->moved_patrols = 0;
        return 1;
    }
    if (record->moved_to == moved_to) {
        if (record->moved_patrols < MovedPatrolsToFollow)
            ++record->moved_patrols;
    } else {
        // Another address than last time starts the count anew.
        record->moved_to = moved_to;
        record->moved_patrols = 1;
    }
    return 1;
}

int move_is_due(const FeedRecord &record)
{
    return !record.moved_to.empty() && record.moved_patrols >= MovedPatrolsToFollow;
}

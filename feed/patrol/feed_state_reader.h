// A listed feed's name and how its patrols went, for the URL LIST page: from
// its record, the patrol log and its failing streak in the data folder.
#pragma once
#include "feed_state.h"

void read_feed_state(const char *url, FeedState *state);

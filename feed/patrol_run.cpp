#include "../settings/feed_settings.h"

int FeedSettings::Patrol() { return 0; }

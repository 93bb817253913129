// Where a recognised feed keeps its own fields.
#pragma once
#include <tinyxml.h>

// The element that holds the feed's own title, link and description: the
// channel, or Atom's feed.
TiXmlHandle get_channel(TiXmlHandle docHandle, int feed_type);

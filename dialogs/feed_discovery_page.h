// What ADD (and REPLACE) does with a typed address before it is listed: the
// address is fetched, a feed is listed as typed, a page's feed link in its
// place (the person picks when there are several), and anything else only
// when the person says so.
#pragma once
#include "native/platform.h"

// Settles the address to list for typed (a storable address): writes it
// into chosen (UrlBufferSize bytes); 1 to list it, 0 to list nothing.
int SettleFeedAddress(const char *typed, char *chosen);

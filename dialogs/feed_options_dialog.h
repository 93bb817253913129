// The settings one feed has of its own (URL LIST's SETTING): its section of
// feeds.ini shown in a small modal dialog and written back on OK.
#pragma once
#include "native/platform.h"

#include <string>

// Opens the dialog, owned by owner, for the feed whose section is named
// address (its password as ***): 1 when OK wrote the file, 0 when the
// person cancelled or the file cannot be used.
int EditOwnFeedOptions(HWND owner, const std::string &address);

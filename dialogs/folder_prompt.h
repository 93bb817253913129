// The host folders KIV takes: the one the destination prompt records, and
// the one a feed's own settings take.
#pragma once

// Why the host's identifier of a folder cannot be taken (a text for the
// user), or null when it can: there must be one, and it must hold no white
// space, which the settings file cannot keep as one entry.
const char *FolderRefusal(const char *identifier);

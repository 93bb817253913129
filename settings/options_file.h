// The options that live beside KIV.ini rather than in it: every version of
// KIV reads KIV.ini, and an older one would take an entry after the third for
// a feed. They are kept in "options.ini" in the data folder, one line
// "name=value" each, which older versions never open:
//
//   one-mail-per-item=1
//
// A missing, unreadable or garbled file, or a line of another name, gives
// the defaults.
#pragma once

// 1 when each new item is to be delivered as a message of its own, 0 (the
// default) for one message per feed.
int ReadOneMailPerItem();
// Stores the switch, replacing the file atomically; 1 when stored.
int WriteOneMailPerItem(int flag);

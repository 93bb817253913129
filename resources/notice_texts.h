// The texts of the notice that a feed keeps failing, in code page 932.
#pragma once

extern const char FailureNoticeFrom[];
extern const char FailureNoticeSubjectFormat[];   // %s: the feed's address
// The message text. In order: the streak's start (year, month, day, hour,
// minute as %04u/%02u/%02u %02u:%02u), the address (%s), the failed patrols
// (%lu), the latest reason (%s).
extern const char FailureNoticeTextFormat[];

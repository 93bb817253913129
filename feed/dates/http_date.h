// Dates in HTTP headers (Last-Modified, If-Modified-Since).
#pragma once
#include "native/platform.h"

// Reads the three date forms that HTTP allows, strictly:
//   Sun, 06 Nov 1994 08:49:37 GMT    (the preferred form)
//   Sunday, 06-Nov-94 08:49:37 GMT   (obsolete; years 70-99 are 19xx, 00-69 20xx)
//   Sun Nov  6 08:49:37 1994         (obsolete, the C library's asctime)
// Blanks and tabs around the value are allowed; names are case-sensitive and
// the day must exist in its month. The week day is taken from its name and not
// checked against the date. 1 and the date in UTC in record (milliseconds 0),
// or 0 and record untouched when text is none of these.
int parse_http_date(const char *text, SYSTEMTIME *record);

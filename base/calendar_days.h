// Days since 1970-01-01 of a proleptic Gregorian date, and back: plain
// calendar arithmetic, the same in every time zone, daylight saving playing
// no part.
#pragma once

// a / b rounded down, for negative a too.
long long floor_div(long long a, long long b);
long long days_from_civil(long long year, int month, int day);
void civil_from_days(long long days, long long *year, int *month, int *day);

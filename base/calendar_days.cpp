#include "calendar_days.h"

long long floor_div(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

long long days_from_civil(long long year, int month, int day)
{
    year -= month <= 2;
    long long era = floor_div(year, 400);
    long long year_of_era = year - era * 400;
    long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(long long days, long long *year, int *month, int *day)
{
    days += 719468;
    long long era = floor_div(days, 146097);
    long long day_of_era = days - era * 146097;
    long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    long long shifted_month = (5 * day_of_year + 2) / 153;
    *day = int(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    *month = int(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    *year = year_of_era + era * 400 + (*month <= 2);
}

#include "failing_feeds.h"

#include "base/atomic_file.h"
#include "base/calendar_days.h"
#include "base/scoped_handles.h"
#include "base/single_line.h"
#include "feed/deliver/feed_record.h"
#include "feed/feed_converter.h"
#include "resources/notice_texts.h"
#include "resources/version.h"

#include <cstdio>
#include <cstring>

namespace {

const char Signature[] = "KIV failing feed 1";
const char RecordSuffix[] = ".rec";
const char StreakSuffix[] = ".fail";
const long long FirstSecond = 0;                    // 1970-01-01 00:00:00
const long long LastSecond = 253402300799LL;        // 9999-12-31 23:59:59

// The line "name value" of the given name, its value in value.
bool line_value(const char *line, size_t length, const char *name, std::string *value)
{
    size_t name_length = strlen(name);
    if (length < name_length + 2 || memcmp(line, name, name_length) != 0 || line[name_length] != ' ')
        return false;
    value->assign(line + name_length + 1, length - name_length - 1);
    return true;
}

// A decimal number of at most digits digits and nothing else.
bool parse_number(const std::string &text, size_t digits, unsigned long long *value)
{
    if (text.empty() || text.size() > digits)
        return false;
    *value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        *value = *value * 10 + unsigned(c - '0');
    }
    return true;
}

// "2026-12-07T14:03:05Z", as written by format_time.
bool parse_time(const std::string &text, long long *seconds)
{
    unsigned long long year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (text.size() != 20 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
        text[16] != ':' || text[19] != 'Z' || !parse_number(text.substr(0, 4), 4, &year) ||
        !parse_number(text.substr(5, 2), 2, &month) || !parse_number(text.substr(8, 2), 2, &day) ||
        !parse_number(text.substr(11, 2), 2, &hour) || !parse_number(text.substr(14, 2), 2, &minute) ||
        !parse_number(text.substr(17, 2), 2, &second))
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
        return false;
    SYSTEMTIME time = {};
    time.wYear = WORD(year);
    time.wMonth = WORD(month);
    time.wDay = WORD(day);
    time.wHour = WORD(hour);
    time.wMinute = WORD(minute);
    time.wSecond = WORD(second);
    *seconds = seconds_since_1970(time);
    // A day beyond its month's end (02-30) would read as another day.
    SYSTEMTIME back;
    time_of_seconds(*seconds, &back);
    return back.wDay == time.wDay;
}

std::string format_time(long long seconds)
{
    SYSTEMTIME time;
    time_of_seconds(seconds, &time);
    char text[24];
    snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", unsigned(time.wYear) % 10000,
             unsigned(time.wMonth) % 100, unsigned(time.wDay) % 100, unsigned(time.wHour) % 100,
             unsigned(time.wMinute) % 100, unsigned(time.wSecond) % 100);
    return text;
}

bool is_plain(const std::string &text)
{
    for (char c : text)
        if ((unsigned char)c < 0x20 || (unsigned char)c >= 0x7f)
            return false;
    return true;
}

}  // namespace

long long seconds_since_1970(const SYSTEMTIME &utc)
{
    return days_from_civil(utc.wYear, utc.wMonth, utc.wDay) * 86400 + utc.wHour * 3600LL + utc.wMinute * 60LL +
           utc.wSecond;
}

void time_of_seconds(long long seconds, SYSTEMTIME *utc)
{
    if (seconds < FirstSecond)
        seconds = FirstSecond;
    if (seconds > LastSecond)
        seconds = LastSecond;
    long long days = seconds / 86400, rest = seconds % 86400;
    long long year;
    int month, day;
    civil_from_days(days, &year, &month, &day);
    *utc = SYSTEMTIME();
    utc->wYear = WORD(year);
    utc->wMonth = WORD(month);
    utc->wDay = WORD(day);
    utc->wDayOfWeek = WORD((days + 4) % 7);  // 1970-01-01 was a Thursday
    utc->wHour = WORD(rest / 3600);
    utc->wMinute = WORD(rest / 60 % 60);
    utc->wSecond = WORD(rest % 60);
}

int failing_feed_path(const char *folder, const char *url, char *path, size_t size)
{
    // The record's name with the streak's suffix, one byte longer.
    char record[MAX_PATH + 8];
    if (!feed_record_path(folder, url, record, sizeof record))
        return 0;
    size_t stem = strlen(record) - (sizeof RecordSuffix - 1);
    int length = snprintf(path, size, "%.*s%s", int(stem), record, StreakSuffix);
    return length > 0 && size_t(length) < size;
}

int is_failing_feed_name(const char *name)
{
    size_t length = strlen(name), suffix = sizeof StreakSuffix - 1;
    if (length <= suffix || strcmp(name + length - suffix, StreakSuffix) != 0)
        return 0;
    // The same name with the record's suffix is a record's name.
    std::string record(name, length - suffix);
    return is_feed_record_name((record + RecordSuffix).c_str());
}

int parse_failing_feed(const char *bytes, size_t length, const char *url, FailingFeed *state)
{
    *state = FailingFeed();
    if (!bytes || !url || length > MaxFailingFeedBytes)
        return 0;
    // Every line in its place, each ended by LF, nothing after "end".
    const char *const names[] = {nullptr, "url", "since", "failures", "noticed", "reason", nullptr};
    const size_t lines = sizeof names / sizeof names[0];
    FailingFeed read;
    size_t at = 0;
    std::string value;
    for (size_t number = 0; number < lines; ++number) {
        const char *end = at < length ? static_cast<const char *>(memchr(bytes + at, '\n', length - at)) : nullptr;
        if (!end)
            return 0;
        const char *line = bytes + at;
        size_t line_length = size_t(end - line);
        at = size_t(end - bytes) + 1;
        if (memchr(line, '\0', line_length))
            return 0;
        unsigned long long number_value = 0;
        if (number == 0) {
            if (line_length != sizeof Signature - 1 || memcmp(line, Signature, line_length) != 0)
                return 0;
        } else if (number == lines - 1) {
            if (line_length != 3 || memcmp(line, "end", 3) != 0)
                return 0;
        } else if (!line_value(line, line_length, names[number], &value)) {
            return 0;
        } else if (number == 1) {
            if (value != url)
                return 0;
        } else if (number == 2) {
            if (!parse_time(value, &read.since))
                return 0;
        } else if (number == 3) {
            if (value[0] == '0' || !parse_number(value, 7, &number_value) || number_value > MaxFailureCount)
                return 0;
            read.failures = (unsigned long)number_value;
        } else if (number == 4) {
            if (value != "0" && value != "1")
                return 0;
            read.noticed = value == "1";
        } else {
            if (value.size() >= sizeof read.reason || !is_plain(value))
                return 0;
            memcpy(read.reason, value.c_str(), value.size() + 1);
        }
    }
    if (at != length)
        return 0;
    *state = read;
    return 1;
}

int read_failing_feed(const char *path, const char *url, FailingFeed *state)
{
    *state = FailingFeed();
    ScopedFile file(fopen(path, "rb"));
    if (!file.held())
        return 0;
    // One byte more than the bound tells a file beyond it.
    char bytes[MaxFailingFeedBytes + 1];
    size_t length = fread(bytes, 1, sizeof bytes, file.get());
    return parse_failing_feed(bytes, length, url, state);
}

std::string format_failing_feed(const char *url, const FailingFeed &state)
{
    // What the reader would refuse is written within its bounds.
    unsigned long failures = state.failures;
    if (failures < 1)
        failures = 1;
    if (failures > (unsigned long)MaxFailureCount)
        failures = MaxFailureCount;
    const char *reason = is_plain(state.reason) ? state.reason : "";
    return std::string(Signature) + "\nurl " + url + "\nsince " + format_time(state.since) + "\nfailures " +
           std::to_string(failures) + "\nnoticed " + (state.noticed ? "1" : "0") + "\nreason " + reason + "\nend\n";
}

int write_failing_feed(const char *path, const char *url, const FailingFeed &state)
{
    std::string text = format_failing_feed(url, state);
    return text.size() <= MaxFailingFeedBytes && WriteFileAtomically(path, text.data(), text.size());
}

int add_failure(FailingFeed *state, long long now, const char *reason)
{
    if (state->failures == 0)
        state->since = now;
    if (state->failures < MaxFailureCount)
        ++state->failures;
    snprintf(state->reason, sizeof state->reason, "%s", reason ? reason : "");
    if (!is_plain(state->reason))
        state->reason[0] = '\0';
    if (state->noticed || state->failures < NoticeAfterFailures || now - state->since < NoticeAfterSeconds)
        return 0;
    return 1;
}

size_t compose_failure_notice(const char *url, const FailingFeed &state, const SYSTEMTIME &now_utc,
                              const SYSTEMTIME &since_local, char *out, size_t size)
{
    if (!out || size == 0)
        return 0;
    out[0] = '\0';
    // The address on one line, whatever the settings file holds.
    char address[1000];
    snprintf(address, sizeof address, "%s", url ? url : "");
    make_single_line(address);
    char timestamp[32], date[MailDateSize] = "";
    snprintf(timestamp, sizeof timestamp, "%04u-%02u-%02uT%02u:%02u:%02u+00:00", unsigned(now_utc.wYear) % 10000,
             unsigned(now_utc.wMonth) % 100, unsigned(now_utc.wDay) % 100, unsigned(now_utc.wHour) % 100,
             unsigned(now_utc.wMinute) % 100, unsigned(now_utc.wSecond) % 100);
    FeedConverter::format_mail_date(timestamp, date);
    char subject[1100];
    snprintf(subject, sizeof subject, FailureNoticeSubjectFormat, address);
    int head = snprintf(out, size, "Date: %s\r\nFrom: %s\r\nSubject: %s\r\nTo: %s\r\n\r\n", date, FailureNoticeFrom,
                        subject, KIV_MESSAGE_TO);
    if (head < 0 || size_t(head) >= size) {
        out[0] = '\0';
        return 0;
    }
    int text = snprintf(out + head, size - size_t(head), FailureNoticeTextFormat, unsigned(since_local.wYear),
                        unsigned(since_local.wMonth), unsigned(since_local.wDay), unsigned(since_local.wHour),
                        unsigned(since_local.wMinute), address, state.failures, state.reason);
    if (text < 0 || size_t(text) >= size - size_t(head)) {
        out[0] = '\0';
        return 0;
    }
    return size_t(head) + size_t(text);
}

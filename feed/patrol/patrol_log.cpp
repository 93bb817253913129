#include "patrol_log.h"

#include "base/single_line.h"
#include "feed/deliver/message_composition.h"
#include "feed/fetch/download_outcome.h"

#include <cstdio>
#include <cstring>

namespace {

// The words of the two lines that give no verdict on the feed.
const char StoppedWords[] = "stopped before its end";
const char MovedWords[] = "moved for good, listed as ";
const char PausedHereWords[] = "paused in feeds.ini, not requested";
const char NotDueWords[] = "not due (requested every ";

// What a failed download's kind reads as; null: the download's own reason.
const char *failure_words(int failure)
{
    switch (failure) {
    case FailureOffline:
        return "offline (no Internet connection)";
    case FailureBadAddress:
        return "not an http or https address";
    case FailureHostNotFound:
        return "host not found";
    case FailureCannotConnect:
        return "cannot connect";
    case FailureConnectionClosed:
        return "connection closed before the whole response";
    case FailureTimedOut:
        return "timed out";
    case FailureCertificate:
        return "certificate refused";
    case FailureTooLarge:
        return "too large (over 8 MiB)";
    case FailureTooManyRedirects:
        return "too many redirects (over 10)";
    case FailureEmptyBody:
        return "empty response";
    case FailureStopped:
        return "stopped";
    case FailureSecureConnection:
        return "no secure connection";
    case FailureBadResponse:
        return "no valid HTTP response";
    case FailureBrokenCoding:
        return "compressed body does not decode";
    case FailureUnreadableCoding:
        return "compressed in a form not asked for (Content-Encoding)";
    default:
        return nullptr;
    }
}

// Control characters and bytes beyond ASCII become '?': a reason is one
// line, and the same text in every code page.
void make_plain(char *text)
{
    for (; *text; ++text)
        if ((unsigned char)*text < 0x20 || (unsigned char)*text >= 0x7f)
            *text = '?';
}

// An error status in words: 401 tells that the login was refused (or none
// given).
void describe_status(int status, char *out, size_t size)
{
    snprintf(out, size, status == 401 ? "login refused (HTTP %d)" : "HTTP %d", status % 1000);
}


}  // namespace

int format_clock(const SYSTEMTIME &time, char *out, size_t size)
{
    return snprintf(out, size, "%04u/%02u/%02u %02u:%02u:%02u", unsigned(time.wYear) % 10000,
                    unsigned(time.wMonth) % 100, unsigned(time.wDay) % 100, unsigned(time.wHour) % 100,
                    unsigned(time.wMinute) % 100, unsigned(time.wSecond) % 100);
}

void fail_outcome(FeedOutcome *outcome, const char *reason)
{
    outcome->kind = FeedFailed;
    outcome->items = 0;
    snprintf(outcome->reason, sizeof outcome->reason, "%s", reason ? reason : "");
    make_plain(outcome->reason);
}

void fail_outcome_here(FeedOutcome *outcome, const char *reason)
{
    fail_outcome(outcome, reason);
    outcome->feed_failed = false;
}

void outcome_of_download(const DownloadOutcome &download, FeedOutcome *outcome)
{
    *outcome = FeedOutcome();
    if (download.result == DownloadUnchanged) {
        outcome->kind = FeedUnchanged;
        return;
    }
    if (download.result == DownloadNotModified) {
        outcome->kind = FeedNotModified;
        return;
    }
    // An error status says more than what became of its page.
    if (download.failure != FailureStopped && download.status && (download.status < 200 || download.status > 299)) {
        char status[32];
        describe_status(download.status, status, sizeof status);
        fail_outcome(outcome, status);
        return;
    }
    const char *words = failure_words(download.failure);
    fail_outcome(outcome, words ? words : download.reason);
    if (download.error)
        snprintf(outcome->reason + strlen(outcome->reason), sizeof outcome->reason - strlen(outcome->reason),
                 " (error %lu)", download.error);
    if (download.failure == FailureStopped)
        outcome->kind = FeedStopped;
    outcome->feed_failed = download.failure != FailureOffline && download.failure != FailureLocal;
}

void outcome_of_conversion(int status, const ConversionReport &report, bool appended, FeedOutcome *outcome)
{
    *outcome = FeedOutcome();
    if (report.failure == ConversionRead) {
        outcome->filtered = report.filtered;
        if (report.items == 0) {
            outcome->kind = FeedNothingNew;
        } else if (appended) {
            outcome->kind = FeedDelivered;
            outcome->items = report.items;
        } else {
            fail_outcome(outcome, "stopped");
            outcome->kind = FeedStopped;
        }
        return;
    }
    // An error page is no feed: its status tells more than its parse.
    char reason[OutcomeReasonSize];
    if (status && (status < 200 || status > 299) && report.failure != ConversionNoRoom)
        describe_status(status, reason, sizeof reason);
    else if (report.failure == ConversionOddShape)
        snprintf(reason, sizeof reason, "a document of a shape no feed has: %s", report.detail);
    else if (report.failure == ConversionNoRoom)
        snprintf(reason, sizeof reason, "no room for the message: %s", report.detail);
    else
        snprintf(reason, sizeof reason, "not a feed: %s", report.detail);
    fail_outcome(outcome, reason);
    outcome->feed_failed = report.failure != ConversionNoRoom;
}

void set_aside_outcome(FeedOutcome *outcome, int every_hours, const SYSTEMTIME &until_local)
{
    *outcome = FeedOutcome();
    outcome->kind = FeedSetAside;
    outcome->feed_failed = false;
    if (!every_hours) {
        snprintf(outcome->reason, sizeof outcome->reason, "%s", PausedHereWords);
        return;
    }
    char until[24];
    format_clock(until_local, until, sizeof until);
    snprintf(outcome->reason, sizeof outcome->reason, "%s%d hours, next after %s)", NotDueWords, every_hours, until);
}

void pause_outcome(FeedOutcome *outcome, const SYSTEMTIME &until_local, int status)
{
    *outcome = FeedOutcome();
    char until[24];
    format_clock(until_local, until, sizeof until);
    int length = snprintf(outcome->reason, sizeof outcome->reason, "paused by the server until %s", until);
    if (status)
        snprintf(outcome->reason + length, sizeof outcome->reason - size_t(length), " (HTTP %d)", status % 1000);
    outcome->kind = FeedPaused;
}

int outcome_is_success(const FeedOutcome &outcome)
{
    return outcome.kind == FeedDelivered || outcome.kind == FeedNothingNew || outcome.kind == FeedUnchanged ||
           outcome.kind == FeedNotModified;
}

size_t describe_outcome(const FeedOutcome &outcome, char *out, size_t size)
{
    if (size == 0)
        return 0;
    int length;
    switch (outcome.kind) {
    case FeedDelivered:
        length = snprintf(out, size, "delivered %d item%s", outcome.items, outcome.items == 1 ? "" : "s");
        break;
    case FeedNothingNew:
        length = snprintf(out, size, "no new items");
        break;
    case FeedSetAside:
    case FeedPaused:
        length = snprintf(out, size, "%s", outcome.reason);
        break;
    case FeedUnchanged:
        length = snprintf(out, size, "unchanged (Last-Modified)");
        break;
    case FeedNotModified:
        length = snprintf(out, size, "unchanged (304 Not Modified)");
        break;
    case FeedStopped:
        length = snprintf(out, size, "%s", StoppedWords);
        break;
    case FeedMoved:
        length = snprintf(out, size, "%s%s from now on", MovedWords, outcome.reason);
        break;
    default:
        length = snprintf(out, size, "failed: %s", outcome.reason);
        break;
    }
    if (length >= 0 && size_t(length) < size && outcome.filtered &&
        (outcome.kind == FeedDelivered || outcome.kind == FeedNothingNew))
        length += snprintf(out + length, size - size_t(length), ", %d filtered", outcome.filtered);
    return length < 0 ? 0 : size_t(length) < size ? size_t(length) : size - 1;
}

size_t format_patrol_line(const SYSTEMTIME &local_time, const char *url, const FeedOutcome &outcome, char *out,
                          size_t size)
{
    const char LineEnd[] = "\r\n";
    char stamp[24];
    int stamp_length = format_clock(local_time, stamp, sizeof stamp);
    stamp[stamp_length++] = ' ';
    stamp[stamp_length] = '\0';
    if (size < size_t(stamp_length) + sizeof LineEnd)
        return 0;
    char words[OutcomeReasonSize + 40];
    size_t words_length = describe_outcome(outcome, words, sizeof words);
    // The room left for the address and the outcome, beside the line end.
    size_t room = size - sizeof LineEnd - size_t(stamp_length);
    memcpy(out, stamp, size_t(stamp_length));
    size_t at = size_t(stamp_length);
    size_t url_length = url ? strlen(url) : 0;
    size_t url_room = room > words_length + 1 ? room - words_length - 1 : 0;
    if (url_length > url_room)
        url_length = url_room;
    memcpy(out + at, url ? url : "", url_length);
    out[at + url_length] = '\0';
    // A control character in the address would break the line.
    make_single_line(out + at);
    at += strlen(out + at);
    int written = snprintf(out + at, size - sizeof LineEnd + 1 - at, " %s", words);
    at += written < 0 ? 0 : size_t(written) < size - sizeof LineEnd + 1 - at ? size_t(written)
                                                                              : size - sizeof LineEnd - at;
    memcpy(out + at, LineEnd, sizeof LineEnd);
    return at + sizeof LineEnd - 1;
}

namespace {

// Whether text begins with a time as format_clock writes it.
bool starts_with_clock(const char *text, size_t length)
{
    const char shape[] = "0000/00/00 00:00:00";
    if (length < sizeof shape - 1)
        return false;
    for (size_t i = 0; i < sizeof shape - 1; ++i)
        if (shape[i] == '0' ? text[i] < '0' || text[i] > '9' : text[i] != shape[i])
            return false;
    return true;
}

}  // namespace

int find_last_verdict(const char *text, size_t length, const char *url, std::string *stamp, std::string *words,
                      size_t *line_start)
{
    const size_t stamp_length = 19, url_length = strlen(url);
    const char *end = text + length;
    // From the last line back: the first that names url with a verdict.
    while (end > text) {
        const char *line_end = end;
        while (line_end > text && (line_end[-1] == '\n' || line_end[-1] == '\r'))
            --line_end;
        const char *line = line_end;
        while (line > text && line[-1] != '\n')
            --line;
        end = line;
        size_t line_length = size_t(line_end - line);
        if (line_length <= stamp_length + 1 + url_length + 1 || !starts_with_clock(line, line_length) ||
            line[stamp_length] != ' ' ||
            memcmp(line + stamp_length + 1, url, url_length) != 0 || line[stamp_length + 1 + url_length] != ' ')
            continue;
        const char *said = line + stamp_length + 1 + url_length + 1;
        size_t said_length = size_t(line_end - said);
        if ((said_length >= strlen(StoppedWords) && memcmp(said, StoppedWords, strlen(StoppedWords)) == 0) ||
            (said_length >= strlen(MovedWords) && memcmp(said, MovedWords, strlen(MovedWords)) == 0) ||
            (said_length >= strlen(NotDueWords) && memcmp(said, NotDueWords, strlen(NotDueWords)) == 0))
            continue;
        stamp->assign(line, stamp_length);
        words->assign(said, said_length);
        if (line_start)
            *line_start = size_t(line - text);
        return 1;
    }
    return 0;
}

int held_back_patrols(const char *text, size_t length, const char *url, int most)
{
    const std::string held = "no new items, ", filtered = " filtered";
    std::string stamp, words;
    int count = 0;
    for (size_t end = length; count < most && find_last_verdict(text, end, url, &stamp, &words, &end); ++count) {
        if (words.compare(0, held.size(), held) != 0 || words.size() < held.size() + filtered.size() ||
            words.compare(words.size() - filtered.size(), filtered.size(), filtered) != 0)
            break;
    }
    return count;
}

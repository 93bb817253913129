// Downloads one feed over HTTP through WinINet into the patrol's temporary
// file, unless the server's date says the feed has not changed since the
// last-seen timestamp or the server answers 304 to the validators kept from
// the feed's last download.
#include "download_outcome.h"

#include "base/addresses.h"
#include "base/process_values.h"
#include "base/scoped_handles.h"
#include "base/text_copy.h"
#include "feed/dates/http_date.h"
#include "feed/feed_converter.h"
#include "resources/version.h"

#include <wininet.h>

#include <atomic>
#include <cstdio>
#include <cstring>

namespace {

const char UserAgent[] = "kiv" KIV_VERSION_TEXT;
const DWORD ChunkSize = 1000;

// Bounds that keep one slow server from holding up the patrol: connecting,
// sending and every wait for response bytes give up after 10 s, and no
// request or read starts once 30 s have passed since the feed's download
// began. A feed thus takes well under a minute, whatever the server does.
const DWORD WaitLimitMilliseconds = 10000;
const DWORD FeedLimitMilliseconds = 30000;

// Real feeds are kilobytes to a few megabytes. A body beyond this is no feed:
// it would fill the disk, and the message buffer and the parsed document,
// several times its size, would crowd the mail client's address space.
const unsigned long MaxFeedBytes = 8ul << 20;

// Redirects are followed here rather than by WinINet, which on some
// platforms follows a redirect loop for ever; browsers give up after 20.
const int MaxRedirects = 10;

void set_wait_limits(HINTERNET handle)
{
    DWORD limit = WaitLimitMilliseconds;
    InternetSetOptionA(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &limit, sizeof limit);
    InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &limit, sizeof limit);
    InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &limit, sizeof limit);
}

// Sends a GET for url on the session, as opening the URL directly would (no
// cache), but through a connection whose waits are bounded: a request opened
// from the URL alone ignores time-outs on some platforms. Redirects are left
// to the caller. 1 when the response headers have arrived.
int send_request(HINTERNET session, const char *url, const char *headers, ScopedInternetHandle &connection,
                 ScopedInternetHandle &request)
{
    char host[INTERNET_MAX_HOST_NAME_LENGTH], user[INTERNET_MAX_USER_NAME_LENGTH],
        password[INTERNET_MAX_PASSWORD_LENGTH], path[INTERNET_MAX_PATH_LENGTH], extra[INTERNET_MAX_PATH_LENGTH];
    URL_COMPONENTSA parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
    parts.lpszUserName = user;
    parts.dwUserNameLength = sizeof user;
    parts.lpszPassword = password;
    parts.dwPasswordLength = sizeof password;
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof path;
    parts.lpszExtraInfo = extra;
    parts.dwExtraInfoLength = sizeof extra;
    if (!InternetCrackUrlA(url, 0, 0, &parts)) {
        SetLastError(ERROR_INTERNET_INVALID_URL);
        return 0;
    }
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) {
        flags |= INTERNET_FLAG_SECURE;
    } else if (parts.nScheme != INTERNET_SCHEME_HTTP) {
        SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
        return 0;
    }

    char object[2 * INTERNET_MAX_PATH_LENGTH];
    snprintf(object, sizeof object, "%s%s", path[0] ? path : "/", extra);
    request.reset(nullptr);
    connection.reset(InternetConnectA(session, host, parts.nPort, user[0] ? user : nullptr,
                                      password[0] ? password : nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.get())
        return 0;
    set_wait_limits(connection.get());
    // The request line and headers of a request opened from the URL.
    const char *accept[] = {"*/*", nullptr};
    request.reset(HttpOpenRequestA(connection.get(), "GET", object, nullptr, nullptr, accept, flags, 0));
    if (!request.get())
        return 0;
    set_wait_limits(request.get());
    return HttpSendRequestA(request.get(), headers, DWORD(strlen(headers)), nullptr, 0) ? 1 : 0;
}

// The address a redirect response sends the client to, made absolute, in
// next (INTERNET_MAX_URL_LENGTH + 1 bytes); 0 when the response is no
// redirect or names no address. permanent tells whether the move is for
// good (301, 308).
int redirect_target(HINTERNET request, const char *url, char *next, bool *permanent)
{
    DWORD status = 0, size = sizeof status;
    if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr))
        return 0;
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return 0;
    *permanent = status == 301 || status == 308;
    char location[INTERNET_MAX_URL_LENGTH + 1];
    size = sizeof location;
    if (!HttpQueryInfoA(request, HTTP_QUERY_LOCATION, location, &size, nullptr) || !location[0])
        return 0;
    size = INTERNET_MAX_URL_LENGTH + 1;
    return InternetCombineUrlA(url, location, next, &size, ICU_BROWSER_MODE) ? 1 : 0;
}

// What an error of the HTTP stack says of a failed request or read.
int failure_of(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_INVALID_URL:
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
        return FailureBadAddress;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
        return FailureHostNotFound;
    case ERROR_INTERNET_CANNOT_CONNECT:
        return FailureCannotConnect;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
        return FailureConnectionClosed;
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        return FailureBadResponse;
    case ERROR_INTERNET_TIMEOUT:
        return FailureTimedOut;
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
        return FailureCertificate;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
        return FailureSecureConnection;
    default:
        return FailureOther;
    }
}

int failed(DownloadOutcome *outcome, const char *reason, int failure = FailureOther, unsigned long error = 0)
{
    outcome->result = DownloadFailed;
    outcome->reason = reason;
    outcome->failure = failure;
    outcome->error = error;
    return DownloadFailed;
}

// A failed call of the HTTP stack, told by its error code.
int failed_call(DownloadOutcome *outcome, const char *reason)
{
    DWORD error = GetLastError();
    return failed(outcome, reason, failure_of(error), error);
}

// Requests url, following at most MaxRedirects redirects, none of them
// started after the feed's time is up. 1 when request holds the final
// response, whose address is then in outcome; 0 when there is none (no
// answer, a redirect that goes nowhere or on for ever), and outcome says why.
int open_request(HINTERNET session, const char *url, const char *headers, DWORD started,
                 ScopedInternetHandle &connection, ScopedInternetHandle &request, DownloadOutcome *outcome)
{
    char addresses[2][INTERNET_MAX_URL_LENGTH + 1];
    const char *current = url;
    bool moving = true;  // every redirect so far was permanent
    for (int redirects = 0;; ++redirects) {
        if (!send_request(session, current, headers, connection, request))
            return failed_call(outcome, "no response");
        char *next = addresses[redirects % 2];
        bool permanent = false;
        if (!redirect_target(request.get(), current, next, &permanent)) {
            copy_text(outcome->address, sizeof outcome->address, current);
            return 1;
        }
        moving = moving && permanent;
        if (moving)
            copy_text(outcome->moved_to, sizeof outcome->moved_to, next);
        if (redirects == MaxRedirects)
            return failed(outcome, "too many redirects", FailureTooManyRedirects);
        if (PatrolStopRequested)
            return failed(outcome, "stopped", FailureStopped);
        if (GetTickCount() - started >= FeedLimitMilliseconds)
            return failed(outcome, "time is up", FailureTimedOut);
        current = next;
    }
}

// 1 when the response's date header `query` says that the feed is not newer
// than last_seen. A missing header, or one that is not an HTTP date, says
// nothing, and the body is then downloaded.
int is_unchanged_by(HINTERNET request, DWORD query, const char *last_seen)
{
    char text[256];
    DWORD size = sizeof text;
    if (!HttpQueryInfoA(request, query, text, &size, nullptr))
        return 0;
    SYSTEMTIME sLastWriteTime;
    if (!parse_http_date(text, &sLastWriteTime))
        return 0;
    int newer = 0;
    int order = FeedConverter::compare_date_systemtime(&newer, &sLastWriteTime, last_seen);
    return order == 2 || (order == 1 && newer);
}

// The body length the response announces, 0 when it announces none (or
// nothing readable), and more than MaxFeedBytes for any larger figure. A
// connection that closed before it arrived gives a cut body, which the end
// of the reads does not tell apart.
unsigned long announced_length(HINTERNET request)
{
    char text[32];
    DWORD size = sizeof text;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr))
        return 0;
    unsigned long length = 0;
    for (const char *digit = text; *digit; ++digit) {
        if (*digit < '0' || *digit > '9')
            return 0;
        length = length * 10 + unsigned(*digit - '0');
        if (length > MaxFeedBytes)
            return MaxFeedBytes + 1;
    }
    return length;
}

// The response's header `query` as text, in value (size bytes); empty when
// it is missing or does not fit.
void query_header(HINTERNET request, DWORD query, char *value, DWORD size)
{
    if (!HttpQueryInfoA(request, query, value, &size, nullptr))
        value[0] = '\0';
}

int response_status(HINTERNET request)
{
    DWORD status = 0, size = sizeof status;
    return HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)
               ? int(status)
               : 0;
}

}  // namespace

int FeedConverter::download_feed(const char *url, const char *file_temp, const char *last_seen, const char *etag,
                                 const char *last_modified, DownloadOutcome *outcome)
{
    DWORD started = GetTickCount();
    *outcome = DownloadOutcome();
    // The connectivity check costs several milliseconds a call on some
    // platforms, more than a whole small download: a positive answer holds
    // for the next feeds of a few seconds, a negative one is asked again.
    const DWORD ConnectedHoldMilliseconds = 5000;
    static std::atomic<DWORD> connectedAt(0);  // the tick of the last positive answer; 0 for none
    DWORD answered = connectedAt;
    if (!answered || started - answered >= ConnectedHoldMilliseconds) {
        if (!InternetGetConnectedState(nullptr, 0) || InternetAttemptConnect(0) != ERROR_SUCCESS) {
            connectedAt = 0;
            return failed(outcome, "offline", FailureOffline);
        }
        connectedAt = started ? started : 1;
    }
    // Declared in this order so that they close request first, then session.
    ScopedInternetHandle session(InternetOpenA(UserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!session.get())
        return failed(outcome, "no session", FailureLocal);
    char headers[RequestHeadersSize];
    build_request_headers(etag, last_modified, headers, sizeof headers);
    ScopedInternetHandle connection, request;
    if (!open_request(session.get(), url, headers, started, connection, request, outcome))
        return DownloadFailed;
    outcome->status = response_status(request.get());
    if (outcome->status == 304)
        return outcome->result = DownloadNotModified;
    // No other status is examined: an error page is saved like a feed.
    if (is_unchanged_by(request.get(), HTTP_QUERY_LAST_MODIFIED, last_seen) ||
        is_unchanged_by(request.get(), HTTP_QUERY_IF_MODIFIED_SINCE, last_seen))
        return outcome->result = DownloadUnchanged;

    // A body announced beyond the bound is not read at all.
    unsigned long announced = announced_length(request.get());
    if (announced > MaxFeedBytes)
        return failed(outcome, "announced too large", FailureTooLarge);
    ScopedFile cOFStrm(fopen(file_temp, "wb"));  // the bytes as they came
    if (!cOFStrm.get())
        return failed(outcome, "cannot write the download file", FailureLocal);
    char chunk[ChunkSize];
    unsigned long total = 0;
    for (;;) {
        // A failed wait or read, a cut body, a body beyond the bound, a server
        // that is still sending when the feed's time is up, or a library
        // being unloaded: the feed counts as not downloaded.
        if (PatrolStopRequested)
            return failed(outcome, "stopped", FailureStopped);
        if (GetTickCount() - started >= FeedLimitMilliseconds)
            return failed(outcome, "time is up", FailureTimedOut);
        // Waiting for data first bounds each read by the wait limit; a read
        // alone may wait until the whole chunk has arrived.
        DWORD available = 0;
        if (!InternetQueryDataAvailable(request.get(), &available, 0, 0))
            return failed_call(outcome, "no data");
        DWORD ReadSize = 0;
        if (!InternetReadFile(request.get(), chunk, available && available < ChunkSize ? available : ChunkSize,
                              &ReadSize))
            return failed_call(outcome, "read failed");
        total += ReadSize;
        if (ReadSize == 0) {
            if (total < announced || total == 0)
                return total ? failed(outcome, "cut body", FailureConnectionClosed)
                             : failed(outcome, "empty body", FailureEmptyBody);
            // Validators of an error page would make its feed look unchanged.
            if (outcome->status == 200) {
                query_header(request.get(), HTTP_QUERY_ETAG, outcome->etag, ValidatorSize);
                query_header(request.get(), HTTP_QUERY_LAST_MODIFIED, outcome->last_modified, ValidatorSize);
            }
            // The body's own address, which may be relative to the request's.
            char location[AddressSize];
            query_header(request.get(), HTTP_QUERY_CONTENT_LOCATION, location, sizeof location);
            if (location[0])
                resolve_address(outcome->address, location, outcome->address, sizeof outcome->address);
            outcome->size = total;
            return outcome->result = Downloaded;
        }
        if (total > MaxFeedBytes)
            return failed(outcome, "too large", FailureTooLarge);
        // Stored whole: a feed in UTF-16 or UTF-32 holds zero bytes, and the
        // reading of the file decides where the text ends.
        fwrite(chunk, 1, ReadSize, cOFStrm.get());
        fflush(cOFStrm.get());
    }
}

// Downloads one feed over HTTP through WinINet into the patrol's temporary
// file, unless the server's date says the feed has not changed since the
// last-seen timestamp or the server answers 304 to the validators kept from
// the feed's last download.
#include "content_coding.h"
#include "credentials.h"
#include "download_outcome.h"
#include "inflate.h"
#include "retry_after.h"

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

// The product token that servers have always seen, and who sends it.
const char UserAgent[] = "kiv" KIV_VERSION_TEXT " (" KIV_USER_AGENT_COMMENT ")";
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
// from the URL alone ignores time-outs on some platforms. The connection
// logs in with user and password (empty: none), whatever the address says.
// Redirects are left to the caller. 1 when the response headers have arrived.
int send_request(HINTERNET session, const char *url, const char *headers, const char *user_name,
                 const char *user_password, ScopedInternetHandle &connection, ScopedInternetHandle &request)
{
    char host[INTERNET_MAX_HOST_NAME_LENGTH], path[INTERNET_MAX_PATH_LENGTH], extra[INTERNET_MAX_PATH_LENGTH];
    URL_COMPONENTSA parts;
    memset(&parts, 0, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof host;
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
    connection.reset(InternetConnectA(session, host, parts.nPort, user_name[0] ? user_name : nullptr,
                                      user_name[0] ? user_password : nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection.get())
        return 0;
    set_wait_limits(connection.get());
    // Accept is among the extra headers.
    request.reset(HttpOpenRequestA(connection.get(), "GET", object, nullptr, nullptr, nullptr, flags, 0));
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

// 1 when both addresses name the same scheme, host and port.
int same_origin(const char *first, const char *second)
{
    char hosts[2][INTERNET_MAX_HOST_NAME_LENGTH];
    URL_COMPONENTSA parts[2];
    const char *urls[2] = {first, second};
    for (int i = 0; i < 2; ++i) {
        memset(&parts[i], 0, sizeof parts[i]);
        parts[i].dwStructSize = sizeof parts[i];
        parts[i].lpszHostName = hosts[i];
        parts[i].dwHostNameLength = sizeof hosts[i];
        if (!InternetCrackUrlA(urls[i], 0, 0, &parts[i]))
            return 0;
    }
    return parts[0].nScheme == parts[1].nScheme && parts[0].nPort == parts[1].nPort &&
           lstrcmpiA(hosts[0], hosts[1]) == 0;
}

// Requests url, following at most MaxRedirects redirects, none of them
// started after the feed's time is up. 1 when request holds the final
// response, whose address is then in outcome; 0 when there is none (no
// answer, a redirect that goes nowhere or on for ever), and outcome says why.
int open_request(HINTERNET session, const char *url, const char *headers, DWORD started,
                 ScopedInternetHandle &connection, ScopedInternetHandle &request, DownloadOutcome *outcome)
{
    // The address's user and password go to its own scheme, host and port
    // only, never along a redirect elsewhere.
    char user[CredentialSize], password[CredentialSize];
    address_credentials(url, user, password);
    char addresses[2][INTERNET_MAX_URL_LENGTH + 1];
    const char *current = url;
    bool moving = true;  // every redirect so far was permanent
    for (int redirects = 0;; ++redirects) {
        bool own = redirects == 0 || same_origin(url, current);
        if (!send_request(session, current, headers, own ? user : "", own ? password : "", connection, request))
            return failed_call(outcome, "no response");
        char *next = addresses[redirects % 2];
        bool permanent = false;
        if (!redirect_target(request.get(), current, next, &permanent)) {
            hide_password(current, outcome->address, sizeof outcome->address, CredentialsLeftOut);
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

// The coding of the response's body; one whose name does not fit the
// buffer is none that is read. Asked for by name: Wine answers the numbered
// query with Content-Type.
int response_coding(HINTERNET request)
{
    char coding[64] = "Content-Encoding";
    DWORD size = sizeof coding;
    if (HttpQueryInfoA(request, HTTP_QUERY_CUSTOM, coding, &size, nullptr))
        return content_coding(coding);
    return GetLastError() == ERROR_HTTP_HEADER_NOT_FOUND ? CodingIdentity : CodingUnreadable;
}

// The body as it arrives: each read bounded by the wait limit, none started
// once the feed's time is up or the patrol stops, the whole beyond the
// bound refused. The reads' source for inflate_stream.
struct BodyReader {
    HINTERNET request;
    DWORD started;
    DownloadOutcome *outcome;
    unsigned long received;
};

// Bytes read into buffer, 0 at the body's end, -1 when the feed fails
// (outcome says why).
int read_body(void *context, unsigned char *buffer, unsigned size)
{
    BodyReader &body = *static_cast<BodyReader *>(context);
    if (PatrolStopRequested)
        return failed(body.outcome, "stopped", FailureStopped), -1;
    if (GetTickCount() - body.started >= FeedLimitMilliseconds)
        return failed(body.outcome, "time is up", FailureTimedOut), -1;
    // Waiting for data first bounds each read by the wait limit; a read
    // alone may wait until the whole chunk has arrived.
    DWORD available = 0;
    if (!InternetQueryDataAvailable(body.request, &available, 0, 0))
        return failed_call(body.outcome, "no data"), -1;
    DWORD ReadSize = 0;
    if (!InternetReadFile(body.request, buffer, available && available < size ? available : size, &ReadSize))
        return failed_call(body.outcome, "read failed"), -1;
    body.received += ReadSize;
    if (body.received > MaxFeedBytes)
        return failed(body.outcome, "too large", FailureTooLarge), -1;
    return int(ReadSize);
}

// The body as it is stored: its decoded bytes, at most MaxFeedBytes.
struct BodyFile {
    FILE *file;
    DownloadOutcome *outcome;
    unsigned long total;
};

int store_body(void *context, const unsigned char *bytes, unsigned size)
{
    BodyFile &body = *static_cast<BodyFile *>(context);
    if (size > MaxFeedBytes - body.total)
        return failed(body.outcome, "too large", FailureTooLarge), 0;
    body.total += size;
    // Stored whole: a feed in UTF-16 or UTF-32 holds zero bytes, and the
    // reading of the file decides where the text ends.
    fwrite(bytes, 1, size, body.file);
    fflush(body.file);
    return 1;
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
    // Closing a request hands its connection to WinINet's pool of kept
    // connections, which on some platforms asks for the loader's lock while
    // it holds the pool's: while the library is being unloaded under that
    // lock, the download would stall there and the pool stay locked for the
    // host. A download that ends then leaves its handles open instead (a
    // socket or two until the process ends).
    struct KeptOpenWhileUnloading {
        ScopedInternetHandle *handles[3];
        ~KeptOpenWhileUnloading()
        {
            if (PatrolStopRequested)
                for (ScopedInternetHandle *handle : handles)
                    handle->release();
        }
    } kept{{&request, &connection, &session}};
    if (!open_request(session.get(), url, headers, started, connection, request, outcome))
        return DownloadFailed;
    outcome->status = response_status(request.get());
    if (outcome->status == 304)
        return outcome->result = DownloadNotModified;
    if (outcome->status == 429 || outcome->status == 503) {
        char wish[64];
        query_header(request.get(), HTTP_QUERY_RETRY_AFTER, wish, sizeof wish);
        SYSTEMTIME now;
        GetSystemTime(&now);
        outcome->pause_seconds = retry_after_seconds(wish, now);
        if (outcome->pause_seconds)
            return failed(outcome, "paused by the server", FailurePaused);
    }
    // Validators of an error page would make its feed look unchanged. Kept
    // for a feed unchanged by its date too: without them its server would
    // send the whole body at every patrol.
    if (outcome->status == 200) {
        query_header(request.get(), HTTP_QUERY_ETAG, outcome->etag, ValidatorSize);
        query_header(request.get(), HTTP_QUERY_LAST_MODIFIED, outcome->last_modified, ValidatorSize);
    }
    // No other status is examined: an error page is saved like a feed.
    if (is_unchanged_by(request.get(), HTTP_QUERY_LAST_MODIFIED, last_seen) ||
        is_unchanged_by(request.get(), HTTP_QUERY_IF_MODIFIED_SINCE, last_seen))
        return outcome->result = DownloadUnchanged;

    // A body announced beyond the bound is not read at all.
    unsigned long announced = announced_length(request.get());
    if (announced > MaxFeedBytes)
        return failed(outcome, "announced too large", FailureTooLarge);
    int coding = response_coding(request.get());
    if (coding == CodingUnreadable)
        return failed(outcome, "unreadable coding", FailureUnreadableCoding);
    ScopedFile cOFStrm(fopen(file_temp, "wb"));  // the decoded bytes
    if (!cOFStrm.get())
        return failed(outcome, "cannot write the download file", FailureLocal);
    // A failed wait or read, a cut body, a body beyond the bound, a server
    // that is still sending when the feed's time is up, or a library being
    // unloaded: the feed counts as not downloaded.
    BodyReader body = {request.get(), started, outcome, 0};
    BodyFile stored = {cOFStrm.get(), outcome, 0};
    if (coding == CodingIdentity) {
        unsigned char chunk[ChunkSize];
        for (int got; (got = read_body(&body, chunk, ChunkSize)) != 0;)
            if (got < 0 || !store_body(&stored, chunk, unsigned(got)))
                return DownloadFailed;
        // A connection that closed early gives a cut body, which the end of
        // the reads does not tell apart from a whole one.
        if (stored.total && stored.total < announced)
            return failed(outcome, "cut body", FailureConnectionClosed);
    } else {
        // The bound holds for the decoded body; the announced length is the
        // coded one, and the coded data tell their own end.
        switch (inflate_stream(coding == CodingGzip ? InflateGzip : InflateDeflate, read_body, &body, store_body,
                               &stored)) {
        case InflateDone:
            break;
        case InflateBroken:
            return failed(outcome, "broken coding", FailureBrokenCoding);
        case InflateCut:
            if (body.received)
                return failed(outcome, "cut body", FailureConnectionClosed);
            break;  // no body at all
        case InflateNoMemory:
            return failed(outcome, "out of memory", FailureLocal);
        default:
            return DownloadFailed;  // the reads or the store said why
        }
    }
    if (stored.total == 0)
        return failed(outcome, "empty body", FailureEmptyBody);
    // The body's own address, which may be relative to the request's.
    char location[AddressSize];
    query_header(request.get(), HTTP_QUERY_CONTENT_LOCATION, location, sizeof location);
    if (location[0])
        resolve_address(outcome->address, location, outcome->address, sizeof outcome->address);
    outcome->size = stored.total;
    return outcome->result = Downloaded;
}

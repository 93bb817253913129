// What one feed download came to, and the request headers it sends.
#pragma once
#include "base/addresses.h"

#include <cstddef>

enum DownloadResult {
    DownloadFailed = 0,      // nothing usable; reason says why
    Downloaded = 1,          // the body is in the file
    DownloadUnchanged = 2,   // the server's date is not after the last-seen timestamp
    DownloadNotModified = 3, // the server answered 304 to the validators sent
};

enum {
    ValidatorSize = 256,        // a kept ETag or Last-Modified text and its NUL
    RequestHeadersSize = 800,   // every extra header of a request
};

// Why a download failed, for the patrol log and the failing-feed notice.
enum DownloadFailure {
    FailureOther = 0,          // reason tells
    FailureOffline,
    FailureBadAddress,         // not an http or https address
    FailureHostNotFound,
    FailureCannotConnect,
    FailureConnectionClosed,   // the connection broke off before the response or the whole body
    FailureTimedOut,
    FailureCertificate,        // the server's certificate was refused
    FailureTooLarge,
    FailureTooManyRedirects,
    FailureEmptyBody,
    FailureStopped,            // the patrol stopped in the middle of the feed
    FailureLocal,              // this computer failed (memory, files, threads): reason tells
    FailureSecureConnection,   // no secure connection could be made
    FailureBadResponse,        // the server's answer was no HTTP response
    FailureBrokenCoding,       // a gzip or deflate body that does not decode
    FailureUnreadableCoding,   // a body in a coding that was not asked for
    FailurePaused,             // a 429 or 503 asked for a pause: pause_seconds
};

struct DownloadOutcome {
    int result = DownloadFailed;
    unsigned long size = 0;            // body bytes in the file, when Downloaded
    const char *reason = "";           // a fixed text, when DownloadFailed
    int failure = FailureOther;        // when DownloadFailed
    unsigned long error = 0;           // the HTTP stack's error code behind failure, 0 when none
    int status = 0;                    // the final response's HTTP status, when one arrived
    long pause_seconds = 0;            // when FailurePaused: how long the server asked to be left alone
    char etag[ValidatorSize] = "";     // the response's validators, when Downloaded or DownloadUnchanged
    char last_modified[ValidatorSize] = "";
    // Where the body came from, when Downloaded: its Content-Location, made
    // absolute, else the address after redirects, without user and
    // password. Relative links in the feed are relative to it.
    char address[AddressSize] = "";
    // Where the requested address has moved for good, when the download
    // arrived and its first redirects were permanent (301, 308): the address
    // the last of them named. Empty when the first answer was no permanent
    // redirect.
    char moved_to[AddressSize] = "";
};

// The extra headers of every feed request: Accept with the feed types,
// Accept-Encoding with gzip and deflate, and If-None-Match and
// If-Modified-Since with the validators kept from the feed's last download
// (null or empty: not sent; text with line breaks or beyond a header's room
// is not sent either). Writes at most size bytes, a header that does not fit
// whole left out; the length written, or 0 when size cannot hold even the
// fixed headers.
size_t build_request_headers(const char *etag, const char *last_modified, char *out, size_t size);

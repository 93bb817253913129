// JSON Feed (1.0 and 1.1), known by its content whatever the server calls
// it, read into an Atom document of the same items, so that everything after
// the reading (each item once by its key, dates, both forms of message, the
// bounds and code page of texts) holds for it as for any feed.
#pragma once
#include "feed_document.h"

#include <cstddef>

class TiXmlDocument;

// The most a JSON document may ask of the reader besides the download
// bound: the nesting and the values of an XML document's bounds, and a
// string no feed's text comes near.
enum {
    MaxJsonDepth = MaxElementDepth,
    MaxJsonValues = MaxDocumentNodes,
    MaxJsonString = 1 << 20,
    // The start of an untitled item's text that titles it, in bytes.
    UntitledTitleLength = 100,
};

enum JsonFeedResult {
    NoJson = 0,      // the file does not start as JSON: read it as XML
    JsonFeedRead,    // document holds the feed
    JsonNotFeed,     // JSON that does not parse, or is no JSON Feed
    JsonOddShape,    // beyond the bounds above, refused unread
};

// Reads file_path as a JSON Feed into document when its first character
// (after a UTF-8 byte order mark and white space) opens a JSON object or
// array: a JSON Feed is an object whose version starts with
// "https://jsonfeed.org/version/" (or "http://"), or is "1", "1.0" or "1.1"
// beside an array of items. On JsonNotFeed and JsonOddShape, why (why_size
// bytes) says why.
// The mapping: the feed's title, home_page_url and description become the
// feed's title, link and subtitle; each object of items an entry with its id
// (a number read as its digits), url (else external_url) as its link, title
// (else the start of its text), content_html (as HTML), else content_text,
// else summary (as text), date_published (else date_modified), tags joined
// as its subject, attachments as Media RSS content with their url,
// mime_type, size_in_bytes, duration_in_seconds and title.
int read_json_feed(const char *file_path, TiXmlDocument *document, char *why, size_t why_size);

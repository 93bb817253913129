// The feed converter: download, recognition, field extraction, timestamps and
// message composition. A stateless object: every operation works only on its
// arguments and on caller-supplied buffers.
#pragma once
#include "native/platform.h"

#include <cstddef>
#include <tinyxml.h>

// Feed types.
enum {
    FeedUnknown = 0,
    FeedRss10 = 1,
    FeedRss20 = 3,
    FeedAtom = 4,
    FeedRss091 = 5,
};

// Encoding codes: which host conversion the texts of a feed need.
enum {
    EncodingNone = 0,
    EncodingEucJp = 1,
    EncodingUtf8 = 2,
};

enum {
    TextFieldSize = 512,     // one extracted text, at most 511 bytes
    NewestTimestampSize = 125,
    MessageSlack = 100,      // the message buffer is the download size plus this
    FormatLimit = 1024,      // wsprintfA writes at most 1,023 characters and a NUL
    MailDateSize = 25,       // a Date header value: 24 characters and a NUL
    ItemDateSize = 26,       // a completed item date: 25 characters and a NUL
};

extern const char *const month_list[12];

struct ConversionReport;
struct DownloadOutcome;
struct ItemFilter;
struct ItemMemory;
struct MessageBuffer;

class FeedConverter {
public:
    // HTTP retrieval (Windows build only) into file_temp, sending back the
    // validators etag and last_modified (each may be null); the result
    // (download_outcome.h), also in outcome with the body size or the reason.
    static int download_feed(const char *url, const char *file_temp, const char *last_seen, const char *etag,
                             const char *last_modified, DownloadOutcome *outcome);

    // Recognition and child lookups.
    static int get_feed_type(TiXmlHandle docHandle);
    static int get_feed_encoding(TiXmlHandle docHandle);
    static TiXmlElement *get_first_item(TiXmlHandle docHandle, int feed_type);
    static TiXmlElement *find_child_element(TiXmlHandle parent, const char *name);
    static int get_child_text(TiXmlHandle parent, const char *name, const char **text);
    static int copy_child_text(TiXmlHandle parent, const char *name, char *field);

    // Field extraction. Titles, descriptions and subjects are read as a
    // person reads them (html_text.h). address, when given, is the address
    // the document came from: relative links are made absolute against it,
    // or against the xml:base around them.
    static int get_title(TiXmlHandle parent, int encoding, int feed_type, char *field);
    static int get_link(TiXmlHandle parent, int feed_type, char *field, const char *address = nullptr);
    static int get_description(TiXmlHandle parent, int encoding, int feed_type, char *field);
    static int get_item_description(TiXmlHandle parent, int encoding, int feed_type, char **description,
                                    const char *address = nullptr);
    static int get_subject(TiXmlHandle parent, int encoding, int feed_type, char *field);
    // What rules look at besides the fields a message shows: the item's
    // author, and its subject with its categories, one a line.
    static int get_author(TiXmlHandle parent, int encoding, int feed_type, char *field);
    static int get_categories(TiXmlHandle parent, int encoding, int feed_type, char *field);

    // Timestamps.
    static int is_date_length(const char *text);
    static int is_valid_date(const char *text);
    static int date_to_systemtime(SYSTEMTIME *record, const char *text);
    static int check_systemtime(const SYSTEMTIME *record);
    static int compare_systemtime(const SYSTEMTIME **later, const SYSTEMTIME *a, const SYSTEMTIME *b);
    static int compare_date(const char **date_newer, const char *a, const char *b);
    static int compare_date_systemtime(int *stime_newer, const SYSTEMTIME *record, const char *text);
    static int format_mail_date(const char *text, char *out);
    // An item's date from dc:date (RSS) or modified (Atom) as it stands, else
    // from the elements that feeds write beside them (read/item_dates.h),
    // normalised; out holds ItemDateSize bytes.
    static int get_item_date(TiXmlHandle item, int feed_type, char *out);

    // Message composition. message_size is the capacity of message; newest
    // holds NewestTimestampSize bytes. A message that would not fit ends
    // after the last whole item block that does.
    // memory, when given, holds the feed's remembered item keys on the way
    // in and those to remember after this document on the way out (see
    // item_walk.h), also when nothing is new. report, when given, tells what came of it.
    // address, when given, is the address the document came from (after
    // redirects, or the response's Content-Location), which relative links
    // are resolved against.
    // filter, when given, holds the feed's rules: a new item they hold back
    // is remembered as delivered, and counted in report's filtered.
    static int convert_feed(char *message, size_t message_size, const char *file_path,
                            const char *last_seen, char *newest, ItemMemory *memory = nullptr,
                            ConversionReport *report = nullptr, const char *address = nullptr,
                            const ItemFilter *filter = nullptr);
    static int convert_items(TiXmlHandle item, MessageBuffer *message, const char *last_seen,
                             char *newest, int encoding, int feed_type, ItemMemory *memory = nullptr,
                             const char *address = nullptr, const ItemFilter *filter = nullptr,
                             int *filtered = nullptr);
    // out holds FormatLimit bytes.
    static int format_from(const char *link, char *out);
    static int format_subject(const char *title, const char *description, char *out);
};

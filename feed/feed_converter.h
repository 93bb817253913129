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

// The most a feed document may ask of the parser; no feed comes near them.
// The parser's recursion costs the worker's 1 MiB stack some 80 to 100 bytes
// an element level (it overflows at about 12,000 levels), and an attribute is
// checked against all the others of its element. The node bound lets through
// every feed that fits the 8 MiB download bound with at least 8 bytes of text
// a node ("<a>x</a>" is two nodes in 8 bytes; a real item's elements take
// several times that). The costliest node, an empty element, takes 140 bytes
// and the heap's own in the 32-bit build, so no document's tree passes about
// 150 MB.
enum {
    MaxElementDepth = 256,
    MaxElementAttributes = 64,
    MaxDocumentNodes = (8 << 20) / 8,   // nodes and attributes together
};

// What a document asks of the parser: its deepest element nesting (a root
// alone is 1), the most attributes on one element, and its nodes and
// attributes in all.
struct DocumentShape {
    size_t depth = 0;
    size_t attributes = 0;
    size_t nodes = 0;
};

// The last-seen timestamp of a feed that never delivered anything.
extern const char DefaultTimestamp[];
extern const char *const month_list[12];

// The message under composition: the caller's buffer, its capacity and how
// much of it is written, so that every piece is appended where the last one
// ended and never past the capacity. `reserve` bytes at the end are kept for
// the message's closing line end.
struct MessageBuffer {
    char *text;
    size_t size;
    size_t length;
    size_t reserve;
};

// What one conversion came to: the items that went into the message, or
// why the document was not read as a feed. detail is a bounded ASCII text:
// the parser's error and where, the bound the document passed, or the root
// element that no feed has.
enum ConversionFailure {
    ConversionRead = 0,       // read as a feed; items tells how many are in the message
    ConversionNotXml,         // the parser refused it
    ConversionOddShape,       // beyond the document bounds, refused unparsed
    ConversionNotFeed,        // well-formed, but not a kind of feed KIV reads
    ConversionNoRoom,         // not even the message's head fits its buffer
};
enum { ConversionDetailSize = 128 };
struct ConversionReport {
    int items = 0;
    int failure = ConversionRead;
    char detail[ConversionDetailSize] = "";
};

struct ItemMemory;
struct DownloadOutcome;

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
    // The element that holds the feed's own title, link and description:
    // the channel, or Atom's feed.
    static TiXmlHandle get_channel(TiXmlHandle docHandle, int feed_type);
    static TiXmlElement *get_first_item(TiXmlHandle docHandle, int feed_type);
    static TiXmlElement *find_child_element(TiXmlHandle parent, const char *name);
    static int get_child_text(TiXmlHandle parent, const char *name, const char **text);
    static int copy_child_text(TiXmlHandle parent, const char *name, char *field);

    // Loads a feed file into document as TiXmlDocument::LoadFile would;
    // 1 when it parsed without error. A document beyond the bounds above is
    // refused unparsed. On 0, failure (when given) says why: the parser's
    // error description or the bound the document passed.
    static int load_feed_document(TiXmlDocument *document, const char *file_path, const char **failure = nullptr);
    // Measures text as the parser would read it, without parsing it; 1 when
    // it is within every bound. The measure stops at the first bound passed.
    static int measure_document(const char *text, DocumentShape *shape);
    // The steps of load_feed_document besides the measure. The file's text
    // as LoadFile reads it (line ends made LF, ending at its first NUL, zero
    // bytes behind it), to be freed with free(); null with the error in
    // document. And the parse of a text into document, 1 without error.
    static char *read_feed_text(TiXmlDocument *document, const char *file_path);
    static int parse_feed_text(TiXmlDocument *document, const char *text);

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
    // from the elements that feeds write beside them, normalised; out holds
    // ItemDateSize bytes.
    static int get_item_date(TiXmlHandle item, int feed_type, char *out);
    static int get_fallback_item_date(TiXmlHandle item, int feed_type, char *out);
    // A date written as RFC 822 or RFC 3339 text, as the long timestamp
    // text, in out (ItemDateSize bytes); 0 and the empty text when unreadable.
    static int normalise_date(const char *text, char *out);

    // Message composition. message_size is the capacity of message; newest
    // holds NewestTimestampSize bytes. A message that would not fit ends
    // after the last whole item block that does.
    // memory, when given, holds the feed's remembered item keys on the way
    // in and those to remember after this document on the way out (see
    // item_walk.h), also when nothing is new. report, when given, tells what came of it.
    // address, when given, is the address the document came from (after
    // redirects, or the response's Content-Location), which relative links
    // are resolved against.
    static int convert_feed(char *message, size_t message_size, const char *file_path,
                            const char *last_seen, char *newest, ItemMemory *memory = nullptr,
                            ConversionReport *report = nullptr, const char *address = nullptr);
    static int convert_items(TiXmlHandle item, MessageBuffer *message, const char *last_seen,
                             char *newest, int encoding, int feed_type, ItemMemory *memory = nullptr,
                             const char *address = nullptr);
    // out holds FormatLimit bytes.
    static int format_from(const char *link, char *out);
    static int format_subject(const char *title, const char *description, char *out);
};

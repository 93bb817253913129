// The pieces that both forms of message are made of: the feed document read
// with its own fields, the header block, an item's block, and the bounded
// appends that put them into a message buffer.
#pragma once
#include "message_composition.h"

#include "feed/feed_converter.h"
#include "feed/read/item_enclosures.h"

#include <cstddef>

struct WalkedItem;

// A feed file read and recognised, and the feed's own title, link and
// description (empty when absent).
struct OpenedFeed {
    TiXmlDocument document;
    int feed_type = FeedUnknown;
    int encoding = EncodingNone;
    char title[TextFieldSize] = "";
    char link[TextFieldSize] = "";
    char description[TextFieldSize] = "";
};

// Loads and recognises file_path into feed; 1 when it is a feed KIV reads.
// Otherwise 0, and report (when given) says why. address: as convert_feed's.
int open_feed(OpenedFeed *feed, const char *file_path, ConversionReport *report, const char *address);
// Says in report why the document was not converted: failure and a text,
// cleaned to one line of ASCII, with the place of a parser error.
void report_failure(ConversionReport *report, int failure, const char *text, int row = 0, int column = 0);

// Appends bytes where the message ends, keeping its reserve free: 0 and
// nothing written when they do not fit.
int append_bytes(MessageBuffer *message, const char *bytes, size_t length);
int append_text(MessageBuffer *message, const char *text);

enum {
    HeaderBlockSize = 3 * FormatLimit,  // room for the longest values of every header line
    DateLineSize = 35,
};

// The header lines, each ending in CR LF, and the blank line after them:
// Date (date: 24 characters), From, Subject, To and, when message_id is
// given, Message-ID. out holds HeaderBlockSize bytes.
void format_header_block(char *out, const char *date, const char *from, const char *subject,
                         const char *message_id);
// The Date header's value of a timestamp text into out (MailDateSize bytes):
// 1 when it converts, with a control character made a space so that the
// value keeps its length.
int format_header_date(const char *timestamp, char *out);
// Takes the item's date into newest (NewestTimestampSize bytes) when it is
// later than the date there, or when newest holds none: newest ends as the
// latest valid date of the items delivered, by UTC, in its item's own form.
void keep_newest(char *newest, const WalkedItem &item);
// The current UTC time as a timestamp text (NewestTimestampSize bytes).
void utc_now_timestamp(char *out);

// What an item block shows of one item, read from the feed.
struct ItemFields {
    char date_line[DateLineSize];   // the item's date with "/" and a space, or empty
    char title[TextFieldSize];
    char link[TextFieldSize];
    char subject[TextFieldSize];
    char *description = nullptr;    // a heap copy, or none
    char enclosures[EnclosureLinesSize];  // their lines, or empty
    ItemFields() { enclosures[0] = '\0'; }
    ItemFields(const ItemFields &) = delete;
    ItemFields &operator=(const ItemFields &) = delete;
    ~ItemFields();
};

void read_item_fields(const WalkedItem &item, int encoding, int feed_type, const char *address, ItemFields *fields);
// Appends the item's block whole, or leaves the message as it was.
int append_item_block(MessageBuffer *message, const ItemFields &fields);
// The bytes the item's block takes, without a terminator.
size_t item_block_length(const ItemFields &fields);

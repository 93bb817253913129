#include "message_pieces.h"
#include "item_walk.h"

#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/read/code_pages.h"
#include "feed/read/feed_document.h"
#include "feed/read/feed_recognition.h"
#include "feed/read/json_feed.h"
#include "resources/version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// A channel text in UTF-8. A title comes in the host's code page (`ansi`),
// made so for the message; a link is mostly ASCII, and its bytes are taken
// as UTF-8 when they are. Empty when it cannot be converted.
std::string utf8_text(const char *text, bool ansi)
{
    std::string out;
    size_t length = strlen(text);
    if (!ansi && is_valid_utf8(text, length))
        out.assign(text, length);
    else if (!convert_to_utf8(CP_ACP, text, length, &out))
        out.clear();
    return out;
}

// The root element of a document that is no feed, and its version, as the
// recognition saw them.
void report_unknown_root(ConversionReport *report, TiXmlHandle docHandle)
{
    if (!report)
        return;
    TiXmlElement *root = docHandle.FirstChildElement().Element();
    char text[ConversionDetailSize];
    const char *version = root ? root->Attribute("version") : nullptr;
    if (!root)
        snprintf(text, sizeof text, "no root element");
    else if (version)
        snprintf(text, sizeof text, "root element <%.40s version=\"%.16s\">", root->Value(), version);
    else
        snprintf(text, sizeof text, "root element <%.40s>", root->Value());
    report_failure(report, ConversionNotFeed, text);
}

// The pieces of an item block in order: the date line, the title with the
// subject in brackets, the link and, when there are any, the description
// and the enclosures' lines.
enum { ItemBlockPieces = 12 };
void item_block_pieces(const ItemFields &fields, const char *pieces[ItemBlockPieces])
{
    const char *description = fields.description;
    bool enclosures = fields.enclosures[0] != '\0';
    const char *layout[ItemBlockPieces] = {
        fields.date_line, "\n", fields.title, " [ ", fields.subject, " ]\n", fields.link,
        description ? "\n" : "", description ? description : "", enclosures ? "\n" : "", fields.enclosures, "\n\n",
    };
    memcpy(pieces, layout, sizeof layout);
}

}  // namespace

int open_feed(OpenedFeed *feed, const char *file_path, ConversionReport *report, const char *address)
{
    // A JSON Feed becomes an Atom document of its items; any other JSON is
    // refused with what the JSON reader found, not with an XML error.
    char why[ConversionDetailSize];
    int json = read_json_feed(file_path, &feed->document, why, sizeof why);
    if (json == JsonNotFeed || json == JsonOddShape) {
        report_failure(report, json == JsonNotFeed ? ConversionNotFeed : ConversionOddShape, why);
        return 0;
    }
    const char *failure = nullptr;
    if (json == NoJson && !load_feed_document(&feed->document, file_path, &failure)) {
        // A document refused by its shape was never parsed, so the parser
        // holds no error.
        if (feed->document.Error())
            report_failure(report, ConversionNotXml, failure, feed->document.ErrorRow(), feed->document.ErrorCol());
        else
            report_failure(report, ConversionOddShape, failure);
        return 0;
    }
    TiXmlHandle docHandle(&feed->document);
    feed->feed_type = FeedConverter::get_feed_type(docHandle);
    if (feed->feed_type == FeedUnknown) {
        report_unknown_root(report, docHandle);
        return 0;
    }
    feed->encoding = FeedConverter::get_feed_encoding(docHandle);
    TiXmlHandle hChannel = get_channel(docHandle, feed->feed_type);
    FeedConverter::get_title(hChannel, feed->encoding, feed->feed_type, feed->title);
    FeedConverter::get_link(hChannel, feed->feed_type, feed->link, address);
    FeedConverter::get_description(hChannel, feed->encoding, feed->feed_type, feed->description);
    if (report) {
        report->title = utf8_text(feed->title, true);
        report->site = utf8_text(feed->link, false);
    }
    return 1;
}

// The parser's texts read "Error parsing Element." and the bounds' alike:
// the word "Error" and the full stop are left out, the place of a parser
// error added.
void report_failure(ConversionReport *report, int failure, const char *text, int row, int column)
{
    if (!report)
        return;
    report->failure = failure;
    if (!text)
        text = "";
    if (strncmp(text, "Error ", 6) == 0)
        text += 6;
    size_t length = strlen(text);
    if (length && text[length - 1] == '.')
        --length;
    // A longer text is cut at the buffer's end.
    if (row > 0)
        snprintf(report->detail, sizeof report->detail, "%.*s at line %d, column %d", int(length), text, row, column);
    else
        snprintf(report->detail, sizeof report->detail, "%.*s", int(length), text);
    for (char *c = report->detail; *c; ++c)
        if ((unsigned char)*c < 0x20 || (unsigned char)*c >= 0x7f)
            *c = '?';
}

int append_bytes(MessageBuffer *message, const char *bytes, size_t length)
{
    if (message->size < message->reserve + 1 ||
        length > message->size - message->reserve - 1 - message->length)
        return 0;
    memcpy(message->text + message->length, bytes, length);
    message->length += length;
    message->text[message->length] = '\0';
    return 1;
}

int append_text(MessageBuffer *message, const char *text) { return append_bytes(message, text, strlen(text)); }

void format_header_block(char *out, const char *date, const char *from, const char *subject,
                         const char *message_id)
{
    // Each value is already cut to the formatter's limit, so the block never
    // reaches its size: cut, a long From and Subject together would lose the
    // lines after them, and the body would run into the Subject.
    int length = snprintf(out, HeaderBlockSize, "Date: %s\r\nFrom: %s\r\nSubject: %s\r\nTo: %s\r\n", date, from,
                          subject, KIV_MESSAGE_TO);
    if (message_id)
        length += snprintf(out + length, HeaderBlockSize - size_t(length), "Message-ID: %s\r\n", message_id);
    snprintf(out + length, HeaderBlockSize - size_t(length), "\r\n");
}

int format_header_date(const char *timestamp, char *out)
{
    if (!FeedConverter::format_mail_date(timestamp, out))
        return 0;
    for (char *c = out; *c; ++c)
        if (is_control(*c))
            *c = ' ';
    return 1;
}

void keep_newest(char *newest, const WalkedItem &item)
{
    const char *date_newer = nullptr;
    int order = FeedConverter::compare_date(&date_newer, item.date, newest);
    if ((order == 1 && date_newer == item.date) || (order == 0 && item.dated))
        copy_text(newest, NewestTimestampSize, item.date);
}

void utc_now_timestamp(char *out)
{
    SYSTEMTIME time_now;
    GetSystemTime(&time_now);
    snprintf(out, NewestTimestampSize, "%04d-%02d-%02dT%02d:%02d:%02d+00:00", time_now.wYear, time_now.wMonth,
             time_now.wDay, time_now.wHour, time_now.wMinute, time_now.wSecond);
}

ItemFields::~ItemFields() { free(description); }

void read_item_fields(const WalkedItem &item, int encoding, int feed_type, const char *address, ItemFields *fields)
{
    TiXmlHandle hItem(item.element);
    // Every text buffer below is filled and terminated by its getter.
    FeedConverter::get_title(hItem, encoding, feed_type, fields->title);
    FeedConverter::get_link(hItem, feed_type, fields->link, address);
    FeedConverter::get_item_description(hItem, encoding, feed_type, &fields->description, address);
    FeedConverter::get_subject(hItem, encoding, feed_type, fields->subject);
    get_item_enclosures(hItem, encoding, feed_type, address, fields->enclosures);
    // A date from get_item_date is valid, so it converts.
    memset(fields->date_line, 0, sizeof fields->date_line);
    if (item.dated) {
        copy_text(fields->date_line, sizeof fields->date_line, item.date);
        fields->date_line[4] = '/';
        fields->date_line[7] = '/';
        fields->date_line[10] = ' ';
    }
}

int append_item_block(MessageBuffer *message, const ItemFields &fields)
{
    const char *pieces[ItemBlockPieces];
    item_block_pieces(fields, pieces);
    size_t start = message->length;
    for (const char *piece : pieces) {
        if (!append_text(message, piece)) {
            message->length = start;
            message->text[start] = '\0';
            return 0;
        }
    }
    return 1;
}

size_t item_block_length(const ItemFields &fields)
{
    const char *pieces[ItemBlockPieces];
    item_block_pieces(fields, pieces);
    size_t length = 0;
    for (const char *piece : pieces)
        length += strlen(piece);
    return length;
}

// One downloaded feed file becomes one message: the header block, the feed's
// link, a separator and one block per new item (see item_walk.h).
#include "message_composition.h"
#include "item_walk.h"

#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/feed_converter.h"
#include "feed/read/code_pages.h"
#include "feed/read/feed_document.h"
#include "feed/read/feed_recognition.h"
#include "resources/version.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char HeaderDatePlaceholder[] = "                        ";  // 24 spaces
const size_t HeaderDateOffset = 6;                               // after "Date: "
const size_t HeaderDateLength = 24;
const char MessageEnd[] = "\r\n";

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

// Appends length bytes where the message ends, keeping its reserve free.
// 0 and nothing written when they do not fit.
int append(MessageBuffer *message, const char *bytes, size_t length)
{
    if (message->size < message->reserve + 1 ||
        length > message->size - message->reserve - 1 - message->length)
        return 0;
    memcpy(message->text + message->length, bytes, length);
    message->length += length;
    message->text[message->length] = '\0';
    return 1;
}

int append_text(MessageBuffer *message, const char *text) { return append(message, text, strlen(text)); }

// Appends one item block whole, or leaves the message as it was.
int append_item_block(MessageBuffer *message, const char *date_line, const char *title, const char *subject,
                      const char *link, const char *description)
{
    size_t start = message->length;
    int written = append_text(message, date_line) && append_text(message, "\n") && append_text(message, title) &&
                  append_text(message, " [ ") && append_text(message, subject) && append_text(message, " ]\n") &&
                  append_text(message, link) && (!description || (append_text(message, "\n") &&
                                                                  append_text(message, description))) &&
                  append_text(message, "\n\n");
    if (!written) {
        message->length = start;
        message->text[start] = '\0';
    }
    return written;
}

void fill_header_date(char *message, const char *timestamp)
{
    char fdate[MailDateSize];
    if (FeedConverter::format_mail_date(timestamp, fdate)) {
        // The slot keeps its length: a control character becomes a space.
        for (size_t i = 0; i < HeaderDateLength; ++i)
            message[HeaderDateOffset + i] = is_control(fdate[i]) ? ' ' : fdate[i];
    }
}

// Says in report why the document was not converted. The parser's texts read
// "Error parsing Element." and the bounds' alike: the word "Error" and the
// full stop are left out, the place of a parser error added.
void report_failure(ConversionReport *report, int failure, const char *text, int row = 0, int column = 0)
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

}  // namespace

int FeedConverter::format_from(const char *link, char *out)
{
    if (!out)
        return 0;
    wsprintfA(out, "[%s]", link);
    make_single_line(out);
    return 1;
}

int FeedConverter::format_subject(const char *title, const char *description, char *out)
{
    if (!out)
        return 0;
    wsprintfA(out, "%s -%s-", title, description);
    make_single_line(out);
    return 1;
}

int FeedConverter::convert_items(TiXmlHandle item, MessageBuffer *message, const char *last_seen, char *newest,
                                 int encoding, int feed_type, ItemMemory *memory, const char *address)
{
    std::vector<WalkedItem> items = walk_items(item.Element(), feed_type, last_seen, memory);
    std::vector<std::string> keys;
    int count = 0;
    bool full = false;
    for (const WalkedItem &walked : items) {
        // Every item is remembered but a new one that a full message left
        // out: that one comes again.
        if (memory && (!walked.fresh || !full))
            keys.push_back(walked.key);
        if (!walked.fresh || full)
            continue;
        TiXmlHandle hItem(walked.element);
        // Every text buffer below is filled and terminated by its getter.
        char title_item[TextFieldSize], link_item[TextFieldSize], subject_item[TextFieldSize];
        char *description_item = nullptr;
        get_title(hItem, encoding, feed_type, title_item);
        get_link(hItem, feed_type, link_item, address);
        get_item_description(hItem, encoding, feed_type, &description_item, address);
        get_subject(hItem, encoding, feed_type, subject_item);

        // A date from get_item_date is valid, so it converts.
        char date_item_formatted[35] = {};
        if (walked.dated) {
            copy_text(date_item_formatted, sizeof date_item_formatted, walked.date);
            date_item_formatted[4] = '/';
            date_item_formatted[7] = '/';
            date_item_formatted[10] = ' ';
        }

        int written = append_item_block(message, date_item_formatted, title_item, subject_item, link_item,
                                        description_item);
        free(description_item);
        // A full message ends before the first item that does not fit; the
        // newest date then comes from the items that are in it.
        if (!written) {
            full = true;
            if (memory)
                keys.pop_back();
            continue;
        }

        const char *date_newer = nullptr;
        int order = compare_date(&date_newer, walked.date, newest);
        if ((order == 1 && date_newer == walked.date) || (order == 0 && walked.dated))
            copy_text(newest, NewestTimestampSize, walked.date);
        ++count;
    }
    if (memory)
        remember_keys(memory, keys);
    return count;
}

int FeedConverter::convert_feed(char *message, size_t message_size, const char *file_path, const char *last_seen,
                                char *newest, ItemMemory *memory, ConversionReport *report, const char *address)
{
    if (report)
        *report = ConversionReport();
    TiXmlDocument document;
    const char *failure = nullptr;
    if (!load_feed_document(&document, file_path, &failure)) {
        // A document refused by its shape was never parsed, so the parser
        // holds no error.
        if (document.Error())
            report_failure(report, ConversionNotXml, failure, document.ErrorRow(), document.ErrorCol());
        else
            report_failure(report, ConversionOddShape, failure);
        return 0;
    }
    TiXmlHandle docHandle(&document);
    int feed_type = get_feed_type(docHandle);
    if (feed_type == FeedUnknown) {
        report_unknown_root(report, docHandle);
        return 0;
    }
    if (!message || !newest) {
        report_failure(report, ConversionNoRoom, "no message buffer");
        return 0;
    }
    int encoding = get_feed_encoding(docHandle);
    TiXmlHandle hChannel = get_channel(docHandle, feed_type);

    char title[TextFieldSize], link[TextFieldSize], description[TextFieldSize];
    get_title(hChannel, encoding, feed_type, title);
    get_link(hChannel, feed_type, link, address);
    get_description(hChannel, encoding, feed_type, description);
    if (report) {
        report->title = utf8_text(title, true);
        report->site = utf8_text(link, false);
    }

    // The header block has room for its longest values, each already cut to
    // the formatter's limit: cut at that limit as a whole, a long From and
    // Subject together would lose the To line and the blank line, and the
    // body would run into the Subject.
    char ffrom[FormatLimit], fsubject[FormatLimit], header[3 * FormatLimit];
    format_from(link, ffrom);
    format_subject(title, description, fsubject);
    snprintf(header, sizeof header, "Date: %s\r\nFrom: %s\r\nSubject: %s\r\nTo: %s\r\n\r\n", HeaderDatePlaceholder,
             ffrom, fsubject, KIV_MESSAGE_TO);

    MessageBuffer buffer = {message, message_size, 0, sizeof MessageEnd - 1};
    if (!append_text(&buffer, header) || !append_text(&buffer, link) || !append_text(&buffer, "\n\n---\n")) {
        report_failure(report, ConversionNoRoom, "the message head does not fit");
        return 0;
    }
    TiXmlHandle hItem(get_first_item(docHandle, feed_type));
    int items = convert_items(hItem, &buffer, last_seen, newest, encoding, feed_type, memory, address);
    if (report)
        report->items = items;
    if (items == 0)
        return 0;
    buffer.reserve = 0;
    append_text(&buffer, MessageEnd);

    fill_header_date(message, newest);
    if (!is_valid_date(newest)) {
        SYSTEMTIME time_now;
        GetSystemTime(&time_now);
        snprintf(newest, NewestTimestampSize, "%04d-%02d-%02dT%02d:%02d:%02d+00:00", time_now.wYear,
                 time_now.wMonth, time_now.wDay, time_now.wHour, time_now.wMinute, time_now.wSecond);
        fill_header_date(message, newest);
    }
    return 1;
}

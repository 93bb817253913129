// One downloaded feed file becomes one message: the header block, the feed's
// link, a separator and one block per new item (see item_walk.h).
#include "message_composition.h"
#include "item_rules.h"
#include "item_walk.h"
#include "message_pieces.h"

#include "base/single_line.h"
#include "feed/feed_converter.h"

#include <cstring>

namespace {

const char HeaderDatePlaceholder[] = "                        ";  // 24 spaces
const size_t HeaderDateOffset = 6;                               // after "Date: "
const size_t HeaderDateLength = 24;
const char MessageEnd[] = "\r\n";

void fill_header_date(char *message, const char *timestamp)
{
    char fdate[MailDateSize];
    if (format_header_date(timestamp, fdate))
        memcpy(message + HeaderDateOffset, fdate, HeaderDateLength);
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
                                 int encoding, int feed_type, ItemMemory *memory, const char *address,
                                 const ItemFilter *filter, int *filtered)
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
        if (!walked.fresh)
            continue;
        ItemFields fields;
        read_item_fields(walked, encoding, feed_type, address, &fields);
        bool passes = item_passes(filter, walked, fields, encoding, feed_type);
        // What a full message leaves out is measured, so that the caller can
        // give it the room: the same download would leave it out again.
        if (full) {
            if (passes)
                message->left_out += item_block_length(fields);
            continue;
        }
        // An item held back is remembered, as one delivered is.
        if (!passes) {
            if (filtered)
                ++*filtered;
            continue;
        }
        int written = append_item_block(message, fields);
        // A full message ends before the first item that does not fit; the
        // newest date then comes from the items that are in it.
        if (!written) {
            full = true;
            message->left_out += item_block_length(fields);
            if (memory)
                keys.pop_back();
            continue;
        }
        keep_newest(newest, walked);
        ++count;
    }
    if (memory)
        remember_keys(memory, keys);
    return count;
}

int FeedConverter::convert_feed(char *message, size_t message_size, const char *file_path, const char *last_seen,
                                char *newest, ItemMemory *memory, ConversionReport *report, const char *address,
                                const ItemFilter *filter)
{
    if (report)
        *report = ConversionReport();
    OpenedFeed feed;
    if (!open_feed(&feed, file_path, report, address))
        return 0;
    if (!message || !newest) {
        report_failure(report, ConversionNoRoom, "no message buffer");
        return 0;
    }
    char ffrom[FormatLimit], fsubject[FormatLimit], header[HeaderBlockSize];
    format_from(feed.link, ffrom);
    format_subject(feed.title, feed.description, fsubject);
    format_header_block(header, HeaderDatePlaceholder, ffrom, fsubject, nullptr);

    MessageBuffer buffer = {message, message_size, 0, sizeof MessageEnd - 1};
    if (!append_text(&buffer, header) || !append_text(&buffer, feed.link) || !append_text(&buffer, "\n\n---\n")) {
        report_failure(report, ConversionNoRoom, "the message head does not fit");
        return 0;
    }
    TiXmlHandle hItem(get_first_item(TiXmlHandle(&feed.document), feed.feed_type));
    int filtered = 0;
    int items = convert_items(hItem, &buffer, last_seen, newest, feed.encoding, feed.feed_type, memory, address,
                              filter, &filtered);
    if (report) {
        report->items = items;
        report->filtered = filtered;
        report->left_out = buffer.left_out;
    }
    if (items == 0)
        return 0;
    buffer.reserve = 0;
    append_text(&buffer, MessageEnd);

    fill_header_date(message, newest);
    if (!is_valid_date(newest)) {
        utc_now_timestamp(newest);
        fill_header_date(message, newest);
    }
    return 1;
}

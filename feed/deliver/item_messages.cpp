#include "item_messages.h"
#include "item_rules.h"
#include "item_walk.h"
#include "message_pieces.h"

#include "base/calendar_days.h"
#include "base/digest.h"
#include "base/scoped_handles.h"
#include "base/single_line.h"
#include "base/text_copy.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

const char MessageEnd[] = "\r\n";

// Seconds since 1970 in UTC of a valid timestamp text.
long long utc_seconds(const char *date)
{
    SYSTEMTIME utc;
    if (!FeedConverter::date_to_systemtime(&utc, date))
        return LLONG_MIN;
    return days_from_civil(utc.wYear, utc.wMonth, utc.wDay) * 86400LL + utc.wHour * 3600LL + utc.wMinute * 60LL +
           utc.wSecond;
}

// The new items, oldest first. Feeds mostly list their newest item first,
// so the document's order is taken backwards unless its dated items run
// the other way; then the items go by their dates, an undated one staying
// behind the item it follows.
std::vector<size_t> delivery_order(const std::vector<WalkedItem> &items)
{
    std::vector<long long> seconds(items.size(), LLONG_MIN);
    long long first = LLONG_MIN, last = LLONG_MIN;
    for (size_t i = 0; i < items.size(); ++i) {
        if (!items[i].dated)
            continue;
        seconds[i] = utc_seconds(items[i].date);
        if (first == LLONG_MIN)
            first = seconds[i];
        last = seconds[i];
    }
    std::vector<size_t> order;
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i].fresh)
            order.push_back(i);
    if (!(first < last))
        std::reverse(order.begin(), order.end());
    std::vector<long long> keys(items.size(), LLONG_MIN);
    long long behind = LLONG_MIN;
    for (size_t i : order)
        behind = keys[i] = items[i].dated ? seconds[i] : behind;
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    return order;
}

}  // namespace

void item_message_id(const char *feed_url, const std::string &key, const char *date, char *out)
{
    unsigned long long item = digest_text(DigestStart, key.c_str());
    if (date)
        item = digest_text(digest_byte(item, 0xff), date);
    snprintf(out, ItemMessageIdSize, "<%016llx.%016llx@kiv.invalid>", digest_text(DigestStart, feed_url), item);
}

size_t item_message_capacity(const ItemFields &fields)
{
    // The longest header block, the item's block, and the feed's title and
    // link with the marks around them.
    return HeaderBlockSize + item_block_length(fields) + 3 * TextFieldSize;
}

int compose_item_message(MessageBuffer *message, const OpenedFeed &feed, const ItemFields &fields,
                         const char *date, const char *message_id)
{
    char fdate[MailDateSize], ffrom[FormatLimit], fsubject[TextFieldSize], header[HeaderBlockSize];
    if (!format_header_date(date, fdate))
        return 0;
    FeedConverter::format_from(feed.link, ffrom);
    copy_text(fsubject, sizeof fsubject, fields.title[0] ? fields.title : feed.title);
    make_single_line(fsubject);
    format_header_block(header, fdate, ffrom, fsubject, message_id);
    size_t start = message->length;
    if (append_text(message, header) && append_item_block(message, fields) && append_text(message, "---\n") &&
        append_text(message, feed.title) && append_text(message, "\n") && append_text(message, feed.link) &&
        append_text(message, MessageEnd))
        return 1;
    message->length = start;
    if (message->size > start)
        message->text[start] = '\0';
    return 0;
}

int deliver_item_messages(const char *file_path, const char *feed_url, const char *last_seen, char *newest,
                          ItemMemory *memory, ConversionReport *report, const char *address, int *due,
                          const ItemMessageSink &append, const ItemFilter *filter)
{
    if (report)
        *report = ConversionReport();
    *due = 0;
    OpenedFeed feed;
    if (!open_feed(&feed, file_path, report, address))
        return 0;
    TiXmlElement *first = FeedConverter::get_first_item(TiXmlHandle(&feed.document), feed.feed_type);
    std::vector<WalkedItem> items = walk_items(first, feed.feed_type, last_seen, memory);
    std::unordered_map<std::string, int> uses;
    for (WalkedItem &item : items) {
        if (item.key.empty())
            item.key = item_key(TiXmlHandle(item.element), feed.feed_type);
        ++uses[item.key];
    }
    // An item the rules hold back counts as one seen before: remembered, and
    // never delivered.
    int filtered = 0;
    if (filter && !filter->rules.empty()) {
        for (WalkedItem &item : items) {
            if (!item.fresh)
                continue;
            ItemFields fields;
            read_item_fields(item, feed.encoding, feed.feed_type, address, &fields);
            if (!item_passes(filter, item, fields, feed.encoding, feed.feed_type)) {
                item.fresh = false;
                ++filtered;
            }
        }
    }

    // The memory is made anew from the record as read whenever an item is
    // delivered or taken back: the items that were not new, and the new ones
    // delivered, in the document's order.
    const ItemMemory read = memory ? *memory : ItemMemory();
    std::vector<bool> delivered(items.size(), false);
    auto remember = [&]() {
        if (!memory)
            return;
        std::vector<std::string> kept;
        for (size_t i = 0; i < items.size(); ++i)
            if (!items[i].fresh || delivered[i])
                kept.push_back(items[i].key);
        *memory = read;
        remember_keys(memory, kept);
    };
    remember();

    std::vector<size_t> order = delivery_order(items);
    *due = int(order.size());
    if (order.size() > MaxItemMessages)
        order.resize(MaxItemMessages);
    // Undated items are dated by the time of this delivery.
    char now[NewestTimestampSize];
    utc_now_timestamp(now);
    int count = 0;
    for (size_t index : order) {
        const WalkedItem &item = items[index];
        ItemFields fields;
        read_item_fields(item, feed.encoding, feed.feed_type, address, &fields);
        char message_id[ItemMessageIdSize];
        item_message_id(feed_url, item.key, uses[item.key] > 1 ? item.date : nullptr, message_id);
        size_t size = item_message_capacity(fields);
        ScopedHeapBlock<char> text(static_cast<char *>(malloc(size)));
        MessageBuffer message = {text.get(), size, 0, 0};
        if (!text.held() || !compose_item_message(&message, feed, fields, item.dated ? item.date : now, message_id))
            break;

        char before[NewestTimestampSize];
        copy_text(before, sizeof before, newest);
        keep_newest(newest, item);
        delivered[index] = true;
        remember();
        if (!append(text.get(), FeedConverter::is_valid_date(newest) ? newest : now)) {
            copy_text(newest, NewestTimestampSize, before);
            delivered[index] = false;
            remember();
            break;
        }
        ++count;
    }
    if (count && !FeedConverter::is_valid_date(newest))
        copy_text(newest, NewestTimestampSize, now);
    if (report) {
        report->items = count;
        report->filtered = filtered;
    }
    return count;
}

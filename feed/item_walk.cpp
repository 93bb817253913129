#include "item_walk.h"

#include <algorithm>
#include <cstdio>

namespace {

// FNV-1a, 64 bits: a stable digest, the same on every build.
unsigned long long digest(unsigned long long hash, const char *text)
{
    for (; *text; ++text)
        hash = (hash ^ (unsigned char)*text) * 1099511628211ull;
    return hash;
}

std::string one_line(const char *prefix, const char *text)
{
    std::string key = std::string(prefix) + text;
    for (char &c : key)
        if ((unsigned char)c < 0x20 || c == 0x7f)
            c = ' ';
    return key;
}

}  // namespace

std::string item_key(TiXmlHandle item, int feed_type)
{
    char text[TextFieldSize];
    if (FeedConverter::copy_child_text(item, feed_type == FeedAtom ? "id" : "guid", text) && text[0])
        return one_line("g ", text);
    if (FeedConverter::get_link(item, feed_type, text) && text[0])
        return one_line("l ", text);
    const char *title = nullptr, *description = nullptr;
    FeedConverter::get_child_text(item, "title", &title);
    FeedConverter::get_child_text(item, feed_type == FeedAtom ? "summary" : "description", &description);
    unsigned long long hash = digest(14695981039346656037ull, title ? title : "");
    hash = digest((hash ^ 0xff) * 1099511628211ull, description ? description : "");
    char key[24];
    snprintf(key, sizeof key, "d %016llx", hash);
    return key;
}

std::vector<WalkedItem> walk_items(TiXmlElement *first, int feed_type, const char *last_seen,
                                   const ItemMemory *memory)
{
    // The last-seen text is converted once, not once an item; when it is no
    // timestamp, every dated item is new.
    SYSTEMTIME seen;
    bool comparable = last_seen && FeedConverter::is_date_length(last_seen) &&
                      FeedConverter::date_to_systemtime(&seen, last_seen);
    std::vector<WalkedItem> items;
    for (TiXmlElement *current = first; current; current = current->NextSiblingElement()) {
        items.push_back(WalkedItem{current, true, false, {}, std::string()});
        WalkedItem &item = items.back();
        TiXmlHandle handle(current);
        item.dated = FeedConverter::get_item_date(handle, feed_type, item.date) == 1;
        SYSTEMTIME date;
        if (item.dated && comparable && FeedConverter::date_to_systemtime(&date, item.date)) {
            const SYSTEMTIME *later = nullptr;
            item.fresh = FeedConverter::compare_systemtime(&later, &date, &seen) == 1 && later == &date;
        } else if (!item.dated) {
            item.key = item_key(handle, feed_type);
            item.fresh = !memory || !memory->known ||
                         !std::binary_search(memory->keys.begin(), memory->keys.end(), item.key);
        }
    }
    return items;
}

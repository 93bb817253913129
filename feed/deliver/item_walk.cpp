#include "item_walk.h"

#include "base/digest.h"
#include "feed/read/code_pages.h"

#include <cstdio>
#include <unordered_map>
#include <unordered_set>

namespace {

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
    unsigned long long hash = digest_text(DigestStart, title ? title : "");
    hash = digest_text(digest_byte(hash, 0xff), description ? description : "");
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
    KeyScope scope = memory ? memory->scope : NoKeys;
    std::vector<WalkedItem> items;
    std::unordered_map<std::string, int> uses;  // of each key in this document
    const char *item_name = feed_type == FeedAtom ? "entry" : "item";
    for (TiXmlElement *current = first; current; current = current->NextSiblingElement()) {
        // RSS 0.9x and 1.0 put <image> and <textinput> beside the items.
        if (!same_folded(current->Value(), item_name))
            continue;
        items.push_back(WalkedItem{current, true, false, {}, std::string()});
        WalkedItem &item = items.back();
        TiXmlHandle handle(current);
        item.dated = FeedConverter::get_item_date(handle, feed_type, item.date) == 1;
        if (memory)
            item.key = item_key(handle, feed_type);
        if (scope == EveryKey)
            ++uses[item.key];
    }
    std::unordered_set<std::string> known;
    if (scope != NoKeys)
        known.insert(memory->keys.begin(), memory->keys.end());
    for (size_t index = 0; index < items.size(); ++index) {
        WalkedItem &item = items[index];
        SYSTEMTIME date;
        // A key that several items of the document share (a feed without
        // guids whose items all link to one page) tells none of them apart:
        // those items go by their dates, as without a record. So do items
        // beyond the most keys a record keeps: theirs are never remembered,
        // and by key they would come again at every patrol.
        if (scope == EveryKey && uses[item.key] == 1 && index < MaxRememberedKeys) {
            item.fresh = !known.count(item.key);
        } else if (!item.dated) {
            item.fresh = !known.count(item.key);
        } else if (comparable && FeedConverter::date_to_systemtime(&date, item.date)) {
            const SYSTEMTIME *later = nullptr;
            item.fresh = FeedConverter::compare_systemtime(&later, &date, &seen) == 1 && later == &date;
        }
    }
    return items;
}

void remember_keys(ItemMemory *memory, const std::vector<std::string> &kept)
{
    // The keys the document shows leave their old places and go to the end,
    // from the document's last to its first: feeds list their newest items
    // first, and so the top of a feed is the last to be forgotten.
    std::unordered_set<std::string> shown(kept.begin(), kept.end());
    std::vector<std::string> keys;
    keys.reserve(memory->keys.size() + shown.size());
    for (std::string &key : memory->keys)
        if (!shown.count(key))
            keys.push_back(std::move(key));
    for (auto key = kept.rbegin(); key != kept.rend(); ++key)
        if (shown.erase(*key))
            keys.push_back(*key);
    if (keys.size() > MaxRememberedKeys)
        keys.erase(keys.begin(), keys.end() - MaxRememberedKeys);
    memory->keys.swap(keys);
    memory->scope = EveryKey;
    memory->walked = true;
}

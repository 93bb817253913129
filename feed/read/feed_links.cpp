// A forward scan of a page's head for its feed links. HTML is not XML: tags
// need no end, attribute values may go unquoted or in either quote, names
// are in any case, and text inside comments, scripts and styles only looks
// like markup. The scan keeps no stack, so hostile nesting costs nothing;
// a tag cut off by the end of what is read is not taken.
#include "feed_links.h"

#include "html_text.h"

#include "base/single_line.h"
#include "base/text_copy.h"
#include "base/trimmed_text.h"

#include <cstring>
#include <string>
#include <vector>

namespace {


char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool equals_folded(const std::string &text, const char *word)
{
    size_t i = 0;
    for (; i < text.size() && word[i]; ++i)
        if (lower(text[i]) != word[i])
            return false;
    return i == text.size() && !word[i];
}

// Elements whose content is text that is never markup: a "<link" there is
// no link.
bool holds_raw_text(const std::string &name)
{
    for (const char *raw : {"script", "style", "title", "textarea", "noscript", "template", "xmp"})
        if (name == raw)
            return true;
    return false;
}

struct Tag {
    std::string name;  // in lower case
    std::vector<std::pair<std::string, std::string>> attributes;  // names in lower case, values as written

    // The value of the attribute named so, its first occurrence as HTML
    // takes it; null when there is none.
    const std::string *attribute(const char *wanted) const
    {
        for (const auto &attribute : attributes)
            if (attribute.first == wanted)
                return &attribute.second;
        return nullptr;
    }
};

// Reads the start tag whose name begins at text[at]; gives the offset past
// its '>', or 0 when the tag runs past end.
size_t read_tag(const char *text, size_t at, size_t end, Tag *tag)
{
    size_t i = at;
    for (; i < end && !is_html_space(text[i]) && text[i] != '/' && text[i] != '>'; ++i)
        tag->name += lower(text[i]);
    while (i < end) {
        while (i < end && (is_html_space(text[i]) || text[i] == '/'))
            ++i;
        if (i >= end)
            return 0;
        if (text[i] == '>')
            return i + 1;
        std::string name, value;
        // A name may begin with '='; it ends at the next space, '/', '>' or '='.
        name += lower(text[i++]);
        for (; i < end && !is_html_space(text[i]) && text[i] != '/' && text[i] != '>' && text[i] != '='; ++i)
            name += lower(text[i]);
        while (i < end && is_html_space(text[i]))
            ++i;
        if (i < end && text[i] == '=') {
            ++i;
            while (i < end && is_html_space(text[i]))
                ++i;
            if (i < end && (text[i] == '"' || text[i] == '\'')) {
                const void *close = memchr(text + i + 1, text[i], end - i - 1);
                if (!close)
                    return 0;
                size_t stop = size_t(static_cast<const char *>(close) - text);
                value.assign(text + i + 1, stop - i - 1);
                i = stop + 1;
            } else {
                size_t start = i;
                while (i < end && !is_html_space(text[i]) && text[i] != '>')
                    ++i;
                value.assign(text + start, i - start);
            }
        }
        tag->attributes.emplace_back(name, value);
    }
    return 0;
}

// The offset of the first "</name" at or after from (name in lower case,
// matched in any case), or end.
size_t find_end_tag(const char *text, size_t from, size_t end, const std::string &name)
{
    for (size_t i = from; i + 2 + name.size() <= end; ++i) {
        if (text[i] != '<' || text[i + 1] != '/')
            continue;
        size_t k = 0;
        while (k < name.size() && lower(text[i + 2 + k]) == name[k])
            ++k;
        if (k == name.size())
            return i;
    }
    return end;
}

// The offset just past the first occurrence of marker at or after from, or
// end when there is none.
size_t skip_past(const char *text, size_t from, size_t end, const char *marker)
{
    size_t length = strlen(marker);
    for (size_t i = from; i + length <= end; ++i)
        if (memcmp(text + i, marker, length) == 0)
            return i + length;
    return end;
}

// 1 when the space-separated token list holds token, in any case.
bool holds_token(const std::string &list, const char *token)
{
    for (size_t i = 0; i < list.size();) {
        while (i < list.size() && is_html_space(list[i]))
            ++i;
        size_t start = i;
        while (i < list.size() && !is_html_space(list[i]))
            ++i;
        if (i > start && equals_folded(list.substr(start, i - start), token))
            return true;
    }
    return false;
}

// 1 when a type attribute names a feed format KIV reads; parameters after
// ';' do not matter.
bool is_feed_type(const std::string &type)
{
    std::string bare = trimmed_text(type.substr(0, type.find(';')), is_html_space);
    for (const char *feed : {"application/rss+xml", "application/atom+xml", "application/rdf+xml",
                             "application/feed+json"})
        if (equals_folded(bare, feed))
            return true;
    return false;
}

// An attribute value with its character references resolved (as UTF-8,
// the encoding of nearly every page) and white space at either end dropped,
// as an address parser drops it.
std::string attribute_text(const std::string &value)
{
    std::vector<char> resolved(value.size() + 1);
    resolve_references(value.c_str(), resolved.data(), resolved.size(), 1);
    return trimmed_text(resolved.data(), is_html_space);
}

// Cuts text (NUL-terminated) back to the start of a UTF-8 character cut at
// its end.
void drop_cut_character(char *text)
{
    size_t length = strlen(text);
    size_t start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return;
    unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length - (start - 1) < needed)
        text[start - 1] = '\0';
}

}  // namespace

size_t read_feed_links(const char *page, size_t length, const char *page_address, FeedLink *links,
                       size_t capacity)
{
    size_t end = length < size_t(PageHeadBytes) ? length : size_t(PageHeadBytes);
    const void *nul = end ? memchr(page, '\0', end) : nullptr;
    if (nul)
        end = size_t(static_cast<const char *>(nul) - page);
    std::string base;
    bool has_base = false;
    std::vector<std::pair<std::string, std::string>> found;  // hrefs as written, titles
    // Read on past the last link there is room for: a <base> after it still counts.
    for (size_t i = 0; i < end;) {
        const void *open = memchr(page + i, '<', end - i);
        if (!open)
            break;
        i = size_t(static_cast<const char *>(open) - page);
        if (end - i >= 4 && memcmp(page + i, "<!--", 4) == 0) {
            i = skip_past(page, i + 4, end, "-->");
            continue;
        }
        if (i + 1 < end && (page[i + 1] == '!' || page[i + 1] == '?')) {
            i = skip_past(page, i + 2, end, ">");
            continue;
        }
        bool closing = i + 1 < end && page[i + 1] == '/';
        size_t name_at = i + (closing ? 2 : 1);
        if (name_at >= end || !((page[name_at] | 0x20) >= 'a' && (page[name_at] | 0x20) <= 'z')) {
            ++i;  // a '<' that opens no tag is text
            continue;
        }
        Tag tag;
        size_t after = read_tag(page, name_at, end, &tag);
        if (after == 0)
            break;
        i = after;
        if (closing) {
            if (tag.name == "head")
                break;
            continue;
        }
        if (tag.name == "body")
            break;
        if (holds_raw_text(tag.name)) {
            i = find_end_tag(page, i, end, tag.name);
            continue;
        }
        const std::string *href = tag.attribute("href");
        if (tag.name == "base" && href && !has_base) {
            has_base = true;
            base = attribute_text(*href);
        }
        if (tag.name != "link" || !href || found.size() == capacity)
            continue;
        const std::string *rel = tag.attribute("rel"), *type = tag.attribute("type");
        if (!rel || !type || !holds_token(*rel, "alternate") || !is_feed_type(*type))
            continue;
        std::string address = attribute_text(*href);
        const std::string *title = tag.attribute("title");
        bool repeated = address.empty();
        for (size_t k = 0; k < found.size() && !repeated; ++k)
            repeated = found[k].first == address;
        if (!repeated)
            found.emplace_back(address, title ? attribute_text(*title) : std::string());
    }

    // The base counts for the whole page, links before it too.
    std::vector<char> resolved_base(base.size() + strlen(page_address) + 2);
    resolve_address(page_address, base.c_str(), resolved_base.data(), resolved_base.size());
    const char *against = has_base && !base.empty() ? resolved_base.data() : page_address;
    size_t written = 0;
    for (const auto &link : found) {
        FeedLink &out = links[written];
        resolve_address(against, link.first.c_str(), out.address, sizeof out.address);
        bool repeated = false;
        for (size_t k = 0; k < written && !repeated; ++k)
            repeated = strcmp(links[k].address, out.address) == 0;
        if (repeated)
            continue;
        copy_text(out.title, sizeof out.title, link.second.c_str());
        drop_cut_character(out.title);
        make_single_line(out.title);
        ++written;
    }
    return written;
}

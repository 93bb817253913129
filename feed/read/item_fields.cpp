// The texts of a channel or an item: title, link, descriptions and subject,
// cut to their fields and passed through the host's text conversion where
// the feed's encoding needs it.
#include "item_fields.h"
#include "element_text.h"
#include "html_text.h"

#include "base/addresses.h"
#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/feed_converter.h"
#include "shell/host_functions.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void convert_field(int encoding, char *field)
{
    copy_text(field, TextFieldSize, host_converted(encoding, field));
}

bool starts_with_folded(const char *text, const char *lower)
{
    for (; *lower; ++text, ++lower)
        if ((*text >= 'A' && *text <= 'Z' ? *text - 'A' + 'a' : *text) != *lower)
            return false;
    return true;
}

// An Atom document's link to the page itself: the first link that is
// "alternate", by its rel or by default, else the first link of all.
TiXmlElement *atom_link(TiXmlHandle parent)
{
    TiXmlElement *first = FeedConverter::find_child_element(parent, "link");
    for (TiXmlElement *link = first; link; link = link->NextSiblingElement()) {
        if (link->ValueStr() != first->ValueStr())
            continue;
        const char *rel = link->Attribute("rel");
        if (!rel || std::string(rel) == "alternate")
            return link;
    }
    return first;
}

// An RSS item's guid, when it is the item's address: not denied to be a
// permalink, and an address on the web.
int copy_permalink(TiXmlHandle parent, char *field)
{
    TiXmlElement *guid = FeedConverter::find_child_element(parent, "guid");
    const char *permalink = guid ? guid->Attribute("isPermaLink") : nullptr;
    if (!guid || (permalink && std::string(permalink) != "true") ||
        !FeedConverter::copy_child_text(parent, "guid", field))
        return 0;
    if (starts_with_folded(field, "http://") || starts_with_folded(field, "https://"))
        return 1;
    field[0] = '\0';
    return 0;
}

// The text of parent's child name, which is read as HTML: markup that the
// feed wrote unescaped in it counts.
const char *markup_child_text(TiXmlHandle parent, const char *name)
{
    return element_markup_text(FeedConverter::find_child_element(parent, name));
}

// An Atom text construct is HTML when its type says so ("html", "xhtml";
// Atom 0.3's "text/html", "application/xhtml+xml") or when it holds markup
// written unescaped; else it is plain text, whatever it looks like.
bool is_atom_html(const TiXmlElement *element)
{
    const char *type = element ? element->Attribute("type") : nullptr;
    return type && strstr(type, "html");
}

// The text of parent's child name as a person reads it, in field: HTML made
// readable, its links as their text alone; in an Atom plain text only its
// character references resolved, which feeds that escape their texts twice
// leave behind. Cut at 511 bytes; 0 and the empty text when there is none.
int copy_readable_text(TiXmlHandle parent, const char *name, int encoding, int feed_type, char *field)
{
    const char *text = markup_child_text(parent, name);
    if (!text) {
        field[0] = '\0';
        return 0;
    }
    int utf8 = encoding == EncodingUtf8;
    if (feed_type == FeedAtom && !is_atom_html(FeedConverter::find_child_element(parent, name)))
        resolve_references(text, field, TextFieldSize, utf8);
    else
        html_to_line(text, field, TextFieldSize, utf8);
    return 1;
}

// An item's text and the element it is written in: the elements of its
// feed's kind, Dublin Core's, then what podcasts and Media RSS write
// (media:description also in media:group or media:content, as video sites
// put it). Bodies may be unescaped HTML.
const char *item_body(TiXmlHandle item, int feed_type, const TiXmlElement **from)
{
    const char *const names[] = {feed_type == FeedAtom ? "summary" : "description",
                                 feed_type == FeedAtom ? "content" : "content:encoded", "dc:description",
                                 "itunes:summary"};
    for (const char *name : names) {
        TiXmlElement *element = FeedConverter::find_child_element(item, name);
        if (const char *text = element_markup_text(element)) {
            *from = element;
            return text;
        }
    }
    TiXmlHandle group(FeedConverter::find_child_element(item, "media:group"));
    const TiXmlHandle media[] = {item, group, TiXmlHandle(FeedConverter::find_child_element(item, "media:content")),
                                 TiXmlHandle(FeedConverter::find_child_element(group, "media:content"))};
    for (const TiXmlHandle &holder : media) {
        TiXmlElement *element = FeedConverter::find_child_element(holder, "media:description");
        if (const char *text = element_text(element)) {
            *from = element;
            return text;
        }
    }
    return nullptr;
}

}  // namespace

const char *host_converted(int encoding, const char *text)
{
    const char *converted = text;
    if (encoding == EncodingUtf8)
        converted = HostFunctions.UTF_8(text, 0);
    else if (encoding == EncodingEucJp)
        converted = HostFunctions.EUC_JP(text, 0);
    return converted ? converted : "";
}

void copy_address(const TiXmlElement *element, const char *written, const char *address, char *field)
{
    char reference[AddressSize], base[AddressSize];
    resolve_references(written, reference, sizeof reference, 0);
    element_base(element, address, base, sizeof base);
    resolve_address(reference[0] ? base : nullptr, reference, field, TextFieldSize);
}

int FeedConverter::get_title(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!field)
        return 0;
    copy_readable_text(parent, "title", encoding, feed_type, field) ||
        copy_readable_text(parent, "dc:title", encoding, feed_type, field);
    convert_field(encoding, field);
    make_single_line(field);
    return 1;
}

int FeedConverter::get_link(TiXmlHandle parent, int feed_type, char *field, const char *address)
{
    if (!field)
        return 0;
    field[0] = '\0';
    if (feed_type != FeedAtom) {
        const char *text;
        int found = get_child_text(parent, "link", &text);
        if (found)
            copy_address(find_child_element(parent, "link"), text, address, field);
        found = found || copy_permalink(parent, field);
        make_single_line(field);
        return found;
    }
    TiXmlElement *link = atom_link(parent);
    const char *href = link ? link->Attribute("href") : nullptr;
    copy_address(link, href ? href : "", address, field);
    make_single_line(field);
    return href != nullptr;
}

int FeedConverter::get_description(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!copy_readable_text(parent, feed_type == FeedAtom ? "tagline" : "description", encoding, feed_type, field) &&
        !(feed_type == FeedAtom && copy_readable_text(parent, "subtitle", encoding, feed_type, field)) &&
        !copy_readable_text(parent, "dc:description", encoding, feed_type, field))
        return 0;
    convert_field(encoding, field);
    return 1;
}

int FeedConverter::get_item_description(TiXmlHandle parent, int encoding, int feed_type, char **description,
                                        const char *address)
{
    if (!description)
        return 0;
    const TiXmlElement *from = nullptr;
    const char *text = item_body(parent, feed_type, &from);
    if (!text)
        return 0;
    // HTML is made readable before the host converts it, its links' addresses
    // made absolute; a description that reads as nothing is no description.
    char *readable = nullptr;
    if (carries_html(text)) {
        char base[AddressSize];
        element_base(from, address, base, sizeof base);
        size_t size = html_text_size(text, strlen(base));
        readable = static_cast<char *>(malloc(size));
        if (!readable || html_to_text(text, readable, size, encoding == EncodingUtf8, base) == 0) {
            free(readable);
            return 0;
        }
        text = readable;
    }
    size_t room = strlen(text) * 2 + 1;
    char *copy = static_cast<char *>(calloc(room, 1));
    if (copy)
        copy_text(copy, room, host_converted(encoding, text));
    free(readable);
    if (!copy)
        return 0;
    *description = copy;
    return 1;
}

int FeedConverter::get_subject(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!field)
        return 0;
    int found = copy_readable_text(parent, "dc:subject", encoding, feed_type, field);
    convert_field(encoding, field);
    make_single_line(field);
    return found;
}

int FeedConverter::get_author(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!field)
        return 0;
    int found = feed_type == FeedAtom
                    ? copy_readable_text(TiXmlHandle(find_child_element(parent, "author")), "name", encoding,
                                         feed_type, field)
                    : copy_readable_text(parent, "author", encoding, feed_type, field) ||
                          copy_readable_text(parent, "dc:creator", encoding, feed_type, field);
    convert_field(encoding, field);
    make_single_line(field);
    return found;
}

int FeedConverter::get_categories(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!field)
        return 0;
    get_subject(parent, encoding, feed_type, field);
    size_t length = strlen(field);
    // Atom names a category in its term, RSS in its text.
    TiXmlElement *first = find_child_element(parent, "category");
    for (TiXmlElement *category = first; category && length + 1 < TextFieldSize - 1;
         category = category->NextSiblingElement()) {
        if (category->ValueStr() != first->ValueStr())
            continue;
        const char *text = feed_type == FeedAtom ? category->Attribute("term") : element_text(category);
        if (!text || !*text)
            continue;
        char one[TextFieldSize];
        resolve_references(text, one, sizeof one, encoding == EncodingUtf8);
        convert_field(encoding, one);
        make_single_line(one);
        if (length)
            field[length++] = '\n';
        length += copy_text(field + length, TextFieldSize - length, one);
    }
    return length != 0;
}

// The texts of a channel or an item: title, link, descriptions and subject,
// cut to their fields and passed through the host's text conversion where
// the feed's encoding needs it.
#include "feed_converter.h"
#include "element_text.h"
#include "html_text.h"
#include "single_line.h"
#include "text_copy.h"
#include "shell/host_functions.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The host's conversion of text for the encoding code, or the text itself
// when the encoding needs none. The result belongs to the host: copy it at once.
const char *host_converted(int encoding, const char *text)
{
    const char *converted = text;
    if (encoding == EncodingUtf8)
        converted = HostFunctions.UTF_8(text, 0);
    else if (encoding == EncodingEucJp)
        converted = HostFunctions.EUC_JP(text, 0);
    return converted ? converted : "";
}

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

// An item's text: the elements of its feed's kind, Dublin Core's, then what
// podcasts and Media RSS write (media:description also in media:group or
// media:content, as video sites put it). RSS bodies may be unescaped HTML.
const char *item_body(TiXmlHandle item, int feed_type)
{
    const char *const names[] = {feed_type == FeedAtom ? "summary" : "description",
                                 feed_type == FeedAtom ? "content" : "content:encoded", "dc:description",
                                 "itunes:summary"};
    for (const char *name : names) {
        TiXmlElement *element = FeedConverter::find_child_element(item, name);
        if (const char *text = feed_type == FeedAtom ? element_text(element) : body_text(element))
            return text;
    }
    TiXmlHandle group(FeedConverter::find_child_element(item, "media:group"));
    const TiXmlHandle media[] = {item, group, TiXmlHandle(FeedConverter::find_child_element(item, "media:content")),
                                 TiXmlHandle(FeedConverter::find_child_element(group, "media:content"))};
    for (const TiXmlHandle &holder : media)
        if (const char *text = element_text(FeedConverter::find_child_element(holder, "media:description")))
            return text;
    return nullptr;
}

}  // namespace

int FeedConverter::get_title(TiXmlHandle parent, int encoding, int, char *field)
{
    if (!field)
        return 0;
    copy_child_text(parent, "title", field) || copy_child_text(parent, "dc:title", field);
    convert_field(encoding, field);
    make_single_line(field);
    return 1;
}

int FeedConverter::get_link(TiXmlHandle parent, int feed_type, char *field)
{
    if (!field)
        return 0;
    if (feed_type != FeedAtom) {
        int found = copy_child_text(parent, "link", field) || copy_permalink(parent, field);
        make_single_line(field);
        return found;
    }
    TiXmlElement *link = atom_link(parent);
    const char *href = link ? link->Attribute("href") : nullptr;
    copy_text(field, TextFieldSize, href ? href : "");
    make_single_line(field);
    return href != nullptr;
}

int FeedConverter::get_description(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!copy_child_text(parent, feed_type == FeedAtom ? "tagline" : "description", field) &&
        !(feed_type == FeedAtom && copy_child_text(parent, "subtitle", field)) &&
        !copy_child_text(parent, "dc:description", field))
        return 0;
    convert_field(encoding, field);
    return 1;
}

int FeedConverter::get_item_description(TiXmlHandle parent, int encoding, int feed_type, char **description)
{
    if (!description)
        return 0;
    const char *text = item_body(parent, feed_type);
    if (!text)
        return 0;
    // HTML is made readable before the host converts it; a description that
    // reads as nothing is no description.
    char *readable = nullptr;
    if (carries_html(text)) {
        size_t size = strlen(text) * HtmlTextGrowth + 1;
        readable = static_cast<char *>(malloc(size));
        if (!readable || html_to_text(text, readable, size, encoding == EncodingUtf8) == 0) {
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

int FeedConverter::get_subject(TiXmlHandle parent, int encoding, int, char *field)
{
    if (!field)
        return 0;
    int found = copy_child_text(parent, "dc:subject", field);
    convert_field(encoding, field);
    make_single_line(field);
    return found;
}

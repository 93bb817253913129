// The texts of a channel or an item: title, link, descriptions and subject,
// cut to their fields and passed through the host's text conversion where
// the feed's encoding needs it.
#include "feed_converter.h"
#include "html_text.h"
#include "text_copy.h"
#include "shell/host_functions.h"

#include <cstdlib>
#include <cstring>

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

}  // namespace

int FeedConverter::get_title(TiXmlHandle parent, int encoding, int, char *field)
{
    if (!field)
        return 0;
    copy_child_text(parent, "title", field);
    convert_field(encoding, field);
    return 1;
}

int FeedConverter::get_link(TiXmlHandle parent, int feed_type, char *field)
{
    if (!field)
        return 0;
    if (feed_type != FeedAtom)
        return copy_child_text(parent, "link", field);
    TiXmlElement *link = find_child_element(parent, "link");
    const char *href = link ? link->Attribute("href") : nullptr;
    copy_text(field, TextFieldSize, href ? href : "");
    return href != nullptr;
}

int FeedConverter::get_description(TiXmlHandle parent, int encoding, int feed_type, char *field)
{
    if (!copy_child_text(parent, feed_type == FeedAtom ? "tagline" : "description", field))
        return 0;
    convert_field(encoding, field);
    return 1;
}

int FeedConverter::get_item_description(TiXmlHandle parent, int encoding, int feed_type, char **description)
{
    if (!description)
        return 0;
    const char *text;
    if (!get_child_text(parent, feed_type == FeedAtom ? "summary" : "description", &text))
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
    return found;
}

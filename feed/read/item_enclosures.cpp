// The enclosures of an item, read from the elements that podcasts, video
// sites and Atom feeds write them in, and written as lines of their own.
#include "item_enclosures.h"
#include "code_pages.h"
#include "element_text.h"
#include "html_text.h"
#include "item_fields.h"

#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/feed_converter.h"

#include <cstdio>
#include <cstring>

namespace {

enum {
    TypeSize = 101,    // a media type is short; a longer one is no type
    TitleSize = 256,
    DetailsSize = TypeSize + 64,
};

struct Enclosure {
    char address[TextFieldSize];
    char type[TypeSize];
    unsigned long long bytes;  // 0: not given
    unsigned long seconds;     // 0: not given
    char title[TitleSize];
};

// The items' enclosures so far; the same address once.
struct Enclosures {
    Enclosure list[MaxItemEnclosures];
    int count = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// A count of bytes written in digits alone (white space around them
// allowed); 0 for anything else, "0" and "-1" (which feeds write for an
// unknown length) among them.
unsigned long long read_byte_count(const char *text)
{
    if (!text)
        return 0;
    while (is_html_space(*text))
        ++text;
    unsigned long long value = 0;
    int digits = 0;
    for (; is_digit(*text); ++text)
        if (++digits > 18)
            return 0;
        else
            value = value * 10 + unsigned(*text - '0');
    while (is_html_space(*text))
        ++text;
    return *text ? 0 : value;
}

// A media type as written, when it is one: printable ASCII, shorter than
// TypeSize; else the empty text.
void copy_type(const char *text, char *out)
{
    out[0] = '\0';
    if (!text)
        return;
    while (is_html_space(*text))
        ++text;
    size_t length = strlen(text);
    while (length && is_html_space(text[length - 1]))
        --length;
    if (length >= TypeSize)
        return;
    for (size_t i = 0; i < length; ++i)
        if ((unsigned char)text[i] <= 0x20 || (unsigned char)text[i] >= 0x7f)
            return;
    memcpy(out, text, length);
    out[length] = '\0';
}

void copy_title(const char *text, int encoding, char *out)
{
    out[0] = '\0';
    if (!text || !*text)
        return;
    char resolved[TitleSize];
    resolve_references(text, resolved, sizeof resolved, encoding == EncodingUtf8);
    copy_text(out, TitleSize, host_converted(encoding, resolved));
    make_single_line(out);
}

// Takes one enclosure in: a new address is added while there is room, a
// known one gets what it lacked.
void add_enclosure(Enclosures *found, const Enclosure &enclosure)
{
    if (!enclosure.address[0])
        return;
    for (int i = 0; i < found->count; ++i) {
        Enclosure &known = found->list[i];
        if (strcmp(known.address, enclosure.address) != 0)
            continue;
        if (!known.type[0])
            copy_text(known.type, sizeof known.type, enclosure.type);
        if (!known.bytes)
            known.bytes = enclosure.bytes;
        if (!known.seconds)
            known.seconds = enclosure.seconds;
        if (!known.title[0])
            copy_text(known.title, sizeof known.title, enclosure.title);
        return;
    }
    if (found->count < MaxItemEnclosures)
        found->list[found->count++] = enclosure;
}

// One element that may hold an enclosure: RSS's enclosure, Atom's link with
// rel="enclosure", Media RSS's content.
void read_enclosure(TiXmlElement *element, int encoding, int feed_type, const char *address, Enclosures *found)
{
    const char *name = element->Value();
    Enclosure enclosure = Enclosure();
    const char *url = nullptr;
    if (same_folded(name, "enclosure")) {
        url = element->Attribute("url");
        copy_type(element->Attribute("type"), enclosure.type);
        enclosure.bytes = read_byte_count(element->Attribute("length"));
    } else if (feed_type == FeedAtom && same_folded(name, "link")) {
        const char *rel = element->Attribute("rel");
        if (!rel || strcmp(rel, "enclosure") != 0)
            return;
        url = element->Attribute("href");
        copy_type(element->Attribute("type"), enclosure.type);
        enclosure.bytes = read_byte_count(element->Attribute("length"));
        copy_title(element->Attribute("title"), encoding, enclosure.title);
    } else if (same_folded(name, "media:content")) {
        url = element->Attribute("url");
        copy_type(element->Attribute("type"), enclosure.type);
        if (!enclosure.type[0])
            copy_type(element->Attribute("medium"), enclosure.type);
        enclosure.bytes = read_byte_count(element->Attribute("fileSize"));
        enclosure.seconds = read_duration(element->Attribute("duration"));
        copy_title(element_text(FeedConverter::find_child_element(TiXmlHandle(element), "media:title")), encoding,
                   enclosure.title);
    } else {
        return;
    }
    if (!url)
        return;
    copy_address(element, url, address, enclosure.address);
    make_single_line(enclosure.address);
    add_enclosure(found, enclosure);
}

size_t write_line(const Enclosure &enclosure, char *out, size_t size)
{
    char details[DetailsSize] = "", part[32];
    const char *parts[3] = {enclosure.type, "", ""};
    if (enclosure.bytes) {
        format_byte_size(enclosure.bytes, part, sizeof part);
        parts[1] = part;
    }
    char duration[32];
    if (enclosure.seconds) {
        format_duration(enclosure.seconds, duration, sizeof duration);
        parts[2] = duration;
    }
    size_t length = 0;
    for (const char *piece : parts) {
        if (!*piece)
            continue;
        length += size_t(snprintf(details + length, sizeof details - length, "%s%s", length ? ", " : " (", piece));
    }
    if (length)
        snprintf(details + length, sizeof details - length, ")");
    int written = snprintf(out, size, "Enclosure: %s%s%s%s", enclosure.address, details,
                           enclosure.title[0] ? " " : "", enclosure.title);
    return written < 0 ? 0 : size_t(written) < size ? size_t(written) : size - 1;
}

}  // namespace

void format_byte_size(unsigned long long bytes, char *out, size_t size)
{
    static const char *const units[] = {"KB", "MB", "GB", "TB"};
    if (bytes < 1024) {
        snprintf(out, size, "%llu %s", bytes, bytes == 1 ? "byte" : "bytes");
        return;
    }
    // Tenths of the unit, rounded, without floating point: the host may have
    // set a locale whose decimal mark is a comma.
    // A size that rounds to 1,024 of a unit is shown in the next one.
    int unit = 0;
    unsigned long long scale = 1024, tenths;
    for (;;) {
        tenths = bytes > ~0ULL / 10 ? bytes / scale * 10 : (bytes * 10 + scale / 2) / scale;
        if (unit == 3 || tenths < 10240)
            break;
        scale *= 1024;
        ++unit;
    }
    snprintf(out, size, "%llu.%llu %s", tenths / 10, tenths % 10, units[unit]);
}

void format_duration(unsigned long seconds, char *out, size_t size)
{
    if (seconds >= 3600)
        snprintf(out, size, "%lu:%02lu:%02lu", seconds / 3600, seconds / 60 % 60, seconds % 60);
    else
        snprintf(out, size, "%lu:%02lu", seconds / 60, seconds % 60);
}

unsigned long read_duration(const char *text)
{
    // Up to three groups of digits; a year of seconds is more than any
    // episode, and keeps the sum far from overflowing.
    const unsigned long Most = 366UL * 86400;
    if (!text)
        return 0;
    while (is_html_space(*text))
        ++text;
    unsigned long total = 0;
    for (int group = 0;; ++group) {
        if (group == 3 || !is_digit(*text))
            return 0;
        unsigned long value = 0;
        for (; is_digit(*text); ++text) {
            value = value * 10 + unsigned(*text - '0');
            if (value > Most)
                return 0;
        }
        total = total * 60 + value;
        if (total > Most)
            return 0;
        if (*text != ':')
            break;
        ++text;
    }
    if (*text == '.')
        for (++text; is_digit(*text); ++text) {
        }
    while (is_html_space(*text))
        ++text;
    return *text ? 0 : total;
}

int get_item_enclosures(TiXmlHandle item, int encoding, int feed_type, const char *address, char *out)
{
    out[0] = '\0';
    TiXmlElement *element = item.Element();
    if (!element)
        return 0;
    Enclosures found;
    for (TiXmlElement *child = element->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (!same_folded(child->Value(), "media:group")) {
            read_enclosure(child, encoding, feed_type, address, &found);
            continue;
        }
        for (TiXmlElement *content = child->FirstChildElement(); content; content = content->NextSiblingElement())
            if (same_folded(content->Value(), "media:content"))
                read_enclosure(content, encoding, feed_type, address, &found);
    }
    const char *duration = element_text(FeedConverter::find_child_element(item, "itunes:duration"));
    unsigned long seconds = read_duration(duration);
    for (int i = 0; i < found.count && seconds; ++i)
        if (!found.list[i].seconds) {
            found.list[i].seconds = seconds;
            break;
        }
    size_t length = 0;
    for (int i = 0; i < found.count; ++i) {
        if (i)
            out[length++] = '\n';
        length += write_line(found.list[i], out + length, EnclosureLineSize);
    }
    out[length] = '\0';
    return found.count;
}

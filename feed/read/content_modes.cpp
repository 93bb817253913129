// Content modes. The decoded text is never longer than the base64 it came
// from, and one pass reads it.
#include "content_modes.h"
#include "code_pages.h"

#include <cstring>
#include <string>

namespace {

bool is_text_media_type(const char *type)
{
    return same_folded(std::string(type, strnlen(type, 5)).c_str(), "text/");
}

// application/xml, text/xml, application/xhtml+xml and the like.
bool is_xml_media_type(const char *type)
{
    size_t length = strlen(type);
    return strchr(type, '/') && length >= 4 && (same_folded(type + length - 4, "/xml") ||
                                                 same_folded(type + length - 4, "+xml"));
}

int base64_value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

// The bytes of a base64 text, white space skipped; false for a text that is
// no base64.
bool decode_base64(const char *text, std::string *out)
{
    unsigned long bits = 0;
    int held = 0;
    const char *p = text;
    for (; *p && *p != '='; ++p) {
        if (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r')
            continue;
        int value = base64_value(*p);
        if (value < 0)
            return false;
        bits = (bits << 6 | unsigned(value)) & 0xffffff;
        held += 6;
        if (held >= 8) {
            held -= 8;
            *out += char(bits >> held & 0xff);
        }
    }
    for (; *p; ++p)
        if (*p != '=' && *p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
            return false;
    return true;
}

bool is_text(const std::string &bytes)
{
    for (unsigned char c : bytes)
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || c == 0x7f)
            return false;
    return true;
}

}  // namespace

bool holds_markup(const TiXmlElement *element)
{
    const char *type = element->Attribute("type");
    if (type && strcmp(type, "xhtml") == 0)
        return true;
    const char *mode = element->Attribute("mode");
    bool xml = mode ? strcmp(mode, "xml") == 0 : type && is_xml_media_type(type);
    return xml && element->FirstChildElement();
}

bool decode_base64_content(TiXmlElement *element, TiXmlText *text)
{
    const char *mode = element->Attribute("mode");
    const char *type = element->Attribute("type");
    bool base64 = mode ? strcmp(mode, "base64") == 0
                       : type && strchr(type, '/') && !is_text_media_type(type) && !is_xml_media_type(type) &&
                             element->ValueStr() == "content";
    if (!base64)
        return true;
    std::string bytes;
    bool decoded = decode_base64(text->Value(), &bytes);
    element->RemoveAttribute("mode");
    if (type && !is_text_media_type(type))
        element->SetAttribute("type", "text");
    if (!decoded)
        return true;
    if (!is_text(bytes)) {
        element->Clear();
        return false;
    }
    text->SetValue(bytes);
    return true;
}

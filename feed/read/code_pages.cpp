// Encoding names, Windows code pages and UTF-8. The conversions use the
// system's own code page tables, so a feed reads as Windows reads its
// encoding.
#include "code_pages.h"

#include "native/platform.h"

#include <cstring>
#include <vector>

namespace {

struct CodePageName {
    const char *name;
    unsigned code_page;
};

// Names as the IANA registry and feeds in the wild write them. ISO-8859-1
// and US-ASCII read as windows-1252, which agrees with them wherever they
// are printable and is what feeds labelled so mostly hold.
const CodePageName Names[] = {
    {"utf-8", CodePageUtf8},       {"utf8", CodePageUtf8},
    {"shift_jis", CodePageShiftJis}, {"shift-jis", CodePageShiftJis}, {"sjis", CodePageShiftJis},
    {"x-sjis", CodePageShiftJis},  {"ms_kanji", CodePageShiftJis},  {"windows-31j", CodePageShiftJis},
    {"cp932", CodePageShiftJis},   {"euc-jp", CodePageEucJp},       {"x-euc-jp", CodePageEucJp},
    {"iso-8859-1", 1252},          {"iso8859-1", 1252},             {"iso_8859-1", 1252},
    {"latin1", 1252},              {"us-ascii", 1252},              {"ascii", 1252},
    {"iso-8859-2", 28592},         {"iso-8859-3", 28593},           {"iso-8859-4", 28594},
    {"iso-8859-5", 28595},         {"iso-8859-6", 28596},           {"iso-8859-7", 28597},
    {"iso-8859-8", 28598},         {"iso-8859-8-i", 28598},         {"iso-8859-9", 28599},
    {"iso-8859-13", 28603},        {"iso-8859-15", 28605},          {"latin-9", 28605},
    {"windows-1250", 1250},        {"windows-1251", 1251},          {"windows-1252", 1252},
    {"windows-1253", 1253},        {"windows-1254", 1254},          {"windows-1255", 1255},
    {"windows-1256", 1256},        {"windows-1257", 1257},          {"windows-1258", 1258},
    {"cp1250", 1250},              {"cp1251", 1251},                {"cp1252", 1252},
    {"x-cp1251", 1251},            {"koi8-r", 20866},               {"koi8-u", 21866},
    {"gb2312", 936},               {"gbk", 936},                    {"x-gbk", 936},
    {"cp936", 936},                {"euc-cn", 936},                 {"gb18030", 54936},
    {"big5", 950},                 {"cp950", 950},                  {"x-x-big5", 950},
    {"euc-kr", 949},               {"ks_c_5601-1987", 949},         {"cp949", 949},
    {"tis-620", 874},              {"windows-874", 874},            {"iso-8859-11", 874},
    {"macintosh", 10000},
    // A text of single bytes that names a wider form of Unicode was
    // written out as UTF-8 and kept its old declaration: the declaration
    // read as ASCII, which no UTF-16 or UTF-32 text does.
    {"utf-16", CodePageUtf8},      {"utf-16le", CodePageUtf8},      {"utf-16be", CodePageUtf8},
    {"utf-32", CodePageUtf8},      {"utf-32le", CodePageUtf8},      {"utf-32be", CodePageUtf8},
    {"ucs-2", CodePageUtf8},       {"iso-10646-ucs-2", CodePageUtf8}, {"unicode", CodePageUtf8},
};

}  // namespace

unsigned code_page_of(const char *name)
{
    if (!name)
        return 0;
    for (const CodePageName &entry : Names)
        if (same_folded(name, entry.name))
            return entry.code_page;
    return 0;
}

bool convert_to_utf8(unsigned code_page, const char *text, size_t length, std::string *out)
{
    if (length == 0)
        return true;
    if (length > 0x7fffffff / 4)
        return false;
    int wide_length = MultiByteToWideChar(code_page, 0, text, int(length), nullptr, 0);
    if (wide_length <= 0)
        return false;
    std::vector<WCHAR> wide(static_cast<size_t>(wide_length));
    wide_length = MultiByteToWideChar(code_page, 0, text, int(length), wide.data(), wide_length);
    int utf8_length = WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (wide_length <= 0 || utf8_length <= 0)
        return false;
    size_t start = out->size();
    out->resize(start + size_t(utf8_length));
    if (WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &(*out)[start], utf8_length, nullptr, nullptr) !=
        utf8_length) {
        out->resize(start);
        return false;
    }
    return true;
}

bool convert_from_utf8(unsigned code_page, const std::string &text, std::string *out)
{
    out->clear();
    if (text.empty())
        return true;
    if (text.size() > 0x7fffffff / 4)
        return false;
    int wide_length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    if (wide_length <= 0)
        return false;
    std::vector<WCHAR> wide(static_cast<size_t>(wide_length));
    wide_length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide.data(), wide_length);
    int length = WideCharToMultiByte(code_page, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
    if (wide_length <= 0 || length <= 0)
        return false;
    out->resize(size_t(length));
    std::string back;
    // A character the code page lacks comes back as another one.
    if (WideCharToMultiByte(code_page, 0, wide.data(), wide_length, &(*out)[0], length, nullptr, nullptr) != length ||
        !convert_to_utf8(code_page, out->data(), out->size(), &back) || back != text) {
        out->clear();
        return false;
    }
    return true;
}

size_t encode_character(unsigned code_page, unsigned long code_point, char *out)
{
    WCHAR wide[2];
    int wide_length = 1;
    if (code_point > 0x10ffff || (code_point >= 0xd800 && code_point <= 0xdfff))
        return 0;
    if (code_point >= 0x10000) {
        wide[0] = WCHAR(0xd800 + ((code_point - 0x10000) >> 10));
        wide[1] = WCHAR(0xdc00 + ((code_point - 0x10000) & 0x3ff));
        wide_length = 2;
    } else {
        wide[0] = WCHAR(code_point);
    }
    char bytes[8];
    BOOL lacking = FALSE;
    // Only the code page's own character will do: a look-alike (a full-width
    // '<' written as '<') could change the markup around it.
    int length = WideCharToMultiByte(code_page, WC_NO_BEST_FIT_CHARS, wide, wide_length, bytes, sizeof bytes, nullptr,
                                     code_page == CodePageUtf8 ? nullptr : &lacking);
    if (length <= 0 || length > 4 || lacking)
        return 0;
    memcpy(out, bytes, size_t(length));
    return size_t(length);
}

bool is_valid_utf8(const char *text, size_t length)
{
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text), *end = p + length;
    while (p < end) {
        unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        size_t trail;
        unsigned long value, least;
        if (c >= 0xc2 && c <= 0xdf)
            trail = 1, value = c & 0x1f, least = 0x80;
        else if (c >= 0xe0 && c <= 0xef)
            trail = 2, value = c & 0x0f, least = 0x800;
        else if (c >= 0xf0 && c <= 0xf4)
            trail = 3, value = c & 0x07, least = 0x10000;
        else
            return false;
        if (size_t(end - p) <= trail)
            return false;
        for (size_t i = 1; i <= trail; ++i) {
            if ((p[i] & 0xc0) != 0x80)
                return false;
            value = value << 6 | (p[i] & 0x3f);
        }
        if (value < least || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff))
            return false;
        p += trail + 1;
    }
    return true;
}

namespace {

void append_utf8(unsigned long c, std::string *out)
{
    if (c < 0x80) {
        *out += char(c);
    } else if (c < 0x800) {
        *out += char(0xc0 | c >> 6);
        *out += char(0x80 | (c & 0x3f));
    } else if (c < 0x10000) {
        *out += char(0xe0 | c >> 12);
        *out += char(0x80 | (c >> 6 & 0x3f));
        *out += char(0x80 | (c & 0x3f));
    } else {
        *out += char(0xf0 | c >> 18);
        *out += char(0x80 | (c >> 12 & 0x3f));
        *out += char(0x80 | (c >> 6 & 0x3f));
        *out += char(0x80 | (c & 0x3f));
    }
}

const unsigned long Replacement = 0xfffd;

}  // namespace

bool unicode_text_to_utf8(const char *text, size_t length, std::string *out)
{
    const unsigned char *b = reinterpret_cast<const unsigned char *>(text);
    auto starts = [&](const char *bytes, size_t n) { return length >= n && memcmp(b, bytes, n) == 0; };
    size_t unit = 0, skip = 0;
    bool big = false;
    if (starts("\0\0\xfe\xff", 4) || starts("\0\0\0<", 4))
        unit = 4, big = true, skip = b[3] == 0xff ? 4 : 0;
    else if (starts("\xff\xfe\0\0", 4) || starts("<\0\0\0", 4))
        unit = 4, skip = b[0] == 0xff ? 4 : 0;
    else if (starts("\xfe\xff", 2) || (starts("\0<\0", 3) && length >= 4 && b[3]))
        unit = 2, big = true, skip = b[0] == 0xfe ? 2 : 0;
    else if (starts("\xff\xfe", 2) || (starts("<\0", 2) && length >= 4 && b[2] && !b[3]))
        unit = 2, skip = b[0] == 0xff ? 2 : 0;
    else
        return false;
    auto read = [&](size_t at) {
        unsigned long value = 0;
        for (size_t i = 0; i < unit; ++i)
            value |= static_cast<unsigned long>(b[at + i]) << 8 * (big ? unit - 1 - i : i);
        return value;
    };
    std::string utf8;
    utf8.reserve((length - skip) / 2 * 3);
    const size_t end = skip + (length - skip) / unit * unit;
    for (size_t at = skip; at < end; at += unit) {
        unsigned long c = read(at);
        if (unit == 2 && c >= 0xd800 && c <= 0xdbff && at + 2 < end) {
            unsigned long low = read(at + 2);
            if (low >= 0xdc00 && low <= 0xdfff) {
                c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                at += 2;
            }
        }
        if ((c >= 0xd800 && c <= 0xdfff) || c > 0x10ffff)
            c = Replacement;
        append_utf8(c, &utf8);
    }
    out->swap(utf8);
    return true;
}


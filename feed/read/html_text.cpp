// HTML to readable text in one forward pass, plus a second one that lists
// the link addresses when the text has links. The state is a few counters and
// no stack, so that deep or unclosed markup costs no more than flat markup.
// Every piece written is paid for by the input it comes from: a tag of at
// least three bytes gives at most two line ends, a list item (four bytes) at
// most one line end and an eight-byte marker, a link (at least ten bytes) a
// mark and a list line of ten bytes more than its address at most; text and
// references are never longer than themselves, nor is an embedded frame's
// address (a tag of at least fourteen bytes more) with the two line ends
// around it. Hence HtmlTextGrowth. An address made absolute grows by its
// base and a slash at most.
#include "html_text.h"

#include "base/addresses.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// What an element does to the text around it.
enum TagKind {
    TagInline,     // nothing: its text runs on
    TagLine,       // a line of its own
    TagParagraph,  // a paragraph of its own: a blank line before and after
    TagBreak,      // a line end
    TagList,       // a list: its items are indented by their depth
    TagItem,       // a list item: a line of its own, with a marker
    TagCell,       // a table cell: a space from the one before
    TagPre,        // preformatted text: its white space is kept
    TagRaw,        // text that is never shown: scripts, styles, a document title
    TagImage,      // shown as its alt text
    TagAnchor,     // a link
    TagFrame,      // an embedded page (a video player): its address on a line of its own
};

struct TagRule {
    const char *name;
    TagKind kind;
};

// The elements that make a text HTML, sorted by name.
const TagRule Tags[] = {
    {"a", TagAnchor}, {"abbr", TagInline}, {"address", TagParagraph}, {"article", TagParagraph},
    {"aside", TagParagraph}, {"b", TagInline}, {"big", TagInline}, {"blockquote", TagParagraph},
    {"body", TagInline}, {"br", TagBreak}, {"caption", TagLine}, {"center", TagLine}, {"cite", TagInline},
    {"code", TagInline}, {"dd", TagLine}, {"del", TagInline}, {"dfn", TagInline}, {"div", TagLine},
    {"dl", TagParagraph}, {"dt", TagLine}, {"em", TagInline}, {"figcaption", TagLine}, {"figure", TagParagraph},
    {"font", TagInline}, {"footer", TagParagraph}, {"h1", TagParagraph}, {"h2", TagParagraph},
    {"h3", TagParagraph}, {"h4", TagParagraph}, {"h5", TagParagraph}, {"h6", TagParagraph}, {"head", TagInline},
    {"header", TagParagraph}, {"hr", TagParagraph}, {"html", TagInline}, {"i", TagInline}, {"iframe", TagFrame}, {"img", TagImage},
    {"ins", TagInline}, {"kbd", TagInline}, {"li", TagItem}, {"main", TagParagraph}, {"mark", TagInline},
    {"nav", TagParagraph}, {"ol", TagList}, {"p", TagParagraph}, {"pre", TagPre}, {"q", TagInline},
    {"s", TagInline}, {"samp", TagInline}, {"script", TagRaw}, {"section", TagParagraph}, {"small", TagInline},
    {"span", TagInline}, {"strike", TagInline}, {"strong", TagInline}, {"style", TagRaw}, {"sub", TagInline},
    {"sup", TagInline}, {"table", TagParagraph}, {"tbody", TagInline}, {"td", TagCell}, {"tfoot", TagInline},
    {"th", TagCell}, {"thead", TagInline}, {"title", TagRaw}, {"tr", TagLine}, {"tt", TagInline},
    {"u", TagInline}, {"ul", TagList}, {"var", TagInline}, {"wbr", TagInline},
};

struct NamedReference {
    const char *name;
    unsigned long code;
};

// The HTML 4 character entities and &apos;, sorted by name.
const NamedReference NamedReferences[] = {
    {"AElig", 198}, {"Aacute", 193}, {"Acirc", 194}, {"Agrave", 192}, {"Alpha", 913}, {"Aring", 197},
    {"Atilde", 195}, {"Auml", 196}, {"Beta", 914}, {"Ccedil", 199}, {"Chi", 935}, {"Dagger", 8225}, {"Delta", 916},
    {"ETH", 208}, {"Eacute", 201}, {"Ecirc", 202}, {"Egrave", 200}, {"Epsilon", 917}, {"Eta", 919}, {"Euml", 203},
    {"Gamma", 915}, {"Iacute", 205}, {"Icirc", 206}, {"Igrave", 204}, {"Iota", 921}, {"Iuml", 207}, {"Kappa", 922},
    {"Lambda", 923}, {"Mu", 924}, {"Ntilde", 209}, {"Nu", 925}, {"OElig", 338}, {"Oacute", 211}, {"Ocirc", 212},
    {"Ograve", 210}, {"Omega", 937}, {"Omicron", 927}, {"Oslash", 216}, {"Otilde", 213}, {"Ouml", 214},
    {"Phi", 934}, {"Pi", 928}, {"Prime", 8243}, {"Psi", 936}, {"Rho", 929}, {"Scaron", 352}, {"Sigma", 931},
    {"THORN", 222}, {"Tau", 932}, {"Theta", 920}, {"Uacute", 218}, {"Ucirc", 219}, {"Ugrave", 217},
    {"Upsilon", 933}, {"Uuml", 220}, {"Xi", 926}, {"Yacute", 221}, {"Yuml", 376}, {"Zeta", 918}, {"aacute", 225},
    {"acirc", 226}, {"acute", 180}, {"aelig", 230}, {"agrave", 224}, {"alefsym", 8501}, {"alpha", 945}, {"amp", 38},
    {"and", 8743}, {"ang", 8736}, {"apos", 39}, {"aring", 229}, {"asymp", 8776}, {"atilde", 227}, {"auml", 228},
    {"bdquo", 8222}, {"beta", 946}, {"brvbar", 166}, {"bull", 8226}, {"cap", 8745}, {"ccedil", 231}, {"cedil", 184},
    {"cent", 162}, {"chi", 967}, {"circ", 710}, {"clubs", 9827}, {"cong", 8773}, {"copy", 169}, {"crarr", 8629},
    {"cup", 8746}, {"curren", 164}, {"dArr", 8659}, {"dagger", 8224}, {"darr", 8595}, {"deg", 176}, {"delta", 948},
    {"diams", 9830}, {"divide", 247}, {"eacute", 233}, {"ecirc", 234}, {"egrave", 232}, {"empty", 8709},
    {"emsp", 8195}, {"ensp", 8194}, {"epsilon", 949}, {"equiv", 8801}, {"eta", 951}, {"eth", 240}, {"euml", 235},
    {"euro", 8364}, {"exist", 8707}, {"fnof", 402}, {"forall", 8704}, {"frac12", 189}, {"frac14", 188},
    {"frac34", 190}, {"frasl", 8260}, {"gamma", 947}, {"ge", 8805}, {"gt", 62}, {"hArr", 8660}, {"harr", 8596},
    {"hearts", 9829}, {"hellip", 8230}, {"iacute", 237}, {"icirc", 238}, {"iexcl", 161}, {"igrave", 236},
    {"image", 8465}, {"infin", 8734}, {"int", 8747}, {"iota", 953}, {"iquest", 191}, {"isin", 8712}, {"iuml", 239},
    {"kappa", 954}, {"lArr", 8656}, {"lambda", 955}, {"lang", 9001}, {"laquo", 171}, {"larr", 8592},
    {"lceil", 8968}, {"ldquo", 8220}, {"le", 8804}, {"lfloor", 8970}, {"lowast", 8727}, {"loz", 9674},
    {"lrm", 8206}, {"lsaquo", 8249}, {"lsquo", 8216}, {"lt", 60}, {"macr", 175}, {"mdash", 8212}, {"micro", 181},
    {"middot", 183}, {"minus", 8722}, {"mu", 956}, {"nabla", 8711}, {"nbsp", 160}, {"ndash", 8211}, {"ne", 8800},
    {"ni", 8715}, {"not", 172}, {"notin", 8713}, {"nsub", 8836}, {"ntilde", 241}, {"nu", 957}, {"oacute", 243},
    {"ocirc", 244}, {"oelig", 339}, {"ograve", 242}, {"oline", 8254}, {"omega", 969}, {"omicron", 959},
    {"oplus", 8853}, {"or", 8744}, {"ordf", 170}, {"ordm", 186}, {"oslash", 248}, {"otilde", 245}, {"otimes", 8855},
    {"ouml", 246}, {"para", 182}, {"part", 8706}, {"permil", 8240}, {"perp", 8869}, {"phi", 966}, {"pi", 960},
    {"piv", 982}, {"plusmn", 177}, {"pound", 163}, {"prime", 8242}, {"prod", 8719}, {"prop", 8733}, {"psi", 968},
    {"quot", 34}, {"rArr", 8658}, {"radic", 8730}, {"rang", 9002}, {"raquo", 187}, {"rarr", 8594}, {"rceil", 8969},
    {"rdquo", 8221}, {"real", 8476}, {"reg", 174}, {"rfloor", 8971}, {"rho", 961}, {"rlm", 8207}, {"rsaquo", 8250},
    {"rsquo", 8217}, {"sbquo", 8218}, {"scaron", 353}, {"sdot", 8901}, {"sect", 167}, {"shy", 173}, {"sigma", 963},
    {"sigmaf", 962}, {"sim", 8764}, {"spades", 9824}, {"sub", 8834}, {"sube", 8838}, {"sum", 8721}, {"sup", 8835},
    {"sup1", 185}, {"sup2", 178}, {"sup3", 179}, {"supe", 8839}, {"szlig", 223}, {"tau", 964}, {"there4", 8756},
    {"theta", 952}, {"thetasym", 977}, {"thinsp", 8201}, {"thorn", 254}, {"tilde", 732}, {"times", 215},
    {"trade", 8482}, {"uArr", 8657}, {"uacute", 250}, {"uarr", 8593}, {"ucirc", 251}, {"ugrave", 249}, {"uml", 168},
    {"upsih", 978}, {"upsilon", 965}, {"uuml", 252}, {"weierp", 8472}, {"xi", 958}, {"yacute", 253}, {"yen", 165},
    {"yuml", 255}, {"zeta", 950}, {"zwj", 8205}, {"zwnj", 8204},
};

// Numeric references to 0x80-0x9F name the characters of windows-1252, as
// browsers read them; 0 where that code page has none.
const unsigned short Windows1252[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

const size_t LongestTagName = 10;
const size_t LongestReferenceName = 8;
const unsigned long NoCharacter = 0x110000;

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// Whether the length bytes at text spell name, whatever their case.
bool names_equal(const char *text, size_t length, const char *name)
{
    for (size_t i = 0; i < length; ++i)
        if (name[i] == '\0' || lower(text[i]) != name[i])
            return false;
    return name[length] == '\0';
}

// strcmp for the short names here, inline: most comparisons end at the first byte.
int compare_names(const char *a, const char *b)
{
    while (*a && *a == *b)
        ++a, ++b;
    return int(static_cast<unsigned char>(*a)) - int(static_cast<unsigned char>(*b));
}

// The entry of a table sorted by name that bears name, or null.
template <class Entry, size_t Count> const Entry *find_by_name(const Entry (&table)[Count], const char *name)
{
    size_t low = 0, high = Count;
    while (low < high) {
        size_t middle = (low + high) / 2;
        int order = compare_names(name, table[middle].name);
        if (order == 0)
            return &table[middle];
        if (order < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return nullptr;
}

const TagRule *find_tag(const char *name, size_t length)
{
    char lowered[LongestTagName + 1];
    if (length == 0 || length > LongestTagName)
        return nullptr;
    for (size_t i = 0; i < length; ++i)
        lowered[i] = lower(name[i]);
    lowered[length] = '\0';
    return find_by_name(Tags, lowered);
}

int digit_value(char c, bool hex)
{
    if (is_digit(c))
        return c - '0';
    char l = lower(c);
    return hex && l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
}

// The character reference at p ('&'): gives where it ends and the code point
// it names (NoCharacter when out of range), or null when p starts none.
const char *read_reference(const char *p, const char *end, unsigned long *code)
{
    const char *q = p + 1;
    if (q < end && *q == '#') {
        bool hex = ++q < end && lower(*q) == 'x';
        q += hex;
        const char *digits = q;
        unsigned long value = 0;
        for (int digit; q < end && (digit = digit_value(*q, hex)) >= 0; ++q) {
            value = value * (hex ? 16 : 10) + unsigned(digit);
            if (value > NoCharacter)
                value = NoCharacter;  // any number of digits without overflow
        }
        if (q == digits || q >= end || *q != ';')
            return nullptr;
        *code = value;
        return q + 1;
    }
    const char *name = q;
    while (q < end && size_t(q - name) <= LongestReferenceName && (is_letter(*q) || is_digit(*q)))
        ++q;
    size_t length = size_t(q - name);
    if (length == 0 || length > LongestReferenceName || q >= end || *q != ';')
        return nullptr;
    char wanted[LongestReferenceName + 1];
    memcpy(wanted, name, length);
    wanted[length] = '\0';
    const NamedReference *found = find_by_name(NamedReferences, wanted);
    if (!found)
        return nullptr;
    *code = found->code;
    return q + 1;
}

// The bytes that a reference to code is written as, or 0 when the reference
// is to stay as it stands. A no-break space reads as a space; what is no
// character, or a control, becomes the replacement character.
size_t reference_bytes(unsigned long code, bool utf8, char *bytes)
{
    if (code >= 0x80 && code < 0xA0)
        code = Windows1252[code - 0x80];
    if (code == 0xA0)
        code = ' ';
    bool character = code == '\t' || code == '\n' || code == '\r' ||
                     (code >= 0x20 && code != 0x7F && code < NoCharacter && !(code >= 0xD800 && code < 0xE000));
    if (character && code < 0x80) {
        bytes[0] = char(code);
        return 1;
    }
    if (!utf8)
        return 0;
    if (!character)
        code = 0xFFFD;
    if (code < 0x800) {
        bytes[0] = char(0xC0 | code >> 6);
        bytes[1] = char(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        bytes[0] = char(0xE0 | code >> 12);
        bytes[1] = char(0x80 | (code >> 6 & 0x3F));
        bytes[2] = char(0x80 | (code & 0x3F));
        return 3;
    }
    bytes[0] = char(0xF0 | code >> 18);
    bytes[1] = char(0x80 | (code >> 12 & 0x3F));
    bytes[2] = char(0x80 | (code >> 6 & 0x3F));
    bytes[3] = char(0x80 | (code & 0x3F));
    return 4;
}

// What a text holds, from least to most.
enum { HoldsText, HoldsReferences, HoldsMarkup };

int what_text_holds(const char *p, const char *end)
{
    int holds = HoldsText;
    for (; p < end; ++p) {
        if (*p == '<') {
            if (end - p >= 4 && memcmp(p, "<!--", 4) == 0)
                return HoldsMarkup;
            const char *name = p + 1 + (p + 1 < end && p[1] == '/');
            const char *q = name;
            while (q < end && size_t(q - name) <= LongestTagName && (is_letter(*q) || is_digit(*q)))
                ++q;
            if (q < end && (is_html_space(*q) || *q == '/' || *q == '>') && find_tag(name, size_t(q - name)))
                return HoldsMarkup;
        } else if (*p == '&' && holds == HoldsText) {
            unsigned long code;
            if (read_reference(p, end, &code))
                holds = HoldsReferences;
        }
    }
    return holds;
}

// The text under composition in the caller's buffer, and the layout due
// before the next visible piece of it.
struct Render {
    char *out;
    size_t size;    // of out, at least 1
    size_t length;  // written so far
    bool utf8;
    bool marks;     // links get a mark and a line in the list
    const char *base;  // what their addresses are relative to, or null
    bool listing;   // the pass that writes only the list of link addresses
    bool shown;     // some text is written: line ends and spaces now count
    int breaks;     // line ends due, at most 2 (one blank line)
    bool space;     // a space due
    bool marker;    // a list item marker due
    size_t lists;   // the depth of lists
    size_t pre;     // the depth of preformatted text
    // The open link: its address, whether its text so far is that address.
    bool linked;
    bool link_shown;
    const char *href;
    size_t href_length;
    size_t matched;
    bool differs;
    unsigned long links;  // links numbered so far
};

void store(Render &r, const char *bytes, size_t length)
{
    size_t room = r.size - 1 - r.length;
    if (length > room)
        length = room;
    memcpy(r.out + r.length, bytes, length);
    r.length += length;
}

void put(Render &r, const char *bytes, size_t length)
{
    if (!r.listing)
        store(r, bytes, length);
}

// Which links are numbered depends only on the text shown inside them, so
// that the listing pass reads no other text.
bool reads_text(const Render &r) { return !r.listing || (r.linked && r.href); }

// Writes the line ends, space or list marker due before visible text.
void lay_out(Render &r)
{
    if (r.shown) {
        if (r.breaks)
            put(r, "\n\n", size_t(r.breaks));
        else if (r.space)
            put(r, " ", 1);
    }
    if (r.marker) {
        // Two spaces a level, from the second level to the fourth.
        static const char marker[] = "      - ";
        size_t depth = r.lists < 1 ? 1 : r.lists > 4 ? 4 : r.lists;
        put(r, marker + 2 * (4 - depth), 2 * depth);
    }
    r.breaks = 0;
    r.space = r.marker = false;
    r.shown = true;
}

void show(Render &r, const char *bytes, size_t length)
{
    if (!r.listing) {
        lay_out(r);
        put(r, bytes, length);
    }
    if (r.linked) {
        r.link_shown = true;
        for (size_t i = 0; i < length && r.href && !r.differs; ++i)
            r.differs = r.matched >= r.href_length || r.href[r.matched++] != bytes[i];
    }
}

void line_ends(Render &r, int count)
{
    if (r.breaks < count)
        r.breaks = count;
}

void white_space(Render &r, char c)
{
    if (!r.pre) {
        if (!r.breaks)
            r.space = true;
    } else if (c == '\n' || c == '\r') {
        r.breaks = r.breaks < 2 ? r.breaks + 1 : 2;
    } else {
        show(r, c == '\t' ? "\t" : " ", 1);
    }
}

// Text between tags: white space collapsed (kept in preformatted text),
// references resolved.
void text(Render &r, const char *p, const char *end)
{
    while (p < end) {
        // A single space between words reads as itself: it joins the run.
        const char *run = p;
        while (p < end && *p != '&' && (!is_html_space(*p) || (*p == ' ' && p > run && p + 1 < end &&
                                                          p[1] != '&' && !is_html_space(p[1]))))
            ++p;
        if (p > run)
            show(r, run, size_t(p - run));
        if (p == end)
            break;
        if (*p != '&') {
            if (!(*p == '\r' && p + 1 < end && p[1] == '\n'))
                white_space(r, *p);
            ++p;
            continue;
        }
        unsigned long code;
        const char *next = read_reference(p, end, &code);
        char bytes[4];
        size_t length;
        if (next && code < 0x80 && is_html_space(char(code))) {
            white_space(r, char(code));
            p = next;
        } else if (next && (length = reference_bytes(code, r.utf8, bytes)) > 0) {
            show(r, bytes, length);
            p = next;
        } else {
            show(r, p, 1);
            ++p;
        }
    }
}

// Text with its references resolved and nothing else changed; an address
// also loses the tabs and line ends that markup may spread it over.
void store_resolved(Render &r, const char *p, const char *end, bool address)
{
    while (p < end) {
        const char *run = p;
        while (p < end && *p != '&' && !(address && (*p == '\t' || *p == '\n' || *p == '\r')))
            ++p;
        store(r, run, size_t(p - run));
        if (p == end)
            break;
        unsigned long code;
        const char *next = *p == '&' ? read_reference(p, end, &code) : nullptr;
        char bytes[4];
        size_t length;
        if (next && (length = reference_bytes(code, r.utf8, bytes)) > 0) {
            store(r, bytes, length);
            p = next;
        } else {
            if (*p == '&')
                store(r, p, 1);
            ++p;
        }
    }
}

// A link's address: its references resolved, then made absolute against
// the base. References are never longer than themselves, so the address as
// written fits a buffer of its own length.
void store_address(Render &r, const char *href, const char *end)
{
    if (!r.base) {
        store_resolved(r, href, end, true);
        return;
    }
    std::string written(size_t(end - href) + 1, '\0');
    Render address = Render();
    address.out = &written[0];
    address.size = written.size();
    address.utf8 = r.utf8;
    store_resolved(address, href, end, true);
    address.out[address.length] = '\0';
    r.length += resolve_address(r.base, address.out, r.out + r.length, r.size - r.length);
}

struct Tag {
    const TagRule *rule;  // null for an element that is not in the table
    bool closing;
    const char *alt, *alt_end;
    const char *href, *href_end;
    const char *src, *src_end;
};

// The tag at p ('<' or "</" and a letter): gives where it ends, or null when
// the text ends inside it. Quoted attribute values may hold '>'.
const char *read_tag(const char *p, const char *end, Tag *tag)
{
    *tag = Tag();
    tag->closing = *++p == '/';
    p += tag->closing;
    const char *name = p;
    while (p < end && !is_html_space(*p) && *p != '/' && *p != '>')
        ++p;
    tag->rule = find_tag(name, size_t(p - name));
    for (;;) {
        while (p < end && (is_html_space(*p) || *p == '/'))
            ++p;
        if (p == end)
            return nullptr;
        if (*p == '>')
            return p + 1;
        const char *attribute = p++;  // a name has one byte at least, even '='
        while (p < end && !is_html_space(*p) && *p != '/' && *p != '>' && *p != '=')
            ++p;
        size_t attribute_length = size_t(p - attribute);
        while (p < end && is_html_space(*p))
            ++p;
        if (p == end || *p != '=')
            continue;
        ++p;
        while (p < end && is_html_space(*p))
            ++p;
        const char *value = p, *value_end;
        if (p < end && (*p == '"' || *p == '\'')) {
            value = ++p;
            p = static_cast<const char *>(memchr(p, p[-1], size_t(end - p)));
            if (!p)
                return nullptr;
            value_end = p++;
        } else {
            while (p < end && !is_html_space(*p) && *p != '>')
                ++p;
            value_end = p;
        }
        // The first of two same attributes counts.
        if (!tag->alt && names_equal(attribute, attribute_length, "alt"))
            tag->alt = value, tag->alt_end = value_end;
        else if (!tag->href && names_equal(attribute, attribute_length, "href"))
            tag->href = value, tag->href_end = value_end;
        else if (!tag->src && names_equal(attribute, attribute_length, "src"))
            tag->src = value, tag->src_end = value_end;
    }
}

// An address of an attribute without the white space around it; false for
// one within the page or a script, which lead nowhere a reader can go.
bool leads_away(const char *&address, const char *&end)
{
    if (!address)
        return false;
    while (address < end && is_html_space(*address))
        ++address;
    while (end > address && is_html_space(end[-1]))
        --end;
    size_t length = size_t(end - address);
    return length > 0 && *address != '#' && !(length >= 11 && names_equal(address, 11, "javascript:"));
}

void open_link(Render &r, const Tag &tag)
{
    r.linked = true;
    r.link_shown = r.differs = false;
    r.matched = 0;
    r.href = nullptr;
    const char *href = tag.href, *end = tag.href_end;
    if (!leads_away(href, end))
        return;
    r.href = href;
    r.href_length = size_t(end - href);
}

// An embedded frame (Blogger's and YouTube's video players) shows nothing
// in a text, so its address stands in its place, on a line of its own. A
// title leaves it out.
void show_frame(Render &r, const Tag &tag)
{
    const char *src = tag.src, *end = tag.src_end;
    if (tag.closing || !r.marks || r.listing || !leads_away(src, end))
        return;
    line_ends(r, 1);
    lay_out(r);
    store_address(r, src, end);
    line_ends(r, 1);
}

// Ends the open link: its mark after its text, or its line in the list.
// A link whose text is its address needs neither.
void close_link(Render &r)
{
    if (!r.linked)
        return;
    r.linked = false;
    if (!r.marks || !r.href || (!r.differs && r.matched == r.href_length))
        return;
    char mark[24];
    int length = snprintf(mark, sizeof mark, "[%lu]", ++r.links);
    if (!r.listing) {
        if (!r.link_shown)
            lay_out(r);
        put(r, mark, size_t(length));
        return;
    }
    store(r, r.links == 1 ? "\n\n" : "\n", r.links == 1 ? 2 : 1);
    store(r, mark, size_t(length));
    store(r, " ", 1);
    store_address(r, r.href, r.href + r.href_length);
}

void apply(Render &r, const Tag &tag)
{
    if (!tag.rule)
        return;
    switch (tag.rule->kind) {
    case TagLine:
        line_ends(r, 1);
        break;
    case TagParagraph:
        line_ends(r, 2);
        break;
    case TagBreak:  // "</br>" breaks a line too
        r.breaks = r.breaks < 2 ? r.breaks + 1 : 2;
        break;
    case TagList:
        if (tag.closing && r.lists > 0)
            --r.lists;
        line_ends(r, r.lists > 0 ? 1 : 2);
        if (!tag.closing)
            ++r.lists;
        break;
    case TagItem:
        line_ends(r, 1);
        r.marker = !tag.closing;
        break;
    case TagCell:
        if (!tag.closing && !r.breaks)
            r.space = true;
        break;
    case TagPre:
        line_ends(r, 2);
        if (!tag.closing)
            ++r.pre;
        else if (r.pre > 0)
            --r.pre;
        break;
    case TagImage:
        if (!tag.closing && tag.alt && reads_text(r))
            text(r, tag.alt, tag.alt_end);
        break;
    case TagAnchor:
        close_link(r);
        if (!tag.closing)
            open_link(r, tag);
        break;
    case TagFrame:
        show_frame(r, tag);
        break;
    case TagInline:
    case TagRaw:
        break;
    }
}

// Where the raw text after an opening tag named name ends: after its own
// closing tag, or at the end of the text.
const char *skip_raw_text(const char *p, const char *end, const char *name)
{
    size_t length = strlen(name);
    for (; p < end && (p = static_cast<const char *>(memchr(p, '<', size_t(end - p)))) != nullptr; ++p) {
        if (size_t(end - p) > length + 2 && p[1] == '/' && names_equal(p + 2, length, name) &&
            (is_html_space(p[length + 2]) || p[length + 2] == '/' || p[length + 2] == '>')) {
            const char *close = static_cast<const char *>(memchr(p, '>', size_t(end - p)));
            return close ? close + 1 : end;
        }
    }
    return end;
}

// The markup at p ('<'): gives where the text goes on.
const char *markup(Render &r, const char *p, const char *end)
{
    if (end - p >= 4 && memcmp(p, "<!--", 4) == 0) {
        const char *q = p + 4;
        if (q < end && *q == '>')
            return q + 1;  // "<!-->" is a whole comment, as is "<!--->"
        if (end - q >= 2 && q[0] == '-' && q[1] == '>')
            return q + 2;
        for (; end - q >= 3; ++q)
            if (q[0] == '-' && q[1] == '-' && q[2] == '>')
                return q + 3;
        return end;
    }
    bool closing = end - p >= 2 && p[1] == '/';
    const char *name = p + 1 + closing;
    if (name < end && (is_letter(*name))) {
        Tag tag;
        const char *after = read_tag(p, end, &tag);
        if (!after)
            return end;
        apply(r, tag);
        return tag.rule && tag.rule->kind == TagRaw && !tag.closing ? skip_raw_text(after, end, tag.rule->name)
                                                                     : after;
    }
    // Declarations, processing instructions and odd closing tags are left out whole.
    if (name < end && (closing || *name == '!' || *name == '?')) {
        const char *close = static_cast<const char *>(memchr(p, '>', size_t(end - p)));
        return close ? close + 1 : end;
    }
    show(r, p, 1);  // a '<' that starts nothing is text
    return p + 1;
}

void render(Render &r, const char *p, const char *end)
{
    while (p < end) {
        const char *open = static_cast<const char *>(memchr(p, '<', size_t(end - p)));
        if (reads_text(r))
            text(r, p, open ? open : end);
        if (!open)
            break;
        p = markup(r, open, end);
    }
    close_link(r);
}

}  // namespace

int carries_html(const char *text)
{
    return what_text_holds(text, text + strlen(text)) != HoldsText;
}

size_t html_text_size(const char *html, size_t base_length)
{
    // Links and frames: every tag that starts "<a" or "<i" may be one.
    size_t length = strlen(html), anchors = 0;
    for (const char *p = html; (p = strchr(p, '<')) != nullptr; ++p)
        anchors += lower(p[1]) == 'a' || lower(p[1]) == 'i';
    size_t growth = base_length ? anchors * (base_length + 1) : 0;
    size_t most = length * HtmlTextGrowth;
    return most + (growth < most ? growth : most) + 1;
}

namespace {

size_t readable_text(const char *html, char *out, size_t out_size, int utf8, bool marks, const char *base)
{
    if (!out || out_size == 0)
        return 0;
    const char *end = html + strlen(html);
    Render r = Render();
    r.out = out;
    r.size = out_size;
    r.utf8 = utf8 != 0;
    r.marks = marks;
    r.base = base && base[0] ? base : nullptr;
    int holds = what_text_holds(html, end);
    if (holds == HoldsText) {
        store(r, html, size_t(end - html));
    } else if (holds == HoldsReferences) {
        store_resolved(r, html, end, false);
    } else {
        render(r, html, end);
        if (r.links > 0) {
            // The same walk again, which numbers the same links, for their list.
            Render listing = Render();
            listing.out = out;
            listing.size = out_size;
            listing.length = r.length;
            listing.utf8 = r.utf8;
            listing.marks = true;
            listing.base = r.base;
            listing.listing = true;
            render(listing, html, end);
            r.length = listing.length;
        }
    }
    out[r.length] = '\0';
    return r.length;
}

}  // namespace

size_t html_to_text(const char *html, char *out, size_t out_size, int utf8, const char *base)
{
    return readable_text(html, out, out_size, utf8, true, base);
}

size_t html_to_line(const char *html, char *out, size_t out_size, int utf8)
{
    return readable_text(html, out, out_size, utf8, false, nullptr);
}

size_t resolve_references(const char *text, char *out, size_t out_size, int utf8)
{
    if (!out || out_size == 0)
        return 0;
    Render r = Render();
    r.out = out;
    r.size = out_size;
    r.utf8 = utf8 != 0;
    store_resolved(r, text, text + strlen(text), false);
    out[r.length] = '\0';
    return r.length;
}

bool is_html_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

// The parser reads a document in UTF-8 or byte by byte, and it knows nothing
// of code pages: in a byte-by-byte document a numeric character reference
// becomes the low byte of its code point. It also ends a DOCTYPE at its
// first '>', so a document type with an internal subset leaves the rest of
// the subset as text before the root, where the parser stops, root unread.
// So the text is prepared before it is parsed.
#include "document_text.h"
#include "code_pages.h"

#include "feed/feed_converter.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

const char *skip_space(const char *p)
{
    while (is_space(*p))
        ++p;
    return p;
}

// The declaration that opens the text, as the parser reads it.
struct Prolog {
    size_t bom = 0;                  // 3 after a UTF-8 byte order mark
    const char *declaration = nullptr;  // its '<', or null when there is none
    const char *after = nullptr;     // just after it
    TiXmlDeclaration fields;
};

// Whether p opens a declaration: an instruction named xml, not one whose
// name only starts so (<?xml-stylesheet …?>).
bool opens_declaration(const char *p)
{
    return same_folded(std::string(p, strnlen(p, 5)).c_str(), "<?xml") && (is_space(p[5]) || p[5] == '?');
}

void read_prolog(const char *text, Prolog *prolog)
{
    if (strncmp(text, "\xef\xbb\xbf", 3) == 0)
        prolog->bom = 3;
    const char *p = skip_space(text + prolog->bom);
    if (!opens_declaration(p))
        return;
    const char *after = prolog->fields.Parse(p, nullptr, TIXML_ENCODING_UNKNOWN);
    if (after) {
        prolog->declaration = p;
        prolog->after = after;
    }
}

// The text with a declaration saying UTF-8 in place of the one it has (or
// ahead of all else when it has none), converted from code_page when it is
// not UTF-8 already; false when the conversion failed.
bool rewrite_as_utf8(const char *text, size_t length, const Prolog &prolog, unsigned code_page, std::string *out)
{
    const char *version = prolog.declaration ? prolog.fields.Version() : "1.0";
    const char *standalone = prolog.fields.Standalone();
    out->assign("\xef\xbb\xbf", prolog.bom);
    *out += std::string("<?xml version=\"") + version + "\" encoding=\"UTF-8\"";
    if (*standalone)
        *out += std::string(" standalone=\"") + standalone + "\"";
    *out += "?>";
    const char *rest = prolog.declaration ? prolog.after : text + prolog.bom;
    size_t rest_length = length - size_t(rest - text);
    if (code_page == CodePageUtf8) {
        out->append(rest, rest_length);
        return true;
    }
    return convert_to_utf8(code_page, rest, rest_length, out);
}

// Where the markup that starts at p (one of the parser's verbatim sections)
// ends, or null when p starts none.
const char *verbatim_end(const char *p)
{
    if (strncmp(p, "<!--", 4) == 0) {
        const char *end = strstr(p + 4, "-->");
        return end ? end + 3 : p + strlen(p);
    }
    if (strncmp(p, "<![CDATA[", 9) == 0) {
        const char *end = strstr(p + 9, "]]>");
        return end ? end + 3 : p + strlen(p);
    }
    return nullptr;
}

// Reads a numeric character reference at p ("&#" already seen) as the
// parser reads one; its end after the ';', or null when it is none.
const char *read_reference(const char *p, unsigned long *code_point)
{
    bool hex = p[2] == 'x';
    const char *q = p + (hex ? 3 : 2);
    unsigned long value = 0;
    const char *digits = q;
    for (;; ++q) {
        int digit = *q >= '0' && *q <= '9' ? *q - '0' : -1;
        if (hex && digit < 0 && *q >= 'a' && *q <= 'f')
            digit = *q - 'a' + 10;
        if (hex && digit < 0 && *q >= 'A' && *q <= 'F')
            digit = *q - 'A' + 10;
        if (digit < 0)
            break;
        value = value > 0x10ffff ? value : value * (hex ? 16 : 10) + unsigned(digit);
    }
    if (q == digits || *q != ';')
        return nullptr;
    *code_point = value;
    return q + 1;
}

// Writes each numeric reference to a character beyond ASCII as that
// character in code_page, or '?' where the code page lacks it; comments and
// CDATA sections, which the parser takes as they stand, keep theirs. The
// text only ever shrinks; what it loses becomes zero bytes.
void write_references(char *text, size_t length, unsigned code_page)
{
    const char *read = text;
    char *write = text;
    while (*read) {
        const char *verbatim = *read == '<' ? verbatim_end(read) : nullptr;
        unsigned long code_point = 0;
        const char *after = !verbatim && read[0] == '&' && read[1] == '#' ? read_reference(read, &code_point) : nullptr;
        if (verbatim) {
            memmove(write, read, size_t(verbatim - read));
            write += verbatim - read;
            read = verbatim;
        } else if (after && code_point >= 0x80) {
            char bytes[4];
            size_t n = encode_character(code_page, code_point, bytes);
            // A character beyond ASCII starts with a byte beyond it, and
            // trail bytes lie above the markup characters; an ASCII byte in
            // its place would be a look-alike, which could be taken for markup.
            if (n == 0 || static_cast<unsigned char>(bytes[0]) < 0x80)
                bytes[0] = '?', n = 1;
            memcpy(write, bytes, n);  // never longer than the reference: "&#128;" has six bytes
            write += n;
            read = after;
        } else {
            *write++ = *read++;
        }
    }
    memset(write, 0, size_t(text + length - write));
}

// Blanks the processing instructions that the parser would misread: it
// takes any "<?xml…" for a declaration, so a stylesheet instruction makes a
// document of two, which is no XML, and it ends the others at their first
// '>'. None of them means anything to a feed; the others stay as they are.
// Line ends stay, so that the parser's positions do. Declarations are the
// parser's to judge, and so is one behind instructions alone, which
// blanking them would move to the lead.
void blank_instructions(char *text)
{
    const char *lead = skip_space(text + (strncmp(text, "\xef\xbb\xbf", 3) == 0 ? 3 : 0));
    for (const char *p = lead; p[0] == '<' && p[1] == '?' && !opens_declaration(p);) {
        const char *end = strstr(p, "?>");
        if (!end)
            return;
        p = skip_space(end + 2);
        if (opens_declaration(p))
            return;
    }
    for (char *p = strchr(text, '<'); p; p = strchr(p, '<')) {
        // Most markup is tags; only "<!" can open a comment or CDATA section.
        const char *verbatim = p[1] == '!' ? verbatim_end(p) : nullptr;
        if (verbatim) {
            p = const_cast<char *>(verbatim);
            continue;
        }
        if (p[1] != '?' || opens_declaration(p)) {
            ++p;
            continue;
        }
        char *end = strstr(p + 2, "?>");
        if (!end)
            return;  // unclosed: the parser says so
        bool misread = same_folded(std::string(p, 5).c_str(), "<?xml") || memchr(p, '>', size_t(end - p));
        for (; p < end + 2; ++p)
            if (misread && *p != '\n')
                *p = ' ';
    }
}

// Blanks a document type declaration with an internal subset, which the
// parser cannot read; it is never needed, since the parser expands no
// entities but its own five.
void blank_internal_subset(char *text)
{
    char *p = text;
    for (;;) {
        p = const_cast<char *>(skip_space(p));
        if (*p != '<')
            return;
        if (const char *end = verbatim_end(p)) {
            p = const_cast<char *>(end);
        } else if (p[1] == '?') {
            char *end = strstr(p, "?>");
            if (!end)
                return;
            p = end + 2;
        } else if (strncmp(p, "<!DOCTYPE", 9) == 0) {
            break;
        } else {
            return;
        }
    }
    char *q = p + 9;
    char quote = 0;
    bool subset = false;
    int open = 0;  // brackets of the subset
    for (; *q; ++q) {
        if (quote) {
            quote = *q == quote ? 0 : quote;
        } else if (*q == '"' || *q == '\'') {
            quote = *q;
        } else if (open > 0 && strncmp(q, "<!--", 4) == 0) {
            const char *end = strstr(q + 4, "-->");
            if (!end)
                return;
            q = const_cast<char *>(end + 2);
        } else if (*q == '[') {
            subset = true;
            ++open;
        } else if (*q == ']') {
            --open;
        } else if (*q == '>' && open <= 0) {
            break;
        }
    }
    if (subset && *q == '>')
        memset(p, ' ', size_t(q + 1 - p));
}

}  // namespace

char *ready_document_text(char *text, size_t length, size_t spare, bool unicode)
{
    blank_instructions(text);
    Prolog prolog;
    read_prolog(text, &prolog);
    const char *declared = prolog.declaration ? prolog.fields.Encoding() : "";
    unsigned code_page = code_page_of(declared);
    // Only a text that starts as markup is given a declaration: anything
    // else fails to parse, and must fail as it would have.
    bool markup = *skip_space(text + prolog.bom) == '<';
    if (markup && (unicode || (!*declared && (prolog.bom || is_valid_utf8(text, length)))))
        code_page = CodePageUtf8;
    if (same_folded(declared, "UTF-8")) {
        // read as it is
    } else if (code_page == CodePageShiftJis || code_page == CodePageEucJp) {
        write_references(text, length, code_page);
    } else {
        std::string converted;
        if (code_page == 0 || !rewrite_as_utf8(text, length, prolog, code_page, &converted)) {
            // Its texts reach the host as they are, read in the host's code page.
            write_references(text, length, CP_ACP);
        } else {
            char *utf8 = static_cast<char *>(malloc(converted.size() + 1 + spare));
            if (!utf8)
                return nullptr;
            memcpy(utf8, converted.data(), converted.size());
            memset(utf8 + converted.size(), 0, 1 + spare);
            text = utf8;
        }
    }
    blank_internal_subset(text);
    return text;
}

// How much a feed document asks of the parser, measured before it is parsed.
//
// TinyXML reads an element inside an element by recursion and deletes its
// tree the same way, so a document nested some thousands deep overflows the
// worker's stack and ends the mail client. It checks each new attribute
// against all the others of its element, so one element with a hundred
// thousand attributes keeps it busy for minutes. And a node of its tree costs
// about 150 bytes, so a few megabytes of "<a/>" take hundreds of megabytes.
//
// The measure walks the text with the parser's own reading steps, in the
// order the parser takes them but without recursion and without building the
// tree, and so meets exactly the elements, attributes and nodes the parser
// would meet, up to the place where the parser would stop on an error.
#include "feed_document.h"

#include "feed/feed_converter.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

int within_bounds(const DocumentShape &shape)
{
    return shape.depth <= MaxElementDepth && shape.attributes <= MaxElementAttributes &&
           shape.nodes <= MaxDocumentNodes;
}

// The parser's reading steps are protected members of its base class; a
// class derived from it makes them public.
struct ParserSteps : TiXmlBase {
    using TiXmlBase::GetChar;
    using TiXmlBase::IsAlpha;
    using TiXmlBase::IsAlphaNum;
    using TiXmlBase::IsWhiteSpace;
    using TiXmlBase::SkipWhiteSpace;
    using TiXmlBase::StringEqual;
};

// The measure takes the parser's steps. The markup that makes up nearly all of
// a feed (names, attributes, text and end tags) is stepped over as those
// steps do but without copying it (the parser's own readers build a string
// for every name and every text, which would cost a good part of the parse),
// and the character classes they ask the C library for are looked up in
// tables made from the same functions.
class DocumentMeasure {
public:
    DocumentMeasure();
    void measure(const char *p, DocumentShape *shape);

private:
    enum Node { NodeDeclaration, NodeComment, NodeCdata, NodeUnknown, NodeElement };
    enum StartTag { TagFailed, TagEmpty, TagOpen };
    struct Name {
        const char *start;
        size_t length;
        bool operator==(const Name &other) const
        {
            return length == other.length && memcmp(start, other.start, length) == 0;
        }
    };

    static unsigned char byte(const char *p) { return static_cast<unsigned char>(*p); }
    Node identify(const char *p, TiXmlEncoding encoding) const;
    static const char *read_node(Node kind, const char *p, TiXmlEncoding encoding, std::string *declared);
    const char *skip_white_space(const char *p, TiXmlEncoding encoding) const;
    const char *skip_name(const char *p, Name *name) const;
    const char *skip_text(const char *p, bool trim, char end, TiXmlEncoding encoding) const;
    const char *skip_attribute(const char *p, TiXmlEncoding encoding, Name *name) const;
    StartTag read_start_tag(const char *&p, TiXmlEncoding encoding, Name *element, std::vector<Name> *attributes,
                            DocumentShape *shape) const;
    const char *read_element(const char *p, TiXmlEncoding encoding, DocumentShape *shape) const;

    bool white_space_[256];  // IsWhiteSpace
    bool name_start_[256];   // IsAlpha, or '_'
    bool name_[256];         // IsAlphaNum, or one of "_-.:"
    bool plain_[256];        // a text byte that GetChar steps over alone: ASCII but NUL
                             // and '&'
};

// The parser's character classes take no account of the encoding.
DocumentMeasure::DocumentMeasure()
{
    for (int c = 0; c < 256; ++c) {
        unsigned char u = static_cast<unsigned char>(c);
        white_space_[c] = ParserSteps::IsWhiteSpace(char(u));
        name_start_[c] = ParserSteps::IsAlpha(u, TIXML_ENCODING_UNKNOWN) || c == '_';
        name_[c] = ParserSteps::IsAlphaNum(u, TIXML_ENCODING_UNKNOWN) || c == '_' || c == '-' || c == '.' || c == ':';
        plain_[c] = c != 0 && c < 0x80 && c != '&';
    }
}

// SkipWhiteSpace, which in UTF-8 also skips byte order marks (they start
// with 0xef); null at the text's end.
const char *DocumentMeasure::skip_white_space(const char *p, TiXmlEncoding encoding) const
{
    if (!p || !*p)
        return nullptr;
    while (white_space_[byte(p)])
        ++p;
    if (encoding == TIXML_ENCODING_UTF8 && byte(p) == 0xef)
        return ParserSteps::SkipWhiteSpace(p, encoding);
    return p;
}

// The kind of node whose markup starts at p (a '<'), as TiXmlNode::Identify
// tells them apart.
DocumentMeasure::Node DocumentMeasure::identify(const char *p, TiXmlEncoding encoding) const
{
    // A name's first character is no '?' or '!', in any case.
    if (name_start_[byte(p + 1)] && p[1] != '?' && p[1] != '!')
        return NodeElement;
    if (ParserSteps::StringEqual(p, "<?xml", true, encoding))
        return NodeDeclaration;
    if (ParserSteps::StringEqual(p, "<!--", false, encoding))
        return NodeComment;
    if (ParserSteps::StringEqual(p, "<![CDATA[", false, encoding))
        return NodeCdata;
    if (ParserSteps::StringEqual(p, "<!", false, encoding))
        return NodeUnknown;
    if (ParserSteps::IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_')
        return NodeElement;
    return NodeUnknown;
}

// Reads a node that holds no others with the parser's own node; what
// follows it, or null where the parser stops. A declaration's encoding goes
// to declared, when given. Such nodes are rare in a feed.
const char *DocumentMeasure::read_node(Node kind, const char *p, TiXmlEncoding encoding, std::string *declared)
{
    switch (kind) {
    case NodeDeclaration: {
        TiXmlDeclaration declaration;
        p = declaration.Parse(p, nullptr, encoding);
        if (declared)
            *declared = declaration.Encoding();
        return p;
    }
    case NodeComment: {
        TiXmlComment comment;
        return comment.Parse(p, nullptr, encoding);
    }
    case NodeCdata: {
        TiXmlText text("");
        text.SetCDATA(true);
        return text.Parse(p, nullptr, encoding);
    }
    default: {
        TiXmlUnknown unknown;
        return unknown.Parse(p, nullptr, encoding);
    }
    }
}

// ReadName: the name at p, and what follows it; null when none starts there.
const char *DocumentMeasure::skip_name(const char *p, Name *name) const
{
    if (!p || !name_start_[byte(p)])
        return nullptr;
    const char *start = p;
    while (name_[byte(p)])
        ++p;
    *name = {start, size_t(p - start)};
    return p;
}

// ReadText up to a one-character end, without keeping the text: what follows
// the end, or null where the parser stops. Plain ASCII steps one byte, as
// GetChar does; entities and multi-byte sequences take GetChar's own steps.
const char *DocumentMeasure::skip_text(const char *p, bool trim, char end, TiXmlEncoding encoding) const
{
    const bool trimmed = trim && TiXmlBase::IsWhiteSpaceCondensed();
    if (trimmed)
        p = skip_white_space(p, encoding);
    while (p && *p && *p != end) {
        if (plain_[byte(p)] || (trimmed && white_space_[byte(p)])) {
            ++p;
            continue;
        }
        char value[4];
        int length;
        p = ParserSteps::GetChar(p, value, &length, encoding);
    }
    if (p && *p)
        ++p;
    return p && *p ? p : nullptr;
}

// TiXmlAttribute::Parse: the attribute at p, its name to name; what follows
// it, or null where the parser stops.
const char *DocumentMeasure::skip_attribute(const char *p, TiXmlEncoding encoding, Name *name) const
{
    p = skip_white_space(p, encoding);
    p = skip_name(p, name);
    if (!p || !*p)
        return nullptr;
    p = skip_white_space(p, encoding);
    if (!p || *p != '=')
        return nullptr;
    p = skip_white_space(p + 1, encoding);
    if (!p || !*p)
        return nullptr;
    if (*p == '\'' || *p == '"')
        return skip_text(p + 1, false, *p, encoding);
    // An unquoted value runs to white space or the tag's end; a quote in it
    // is an error.
    while (*p && !white_space_[byte(p)] && *p != '/' && *p != '>') {
        if (*p == '\'' || *p == '"')
            return nullptr;
        ++p;
    }
    return p;
}

// Reads the start tag at p (its '<') as TiXmlElement::Parse does, moving p
// past it; element receives the element's name. Stops at the first
// attribute beyond the bound.
DocumentMeasure::StartTag DocumentMeasure::read_start_tag(const char *&p, TiXmlEncoding encoding, Name *element,
                                                          std::vector<Name> *attributes, DocumentShape *shape) const
{
    p = skip_name(skip_white_space(p + 1, encoding), element);
    if (!p || !*p)
        return TagFailed;
    attributes->clear();
    for (;;) {
        p = skip_white_space(p, encoding);
        if (!p || !*p)
            return TagFailed;
        if (*p == '/') {
            if (p[1] != '>')
                return TagFailed;
            p += 2;
            return TagEmpty;
        }
        if (*p == '>') {
            ++p;
            return TagOpen;
        }
        Name attribute;
        p = skip_attribute(p, encoding, &attribute);
        if (!p || !*p)
            return TagFailed;
        if (std::find(attributes->begin(), attributes->end(), attribute) != attributes->end())
            return TagFailed;  // the parser refuses a repeated attribute
        attributes->push_back(attribute);
        ++shape->nodes;
        shape->attributes = std::max(shape->attributes, attributes->size());
        if (!within_bounds(*shape))
            return TagFailed;
    }
}

// Reads the element whose start tag is at p, with everything inside it, as
// TiXmlElement::Parse and ReadValue do by recursion; what follows it, or
// null where the parser stops (or a bound is passed).
const char *DocumentMeasure::read_element(const char *p, TiXmlEncoding encoding, DocumentShape *shape) const
{
    std::vector<Name> open;  // the elements being read, innermost last
    std::vector<Name> attributes;
    for (;;) {
        // p is at the start tag of an element inside the innermost open one.
        ++shape->nodes;
        shape->depth = std::max(shape->depth, open.size() + 1);
        if (!within_bounds(*shape))
            return nullptr;
        Name element;
        StartTag tag = read_start_tag(p, encoding, &element, &attributes, shape);
        if (tag == TagFailed)
            return nullptr;
        if (tag == TagOpen)
            open.push_back(element);
        // What the innermost open element holds, up to the next start tag.
        for (;;) {
            if (open.empty())
                return p;
            const char *with_white_space = p;
            p = skip_white_space(p, encoding);
            if (!p || !*p)
                return nullptr;
            if (*p != '<') {
                // TiXmlText::Parse: the text ends before its '<'.
                p = skip_text(TiXmlBase::IsWhiteSpaceCondensed() ? p : with_white_space, true, '<', encoding);
                if (p)
                    --p;
                ++shape->nodes;
            } else if (p[1] == '/') {
                // The end tag "</name", white space and '>'. A name holds no
                // NUL, so the comparison stops at the text's end.
                const Name &end = open.back();
                p += 2;
                for (size_t i = 0; i < end.length; ++i, ++p)
                    if (*p != end.start[i])
                        return nullptr;
                p = skip_white_space(p, encoding);
                if (!p || *p != '>')
                    return nullptr;
                ++p;
                open.pop_back();
            } else {
                Node kind = identify(p, encoding);
                if (kind == NodeElement)
                    break;
                p = read_node(kind, p, encoding, nullptr);
                ++shape->nodes;
            }
            if (!within_bounds(*shape))
                return nullptr;
        }
    }
}

// The document as TiXmlDocument::Parse reads it: nodes one after another
// until one is not markup, the encoding known from a byte order mark or
// else from the first declaration.
void DocumentMeasure::measure(const char *p, DocumentShape *shape)
{
    if (!p || !*p)
        return;
    TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(p);
    if (bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf)  // the UTF-8 byte order mark
        encoding = TIXML_ENCODING_UTF8;
    p = skip_white_space(p, encoding);
    while (p && *p == '<' && within_bounds(*shape)) {
        Node kind = identify(p, encoding);
        std::string declared;
        if (kind == NodeElement) {
            p = read_element(p, encoding, shape);
        } else {
            p = read_node(kind, p, encoding, &declared);
            ++shape->nodes;
        }
        if (encoding == TIXML_ENCODING_UNKNOWN && kind == NodeDeclaration) {
            if (declared.empty() || ParserSteps::StringEqual(declared.c_str(), "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                ParserSteps::StringEqual(declared.c_str(), "UTF8", true, TIXML_ENCODING_UNKNOWN))
                encoding = TIXML_ENCODING_UTF8;
            else
                encoding = TIXML_ENCODING_LEGACY;
        }
        p = skip_white_space(p, encoding);
    }
}

}  // namespace

int measure_document(const char *text, DocumentShape *shape)
{
    *shape = DocumentShape();
    DocumentMeasure().measure(text, shape);
    return within_bounds(*shape);
}

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
#include "feed_converter.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

int within_bounds(const DocumentShape &shape)
{
    return shape.depth <= MaxElementDepth && shape.attributes <= MaxElementAttributes &&
           shape.nodes <= MaxDocumentNodes;
}

// The parser's reading steps are protected members of its base class; a
// class derived from it may use them.
class ParserSteps : public TiXmlBase {
public:
    static void measure(const char *p, DocumentShape *shape);

private:
    enum Node { NodeDeclaration, NodeComment, NodeCdata, NodeUnknown, NodeElement };
    enum StartTag { TagFailed, TagEmpty, TagOpen };

    static Node identify(const char *p, TiXmlEncoding encoding);
    static const char *read_node(Node kind, const char *p, TiXmlEncoding encoding, std::string *declared);
    static StartTag read_start_tag(const char *&p, TiXmlEncoding encoding, std::string *end_tag,
                                   DocumentShape *shape);
    static const char *read_element(const char *p, TiXmlEncoding encoding, DocumentShape *shape);
};

// The kind of node whose markup starts at p (a '<'), as TiXmlNode::Identify
// tells them apart.
ParserSteps::Node ParserSteps::identify(const char *p, TiXmlEncoding encoding)
{
    if (StringEqual(p, "<?xml", true, encoding))
        return NodeDeclaration;
    if (StringEqual(p, "<!--", false, encoding))
        return NodeComment;
    if (StringEqual(p, "<![CDATA[", false, encoding))
        return NodeCdata;
    if (StringEqual(p, "<!", false, encoding))
        return NodeUnknown;
    if (IsAlpha(static_cast<unsigned char>(p[1]), encoding) || p[1] == '_')
        return NodeElement;
    return NodeUnknown;
}

// Reads a node that holds no others with the parser's own node; what
// follows it, or null where the parser stops. A declaration's encoding goes
// to declared, when given.
const char *ParserSteps::read_node(Node kind, const char *p, TiXmlEncoding encoding, std::string *declared)
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

// Reads the start tag at p (its '<') as TiXmlElement::Parse does, moving p
// past it; end_tag receives "</" and the element's name. Stops at the first
// attribute beyond the bound.
ParserSteps::StartTag ParserSteps::read_start_tag(const char *&p, TiXmlEncoding encoding, std::string *end_tag,
                                                  DocumentShape *shape)
{
    std::string name;
    p = ReadName(SkipWhiteSpace(p + 1, encoding), &name, encoding);
    if (!p || !*p)
        return TagFailed;
    *end_tag = "</" + name;
    std::vector<std::string> attributes;
    for (;;) {
        p = SkipWhiteSpace(p, encoding);
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
        TiXmlAttribute attribute;
        p = attribute.Parse(p, nullptr, encoding);
        if (!p || !*p)
            return TagFailed;
        if (std::find(attributes.begin(), attributes.end(), attribute.NameTStr()) != attributes.end())
            return TagFailed;  // the parser refuses a repeated attribute
        attributes.push_back(attribute.NameTStr());
        ++shape->nodes;
        shape->attributes = std::max(shape->attributes, attributes.size());
        if (!within_bounds(*shape))
            return TagFailed;
    }
}

// Reads the element whose start tag is at p, with everything inside it, as
// TiXmlElement::Parse and ReadValue do by recursion; what follows it, or
// null where the parser stops (or a bound is passed).
const char *ParserSteps::read_element(const char *p, TiXmlEncoding encoding, DocumentShape *shape)
{
    std::vector<std::string> open;  // the end tags of the elements being read, innermost last
    for (;;) {
        // p is at the start tag of an element inside the innermost open one.
        ++shape->nodes;
        shape->depth = std::max(shape->depth, open.size() + 1);
        if (!within_bounds(*shape))
            return nullptr;
        std::string end_tag;
        StartTag tag = read_start_tag(p, encoding, &end_tag, shape);
        if (tag == TagFailed)
            return nullptr;
        if (tag == TagOpen)
            open.push_back(end_tag);
        // What the innermost open element holds, up to the next start tag.
        for (;;) {
            if (open.empty())
                return p;
            const char *with_white_space = p;
            p = SkipWhiteSpace(p, encoding);
            if (!p || !*p)
                return nullptr;
            if (*p != '<') {
                TiXmlText text("");
                p = text.Parse(IsWhiteSpaceCondensed() ? p : with_white_space, nullptr, encoding);
                ++shape->nodes;
            } else if (StringEqual(p, "</", false, encoding)) {
                const std::string &end = open.back();
                if (!StringEqual(p, end.c_str(), false, encoding))
                    return nullptr;
                p = SkipWhiteSpace(p + end.size(), encoding);
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
void ParserSteps::measure(const char *p, DocumentShape *shape)
{
    if (!p || !*p)
        return;
    TiXmlEncoding encoding = TIXML_ENCODING_UNKNOWN;
    const unsigned char *bytes = reinterpret_cast<const unsigned char *>(p);
    if (bytes[0] == 0xef && bytes[1] == 0xbb && bytes[2] == 0xbf)  // the UTF-8 byte order mark
        encoding = TIXML_ENCODING_UTF8;
    p = SkipWhiteSpace(p, encoding);
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
            if (declared.empty() || StringEqual(declared.c_str(), "UTF-8", true, TIXML_ENCODING_UNKNOWN) ||
                StringEqual(declared.c_str(), "UTF8", true, TIXML_ENCODING_UNKNOWN))
                encoding = TIXML_ENCODING_UTF8;
            else
                encoding = TIXML_ENCODING_LEGACY;
        }
        p = SkipWhiteSpace(p, encoding);
    }
}

}  // namespace

int FeedConverter::measure_document(const char *text, DocumentShape *shape)
{
    *shape = DocumentShape();
    ParserSteps::measure(text, shape);
    return within_bounds(*shape);
}

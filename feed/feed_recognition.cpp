// Which kind of feed a document holds, its declared encoding, where its items
// start, and the child lookups that every field extraction rests on.
#include "feed_converter.h"
#include "text_copy.h"

namespace {

// Whole-text comparison in which only ASCII letters fold: names and
// namespace texts are ASCII, and a multi-byte text must never match by a
// folded trail byte.
bool same_text(const char *a, const char *b)
{
    if (!a || !b)
        return false;
    for (;; ++a, ++b) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x >= 'A' && x <= 'Z')
            x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y)
            return false;
        if (x == '\0')
            return true;
    }
}

const char Rss10Namespace[] = "http://purl.org/rss/1.0/";
const char Atom03Namespace[] = "http://purl.org/atom/ns#";
const char Atom10Namespace[] = "http://www.w3.org/2005/Atom";

// The declaration that opens the document, or none.
TiXmlDeclaration *leading_declaration(TiXmlHandle docHandle)
{
    TiXmlNode *first = docHandle.FirstChild().Node();
    return first ? first->ToDeclaration() : nullptr;
}

}  // namespace

int FeedConverter::get_feed_type(TiXmlHandle docHandle)
{
    TiXmlDeclaration *declaration = leading_declaration(docHandle);
    TiXmlElement *root = docHandle.FirstChildElement().Element();
    if (!declaration || !root || !same_text(declaration->Version(), "1.0"))
        return FeedUnknown;
    const char *name = root->Value();
    const char *version = root->Attribute("version");
    const char *xmlns = root->Attribute("xmlns");
    if (same_text(name, "rss") && same_text(version, "2.0"))
        return FeedRss20;
    if (same_text(name, "rss") && same_text(version, "0.91"))
        return FeedRss091;
    if (same_text(name, "rdf:RDF") && same_text(xmlns, Rss10Namespace))
        return FeedRss10;
    if (same_text(name, "feed") && same_text(version, "0.3") && same_text(xmlns, Atom03Namespace))
        return FeedAtom;
    if (same_text(name, "feed") && same_text(xmlns, Atom10Namespace))
        return FeedAtom;
    return FeedUnknown;
}

int FeedConverter::get_feed_encoding(TiXmlHandle docHandle)
{
    TiXmlDeclaration *declaration = leading_declaration(docHandle);
    if (!declaration)
        return EncodingNone;
    if (same_text(declaration->Encoding(), "UTF-8"))
        return EncodingUtf8;
    if (same_text(declaration->Encoding(), "EUC-JP"))
        return EncodingEucJp;
    return EncodingNone;
}

TiXmlElement *FeedConverter::get_first_item(TiXmlHandle docHandle, int feed_type)
{
    TiXmlHandle root = docHandle.FirstChildElement();
    if (feed_type == FeedRss10)
        return find_child_element(root, "item");
    if (feed_type == FeedAtom)
        return find_child_element(root, "entry");
    return find_child_element(root.FirstChildElement(), "item");
}

TiXmlElement *FeedConverter::find_child_element(TiXmlHandle parent, const char *name)
{
    if (!name)
        return nullptr;
    for (TiXmlElement *child = parent.FirstChildElement().Element(); child; child = child->NextSiblingElement())
        if (same_text(child->Value(), name))
            return child;
    return nullptr;
}

int FeedConverter::get_child_text(TiXmlHandle parent, const char *name, const char **text)
{
    if (!text)
        return 0;
    *text = nullptr;
    TiXmlElement *child = find_child_element(parent, name);
    TiXmlNode *first = child ? child->FirstChild() : nullptr;
    TiXmlText *node = first ? first->ToText() : nullptr;
    if (!node)
        return 0;
    *text = node->Value();
    return 1;
}

int FeedConverter::copy_child_text(TiXmlHandle parent, const char *name, char *field)
{
    if (!field)
        return 0;
    const char *text;
    if (!get_child_text(parent, name, &text)) {
        field[0] = '\0';
        return 0;
    }
    copy_text(field, TextFieldSize, text);
    return 1;
}

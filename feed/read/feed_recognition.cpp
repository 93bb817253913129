// Which kind of feed a document holds, its declared encoding, where its items
// start, and the child lookups that every field extraction rests on.
#include "feed_recognition.h"
#include "code_pages.h"
#include "element_text.h"

#include "base/text_copy.h"
#include "feed/feed_converter.h"

#include <cstring>

namespace {

const char Rss10Namespace[] = "http://purl.org/rss/1.0/";
// RSS 0.90 has the shape of 1.0; both its namespaces are met.
const char Rss090Namespace[] = "http://my.netscape.com/rdf/simple/0.9/";
const char Rss090ChannelNamespace[] = "http://channel.netscape.com/rdf/simple/0.9/";
const char Atom03Namespace[] = "http://purl.org/atom/ns#";
const char Atom10Namespace[] = "http://www.w3.org/2005/Atom";

// The declaration that opens the document, or none.
TiXmlDeclaration *leading_declaration(TiXmlHandle docHandle)
{
    TiXmlNode *first = docHandle.FirstChild().Node();
    return first ? first->ToDeclaration() : nullptr;
}

// XML 1.0: declared so, or with no declaration at all; a declaration
// anywhere but first makes the document no XML.
bool is_xml_1_0(TiXmlHandle docHandle)
{
    TiXmlDeclaration *declaration = leading_declaration(docHandle);
    TiXmlNode *node = declaration ? declaration->NextSibling() : docHandle.FirstChild().Node();
    for (; node; node = node->NextSibling())
        if (node->ToDeclaration())
            return false;
    return !declaration || same_folded(declaration->Version(), "1.0");
}

// The versions of RSS that 2.0 reads on from, and an rss root without one:
// 2 and every 2.x ("2.01" is met).
bool is_rss_version(const char *version)
{
    if (!version || same_folded(version, "0.92") || same_folded(version, "0.93") || same_folded(version, "0.94"))
        return true;
    if (version[0] != '2')
        return false;
    if (version[1] == '\0')
        return true;
    const char *p = version + 1;
    if (*p++ != '.' || !(*p >= '0' && *p <= '9'))
        return false;
    while (*p >= '0' && *p <= '9')
        ++p;
    return *p == '\0';
}

// Whether the root declares the namespace uri, as the default or under a
// prefix (<rdf:RDF xmlns:rss="http://purl.org/rss/1.0/">).
bool declares_namespace(const TiXmlElement *root, const char *uri)
{
    for (const TiXmlAttribute *a = root->FirstAttribute(); a; a = a->Next())
        if (strncmp(a->Name(), "xmlns", 5) == 0 && (a->Name()[5] == '\0' || a->Name()[5] == ':') &&
            same_folded(a->Value(), uri))
            return true;
    return false;
}

// An rdf:RDF document of RSS 1.0 or 0.90: the namespace declared on the root
// or, as some sites write it, on each of the root's children
// (<channel xmlns="http://purl.org/rss/1.0/">).
bool is_rdf_feed(const TiXmlElement *root)
{
    for (const TiXmlElement *e = root; e; e = e == root ? root->FirstChildElement() : e->NextSiblingElement())
        if (declares_namespace(e, Rss10Namespace) || declares_namespace(e, Rss090Namespace) ||
            declares_namespace(e, Rss090ChannelNamespace))
            return true;
    return false;
}

}  // namespace

int FeedConverter::get_feed_type(TiXmlHandle docHandle)
{
    TiXmlElement *root = docHandle.FirstChildElement().Element();
    if (!root || !is_xml_1_0(docHandle))
        return FeedUnknown;
    const char *name = root->Value();
    const char *version = root->Attribute("version");
    if (same_folded(name, "rss") && same_folded(version, "0.91"))
        return FeedRss091;
    if (same_folded(name, "rss") && is_rss_version(version))
        return FeedRss20;
    if (same_folded(name, "rdf:RDF") && is_rdf_feed(root))
        return FeedRss10;
    // Atom 0.2 wrote the namespace of 0.3 and reads as it.
    if (same_folded(name, "feed") && (same_folded(version, "0.3") || same_folded(version, "0.2")) &&
        declares_namespace(root, Atom03Namespace))
        return FeedAtom;
    if (same_folded(name, "feed") && declares_namespace(root, Atom10Namespace))
        return FeedAtom;
    return FeedUnknown;
}

int FeedConverter::get_feed_encoding(TiXmlHandle docHandle)
{
    TiXmlDeclaration *declaration = leading_declaration(docHandle);
    if (!declaration)
        return EncodingNone;
    if (same_folded(declaration->Encoding(), "UTF-8"))
        return EncodingUtf8;
    if (same_folded(declaration->Encoding(), "EUC-JP"))
        return EncodingEucJp;
    return EncodingNone;
}

TiXmlHandle get_channel(TiXmlHandle docHandle, int feed_type)
{
    // The channel by its name: feeds put other elements before it
    // (<sx:sharing>, <atom:link>).
    TiXmlHandle root = docHandle.FirstChildElement();
    return feed_type == FeedAtom ? root : TiXmlHandle(FeedConverter::find_child_element(root, "channel"));
}

TiXmlElement *FeedConverter::get_first_item(TiXmlHandle docHandle, int feed_type)
{
    TiXmlHandle root = docHandle.FirstChildElement();
    if (feed_type == FeedRss10)
        return find_child_element(root, "item");
    if (feed_type == FeedAtom)
        return find_child_element(root, "entry");
    return find_child_element(get_channel(docHandle, feed_type), "item");
}

TiXmlElement *FeedConverter::find_child_element(TiXmlHandle parent, const char *name)
{
    if (!name)
        return nullptr;
    for (TiXmlElement *child = parent.FirstChildElement().Element(); child; child = child->NextSiblingElement())
        if (same_folded(child->Value(), name))
            return child;
    return nullptr;
}

int FeedConverter::get_child_text(TiXmlHandle parent, const char *name, const char **text)
{
    if (!text)
        return 0;
    *text = nullptr;
    *text = element_text(find_child_element(parent, name));
    return *text != nullptr;
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

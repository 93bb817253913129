// An element's text arrives from the parser in pieces: a text ends where a
// CDATA section starts ("Link: <![CDATA[...]]>"), and a CDATA section where
// a feed splits one to write its "]]>". Each piece is condensed on its own,
// the white space between a text and a CDATA section dropped with it.
#include "element_text.h"
#include "content_modes.h"

#include <string>

namespace {

// The parser drops the white space at both ends of a text, and in markup
// that is mostly a space between a word and an element beside it
// ("Pruning <b>now</b>"): give it back, lest the words run together.
void space_texts_beside_elements(TiXmlNode *parent)
{
    for (TiXmlNode *node = parent->FirstChild(); node; node = node->NextSibling()) {
        TiXmlText *text = node->ToText();
        if (!text) {
            space_texts_beside_elements(node);
            continue;
        }
        if (text->CDATA())
            continue;
        std::string value = text->ValueStr();
        if (node->PreviousSibling() && node->PreviousSibling()->ToElement())
            value = " " + value;
        if (node->NextSibling() && node->NextSibling()->ToElement())
            value += " ";
        text->SetValue(value);
    }
}

// An XHTML text construct holds its markup as elements, mostly inside one
// div that only wraps it; so does a text whose feed wrote its HTML unescaped
// ("Example <b>Atom</b>").
void make_markup_text(TiXmlElement *element)
{
    space_texts_beside_elements(element);
    TiXmlNode *content = element;
    TiXmlElement *only = element->FirstChild() == element->LastChild() ? element->FirstChildElement() : nullptr;
    if (only && only->ValueStr() == "div")
        content = only;
    // A CDATA section beside the markup holds HTML as it stands.
    std::string markup;
    for (TiXmlNode *node = content->FirstChild(); node; node = node->NextSibling()) {
        TiXmlText *text = node->ToText();
        if (text && text->CDATA()) {
            markup += text->ValueStr();
            continue;
        }
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        node->Accept(&printer);
        markup += printer.Str();
    }
    element->Clear();
    if (!markup.empty())
        element->LinkEndChild(new TiXmlText(markup));
    // It is HTML text now: read again, it stays what it is.
    element->SetAttribute("type", "html");
}

// Whether element holds anything but text and CDATA pieces: elements,
// comments, processing instructions written unescaped.
bool holds_unescaped_markup(const TiXmlElement *element)
{
    for (const TiXmlNode *node = element->FirstChild(); node; node = node->NextSibling())
        if (!node->ToText())
            return true;
    return false;
}

}  // namespace

const char *element_text(TiXmlElement *element)
{
    if (!element)
        return nullptr;
    if (holds_markup(element))
        make_markup_text(element);
    TiXmlNode *first = element->FirstChild();
    TiXmlText *text = first ? first->ToText() : nullptr;
    if (!text)
        return nullptr;
    TiXmlNode *next = text->NextSibling();
    if (next && next->ToText()) {
        std::string whole = text->ValueStr();
        bool cdata = text->CDATA();
        while (next && next->ToText()) {
            // A text and a CDATA section stand apart by the space that the
            // text lost when it was condensed; two sections meet as written.
            bool next_cdata = next->ToText()->CDATA();
            if (!cdata || !next_cdata)
                whole += ' ';
            whole += next->ValueStr();
            cdata = next_cdata;
            TiXmlNode *joined = next;
            next = next->NextSibling();
            element->RemoveChild(joined);
        }
        text->SetValue(whole);
    }
    return decode_base64_content(element, text) ? text->Value() : nullptr;
}

const char *element_markup_text(TiXmlElement *element)
{
    if (element && holds_unescaped_markup(element))
        make_markup_text(element);
    return element_text(element);
}

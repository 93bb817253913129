// Reading an OPML file for its feed addresses, and adding them to the list.
#include "opml_import.h"
#include "feed_settings.h"

#include "base/scoped_handles.h"
#include "base/trimmed_text.h"
#include "feed/read/code_pages.h"
#include "feed/read/feed_document.h"

#include <tinyxml.h>

#include <cstdio>
#include <cstring>
#include <set>

namespace {

bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The size of the file at path, or -1 when it cannot be opened.
long file_size(const char *path)
{
    ScopedFile file(fopen(path, "rb"));
    if (!file.held() || fseek(file.get(), 0, SEEK_END) != 0)
        return -1;
    return ftell(file.get());
}

// The feed address of an outline: its xmlUrl, which some writers spell in
// other cases (xmlurl, xmlURL).
const char *feed_address_of(const TiXmlElement *outline)
{
    for (const TiXmlAttribute *a = outline->FirstAttribute(); a; a = a->Next())
        if (same_folded(a->Name(), "xmlUrl"))
            return a->Value();
    return nullptr;
}

// The element after element in document order within root: its first child
// element, else the next element beside it or beside one of its ancestors.
// A walk without recursion: nesting costs no stack.
const TiXmlElement *next_in_document(const TiXmlElement *element, const TiXmlElement *root)
{
    if (const TiXmlElement *child = element->FirstChildElement())
        return child;
    for (const TiXmlNode *node = element; node && node != root; node = node->Parent())
        if (const TiXmlElement *sibling = node->NextSiblingElement())
            return sibling;
    return nullptr;
}

bool starts_folded(const std::string &text, const char *prefix)
{
    size_t length = strlen(prefix);
    return text.size() >= length && same_folded(text.substr(0, length).c_str(), prefix);
}

}  // namespace

int read_opml_file(const char *path, std::vector<std::string> *addresses, std::string *detail)
{
    addresses->clear();
    std::string ignored;
    if (!detail)
        detail = &ignored;
    detail->clear();
    long size = file_size(path);
    if (size < 0)
        return OpmlCannotOpen;
    if (size > long(MaxOpmlFileBytes))
        return OpmlTooLarge;
    TiXmlDocument document;
    const char *failure = nullptr;
    if (!load_feed_document(&document, path, &failure)) {
        *detail = failure ? failure : "";
        return OpmlNotXml;
    }
    const TiXmlElement *root = document.RootElement();
    if (!root || strcmp(root->Value(), "opml") != 0) {
        *detail = root ? root->Value() : "";
        return OpmlNotOpml;
    }
    size_t outlines = 0;
    std::vector<std::string> found;
    for (const TiXmlElement *e = root->FirstChildElement(); e; e = next_in_document(e, root)) {
        if (strcmp(e->Value(), "outline") != 0)
            continue;
        if (++outlines > MaxOpmlOutlines)
            return OpmlTooManyOutlines;
        if (const char *address = feed_address_of(e))
            found.push_back(address);
    }
    addresses->swap(found);
    return OpmlReadable;
}

std::string trimmed_address(const std::string &address) { return trimmed_text(address, is_xml_space); }

int import_skip_reason(const std::string &address)
{
    std::string url = trimmed_address(address);
    size_t scheme = starts_folded(url, "http://") ? 7 : starts_folded(url, "https://") ? 8 : 0;
    if (scheme == 0 || url.size() == scheme || url[scheme] == '/')
        return SkipNotHttp;
    for (unsigned char c : url)
        if (c >= 0x80 || (c < 0x20 && !is_xml_space(char(c))) || c == 0x7f)
            return SkipNotAscii;
    if (FeedSettings::HoldsEntrySpace(url.c_str()) || url.find(',') != std::string::npos)
        return SkipSpaceOrComma;
    if (url.size() > UrlBufferSize - 1)
        return SkipTooLong;
    return SkipNone;
}

int import_feed_addresses(const std::vector<std::string> &addresses, ImportSummary *summary)
{
    *summary = ImportSummary();
    SettingsFileLock lock;
    SettingsEntries entries;
    if (!FeedSettings::ReadEntries(entries))
        return 0;
    std::set<std::string> listed;
    char url[UrlBufferSize];
    for (size_t i = FirstFeedEntry; i < entries.size(); ++i) {
        FeedSettings::SplitFeedLine(entries[i].c_str(), url);
        listed.insert(url);
    }
    size_t before = entries.size();
    for (const std::string &address : addresses) {
        std::string trimmed = trimmed_address(address);
        if (int reason = import_skip_reason(trimmed)) {
            if (++summary->skipped <= ShownSkips)
                summary->first_skips.emplace_back(trimmed, reason);
        } else if (!listed.insert(trimmed).second) {
            ++summary->listed;
        } else {
            entries.push_back(trimmed + "," + DefaultTimestamp);
        }
    }
    // A file of fewer than three entries would take a feed for an option;
    // the page never adds feeds to such a file either.
    if (entries.size() == before)
        return 1;
    if (before < FirstFeedEntry || !FeedSettings::RewriteEntries(entries))
        return 0;
    summary->added = entries.size() - before;
    return 1;
}

// Which addresses the feed list can take, and taking them in one rewrite.
#include "feed_list_additions.h"
#include "feed_settings.h"

#include "base/folded_text.h"
#include "base/trimmed_text.h"

#include <cstring>
#include <set>

namespace {

bool is_xml_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool starts_folded(const std::string &text, const char *prefix)
{
    size_t length = strlen(prefix);
    return text.size() >= length && same_folded(text.substr(0, length).c_str(), prefix);
}

}  // namespace

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

// Writing the feed list as OPML.
#include "opml_export.h"

#include "base/atomic_file.h"
#include "base/process_values.h"
#include "feed/deliver/feed_record.h"
#include "feed/fetch/credentials.h"
#include "feed/read/code_pages.h"
#include "settings/feed_options.h"
#include "settings/feed_settings.h"

namespace {

// text as an attribute value: the five markup characters as references,
// tab and line ends as character references so that they survive the
// reader's normalisation, other control characters (which XML 1.0 cannot
// hold) left out. A text that is no UTF-8 gives nothing.
std::string attribute_value(const std::string &text)
{
    if (!is_valid_utf8(text.data(), text.size()))
        return "";
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        case '\t': out += "&#9;"; break;
        case '\n': out += "&#10;"; break;
        case '\r': out += "&#13;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
                out += c;
        }
    }
    return out;
}

}  // namespace

// A host folder as a category path: each name after a slash.
std::string category_path(const std::string &folder)
{
    std::string path;
    size_t start = 0;
    while (start < folder.size()) {
        size_t end = folder.find('\\', start);
        if (end == std::string::npos)
            end = folder.size();
        if (end > start)
            path += "/" + folder.substr(start, end - start);
        start = end + 1;
    }
    return path;
}

std::string format_opml(const std::vector<ExportedFeed> &feeds)
{
    std::string text =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<opml version=\"2.0\">\n"
        "  <head>\n"
        "    <title>KIV</title>\n"
        "  </head>\n"
        "  <body>\n";
    for (const ExportedFeed &feed : feeds) {
        std::string address = attribute_value(feed.address);
        std::string title = attribute_value(feed.title);
        if (title.empty())
            title = address;
        text += "    <outline type=\"rss\" text=\"" + title + "\" title=\"" + title + "\" xmlUrl=\"" + address + "\"";
        std::string site = attribute_value(feed.site);
        if (!site.empty())
            text += " htmlUrl=\"" + site + "\"";
        std::string category = category_path(feed.folder);
        if (!category.empty())
            text += " category=\"" + attribute_value(category) + "\"";
        text += "/>\n";
    }
    text += "  </body>\n</opml>\n";
    return text;
}

int write_opml_file(const char *path, const std::vector<ExportedFeed> &feeds)
{
    std::string text = format_opml(feeds);
    return WriteFileAtomically(path, text.data(), text.size());
}

int read_exported_feeds(std::vector<ExportedFeed> *feeds)
{
    std::vector<std::string> urls;
    if (!FeedSettings::ReadFeedUrls(urls))
        return 0;
    feeds->clear();
    FeedOptionsFile own;
    ReadFeedOptions(&own);
    for (const std::string &url : urls) {
        ExportedFeed feed;
        if (!convert_to_utf8(CP_ACP, url.data(), url.size(), &feed.address))
            continue;
        FeedRecord record;
        char path[MAX_PATH];
        if (feed_record_path(DataFolderPath, url.c_str(), path, sizeof path) &&
            read_feed_record(path, url.c_str(), &record)) {
            feed.title = record.title;
            feed.site = record.site;
        }
        char shown[UrlBufferSize];
        hide_password(url.c_str(), shown, sizeof shown, PasswordMasked);
        if (const FeedOptionsSection *section = find_feed_options(own, shown))
            feed.folder = section->options.folder;
        feeds->push_back(feed);
    }
    return 1;
}

// Feed documents and conversions for the feed converter's tests.
#pragma once
#include "feed/deliver/item_walk.h"
#include "feed/deliver/message_composition.h"
#include "feed/feed_converter.h"
#include "feed/read/feed_document.h"
#include "shell/host_functions.h"
#include "test_support.h"

#include <cstring>
#include <string>
#include <vector>

// Parses xml the way a downloaded feed file is parsed.
inline void ParseFeed(TiXmlDocument &document, const std::string &xml)
{
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.xml"), xml);
    load_feed_document(&document, folder.Path("feed.xml").c_str());
}

// The outcome of convert_feed on a file.
struct Conversion {
    int result;
    std::string message;  // up to the terminator
    std::string newest;
    bool untouched;       // the message buffer was not written at all
    bool stayed_inside;   // nothing was written past the capacity
    ConversionReport report;
};

// Converts the file with a message buffer of the given capacity, or of the
// file's size plus MessageSlack when capacity is 0, as the patrol run sizes
// it, as if downloaded from address. Guard bytes after the capacity show any
// write past it.
inline Conversion ConvertFile(const std::string &path, const char *last_seen, size_t capacity = 0,
                              ItemMemory *memory = nullptr, const char *address = nullptr)
{
    if (capacity == 0)
        capacity = ReadFileBytes(path).size() + MessageSlack;
    if (!HostFunctions.entries[HostUTF_8])
        InstallTestHostConversions();
    const char canary = '\x5a';
    std::vector<char> message(capacity + 64, canary);
    char newest[NewestTimestampSize] = {};
    Conversion outcome;
    outcome.result = FeedConverter::convert_feed(message.data(), capacity, path.c_str(), last_seen, newest, memory,
                                                 &outcome.report, address);
    outcome.message.assign(message.data(), strnlen(message.data(), message.size()));
    outcome.newest = newest;
    outcome.untouched = outcome.stayed_inside = true;
    for (size_t i = 0; i < message.size(); ++i) {
        outcome.untouched = outcome.untouched && message[i] == canary;
        if (i >= capacity)
            outcome.stayed_inside = outcome.stayed_inside && message[i] == canary;
    }
    return outcome;
}

// The same for a feed given as text.
inline Conversion ConvertText(const std::string &xml, const char *last_seen, size_t capacity = 0,
                              ItemMemory *memory = nullptr, const char *address = nullptr)
{
    TempFolder folder;
    WriteFileBytes(folder.Path("feed.xml"), xml);
    return ConvertFile(folder.Path("feed.xml"), last_seen, capacity, memory, address);
}

inline const char *WINAPI UnchangedText(const char *text, int) { return text; }

// A host that hands UTF-8 back as it is, so that the message shows the text
// the feed's conversion made.
inline void InstallUnchangedUtf8()
{
    InstallTestHostConversions();
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&UnchangedText);
}

// An RSS 2.0 feed with the given channel children and items.
inline std::string Rss20Feed(const std::string &items,
                             const std::string &channel = "<title>T</title><link>http://l/</link>"
                                                          "<description>D</description>")
{
    return "<?xml version=\"1.0\"?>\n<rss version=\"2.0\"><channel>" + channel + items + "</channel></rss>\n";
}

// A time of day as a SYSTEMTIME, milliseconds and week day 0.
inline SYSTEMTIME Utc(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
    SYSTEMTIME time = {};
    time.wYear = year;
    time.wMonth = month;
    time.wDay = day;
    time.wHour = hour;
    time.wMinute = minute;
    time.wSecond = second;
    return time;
}

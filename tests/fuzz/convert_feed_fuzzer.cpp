// Any bytes as a downloaded feed file: convert_feed must neither crash nor
// write past the message buffer, sized as the patrol run sizes it, and a
// message it reports must be whole: terminated, closed by CR LF, with a
// valid newest date. Converted with and without an address to resolve its
// relative links against.
#include "fuzz_feed_file.h"

#include "feed/feed_converter.h"
#include "shell/host_functions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The host's conversions may return more than they were given; doubling
// the text tries every cut behind them.
const char *Doubled(const char *text, int)
{
    static std::string result;
    result = std::string(text) + text;
    return result.c_str();
}

void Check(bool condition, const char *what) { FuzzCheck(condition, "convert_feed", what); }

const char *FeedPath() { return FuzzFeedPath(".xml").c_str(); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Doubled);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&Doubled);
    FeedPath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FILE *file = fopen(FeedPath(), "wb");
    if (!file)
        return 0;
    fwrite(data, 1, size, file);
    fclose(file);

    const char *last_seen_dates[] = {nullptr, "2024-05-02T00:00:00+09:00"};
    for (const char *last_seen : last_seen_dates) {
        // Exactly the patrol run's size, so that the sanitizer sees any byte past it.
        size_t capacity = size + MessageSlack;
        char *message = static_cast<char *>(malloc(capacity));
        char newest[NewestTimestampSize] = {};
        // Relative links resolved against the address the feed came from.
        int result = FeedConverter::convert_feed(message, capacity, FeedPath(), last_seen, newest, nullptr,
                                                 nullptr, last_seen ? "http://h.example/feeds/rss.xml" : nullptr);
        Check(result == 0 || result == 1, "result is 0 or 1");
        if (result == 1) {
            size_t length = strnlen(message, capacity);
            Check(length < capacity, "message is terminated inside its buffer");
            Check(length >= 32 && memcmp(message, "Date: ", 6) == 0, "message starts with its Date line");
            Check(memcmp(message + length - 2, "\r\n", 2) == 0, "message ends in CR LF");
            Check(memcmp(message + 6, "                        ", 24) != 0, "header date is filled");
            Check(FeedConverter::is_valid_date(newest) && strlen(newest) == 25, "newest date is valid");
        }
        free(message);
    }
    return 0;
}

// Any bytes after "{" as a downloaded JSON document, through both forms of
// message: the reading stays within its bounds, a refusal says why, a
// message per feed fits the patrol run's buffer and ends in CR LF, and every
// message per item is terminated and ends in CR LF.
#include "fuzz_feed_file.h"

#include "feed/deliver/item_messages.h"
#include "feed/feed_converter.h"
#include "shell/host_functions.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char *Unchanged(const char *text, int) { return text; }

void Check(bool condition, const char *what) { FuzzCheck(condition, "json_feed", what); }

const char *FeedPath() { return FuzzFeedPath(".json").c_str(); }

bool EndsInCrLf(const char *text, size_t length) { return length >= 2 && memcmp(text + length - 2, "\r\n", 2) == 0; }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Unchanged);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&Unchanged);
    FeedPath();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Always JSON to the reading: the fuzzer's bytes are what follows the
    // opening brace.
    FILE *file = fopen(FeedPath(), "wb");
    if (!file)
        return 0;
    fputc('{', file);
    fwrite(data, 1, size, file);
    fclose(file);

    size_t capacity = size + 1 + MessageSlack;
    char *message = static_cast<char *>(malloc(capacity));
    char newest[NewestTimestampSize] = {};
    ConversionReport report;
    int result = FeedConverter::convert_feed(message, capacity, FeedPath(), nullptr, newest, nullptr, &report,
                                             "http://h.example/feed.json");
    Check(result == 0 || result == 1, "result is 0 or 1");
    Check(report.failure == ConversionRead || report.detail[0], "a refusal says why");
    if (result == 1) {
        size_t length = strnlen(message, capacity);
        Check(length < capacity, "message is terminated inside its buffer");
        Check(EndsInCrLf(message, length), "message ends in CR LF");
    }
    free(message);

    char item_newest[NewestTimestampSize] = {};
    int due = 0;
    deliver_item_messages(FeedPath(), "http://h.example/feed.json", nullptr, item_newest, nullptr, nullptr,
                          "http://h.example/feed.json", &due, [](const char *text, const char *) {
                              Check(EndsInCrLf(text, strlen(text)), "item message ends in CR LF");
                              return 1;
                          });
    return 0;
}

// Times a feed's block and keep rules at their bounds beside the conversion
// they ride on: convert_feed of an RSS 2.0 feed of the download bound (8 MiB),
// every item new, without rules, with 64 rules of plain words (what people
// write), and with 64 rules of the longest patterns, on every field: stars
// between single letters ("*e*e...*q") and a long run of the body's own
// words that fails only at its last byte, which the matcher reads again from
// each place the run may start. Times are CPU time, the best of five runs.
//   item_rules_bench [FOLDER]
#include "feed/deliver/item_rules.h"
#include "feed/deliver/item_walk.h"
#include "feed/deliver/message_composition.h"
#include "feed/feed_converter.h"
#include "shell/host_functions.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>
#include <vector>

namespace {

const char *Unchanged(const char *text, int) { return text; }

const size_t DownloadBound = 8u << 20;

double CpuSeconds()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

std::string Item(int i)
{
    char item[1024];
    snprintf(item, sizeof item,
             "<item><title>Item number %d &amp; more</title><link>http://bench.example/items/%d</link>"
             "<guid>urn:bench:%d</guid><author>writer%d@bench.example</author><category>topic %d</category>"
             "<description>&lt;p&gt;The body of item %d, a paragraph of ordinary length that a feed carries for "
             "each of its entries, with a few more words to read.&lt;/p&gt;</description>"
             "<pubDate>Mon, 01 Jan 2024 00:00:00 +0900</pubDate></item>\n",
             i, i, i, i % 13, i % 17, i);
    return item;
}

std::string WriteFeed(const std::string &path, int *items)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>Bench</title>"
                       "<link>http://bench.example/</link><description>d</description>\n";
    const std::string end = "</channel></rss>\n";
    *items = 0;
    for (std::string item = Item(0); text.size() + item.size() + end.size() <= DownloadBound; item = Item(*items))
        text += item, ++*items;
    text += end;
    FILE *out = fopen(path.c_str(), "wb");
    if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
        perror(path.c_str());
        exit(1);
    }
    return text;
}

struct Run {
    double seconds = 1e9;
    int items = 0, filtered = 0;
};

Run Convert(const std::string &path, size_t size, const ItemFilter *filter)
{
    Run run;
    std::vector<char> message(size + MessageSlack);
    for (int round = 0; round < 5; ++round) {
        ItemMemory memory;
        ConversionReport report;
        char newest[NewestTimestampSize] = "";
        double start = CpuSeconds();
        FeedConverter::convert_feed(message.data(), message.size(), path.c_str(), "2000-01-01T00:00:00+09:00", newest, &memory, &report,
                                    nullptr, filter);
        double took = CpuSeconds() - start;
        if (took < run.seconds)
            run.seconds = took;
        run.items = report.items;
        run.filtered = report.filtered;
    }
    return run;
}

ItemFilter Rules(const std::string &pattern, bool numbered)
{
    ItemFilter filter;
    for (int i = 0; i < MaxFeedRules; ++i) {
        FeedRule rule;
        rule.block = true;
        rule.field = RuleAny;
        rule.pattern = numbered ? pattern + std::to_string(i) : pattern;
        filter.rules.push_back(rule);
    }
    return filter;
}

}  // namespace

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : "/tmp";
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Unchanged);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&Unchanged);
    std::string path = folder + "/bench-rules.xml";
    int items = 0;
    size_t size = WriteFeed(path, &items).size();
    std::string worst;
    while (worst.size() + 2 < MaxRulePatternBytes)
        worst += "*e";
    worst += "*q";
    std::string almost = "*the body of item *, a paragraph of ordinary length that a feed carries for each of its "
                         "entries, with a few more words to read.";
    while (almost.size() < MaxRulePatternBytes - 1)
        almost += "*the body of item";
    almost.resize(MaxRulePatternBytes - 1);
    almost += "~";
    ItemFilter none, plain = Rules("sponsored post ", true), stars = Rules(worst, false),
                     run = Rules(almost, false);
    printf("feed: %zu bytes, %d items, every one new\n", size, items);
    Run base = Convert(path, size, &none);
    printf("%-46s %8.1f ms  %d delivered\n", "convert_feed, no rules", base.seconds * 1e3, base.items);
    struct {
        const char *name;
        const ItemFilter *filter;
    } rows[] = {{"64 rules of plain words, any field", &plain},
                {"64 rules \"*e*e...*q\" (256 bytes), any field", &stars},
                {"64 rules of a long run of words (256 bytes)", &run}};
    for (const auto &row : rows) {
        Run run = Convert(path, size, row.filter);
        printf("%-46s %8.1f ms  %d delivered, %d filtered  (%.2f x the conversion)\n", row.name, run.seconds * 1e3,
               run.items, run.filtered, run.seconds / base.seconds);
    }
    return 0;
}

// Times what selecting a feed on the URL LIST page reads, at its bounds: the
// patrol log full to its rotation size (the lines of N feeds, default 500,
// patrol after patrol) searched from its end for a feed it never names, and a
// record holding the most keys a record keeps. Prints the best wall time of
// several runs for each; the bench's figure, never a test's.
//   feed_state_bench [FOLDER [FEEDS]]
#include "feed/deliver/feed_record.h"
#include "feed/patrol/patrol_log.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

std::string Address(int i) { return "https://site" + std::to_string(i) + ".example/feeds/posts/default?alt=rss"; }

}  // namespace

int main(int argc, char **argv)
{
    int feeds = argc > 2 ? atoi(argv[2]) : 500;
    std::string log;
    SYSTEMTIME time = {2026, 12, 4, 10, 4, 3, 5, 0};
    for (int patrol = 0; log.size() < size_t(MaxPatrolLogBytes); ++patrol) {
        for (int i = 0; i < feeds && log.size() < size_t(MaxPatrolLogBytes); ++i) {
            FeedOutcome outcome;
            outcome.kind = i % 7 == 0 ? FeedFailed : FeedNothingNew;
            snprintf(outcome.reason, sizeof outcome.reason, "HTTP 404");
            char line[PatrolLogLineSize];
            format_patrol_line(time, Address(i).c_str(), outcome, line, sizeof line);
            log += line;
        }
    }
    const char *url = "https://example.org/feed";
    FeedRecord record;
    record.title = "Example";
    record.site = "https://example.org/";
    record.memory.scope = EveryKey;
    for (int i = 0; i < MaxRecordKeys; ++i)
        record.memory.keys.push_back("https://example.org/posts/" + std::to_string(i) + "#a-long-enough-fragment");
    std::string text = format_feed_record(url, record);

    double best_log = 1e9, best_record = 1e9;
    int found = 0;
    for (int run = 0; run < 7; ++run) {
        std::string stamp, words;
        auto start = std::chrono::steady_clock::now();
        found += find_last_verdict(log.data(), log.size(), url, &stamp, &words);
        auto searched = std::chrono::steady_clock::now();
        FeedRecord read;
        found += parse_feed_record(text.data(), text.size(), url, &read) && read.title == record.title;
        auto parsed = std::chrono::steady_clock::now();
        best_log = std::min(best_log, Milliseconds(searched - start));
        best_record = std::min(best_record, Milliseconds(parsed - searched));
    }
    printf("log of %zu bytes (%d feeds a patrol) searched whole: %.2f ms; record of %d keys (%zu bytes) read: "
           "%.2f ms (%d found)\n",
           log.size(), feeds, best_log, int(MaxRecordKeys), text.size(), best_record, found);
    return 0;
}

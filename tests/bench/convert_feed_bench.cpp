// Times convert_feed on generated RSS 2.0 feeds of many new items beside
// TinyXML's own LoadFile of the same file, with the split of its time (read
// the file, measure the document, parse it, compose the message), and
// reports the peak memory of each. Then the peak memory of hostile documents
// at the node bound, and a JSON Feed filling 8 MiB beside the same items as
// RSS 2.0. Each step is timed on its own, never by difference, in
// rounds (KIV_BENCH_ROUNDS, default 5): a round is a child process that
// times every step in turn at each repetition, so that the machine's
// neighbours weigh on all of them alike, and keeps each step's best; the
// medians of the rounds are printed with their spread. Peak memory is
// measured in a child process of its own for each. Times are the process's
// CPU time: on a shared machine wall time says more about the neighbours
// than about the code.
//   convert_feed_bench [FOLDER [ITEMS...]]   (ITEMS "max": the most that fit 8
//   MiB)
#include "feed/deliver/message_composition.h"
#include "feed/deliver/message_pieces.h"
#include "feed/feed_converter.h"
#include "feed/read/feed_document.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

// The host's conversion is the host's cost, not the converter's: this one
// hands the text back as it is.
const char *Unchanged(const char *text, int) { return text; }

// KIV_BENCH_HTML=1: item bodies rich in HTML, as many feeds send them.
const bool HtmlRich = getenv("KIV_BENCH_HTML") && atoi(getenv("KIV_BENCH_HTML")) != 0;
const char RichBody[] =
    "&lt;p&gt;With &lt;b&gt;bold&lt;/b&gt; words, &lt;a href=\"http://bench.example/items?from=feed&amp;amp;x=1\"&gt;"
    "a link&lt;/a&gt; &amp;amp; an entity&amp;#8217;s worth&amp;nbsp;of text.&lt;/p&gt;&lt;ul&gt;&lt;li&gt;one&lt;/li&gt;"
    "&lt;li&gt;two &lt;img src=\"http://bench.example/i.png\" alt=\"a picture\"&gt;&lt;/li&gt;&lt;/ul&gt;"
    "&lt;script type=\"text/javascript\"&gt;track('item');&lt;/script&gt;&lt;div class=\"more\"&gt;Read "
    "&lt;a href=\"http://bench.example/more\"&gt;more&lt;/a&gt;.&lt;br /&gt;Last line.&lt;/div&gt;";

// The patrol's download bound: no larger feed reaches the converter.
const size_t DownloadBound = 8u << 20;

std::string ItemText(int i)
{
    int minutes = 24 * 60 * 365 - i;
    int month = 1 + minutes / (60 * 24 * 31) % 12, day = 1 + minutes / (60 * 24) % 28;
    char date[80];
    if (getenv("KIV_BENCH_PUBDATE"))  // dated as most RSS 2.0 feeds date their items
        snprintf(date, sizeof date, "<pubDate>Mon, %02d %s 2024 %02d:%02d:00 +0900</pubDate>", day,
                 month_list[month - 1], minutes / 60 % 24, minutes % 60);
    else
        snprintf(date, sizeof date, "<dc:date>2024-%02d-%02dT%02d:%02d:00+09:00</dc:date>", month, day,
                 minutes / 60 % 24, minutes % 60);
    char item[2048];
    snprintf(item, sizeof item,
             "<item>\n<title>Item number %d &amp; more</title>\n<link>http://bench.example/items/%d</link>\n"
             "<description>&lt;p&gt;The body of item %d, a paragraph of ordinary length that a feed "
             "carries for each of its entries.&lt;/p&gt;%s</description>\n<dc:subject>topic %d</dc:subject>\n"
             "%s\n</item>\n",
             i, i, i, HtmlRich ? RichBody : "", i % 17, date);
    return item;
}

void WriteFile(const std::string &path, const std::string &text)
{
    FILE *out = fopen(path.c_str(), "wb");
    if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
        perror(path.c_str());
        exit(1);
    }
}

// Items dated in 2024, so that every one is newer than the default last-seen
// date, with every field the converter reads; items < 0 writes as many as fit
// the download bound. The number written goes back in items.
std::string WriteFeed(const std::string &folder, int &items)
{
    const std::string head =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<rss version=\"2.0\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n<channel>\n"
        "<title>Benchmark feed</title>\n<link>http://bench.example/</link>\n"
        "<description>Generated items</description>\n";
    const std::string tail = "</channel>\n</rss>\n";
    std::string text = head;
    int written = 0;
    for (; items < 0 || written < items; ++written) {
        std::string item = ItemText(written);
        if (items < 0 && text.size() + item.size() + tail.size() > DownloadBound)
            break;
        text += item;
    }
    items = written;
    std::string path = folder + "/feed-" + std::to_string(items) + ".xml";
    WriteFile(path, text + tail);
    return path;
}

long FileSize(const std::string &path)
{
    FILE *in = fopen(path.c_str(), "rb");
    fseek(in, 0, SEEK_END);
    long size = ftell(in);
    fclose(in);
    return size;
}

struct Figures {
    double seconds;  // the best of the repetitions
    long peak_kb;    // peak resident size of the measuring process
    int result;
};

double CpuSeconds()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Freed memory stays with the process for the next repetition, as a
// long-lived process's heap keeps it: otherwise every repetition pays the
// first touch of fresh pages again, which at small sizes weighs more than
// the work and varies from run to run.
void KeepFreedMemory()
{
    mallopt(M_TRIM_THRESHOLD, 1 << 30);
    mallopt(M_MMAP_THRESHOLD, 1 << 30);
}

// Runs work in a child process and hands back what it wrote into `out`
// (`size` bytes) and its peak resident size in kB.
template <class Work>
long InChild(void *out, size_t size, Work work)
{
    int channel[2];
    if (pipe(channel) != 0)
        exit(1);
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        KeepFreedMemory();
        work(out);
        ssize_t written = write(channel[1], out, size);
        _exit(written == ssize_t(size) ? 0 : 1);
    }
    close(channel[1]);
    ssize_t got = read(channel[0], out, size);
    close(channel[0]);
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    if (got != ssize_t(size) || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "measurement failed\n");
        exit(1);
    }
    return usage.ru_maxrss;
}

// The peak memory of work alone, in a child process of its own.
template <class Work>
Figures PeakOf(Work work)
{
    Figures figures = {0, 0, 0};
    figures.peak_kb = InChild(&figures, sizeof figures, [&](void *out) {
        static_cast<Figures *>(out)->result = work();
    });
    return figures;
}

// The text as the converter reads it, for the steps measured apart.
std::string ReadText(const std::string &path)
{
    TiXmlDocument document;
    char *text = read_feed_text(&document, path.c_str());
    if (!text)
        exit(1);
    std::string copy(text, strlen(text) + 8);
    free(text);
    return copy;
}

// What is timed, each on its own: TinyXML's load of the file, the steps of
// convert_feed (reading the file, measuring the document, parsing it,
// composing the message of the parsed document), and convert_feed whole.
enum Step { Load, Read, Measure, Parse, Compose, Convert, StepCount };
const char *const StepNames[StepCount] = {"load", "read", "measure", "parse", "compose", "convert"};

struct Round {
    double seconds[StepCount];  // the best of the round's repetitions
    int failed;
};

// One round in a child process: every repetition times each step once, in
// turn, so that whatever else the machine does at that moment weighs on all
// of them alike, and each step keeps its best time.
Round TimeRound(const std::string &path, long size, int repetitions)
{
    Round round = {};
    InChild(&round, sizeof round, [&](void *out) {
        Round &mine = *static_cast<Round *>(out);
        for (double &seconds : mine.seconds)
            seconds = 1e9;
        std::string text = ReadText(path);
        std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
        for (int i = 0; i < repetitions; ++i) {
            for (int step = 0; step < StepCount; ++step) {
                int ok = 0;
                double took = 0;
                if (step == Compose) {
                    // The document is opened untimed; only the message is.
                    OpenedFeed feed;
                    if (!open_feed(&feed, path.c_str(), nullptr, nullptr))
                        break;
                    double start = CpuSeconds();
                    MessageBuffer buffer = {message.get(), size_t(size) + MessageSlack, 0, 2};
                    char newest[NewestTimestampSize] = {};
                    TiXmlHandle first(FeedConverter::get_first_item(TiXmlHandle(&feed.document), feed.feed_type));
                    ok = FeedConverter::convert_items(first, &buffer, DefaultTimestamp, newest, feed.encoding,
                                                      feed.feed_type, nullptr, nullptr) > 0;
                    took = CpuSeconds() - start;
                } else {
                    double start = CpuSeconds();
                    switch (step) {
                    case Load: {
                        TiXmlDocument document(path.c_str());
                        ok = document.LoadFile();
                        break;
                    }
                    case Read: {
                        TiXmlDocument document;
                        char *read_text = read_feed_text(&document, path.c_str());
                        ok = read_text != nullptr;
                        free(read_text);
                        break;
                    }
                    case Measure: {
                        DocumentShape shape;
                        ok = measure_document(text.data(), &shape);
                        break;
                    }
                    case Parse: {
                        TiXmlDocument document;
                        ok = parse_feed_text(&document, text.data());
                        break;
                    }
                    default: {
                        // Allocated as the patrol allocates it: the download
                        // size plus the slack, not zeroed.
                        char newest[NewestTimestampSize] = {};
                        ok = FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                                         DefaultTimestamp, newest);
                        break;
                    }
                    }
                    took = CpuSeconds() - start;
                }
                mine.failed |= !ok;
                if (took < mine.seconds[step])
                    mine.seconds[step] = took;
            }
        }
    });
    return round;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

// "median [lowest, highest]" of values, scaled.
std::string Spread(const std::vector<double> &values, double scale, const char *format)
{
    char median[32], low[32], high[32], text[128];
    snprintf(median, sizeof median, format, Median(values) * scale);
    snprintf(low, sizeof low, format, *std::min_element(values.begin(), values.end()) * scale);
    snprintf(high, sizeof high, format, *std::max_element(values.begin(), values.end()) * scale);
    snprintf(text, sizeof text, "%s [%s, %s]", median, low, high);
    return text;
}

void ConvertFeeds(const std::string &folder, const std::vector<int> &sizes, int rounds)
{
    printf("ms of CPU time, median [lowest, highest] of %d rounds, each step timed on its own, the best of\n"
           "its repetitions in a round; ratio: convert / load in each round\n",
           rounds);
    bool within_goal = true;
    for (int wanted : sizes) {
        int items = wanted;
        std::string path = WriteFeed(folder, items);
        long size = FileSize(path);
        int repetitions = size > (2l << 20) ? 5 : 9;
        std::vector<double> times[StepCount], ratios;
        for (int r = 0; r < rounds; ++r) {
            Round round = TimeRound(path, size, repetitions);
            if (round.failed) {
                fprintf(stderr, "the feed of %d items did not load or convert\n", items);
                exit(1);
            }
            for (int step = 0; step < StepCount; ++step)
                times[step].push_back(round.seconds[step]);
            ratios.push_back(round.seconds[Convert] / round.seconds[Load]);
        }
        Figures load = PeakOf([&] {
            TiXmlDocument document(path.c_str());
            return document.LoadFile() ? 1 : 0;
        });
        Figures convert = PeakOf([&] {
            std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
            char newest[NewestTimestampSize] = {};
            return FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                               DefaultTimestamp, newest);
        });
        remove(path.c_str());
        double memory = double(convert.peak_kb) / double(load.peak_kb);
        within_goal = within_goal && *std::max_element(ratios.begin(), ratios.end()) <= 1.2 && memory <= 1.2;
        printf("%d items (%ld KB):\n", items, size / 1024);
        for (int step = 0; step < StepCount; ++step)
            printf("  %-8s %s\n", StepNames[step], Spread(times[step], 1000, "%.1f").c_str());
        std::vector<double> sums;
        for (int r = 0; r < rounds; ++r)
            sums.push_back(times[Read][r] + times[Measure][r] + times[Parse][r] + times[Compose][r]);
        printf("  %-8s %s (read + measure + parse + compose; convert also recognises the feed)\n", "steps",
               Spread(sums, 1000, "%.1f").c_str());
        printf("  %-8s %s   peak memory %.1f MB / %.1f MB = %.2f\n", "ratio", Spread(ratios, 1, "%.2f").c_str(),
               convert.peak_kb / 1024.0, load.peak_kb / 1024.0, memory);
    }
    printf("goal (convert_feed at most 1.2 times the load in time, in every round, and in peak memory at every "
           "size): %s\n\n",
           within_goal ? "met" : "missed");
}

// The items of ItemText as a JSON Feed: the same title, link, body, subject
// and date.
std::string JsonItemText(int i)
{
    int minutes = 24 * 60 * 365 - i;
    int month = 1 + minutes / (60 * 24 * 31) % 12, day = 1 + minutes / (60 * 24) % 28;
    char item[2048];
    snprintf(item, sizeof item,
             "%s{\"id\": \"%d\", \"url\": \"http://bench.example/items/%d\", \"title\": \"Item number %d & more\",\n"
             "\"content_html\": \"<p>The body of item %d, a paragraph of ordinary length that a feed carries for each "
             "of its entries.</p>\",\n\"tags\": [\"topic %d\"], \"date_published\": "
             "\"2024-%02d-%02dT%02d:%02d:00+09:00\"}\n",
             i ? "," : "", i, i, i, i, i % 17, month, day, minutes / 60 % 24, minutes % 60);
    return item;
}

// convert_feed of the file at path, as the rounds above time it: the median
// of rounds, each the best of its repetitions in a child process.
std::vector<double> ConvertTimes(const std::string &path, long size, int rounds)
{
    std::vector<double> times;
    for (int r = 0; r < rounds; ++r) {
        Figures best = {1e9, 0, 1};
        InChild(&best, sizeof best, [&](void *out) {
            Figures &mine = *static_cast<Figures *>(out);
            for (int i = 0; i < 5; ++i) {
                std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
                char newest[NewestTimestampSize] = {};
                double start = CpuSeconds();
                int converted = FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                                            DefaultTimestamp, newest);
                mine.seconds = std::min(mine.seconds, CpuSeconds() - start);
                mine.result = mine.result && converted == 1;
            }
        });
        if (!best.result) {
            fprintf(stderr, "%s did not convert\n", path.c_str());
            exit(1);
        }
        times.push_back(best.seconds);
    }
    return times;
}

// A JSON Feed of as many items as fit the download bound beside the same
// number of items as RSS 2.0: time and peak memory of convert_feed on each.
void JsonBesideRss(const std::string &folder, int rounds)
{
    std::string text = "{\"version\": \"https://jsonfeed.org/version/1.1\", \"title\": \"Benchmark feed\",\n"
                       "\"home_page_url\": \"http://bench.example/\", \"description\": \"Generated items\",\n"
                       "\"items\": [\n";
    const std::string tail = "]}\n";
    int items = 0;
    for (;; ++items) {
        std::string item = JsonItemText(items);
        if (text.size() + item.size() + tail.size() > DownloadBound)
            break;
        text += item;
    }
    std::string json = folder + "/feed.json";
    WriteFile(json, text + tail);
    std::string rss = WriteFeed(folder, items);
    printf("same items: convert_feed, ms of CPU time, median [lowest, highest] of %d rounds\n", rounds);
    for (const std::string &path : {rss, json}) {
        long size = FileSize(path);
        std::vector<double> times = ConvertTimes(path, size, rounds);
        Figures peak = PeakOf([&] {
            std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
            char newest[NewestTimestampSize] = {};
            return FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                               DefaultTimestamp, newest);
        });
        remove(path.c_str());
        printf("  %-10s %6d items %6ld KB  %s  peak %.1f MB\n", path == rss ? "RSS 2.0" : "JSON Feed", items,
               size / 1024, Spread(times, 1000, "%.1f").c_str(), peak.peak_kb / 1024.0);
    }
}

// Documents that ask the most memory of the parser: empty elements, four
// bytes a node, at the node bound and filling the download bound.
void HostileDocuments(const std::string &folder)
{
    struct Case {
        const char *what;
        size_t nodes;
    } cases[] = {
        {"empty elements at the node bound", MaxDocumentNodes},
        {"empty elements filling 8 MiB", DownloadBound / 4 - 2},
    };
    printf("%-36s %9s %9s %10s %12s\n", "hostile document", "file KB", "nodes", "loaded", "peak MB");
    for (const Case &c : cases) {
        // A document without a declaration is given one, a node too.
        std::string text = "<r>";
        for (size_t i = 2; i < c.nodes; ++i)
            text += "<a/>";
        text += "</r>";
        std::string path = folder + "/hostile.xml";
        WriteFile(path, text);
        Figures load = PeakOf([&] {
            TiXmlDocument document;
            return load_feed_document(&document, path.c_str());
        });
        remove(path.c_str());
        printf("%-36s %9zu %9zu %10s %12.1f\n", c.what, text.size() / 1024, c.nodes, load.result ? "parsed" : "refused",
               load.peak_kb / 1024.0);
    }
}

}  // namespace

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : "/tmp";
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(strcmp(argv[i], "max") == 0 ? -1 : atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, -1};
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Unchanged);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&Unchanged);
    const char *wanted = getenv("KIV_BENCH_ROUNDS");
    int rounds = wanted && atoi(wanted) > 0 ? atoi(wanted) : 5;
    ConvertFeeds(folder, sizes, rounds);
    HostileDocuments(folder);
    JsonBesideRss(folder, rounds);
    return 0;
}

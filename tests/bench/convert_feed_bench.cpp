// Times convert_feed on generated RSS 2.0 feeds of many new items beside
// TinyXML's own LoadFile of the same file, with the split of its time (read
// the file, measure the document, parse it, compose the message), and
// reports the peak memory of each. Then the peak memory of hostile documents
// at the node bound. Last, a JSON Feed of as many items as fit 8 MiB beside
// the same items as RSS 2.0. Every measurement runs in a child process of its own,
// so that its peak resident size is its own. Times are the process's CPU
// time, the best of several runs: on a shared machine wall time says more
// about the neighbours than about the code.
//   convert_feed_bench [FOLDER [ITEMS...]]   (ITEMS "max": the most that fit 8
//   MiB)
#include "feed/deliver/message_composition.h"
#include "feed/feed_converter.h"
#include "feed/read/feed_document.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

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

// Runs work `repetitions` times in a child process.
template <class Work>
Figures Measure(int repetitions, Work work)
{
    int channel[2];
    if (pipe(channel) != 0)
        exit(1);
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        // Freed memory stays with the process for the next repetition, as a
        // long-lived process's heap keeps it: otherwise every repetition pays
        // the first touch of fresh pages again, which at small sizes weighs
        // more than the work and varies from run to run.
        mallopt(M_TRIM_THRESHOLD, 1 << 30);
        mallopt(M_MMAP_THRESHOLD, 1 << 30);
        Figures figures = {1e9, 0, 0};
        for (int i = 0; i < repetitions; ++i) {
            double start = CpuSeconds();
            figures.result = work();
            double took = CpuSeconds() - start;
            if (took < figures.seconds)
                figures.seconds = took;
        }
        ssize_t written = write(channel[1], &figures, sizeof figures);
        _exit(written == sizeof figures ? 0 : 1);
    }
    close(channel[1]);
    Figures figures = {};
    ssize_t got = read(channel[0], &figures, sizeof figures);
    close(channel[0]);
    int status = 0;
    struct rusage usage = {};
    wait4(child, &status, 0, &usage);
    if (got != sizeof figures || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "measurement failed\n");
        exit(1);
    }
    figures.peak_kb = usage.ru_maxrss;
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

void ConvertFeeds(const std::string &folder, const std::vector<int> &sizes)
{
    printf("%8s %8s | %7s %7s %7s %7s %9s | %9s %6s | %9s %9s %6s\n", "items", "file KB", "read", "measure", "parse",
           "compose", "convert", "load ms", "ratio", "conv. MB", "load MB", "ratio");
    bool within_goal = true;
    for (int wanted : sizes) {
        int items = wanted;
        std::string path = WriteFeed(folder, items);
        long size = FileSize(path);
        int repetitions = size > (2l << 20) ? 5 : 9;
        std::string text = ReadText(path);
        Figures load = Measure(repetitions, [&] {
            TiXmlDocument document(path.c_str());
            return document.LoadFile() ? 1 : 0;
        });
        Figures read = Measure(repetitions, [&] {
            TiXmlDocument document;
            char *read_text = read_feed_text(&document, path.c_str());
            free(read_text);
            return read_text ? 1 : 0;
        });
        Figures measure = Measure(repetitions, [&] {
            DocumentShape shape;
            return measure_document(text.data(), &shape);
        });
        Figures parse = Measure(repetitions, [&] {
            TiXmlDocument document;
            return parse_feed_text(&document, text.data());
        });
        Figures convert = Measure(repetitions, [&] {
            // Allocated as the patrol run allocates it: the download size plus the
            // slack, not zeroed.
            std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
            char newest[NewestTimestampSize] = {};
            return FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                               DefaultTimestamp, newest);
        });
        remove(path.c_str());
        if (load.result != 1 || convert.result != 1 || read.result != 1 || measure.result != 1 || parse.result != 1) {
            fprintf(stderr, "the feed of %d items did not load or convert\n", items);
            exit(1);
        }
        double ratio = convert.seconds / load.seconds;
        double memory = double(convert.peak_kb) / double(load.peak_kb);
        within_goal = within_goal && ratio <= 1.2 && memory <= 1.2;
        double compose = convert.seconds - read.seconds - measure.seconds - parse.seconds;
        printf(
            "%8d %8ld | %7.1f %7.1f %7.1f %7.1f %9.1f | %9.1f %6.2f | %9.1f "
            "%9.1f %6.2f\n",
            items, size / 1024, read.seconds * 1000, measure.seconds * 1000, parse.seconds * 1000, compose * 1000,
            convert.seconds * 1000, load.seconds * 1000, ratio, convert.peak_kb / 1024.0, load.peak_kb / 1024.0,
            memory);
    }
    printf(
        "(ms of CPU time; convert = read + measure + parse + compose, compose "
        "by difference)\n");
    printf(
        "goal (convert_feed at most 1.2 times the load in time and in peak "
        "memory at every size): %s\n\n",
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

// A JSON Feed of as many items as fit the download bound beside the same
// number of items as RSS 2.0: time and peak memory of convert_feed on each.
void JsonBesideRss(const std::string &folder)
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
    printf("%-10s %8s %8s %9s %9s\n", "same items", "items", "file KB", "convert", "peak MB");
    for (const std::string &path : {rss, json}) {
        long size = FileSize(path);
        Figures convert = Measure(5, [&] {
            std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
            char newest[NewestTimestampSize] = {};
            return FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                               DefaultTimestamp, newest);
        });
        remove(path.c_str());
        if (convert.result != 1) {
            fprintf(stderr, "%s did not convert\n", path.c_str());
            exit(1);
        }
        printf("%-10s %8d %8ld %9.1f %9.1f\n", path == rss ? "RSS 2.0" : "JSON Feed", items, size / 1024,
               convert.seconds * 1000, convert.peak_kb / 1024.0);
    }
    printf("(ms of CPU time, the best of five)\n");
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
        Figures load = Measure(1, [&] {
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
    ConvertFeeds(folder, sizes);
    HostileDocuments(folder);
    JsonBesideRss(folder);
    return 0;
}

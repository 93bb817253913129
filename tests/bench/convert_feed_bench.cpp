// Times convert_feed on generated RSS 2.0 feeds of many new items beside
// TinyXML's own LoadFile of the same file, and reports the peak memory of
// each. Every measurement runs in a child process of its own, so that its
// peak resident size is its own. Times are the process's CPU time, the best
// of several runs: on a shared machine wall time says more about the
// neighbours than about the code.
//   convert_feed_bench [FOLDER [ITEMS...]]
#include "feed/feed_converter.h"
#include "shell/host_functions.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <time.h>
#include <sys/resource.h>
#include <sys/wait.h>
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

// Items dated in 2024, so that every one is newer than the default last-seen
// date, with every field the converter reads.
std::string WriteFeed(const std::string &folder, int items)
{
    std::string path = folder + "/feed-" + std::to_string(items) + ".xml";
    FILE *out = fopen(path.c_str(), "wb");
    if (!out) {
        perror(path.c_str());
        exit(1);
    }
    fprintf(out, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n<channel>\n"
                 "<title>Benchmark feed</title>\n<link>http://bench.example/</link>\n"
                 "<description>Generated items</description>\n");
    for (int i = 0; i < items; ++i) {
        int minutes = 24 * 60 * 365 - i;
        int month = 1 + minutes / (60 * 24 * 31) % 12, day = 1 + minutes / (60 * 24) % 28;
        char date[80];
        if (getenv("KIV_BENCH_PUBDATE"))  // dated as most RSS 2.0 feeds date their items
            snprintf(date, sizeof date, "<pubDate>Mon, %02d %s 2024 %02d:%02d:00 +0900</pubDate>", day,
                     month_list[month - 1], minutes / 60 % 24, minutes % 60);
        else
            snprintf(date, sizeof date, "<dc:date>2024-%02d-%02dT%02d:%02d:00+09:00</dc:date>", month, day,
                     minutes / 60 % 24, minutes % 60);
        fprintf(out,
                "<item>\n<title>Item number %d &amp; more</title>\n<link>http://bench.example/items/%d</link>\n"
                "<description>&lt;p&gt;The body of item %d, a paragraph of ordinary length that a feed "
                "carries for each of its entries.&lt;/p&gt;%s</description>\n<dc:subject>topic %d</dc:subject>\n"
                "%s\n</item>\n",
                i, i, i, HtmlRich ? RichBody : "", i % 17, date);
    }
    fprintf(out, "</channel>\n</rss>\n");
    fclose(out);
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
    double seconds;    // the best of the repetitions
    long peak_kb;      // peak resident size of the measuring process
    int result;
};

double CpuSeconds()
{
    struct timespec now;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

// Runs work `repetitions` times in a child process.
template <class Work> Figures Measure(int repetitions, Work work)
{
    int channel[2];
    if (pipe(channel) != 0)
        exit(1);
    pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
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

}  // namespace

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : "/tmp";
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i)
        sizes.push_back(atoi(argv[i]));
    if (sizes.empty())
        sizes = {1000, 10000, 50000};
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&Unchanged);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&Unchanged);

    printf("%8s %10s %16s %16s %7s %18s %18s\n", "items", "file KB", "convert_feed ms", "TinyXML load ms",
           "ratio", "convert peak MB", "load peak MB");
    bool within_goal = true;
    for (int items : sizes) {
        std::string path = WriteFeed(folder, items);
        long size = FileSize(path);
        int repetitions = items >= 50000 ? 5 : 9;
        Figures load = Measure(repetitions, [&] {
            TiXmlDocument document(path.c_str());
            return document.LoadFile() ? 1 : 0;
        });
        Figures convert = Measure(repetitions, [&] {
            // Allocated as the patrol run allocates it: the download size plus the slack, not zeroed.
            std::unique_ptr<char[]> message(new char[size_t(size) + MessageSlack]);
            char newest[NewestTimestampSize] = {};
            return FeedConverter::convert_feed(message.get(), size_t(size) + MessageSlack, path.c_str(),
                                               DefaultTimestamp, newest);
        });
        remove(path.c_str());
        if (load.result != 1 || convert.result != 1) {
            fprintf(stderr, "the feed of %d items did not load or convert\n", items);
            return 1;
        }
        double ratio = convert.seconds / load.seconds;
        within_goal = within_goal && ratio <= 1.5;
        printf("%8d %10ld %16.1f %16.1f %7.2f %18.1f %18.1f\n", items, size / 1024, convert.seconds * 1000,
               load.seconds * 1000, ratio, convert.peak_kb / 1024.0, load.peak_kb / 1024.0);
    }
    printf("goal (convert_feed at most 1.5 times the load at every size): %s\n", within_goal ? "met" : "missed");
    return 0;
}

// Times an import of a reader's list of N feeds (default 500), in folders of
// ten, as another reader exports it: the OPML file read for its addresses,
// then appended to a settings file of three option entries and N / 2 feeds,
// half of the list being there already. Prints the best wall time of several
// runs for each step; the bench's figure, never a test's.
//   opml_import_bench [FOLDER [FEEDS]]
#include "base/process_values.h"
#include "dialogs/opml_import.h"
#include "settings/feed_list_additions.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double Milliseconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Write(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file || fwrite(text.data(), 1, text.size(), file) != text.size() || fclose(file) != 0) {
        fprintf(stderr, "cannot write %s\n", path.c_str());
        exit(1);
    }
}

std::string Address(int i) { return "https://site" + std::to_string(i) + ".example/feeds/posts/default?alt=rss"; }

}  // namespace

int main(int argc, char **argv)
{
    std::string folder = argc > 1 ? argv[1] : ".";
    int feeds = argc > 2 ? atoi(argv[2]) : 500;
    std::string opml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<opml version=\"2.0\"><head><title>x</title>"
                       "</head><body>\n";
    for (int i = 0; i < feeds; ++i) {
        if (i % 10 == 0)
            opml += "<outline text=\"Folder " + std::to_string(i / 10) + "\">\n";
        opml += "  <outline type=\"rss\" text=\"Site " + std::to_string(i) + "\" title=\"Site " +
                std::to_string(i) + "\" xmlUrl=\"" + Address(i) + "\" htmlUrl=\"https://site" + std::to_string(i) +
                ".example/\"/>\n";
        if (i % 10 == 9 || i == feeds - 1)
            opml += "</outline>\n";
    }
    opml += "</body></opml>\n";
    std::string ini = "Inbox\\KIV\r\n0\r\n0";
    for (int i = 0; i < feeds; i += 2)
        ini += "\r\n" + Address(i) + ",2024-06-06T18:30:00+00:00";
    std::string list = folder + "/list.opml", settings = folder + "/KIV.ini";
    Write(list, opml);
    snprintf(SettingsPath, sizeof SettingsPath, "%s", settings.c_str());

    double best_read = 1e9, best_import = 1e9;
    ImportSummary summary;
    for (int run = 0; run < 7; ++run) {
        Write(settings, ini);
        auto start = std::chrono::steady_clock::now();
        std::vector<std::string> addresses;
        if (read_opml_file(list.c_str(), &addresses, nullptr) != OpmlReadable)
            return 1;
        auto read = std::chrono::steady_clock::now();
        if (!import_feed_addresses(addresses, &summary))
            return 1;
        auto done = std::chrono::steady_clock::now();
        best_read = std::min(best_read, Milliseconds(read - start));
        best_import = std::min(best_import, Milliseconds(done - read));
    }
    printf("%d feeds (%zu bytes of OPML): read %.2f ms, import %.2f ms (%zu added, %zu listed), %.2f ms in all\n",
           feeds, opml.size(), best_read, best_import, summary.added, summary.listed, best_read + best_import);
    return 0;
}

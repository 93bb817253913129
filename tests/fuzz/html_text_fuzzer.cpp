// Any text as an item description: html_to_text must stay within its bound
// and its buffer, cut a smaller buffer's text as a prefix of the whole, and
// leave a text without HTML as it is.
#include "feed/html_text.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "html_to_text: %s\n", what);
        abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string html(reinterpret_cast<const char *>(data), size);
    html.resize(strlen(html.c_str()));
    for (int utf8 : {1, 0}) {
        // Exactly the size the bound asks for, so that the sanitizer sees any byte past it.
        size_t bound = html.size() * HtmlTextGrowth + 1;
        char *out = static_cast<char *>(malloc(bound));
        size_t length = html_to_text(html.c_str(), out, bound, utf8);
        Check(length < bound && out[length] == '\0' && strlen(out) == length, "terminated within the bound");
        Check(carries_html(html.c_str()) || html == out, "text without HTML is untouched");

        size_t half = length / 2 + 1;
        char *cut = static_cast<char *>(malloc(half));
        size_t cut_length = html_to_text(html.c_str(), cut, half, utf8);
        Check(cut_length == half - 1 && memcmp(cut, out, cut_length) == 0 && cut[cut_length] == '\0',
              "a smaller buffer holds the text's beginning");
        free(cut);
        free(out);
    }
    return 0;
}

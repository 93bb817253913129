// Any text as an item description: html_to_text must stay within its bound
// and its buffer, cut a smaller buffer's text as a prefix of the whole, and
// leave a text without HTML as it is; with a base for its links, within the
// bound html_text_size gives. The same text as a title, as a plain text whose
// references are resolved, and as an address resolved against a base: each
// within its buffer and its bound.
#include "base/addresses.h"
#include "feed/read/html_text.h"

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

        const char *base = "http://h.example/a/b/c;p?q";
        size_t based_size = html_text_size(html.c_str(), strlen(base));
        char *based = static_cast<char *>(malloc(based_size));
        size_t based_length = html_to_text(html.c_str(), based, based_size, utf8, base);
        Check(based_length < based_size && strlen(based) == based_length, "a base keeps to its bound");
        free(based);

        // Titles and plain texts have fields of 512 bytes; filled exactly.
        char *line = static_cast<char *>(malloc(512));
        size_t line_length = html_to_line(html.c_str(), line, 512, utf8);
        Check(line_length < 512 && strlen(line) == line_length, "a title keeps to its field");
        line_length = resolve_references(html.c_str(), line, 512, utf8);
        Check(line_length < 512 && strlen(line) == line_length && line_length <= html.size(),
              "resolved references are never longer than themselves");
        free(line);
    }
    size_t address_size = html.size() + strlen("http://h.example/a/b/c;p?q") + 2;
    char *address = static_cast<char *>(malloc(address_size));
    size_t address_length = resolve_address("http://h.example/a/b/c;p?q", html.c_str(), address, address_size);
    Check(address_length < address_size && strlen(address) == address_length, "an address keeps to its bound");
    size_t self_length = resolve_address(html.c_str(), "../g?y#s", address, address_size);
    Check(self_length < address_size && strlen(address) == self_length, "any base keeps to its bound");
    free(address);
    return 0;
}

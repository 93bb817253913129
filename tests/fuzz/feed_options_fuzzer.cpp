// Any bytes as feeds.ini, then as a rule's pattern and an item's text: the
// file reads within its bounds and a rewrite reads back as itself; the
// pattern's match agrees with a plain reading of what it means.
#include "feed/deliver/item_rules.h"
#include "feed/read/code_pages.h"
#include "settings/feed_options.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

namespace {

void Check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "feed options: %s\n", what);
        abort();
    }
}

size_t Next(const std::string &text, size_t position)
{
    ++position;
    while (position < text.size() && (static_cast<unsigned char>(text[position]) & 0xc0) == 0x80)
        ++position;
    return position;
}

char Fold(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The pattern between two stars, by the set of text positions each step can
// reach: a star any number of characters on, '?' one, a letter itself.
bool ReferenceMatch(const std::string &text, const std::string &pattern)
{
    auto stretch = [&](std::set<size_t> &at) {
        std::set<size_t> more;
        for (size_t i : at)
            for (size_t j = i; j < text.size();)
                more.insert(j = Next(text, j));
        at.insert(more.begin(), more.end());
    };
    std::set<size_t> at = {0};
    stretch(at);
    for (char c : pattern) {
        if (c == '*') {
            stretch(at);
            continue;
        }
        std::set<size_t> next;
        for (size_t i : at)
            if (i < text.size() && (c == '?' || Fold(c) == Fold(text[i])))
                next.insert(c == '?' ? Next(text, i) : i + 1);
        at.swap(next);
        if (at.empty())
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    FeedOptionsFile file;
    parse_feed_options(bytes, size, &file);
    Check(file.state == FeedOptionsRead, "read");
    for (const FeedOptionsSection &section : file.sections) {
        const FeedOptions &options = section.options;
        Check(options.rules.size() <= MaxFeedRules, "at most 64 rules");
        for (const FeedRule &rule : options.rules)
            Check(!rule.pattern.empty() && rule.pattern.size() <= MaxRulePatternBytes, "a pattern within bounds");
        Check(options.every_hours == 0 || (options.every_hours >= MinEveryHours && options.every_hours <= MaxEveryHours),
              "an interval within bounds");
        Check(options.folder.size() <= MaxFeedOptionText && section.address.size() <= MaxFeedOptionText,
              "texts within bounds");
    }
    // Rewritten as it was read, and with every section written anew, the
    // file reads back as itself.
    std::string text = format_feed_options(file);
    FeedOptionsFile again;
    parse_feed_options(text.data(), text.size(), &again);
    Check(format_feed_options(again) == text, "a rewrite reads back as itself");
    for (const FeedOptionsSection &section : file.sections)
        set_feed_options(&again, section.address, section.options);
    text = format_feed_options(again);
    FeedOptionsFile third;
    parse_feed_options(text.data(), text.size(), &third);
    Check(third.sections.size() <= file.sections.size(), "no section more");
    for (const FeedOptionsSection &section : third.sections) {
        const FeedOptionsSection *before = find_feed_options(file, section.address);
        Check(before && before->options.rules.size() == section.options.rules.size() &&
                  before->options.folder == section.options.folder &&
                  before->options.every_hours == section.options.every_hours,
              "options written anew read back the same");
    }

    // The same bytes as a pattern and a text, split at the first NUL.
    const char *nul = static_cast<const char *>(memchr(bytes, '\0', size));
    if (!nul)
        return 0;
    std::string pattern(bytes, nul), subject(nul + 1, bytes + size);
    if (pattern.size() > MaxRulePatternBytes || subject.size() > 512)
        return 0;
    bool matched = pattern_matches(subject.data(), subject.size(), pattern.data(), pattern.size()) != 0;
    if (is_valid_utf8(pattern.data(), pattern.size()) && is_valid_utf8(subject.data(), subject.size()))
        Check(matched == ReferenceMatch(subject, pattern), "the match agrees with the reference");
    return 0;
}

#include "item_rules.h"
#include "item_walk.h"
#include "message_pieces.h"

#include "feed/read/code_pages.h"

#include <algorithm>
#include <cstring>

namespace {

char folded(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

// The position after the character at position: its lead byte and the
// continuation bytes after it.
size_t next_character(const char *text, size_t position, size_t length)
{
    ++position;
    while (position < length && (static_cast<unsigned char>(text[position]) & 0xc0) == 0x80)
        ++position;
    return position;
}

bool rule_matches(const FeedRule &rule, const RuleTexts &texts)
{
    const std::string &pattern = rule.pattern;
    for (int field = 0; field < RuleAny; ++field) {
        if (rule.field != RuleAny && rule.field != field)
            continue;
        const std::string &text = texts.text[field];
        if (pattern_matches(text.data(), text.size(), pattern.data(), pattern.size()))
            return true;
    }
    return false;
}

bool needs_field(const std::vector<FeedRule> &rules, int field)
{
    for (const FeedRule &rule : rules)
        if (rule.field == field || rule.field == RuleAny)
            return true;
    return false;
}

// A field in the host's code page, as the message holds it, in UTF-8. Text
// in ASCII, most of what feeds hold, reads the same in both.
std::string utf8_field(const char *text)
{
    size_t length = strlen(text);
    const char *end = text + length;
    if (std::find_if(text, end, [](char c) { return (unsigned char)c >= 0x80; }) == end)
        return std::string(text, length);
    std::string out;
    if (!convert_to_utf8(CP_ACP, text, length, &out))
        out.clear();
    return out;
}

}  // namespace

int pattern_matches(const char *text, size_t text_length, const char *pattern, size_t pattern_length)
{
    // The pattern stands as if between two stars: a part of the text. The
    // last star seen is the one point to go back to; there it takes one
    // character more and the rest of the pattern is tried again. Each retry
    // starts one character further, so the cost stays within the bound.
    size_t t = 0, p = 0;
    size_t star_pattern = 0, star_text = 0;
    while (p < pattern_length) {
        char c = pattern[p];
        if (c == '*') {
            star_pattern = ++p;
            star_text = t;
            continue;
        }
        if (t < text_length && (c == '?' || folded(c) == folded(text[t]))) {
            t = c == '?' ? next_character(text, t, text_length) : t + 1;
            ++p;
            continue;
        }
        if (star_text >= text_length)
            return 0;
        star_text = next_character(text, star_text, text_length);
        t = star_text;
        p = star_pattern;
    }
    return 1;
}

int rules_pass(const std::vector<FeedRule> &rules, const RuleTexts &texts)
{
    bool keeps = false, kept = false;
    for (const FeedRule &rule : rules) {
        if (rule.block) {
            if (rule_matches(rule, texts))
                return 0;
        } else {
            keeps = true;
            kept = kept || rule_matches(rule, texts);
        }
    }
    return !keeps || kept;
}

int item_passes(const ItemFilter *filter, const WalkedItem &item, const ItemFields &fields, int encoding,
                int feed_type)
{
    if (!filter || filter->rules.empty())
        return 1;
    const std::vector<FeedRule> &rules = filter->rules;
    RuleTexts texts;
    if (needs_field(rules, RuleTitle))
        texts.text[RuleTitle] = utf8_field(fields.title);
    if (needs_field(rules, RuleBody) && fields.description)
        texts.text[RuleBody] = utf8_field(fields.description);
    if (needs_field(rules, RuleLink))
        texts.text[RuleLink] = utf8_field(fields.link);
    char field[TextFieldSize];
    if (needs_field(rules, RuleAuthor)) {
        FeedConverter::get_author(TiXmlHandle(item.element), encoding, feed_type, field);
        texts.text[RuleAuthor] = utf8_field(field);
    }
    if (needs_field(rules, RuleCategory)) {
        FeedConverter::get_categories(TiXmlHandle(item.element), encoding, feed_type, field);
        texts.text[RuleCategory] = utf8_field(field);
    }
    return rules_pass(rules, texts);
}

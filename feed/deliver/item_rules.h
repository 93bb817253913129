// A feed's block and keep rules, applied to its new items: an item is
// delivered when no block rule matches it and, where the feed has keep
// rules, at least one keep rule does. A rule looks at one field of the item
// (or at each) as the message shows it, HTML made readable, in UTF-8; its
// pattern matches a part of that text, ASCII letters without regard to
// case, '*' standing for any run of characters and '?' for one character.
#pragma once
#include "settings/feed_options.h"

#include <cstddef>
#include <vector>

struct ItemFields;
struct WalkedItem;

// The rules of one feed, as the patrol hands them to a conversion.
struct ItemFilter {
    std::vector<FeedRule> rules;
};

// 1 when pattern matches a part of text (both UTF-8). Greedy, with one
// point to go back to: at most (text_length + 1) x (pattern_length + 1)
// steps, whatever the pattern.
int pattern_matches(const char *text, size_t text_length, const char *pattern, size_t pattern_length);

// The texts rules look at, in UTF-8, indexed by RuleField up to RuleAny.
struct RuleTexts {
    std::string text[RuleAny];
};
// 1 when the rules let an item with these texts through.
int rules_pass(const std::vector<FeedRule> &rules, const RuleTexts &texts);

// The same for a walked item whose fields are read: the fields a message
// shows, and its author and categories read from the item when a rule
// needs them. 1 when filter is null or has no rules.
int item_passes(const ItemFilter *filter, const WalkedItem &item, const ItemFields &fields, int encoding,
                int feed_type);

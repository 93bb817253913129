// Block and keep rules: the pattern's match at its bounds and cost, which
// rules let an item through, and items held back in both forms of message,
// remembered as seen.
#include "feed_test_support.h"
#include "feed/deliver/item_messages.h"
#include "feed/deliver/item_rules.h"

#include <gtest/gtest.h>

namespace {

bool Matches(const std::string &text, const std::string &pattern)
{
    return pattern_matches(text.data(), text.size(), pattern.data(), pattern.size()) != 0;
}

TEST(ItemRules, PatternMatchesAPart)
{
    struct Case {
        const char *text, *pattern;
        bool matches;
    } cases[] = {
        {"Sponsored: a deal", "sponsored", true},
        {"SPONSORED", "Sponsored", true},
        {"a sponsor", "sponsored", false},
        {"win a giveaway now", "*giveaway*", true},
        {"win a giveaway now", "give*now", true},
        {"win a giveaway now", "give*then", false},
        {"win", "w?n", true},
        {"wn", "w?n", false},
        {"abc", "", true},
        {"", "*", true},
        {"", "?", false},
        {"aaab", "a*a*b", true},
        {"ab", "a*a*b", false},
        {"mississippi", "s*ss*pi", true},
        {"mississippi", "ss?sp", false},
        {"x.y", "x?y", true},
        {"\xE3\x81\x82\xE3\x81\x84", "?\xE3\x81\x84", true},  // ? is one character, not one byte
        {"\xE3\x81\x82\xE3\x81\x84", "??", true},
        {"\xE3\x81\x82", "??", false},
        {"\xC3\x84pfel", "\xC3\xA4pfel", false},  // only ASCII letters fold
        {"News", "n*s", true},
    };
    for (const Case &c : cases)
        EXPECT_EQ(Matches(c.text, c.pattern), c.matches) << c.text << " / " << c.pattern;
}

TEST(ItemRules, CostStaysWithinTextTimesPattern)
{
    // The longest pattern of stars and letters that never matches, on a long
    // text of the letter: a matcher that goes back to every star would not
    // end in the lifetime of the test.
    std::string pattern;
    while (pattern.size() + 2 < MaxRulePatternBytes)
        pattern += "*a";
    pattern += "*b";
    ASSERT_EQ(pattern.size(), size_t(MaxRulePatternBytes));
    std::string text(64 << 10, 'a');
    EXPECT_FALSE(Matches(text, pattern));
    text.back() = 'b';
    EXPECT_TRUE(Matches(text, pattern));
}

FeedRule Rule(bool block, int field, const char *pattern)
{
    FeedRule rule;
    rule.block = block;
    rule.field = field;
    rule.pattern = pattern;
    return rule;
}

TEST(ItemRules, BlockAndKeep)
{
    RuleTexts texts;
    texts.text[RuleTitle] = "Weekly Giveaway";
    texts.text[RuleBody] = "Win a mug";
    texts.text[RuleLink] = "http://example.org/promo/1";
    texts.text[RuleAuthor] = "Shop Team";
    texts.text[RuleCategory] = "news\npromotions";
    struct Case {
        std::vector<FeedRule> rules;
        bool passes;
    } cases[] = {
        {{}, true},
        {{Rule(true, RuleTitle, "giveaway")}, false},
        {{Rule(true, RuleBody, "giveaway")}, true},  // the field matters
        {{Rule(true, RuleAny, "mug")}, false},
        {{Rule(true, RuleLink, "*/promo/*")}, false},
        {{Rule(true, RuleAuthor, "shop team")}, false},
        {{Rule(true, RuleCategory, "promo*")}, false},
        {{Rule(true, RuleTitle, "nothing")}, true},
        {{Rule(false, RuleCategory, "news")}, true},
        {{Rule(false, RuleCategory, "sport")}, false},  // keep rules, none matching
        {{Rule(false, RuleCategory, "sport"), Rule(false, RuleAuthor, "shop*")}, true},
        {{Rule(false, RuleCategory, "news"), Rule(true, RuleTitle, "weekly")}, false},  // block wins
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_EQ(rules_pass(cases[i].rules, texts) != 0, cases[i].passes) << "case " << i;
}

const char RulesFeed[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<rss version=\"2.0\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"><channel><title>T</title>"
    "<link>http://t.example/</link><description>d</description>"
    "<item><title>First &lt;b&gt;SALE&lt;/b&gt;</title><guid>urn:1</guid><pubDate>Fri, 03 May 2024 09:00:00 GMT</pubDate>"
    "<category>Offers</category></item>"
    "<item><title>Second</title><guid>urn:2</guid><pubDate>Thu, 02 May 2024 09:00:00 GMT</pubDate>"
    "<dc:creator>Ann</dc:creator><description>&lt;p&gt;a &lt;i&gt;fine&lt;/i&gt; day&lt;/p&gt;</description></item>"
    "<item><title>Third</title><guid>urn:3</guid><pubDate>Wed, 01 May 2024 09:00:00 GMT</pubDate></item>"
    "</channel></rss>";

ItemFilter Filter(std::vector<FeedRule> rules)
{
    ItemFilter filter;
    filter.rules = std::move(rules);
    return filter;
}

TEST(ItemRules, HeldBackItemsAreRememberedInBothForms)
{
    InstallTestHostConversions();
    TempFolder folder;
    std::string path = folder.Path("feed.xml");
    WriteFileBytes(path, RulesFeed);
    // The title as the message shows it (its HTML read), the author, the
    // category; the body read as text, so that "a fine day" matches.
    ItemFilter filter = Filter({Rule(true, RuleTitle, "first sale"), Rule(true, RuleBody, "a fine day")});

    ItemMemory memory;
    memory.scope = EveryKey;
    std::vector<char> message(64 << 10);
    char newest[NewestTimestampSize] = {};
    ConversionReport report;
    ASSERT_EQ(FeedConverter::convert_feed(message.data(), message.size(), path.c_str(), "", newest, &memory, &report,
                                          nullptr, &filter),
              1);
    EXPECT_EQ(report.items, 1);
    EXPECT_EQ(report.filtered, 2);
    EXPECT_NE(std::string(message.data()).find("Third"), std::string::npos);
    EXPECT_EQ(std::string(message.data()).find("Second"), std::string::npos);
    EXPECT_EQ(memory.keys.size(), 3u);  // the held items are seen: they never come

    // One message per item, keep rules: only the author's item and the
    // category's; the third, held back, is remembered though none is
    // appended after it.
    ItemFilter keep = Filter({Rule(false, RuleAuthor, "ann"), Rule(false, RuleCategory, "offers")});
    ItemMemory fresh;
    fresh.scope = EveryKey;
    int due = 0;
    std::vector<std::string> subjects;
    int count = deliver_item_messages(
        path.c_str(), "http://t.example/feed.xml", "", newest, &fresh, &report, nullptr, &due,
        [&](const char *text, const char *) {
            std::string m(text);
            size_t at = m.find("Subject: ");
            subjects.push_back(m.substr(at + 9, m.find('\r', at) - at - 9));
            return 1;
        },
        &keep);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(due, 2);
    EXPECT_EQ(report.filtered, 1);
    EXPECT_EQ(subjects, (std::vector<std::string>{"Second", "First SALE"}));
    EXPECT_EQ(fresh.keys.size(), 3u);

    // Everything held back: nothing to append, every key remembered.
    ItemFilter all = Filter({Rule(true, RuleAny, "*")});
    ItemMemory none;
    none.scope = EveryKey;
    count = deliver_item_messages(path.c_str(), "http://t.example/feed.xml", "", newest, &none, &report, nullptr,
                                  &due, [&](const char *, const char *) { return 1; }, &all);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(due, 0);
    EXPECT_EQ(report.filtered, 3);
    EXPECT_EQ(none.keys.size(), 3u);
}

}  // namespace

// feeds.ini: what is read of each line, each bound at its limit, what a
// rewrite keeps, and the file's own bound and states.
#include "test_support.h"
#include "native/platform.h"
#include "settings/feed_options.h"

#include <gtest/gtest.h>

namespace {

const char Feed[] = "https://example.org/feed.xml";

FeedOptionsFile Parse(const std::string &text)
{
    FeedOptionsFile file;
    parse_feed_options(text.data(), text.size(), &file);
    return file;
}

// The options of the one section that text gives Feed after a header.
struct Read {
    FeedOptions options;
    size_t unread = 0;
};
Read ReadSection(const std::string &lines)
{
    FeedOptionsFile file = Parse(std::string("[") + Feed + "]\n" + lines);
    Read read;
    const FeedOptionsSection *section = find_feed_options(file, Feed);
    if (section) {
        read.options = section->options;
        read.unread = section->unread.size();
    }
    return read;
}

std::string Rules(int count, const std::string &pattern = "x")
{
    std::string lines;
    for (int i = 0; i < count; ++i)
        lines += "block=title:" + pattern + "\n";
    return lines;
}

TEST(FeedOptions, EachKeyReadOrRefused)
{
    struct Case {
        const char *line;
        bool read;
        const char *what;  // the option as read
    } cases[] = {
        {"folder=Inbox\\Tech\\", true, "folder Inbox\\Tech\\"},
        {"  Folder = Inbox\\Tech  ", true, "folder Inbox\\Tech"},
        {"folder=", false, ""},
        {"folder=Inbox\\My Tech", false, ""},  // a blank: KIV.ini would read two entries
        {"mail=per-item", true, "mail 2"},
        {"mail=per-feed", true, "mail 1"},
        {"mail=digest", false, ""},
        {"paused=1", true, "paused"},
        {"paused=0", true, ""},
        {"paused=yes", false, ""},
        {"every=1", true, "every 1"},
        {"every=720", true, "every 720"},
        {"every=0", false, ""},
        {"every=721", false, ""},
        {"every=24h", false, ""},
        {"every=-5", false, ""},
        {"every=99999999999", false, ""},
        {"block=title:sponsored", true, "block 0 sponsored"},
        {"keep=Category: news ", true, "keep 4 news"},
        {"block=any:*giveaway*", true, "block 5 *giveaway*"},
        {"block=body:a:b", true, "block 1 a:b"},
        {"block=sponsored", false, ""},    // no field
        {"block=heading:x", false, ""},    // no such field
        {"block=title:", false, ""},       // no pattern
        {"colour=blue", false, ""},
        {"no equals sign", false, ""},
    };
    for (const Case &c : cases) {
        Read read = ReadSection(std::string(c.line) + "\r\n");
        EXPECT_EQ(read.unread, c.read ? 0u : 1u) << c.line;
        const FeedOptions &o = read.options;
        std::string what;
        if (!o.folder.empty())
            what = "folder " + o.folder;
        if (o.mail)
            what = "mail " + std::to_string(o.mail);
        if (o.paused)
            what = "paused";
        if (o.every_hours)
            what = "every " + std::to_string(o.every_hours);
        for (const FeedRule &rule : o.rules)
            what = std::string(rule.block ? "block " : "keep ") + std::to_string(rule.field) + " " + rule.pattern;
        EXPECT_EQ(what, c.what) << c.line;
    }
}

TEST(FeedOptions, RulesAndPatternsAtTheirBounds)
{
    Read at = ReadSection(Rules(MaxFeedRules));
    EXPECT_EQ(at.options.rules.size(), size_t(MaxFeedRules));
    EXPECT_EQ(at.unread, 0u);
    Read over = ReadSection(Rules(MaxFeedRules + 1));
    EXPECT_EQ(over.options.rules.size(), size_t(MaxFeedRules));
    EXPECT_EQ(over.unread, 1u);  // the 65th, named

    Read longest = ReadSection(Rules(1, std::string(MaxRulePatternBytes, 'p')));
    ASSERT_EQ(longest.options.rules.size(), 1u);
    EXPECT_EQ(longest.options.rules[0].pattern.size(), size_t(MaxRulePatternBytes));
    Read too_long = ReadSection(Rules(1, std::string(MaxRulePatternBytes + 1, 'p')));
    EXPECT_TRUE(too_long.options.rules.empty());
    EXPECT_EQ(too_long.unread, 1u);
}

// The feed's own dialog reads each typed line as a rule's value and shows
// stored rules as KIV writes them: what it shows reads back the same.
TEST(FeedOptions, ARuleTypedInTheDialogReadsBackAsItself)
{
    const struct {
        const char *typed, *written;
    } cases[] = {
        {" TITLE : PR* ", "title:PR*"},
        {"body:*giveaway*", "body:*giveaway*"},
        {"Category:\xE5\xBA\x83\xE5\x91\x8A", "category:\xE5\xBA\x83\xE5\x91\x8A"},  // UTF-8 kept whole
        {"any:a:b", "any:a:b"},  // the first colon ends the field
        {"titel:typo", nullptr},
        {"title:", nullptr},
        {"no colon", nullptr},
    };
    for (const auto &c : cases) {
        FeedRule rule;
        ASSERT_EQ(read_feed_rule(c.typed, &rule), c.written ? 1 : 0) << c.typed;
        if (!c.written)
            continue;
        EXPECT_EQ(feed_rule_text(rule), c.written);
        FeedRule again;
        ASSERT_EQ(read_feed_rule(feed_rule_text(rule), &again), 1);
        EXPECT_EQ(again.field, rule.field);
        EXPECT_EQ(again.pattern, rule.pattern);
    }
    FeedRule longest;
    EXPECT_EQ(read_feed_rule("link:" + std::string(MaxRulePatternBytes, 'p'), &longest), 1);
    EXPECT_EQ(read_feed_rule("link:" + std::string(MaxRulePatternBytes + 1, 'p'), &longest), 0);
}

TEST(FeedOptions, FileFormsCommentsAndSections)
{
    // A BOM, LF and CR LF mixed, comments of both kinds, a line before any
    // section, two feeds, one of them repeated.
    std::string text = "\xEF\xBB\xBF; KIV's feeds\nstray line\r\n[http://a.example/]\r\n# mine\nfolder=Inbox\\A\n"
                       "[http://b.example/]\npaused=1\n\n[http://a.example/]\nevery=6\n";
    FeedOptionsFile file = Parse(text);
    EXPECT_EQ(file.state, FeedOptionsRead);
    EXPECT_TRUE(file.bom);
    ASSERT_EQ(file.sections.size(), 2u);
    ASSERT_EQ(file.unread.size(), 1u);
    EXPECT_EQ(file.unread[0].number, 2);
    EXPECT_EQ(file.unread[0].text, "stray line");
    const FeedOptionsSection *a = find_feed_options(file, "http://a.example/");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->options.folder, "Inbox\\A");
    EXPECT_EQ(a->options.every_hours, 6);  // the repeated section adds to the first
    EXPECT_TRUE(find_feed_options(file, "http://b.example/")->options.paused);
    EXPECT_FALSE(find_feed_options(file, "http://c.example/"));

    // Rewritten unchanged, nothing is lost: read again it is the same.
    std::string again = format_feed_options(file);
    EXPECT_EQ(again.compare(0, 3, "\xEF\xBB\xBF"), 0);
    FeedOptionsFile reread = Parse(again);
    EXPECT_EQ(format_feed_options(reread), again);
    EXPECT_NE(again.find("stray line\r\n"), std::string::npos);
    EXPECT_NE(again.find("# mine\r\n"), std::string::npos);
}

TEST(FeedOptions, SetKeepsCommentsAndUnreadLines)
{
    FeedOptionsFile file =
        Parse(std::string("[") + Feed + "]\n; why\nfolder=Inbox\\Old\ncolour=blue\nblock=title:ad\n");
    FeedOptions options;
    options.mail = MailPerItem;
    options.every_hours = 24;
    FeedRule rule;
    rule.block = false;
    rule.field = RuleCategory;
    rule.pattern = "news";
    options.rules.push_back(rule);
    set_feed_options(&file, Feed, options);
    EXPECT_EQ(format_feed_options(file), std::string("[") + Feed +
                                             "]\r\nmail=per-item\r\nevery=24\r\nkeep=category:news\r\n; why\r\n"
                                             "colour=blue\r\n");
    // All common again: the section stays for the lines it keeps ...
    set_feed_options(&file, Feed, FeedOptions());
    EXPECT_EQ(format_feed_options(file), std::string("[") + Feed + "]\r\n; why\r\ncolour=blue\r\n");
    // ... and a section of nothing but keys goes.
    FeedOptionsFile plain = Parse(std::string("[") + Feed + "]\npaused=1\n");
    set_feed_options(&plain, Feed, FeedOptions());
    EXPECT_EQ(format_feed_options(plain), "");
    // A feed without a section gets one only for options of its own.
    set_feed_options(&plain, "http://new.example/", FeedOptions());
    EXPECT_TRUE(plain.sections.empty());
    FeedOptions paused;
    paused.paused = true;
    set_feed_options(&plain, "http://new.example/", paused);
    EXPECT_EQ(format_feed_options(plain), "[http://new.example/]\r\npaused=1\r\n");
}

class FeedOptionsFileTest : public ::testing::Test {
protected:
    void SetUp() override { UseSettingsFile(folder.Path("KIV.ini"), folder.Path()); }
    std::string Path() const
    {
        char path[MAX_PATH];
        FeedOptionsPath(path, sizeof path);
        return path;
    }
    TempFolder folder;
};

TEST_F(FeedOptionsFileTest, TheFileAtItsBound)
{
    FeedOptionsFile file;
    ReadFeedOptions(&file);
    EXPECT_EQ(file.state, FeedOptionsAbsent);

    std::string head = std::string("[") + Feed + "]\r\npaused=1\r\n";
    std::string at = head + std::string(MaxFeedOptionsBytes - head.size() - 2, ';') + "\r\n";
    ASSERT_EQ(at.size(), size_t(MaxFeedOptionsBytes));
    WriteFileBytes(Path(), at);
    ReadFeedOptions(&file);
    EXPECT_EQ(file.state, FeedOptionsRead);
    EXPECT_TRUE(find_feed_options(file, Feed)->options.paused);

    WriteFileBytes(Path(), at + ";");
    ReadFeedOptions(&file);
    EXPECT_EQ(file.state, FeedOptionsTooLarge);
    EXPECT_TRUE(file.sections.empty());
    // A file that counts as none is never rewritten.
    EXPECT_EQ(MoveFeedOptions(Feed, ""), 1);
    EXPECT_EQ(ReadFileBytes(Path()).size(), size_t(MaxFeedOptionsBytes) + 1);
}

TEST_F(FeedOptionsFileTest, MovedAndDeletedSections)
{
    WriteFileBytes(Path(), "[http://a.example/]\nfolder=Inbox\\A\n[http://b.example/]\npaused=1\n"
                           "[http://c.example/]\nevery=2\n");
    EXPECT_EQ(MoveFeedOptions("http://a.example/", "https://a.example/"), 1);
    EXPECT_EQ(MoveFeedOptions("http://b.example/", ""), 1);
    EXPECT_EQ(MoveFeedOptions("http://none.example/", "http://x.example/"), 1);
    // A section already under the new address gives way to the feed's own.
    EXPECT_EQ(MoveFeedOptions("https://a.example/", "http://c.example/"), 1);
    EXPECT_EQ(ReadFileBytes(Path()), "[http://c.example/]\r\nfolder=Inbox\\A\r\n");
}

}  // namespace

// The settings a feed has of its own, in "feeds.ini" in the data folder:
// UTF-8 (a byte order mark allowed), CR LF or LF, one section per feed that
// differs from the common settings, named by its address as KIV.ini lists
// it (a password in it as ***):
//
//   [https://example.org/feed.xml]
//   ; a comment (so is a line that starts with #)
//   folder=Inbox\Tech\          the host folder its messages go to
//   mail=per-item               per-feed or per-item; else the OPTION page decides
//   paused=1                    no patrol requests it while the key is there
//   every=24                    hours (1 to 720) between its timed requests
//   block=title:sponsored       FIELD:PATTERN, repeatable (item_rules.h)
//   keep=category:news
//
// People and other programs edit the file, so KIV keeps what it cannot
// read: a line of an unknown key, a bad value or a rule beyond the bounds is
// ignored, named in the feed's report, and written back as it stood whenever
// KIV rewrites the file. A file over MaxFeedOptionsBytes, or one that cannot
// be opened, counts as none. Rewrites are atomic and made under the lock
// that guards KIV.ini.
#pragma once
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

enum {
    MaxFeedOptionsBytes = 1 << 20,
    MaxFeedRules = 64,
    MaxRulePatternBytes = 256,
    MinEveryHours = 1,
    MaxEveryHours = 720,
    // A section's address and a folder, as KIV.ini holds them: 999 bytes.
    MaxFeedOptionText = 999,
};

// The fields of an item that a rule looks at; RuleAny is each of them.
enum RuleField { RuleTitle, RuleBody, RuleLink, RuleAuthor, RuleCategory, RuleAny, RuleFieldCount };

struct FeedRule {
    bool block = true;  // else keep
    int field = RuleAny;
    std::string pattern;  // UTF-8, at most MaxRulePatternBytes
};

enum MailForm { MailCommon = 0, MailPerFeed, MailPerItem };

struct FeedOptions {
    std::string folder;  // UTF-8; empty: KIV.ini's folder
    int mail = MailCommon;
    bool paused = false;
    int every_hours = 0;  // 0: every patrol
    std::vector<FeedRule> rules;
};

// A line of a section that KIV did not read: its number in the file (from 1)
// and its text without the line end.
struct UnreadLine {
    int number = 0;
    std::string text;
};

struct FeedOptionsSection {
    std::string address;
    FeedOptions options;
    // Every line after the header as it stood, for a rewrite of a section
    // that KIV does not change; a section written anew keeps its comments
    // and unread lines (kept) after its keys.
    std::vector<std::string> lines;
    std::vector<std::string> kept;
    std::vector<UnreadLine> unread;
};

enum FeedOptionsState {
    FeedOptionsAbsent = 0,  // no file: every feed as the common settings say
    FeedOptionsRead,
    FeedOptionsTooLarge,    // over the bound: counts as none
    FeedOptionsUnreadable,  // there, but could not be opened or read
};

struct FeedOptionsFile {
    int state = FeedOptionsAbsent;
    bool bom = false;
    std::vector<std::string> preamble;  // the lines before the first section
    std::vector<UnreadLine> unread;     // those of them KIV did not read
    std::vector<FeedOptionsSection> sections;
};

// Reads the file's text; sections are in file order, a repeated one merged
// into the first of its address.
void parse_feed_options(const char *bytes, size_t length, FeedOptionsFile *file);
// The file's text: every section in order, CR LF line ends, the BOM kept.
std::string format_feed_options(const FeedOptionsFile &file);

// The section of address, or null.
const FeedOptionsSection *find_feed_options(const FeedOptionsFile &file, const std::string &address);
// Gives address the given options: its section is written anew (comments
// and unread lines kept after the keys), made at the end when it is new, and
// dropped when the options are all common and it keeps no line.
void set_feed_options(FeedOptionsFile *file, const std::string &address, const FeedOptions &options);
// The options as the file's lines, in the order KIV writes them.
std::vector<std::string> feed_option_lines(const FeedOptions &options);
// Reads a rule's value, "FIELD:PATTERN" (the field in any case, blanks
// around either part ignored), into rule's field and pattern: 0 when KIV
// cannot read it (no known field, an empty pattern or one over the bound).
int read_feed_rule(const std::string &value, FeedRule *rule);
// A rule's value as KIV writes it.
std::string feed_rule_text(const FeedRule &rule);
// 1 when the options differ from the common settings in anything.
int has_own_options(const FeedOptions &options);

// "feeds.ini" in the data folder; 0 when the path does not fit.
int FeedOptionsPath(char *path, size_t size);
// Reads the data folder's file (under the settings lock).
void ReadFeedOptions(FeedOptionsFile *file);
// Changes the file under the settings lock: edit is given the file as it is
// now and gives true to have it rewritten. A file that counts as none is
// never rewritten, so that nothing a person wrote in it is lost. 1 when
// rewritten or left as it was on purpose; 0 when it could not be written;
// -1 when it counts as none (and edit was not called).
int EditFeedOptions(const std::function<bool(FeedOptionsFile *file)> &edit);
// The file's bytes as they are, for the settings backup: 1 and bytes when it
// is there, 0 when there is none, -1 when it cannot be read or is over the
// bound (KIV never rewrites such a file).
int ReadFeedOptionsBytes(std::string *bytes);
// Puts the file back as those bytes (present false: no file), when it is
// not so already; 1 when it is as asked on return.
int RestoreFeedOptionsBytes(bool present, const std::string &bytes);
// The section of from, if any, moves to the address to (DELETE: to empty
// removes it). 1 unless the file could not be rewritten.
int MoveFeedOptions(const std::string &from, const std::string &to);

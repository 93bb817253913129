#include "feed_options.h"
#include "feed_settings.h"

#include "base/atomic_file.h"
#include "base/process_values.h"
#include "base/scoped_handles.h"
#include "base/single_line.h"
#include "base/trimmed_text.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char Bom[] = "\xEF\xBB\xBF";
const char *const FieldNames[RuleFieldCount] = {"title", "body", "link", "author", "category", "any"};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string trimmed(const std::string &text) { return trimmed_text(text, is_blank); }

bool same_ascii_word(const std::string &text, const char *word)
{
    size_t length = strlen(word);
    if (text.size() != length)
        return false;
    for (size_t i = 0; i < length; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
        if (c != word[i])
            return false;
    }
    return true;
}

// A folder, address or pattern is one line of text; a folder or an address
// also holds no blank, which KIV.ini would read as two entries.
bool is_entry_text(const std::string &text)
{
    return !text.empty() && text.size() <= MaxFeedOptionText && !holds_control(text) &&
           text.find(' ') == std::string::npos;
}

bool is_comment(const std::string &line)
{
    std::string text = trimmed(line);
    return !text.empty() && (text[0] == ';' || text[0] == '#');
}

// Takes one "key=value" line into options; false when KIV cannot read it.
bool read_key(const std::string &line, FeedOptions &options)
{
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    std::string key = trimmed(line.substr(0, equals));
    std::string value = trimmed(line.substr(equals + 1));
    if (same_ascii_word(key, "folder")) {
        if (!is_entry_text(value))
            return false;
        options.folder = value;
    } else if (same_ascii_word(key, "mail")) {
        if (same_ascii_word(value, "per-feed"))
            options.mail = MailPerFeed;
        else if (same_ascii_word(value, "per-item"))
            options.mail = MailPerItem;
        else
            return false;
    } else if (same_ascii_word(key, "paused")) {
        if (value != "0" && value != "1")
            return false;
        options.paused = value == "1";
    } else if (same_ascii_word(key, "every")) {
        // Digits only, and few enough that no count overflows.
        if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos)
            return false;
        int hours = atoi(value.c_str());
        if (hours < MinEveryHours || hours > MaxEveryHours)
            return false;
        options.every_hours = hours;
    } else if (same_ascii_word(key, "block") || same_ascii_word(key, "keep")) {
        FeedRule rule;
        rule.block = same_ascii_word(key, "block");
        if (options.rules.size() >= MaxFeedRules || !read_feed_rule(value, &rule))
            return false;
        options.rules.push_back(rule);
    } else {
        return false;
    }
    return true;
}

// The address of a section header line, or empty when the line is none.
std::string header_address(const std::string &line)
{
    std::string text = trimmed(line);
    if (text.size() < 2 || text.front() != '[' || text.back() != ']')
        return std::string();
    return trimmed(text.substr(1, text.size() - 2));
}

FeedOptionsSection *find_section(FeedOptionsFile *file, const std::string &address)
{
    for (FeedOptionsSection &section : file->sections)
        if (section.address == address)
            return &section;
    return nullptr;
}

void append_line(std::string &out, const std::string &line)
{
    out += line;
    out += "\r\n";
}

// The data folder's file's bytes, up to one more than the bound, which tells
// a file over it; the caller holds the lock. A FeedOptionsState.
int read_bytes_unlocked(std::string *bytes)
{
    bytes->clear();
    char path[MAX_PATH];
    if (!FeedOptionsPath(path, sizeof path))
        return FeedOptionsUnreadable;
    ScopedFile stream(fopen(path, "rb"));
    if (!stream.held())
        return errno == ENOENT ? FeedOptionsAbsent : FeedOptionsUnreadable;
    bytes->resize(size_t(MaxFeedOptionsBytes) + 1);
    size_t length = fread(&(*bytes)[0], 1, bytes->size(), stream.get());
    bytes->resize(length);
    if (ferror(stream.get()))
        return FeedOptionsUnreadable;
    return length > MaxFeedOptionsBytes ? FeedOptionsTooLarge : FeedOptionsRead;
}

// The data folder's file as it is now; the caller holds the lock.
void read_file_unlocked(FeedOptionsFile *file)
{
    std::string bytes;
    int state = read_bytes_unlocked(&bytes);
    if (state == FeedOptionsRead) {
        parse_feed_options(bytes.data(), bytes.size(), file);
        return;
    }
    *file = FeedOptionsFile();
    file->state = state;
}

}  // namespace

void parse_feed_options(const char *bytes, size_t length, FeedOptionsFile *file)
{
    *file = FeedOptionsFile();
    if (length > MaxFeedOptionsBytes) {
        file->state = FeedOptionsTooLarge;
        return;
    }
    file->state = FeedOptionsRead;
    if (length >= 3 && memcmp(bytes, Bom, 3) == 0) {
        file->bom = true;
        bytes += 3;
        length -= 3;
    }
    FeedOptionsSection *section = nullptr;
    int number = 0;
    for (size_t start = 0; start < length;) {
        const char *end = static_cast<const char *>(memchr(bytes + start, '\n', length - start));
        size_t stop = end ? size_t(end - bytes) : length;
        std::string line(bytes + start, stop - start);
        start = stop + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        ++number;

        std::string address = header_address(line);
        if (is_entry_text(address)) {
            FeedOptionsSection *earlier = find_section(file, address);
            if (earlier) {
                // A repeated section adds to the first: its header stays among
                // the lines, so that a rewrite of the file loses nothing.
                section = earlier;
                section->lines.push_back(line);
            } else {
                file->sections.emplace_back();
                section = &file->sections.back();
                section->address = address;
            }
            continue;
        }
        bool blank = trimmed(line).empty();
        if (!section) {
            file->preamble.push_back(line);
            if (!blank && !is_comment(line))
                file->unread.push_back({number, line});
            continue;
        }
        section->lines.push_back(line);
        if (blank)
            continue;
        if (is_comment(line)) {
            section->kept.push_back(line);
        } else if (!read_key(line, section->options)) {
            section->kept.push_back(line);
            section->unread.push_back({number, line});
        }
    }
}

std::string format_feed_options(const FeedOptionsFile &file)
{
    std::string out = file.bom ? Bom : "";
    for (const std::string &line : file.preamble)
        append_line(out, line);
    for (const FeedOptionsSection &section : file.sections) {
        append_line(out, "[" + section.address + "]");
        for (const std::string &line : section.lines)
            append_line(out, line);
    }
    return out;
}

const FeedOptionsSection *find_feed_options(const FeedOptionsFile &file, const std::string &address)
{
    for (const FeedOptionsSection &section : file.sections)
        if (section.address == address)
            return &section;
    return nullptr;
}

std::vector<std::string> feed_option_lines(const FeedOptions &options)
{
    std::vector<std::string> lines;
    if (!options.folder.empty())
        lines.push_back("folder=" + options.folder);
    if (options.mail != MailCommon)
        lines.push_back(options.mail == MailPerItem ? "mail=per-item" : "mail=per-feed");
    if (options.paused)
        lines.push_back("paused=1");
    if (options.every_hours)
        lines.push_back("every=" + std::to_string(options.every_hours));
    for (const FeedRule &rule : options.rules)
        lines.push_back(std::string(rule.block ? "block=" : "keep=") + feed_rule_text(rule));
    return lines;
}

int read_feed_rule(const std::string &value, FeedRule *rule)
{
    size_t colon = value.find(':');
    if (colon == std::string::npos)
        return 0;
    std::string field = trimmed(value.substr(0, colon));
    rule->pattern = trimmed(value.substr(colon + 1));
    if (rule->pattern.empty() || rule->pattern.size() > MaxRulePatternBytes || holds_control(rule->pattern))
        return 0;
    for (int i = 0; i < RuleFieldCount; ++i) {
        if (same_ascii_word(field, FieldNames[i])) {
            rule->field = i;
            return 1;
        }
    }
    return 0;
}

std::string feed_rule_text(const FeedRule &rule) { return FieldNames[rule.field] + (":" + rule.pattern); }

int has_own_options(const FeedOptions &options)
{
    return !options.folder.empty() || options.mail != MailCommon || options.paused || options.every_hours ||
           !options.rules.empty();
}

void set_feed_options(FeedOptionsFile *file, const std::string &address, const FeedOptions &options)
{
    FeedOptionsSection *section = find_section(file, address);
    if (!section) {
        if (!has_own_options(options))
            return;
        file->sections.emplace_back();
        section = &file->sections.back();
        section->address = address;
    }
    section->options = options;
    section->lines = feed_option_lines(options);
    section->lines.insert(section->lines.end(), section->kept.begin(), section->kept.end());
    if (section->lines.empty())
        file->sections.erase(file->sections.begin() + (section - file->sections.data()));
}

int FeedOptionsPath(char *path, size_t size)
{
    int length = snprintf(path, size, "%s\\feeds.ini", DataFolderPath);
    return length > 0 && size_t(length) < size;
}

void ReadFeedOptions(FeedOptionsFile *file)
{
    SettingsFileLock lock;
    read_file_unlocked(file);
}

int EditFeedOptions(const std::function<bool(FeedOptionsFile *file)> &edit)
{
    SettingsFileLock lock;
    FeedOptionsFile file;
    read_file_unlocked(&file);
    if (file.state != FeedOptionsRead && file.state != FeedOptionsAbsent)
        return -1;
    if (!edit(&file))
        return 1;
    char path[MAX_PATH];
    if (!FeedOptionsPath(path, sizeof path))
        return 0;
    std::string text = format_feed_options(file);
    if (text.size() > MaxFeedOptionsBytes)
        return 0;  // it would read back as no file at all
    return WriteFileAtomically(path, text.data(), text.size());
}

int ReadFeedOptionsBytes(std::string *bytes)
{
    SettingsFileLock lock;
    int state = read_bytes_unlocked(bytes);
    return state == FeedOptionsRead ? 1 : state == FeedOptionsAbsent ? 0 : -1;
}

int RestoreFeedOptionsBytes(bool present, const std::string &bytes)
{
    SettingsFileLock lock;
    std::string now;
    int state = read_bytes_unlocked(&now);
    if (present ? state == FeedOptionsRead && now == bytes : state == FeedOptionsAbsent)
        return 1;
    char path[MAX_PATH];
    if (!FeedOptionsPath(path, sizeof path))
        return 0;
    if (!present)
        return DeleteFileA(path) != 0;
    return WriteFileAtomically(path, bytes.data(), bytes.size());
}

int MoveFeedOptions(const std::string &from, const std::string &to)
{
    // A file that counts as none has no section to move.
    return EditFeedOptions([&](FeedOptionsFile *file) {
        FeedOptionsSection *section = find_section(file, from);
        if (!section || from == to)
            return false;
        if (to.empty()) {
            file->sections.erase(file->sections.begin() + (section - file->sections.data()));
            return true;
        }
        std::string address = to;
        section->address = address;
        // A section the new address had already gives way to the feed's own.
        for (size_t i = 0; i < file->sections.size(); ++i) {
            if (file->sections[i].address == address && &file->sections[i] != section) {
                file->sections.erase(file->sections.begin() + long(i));
                break;
            }
        }
        return true;
    }) != 0;
}

#include "feed_record.h"

#include "base/addresses.h"
#include "base/atomic_file.h"
#include "base/digest.h"
#include "base/scoped_handles.h"
#include "base/single_line.h"

#include <cstdio>
#include <cstring>
#include <unordered_set>

namespace {

const char Signature[] = "KIV feed record 2";
const char UndatedSignature[] = "KIV feed record 1";  // what earlier versions write
const char NamePrefix[] = "feed-";
#ifdef _WIN32
const char PathSeparator[] = "\\";
#else
const char PathSeparator[] = "/";
#endif
const char NameSuffix[] = ".rec";
// A key is one item field of at most TextFieldSize - 1 bytes and its prefix.
const size_t MaxKeyLength = TextFieldSize + 1;

bool is_usable_key(const std::string &key)
{
    return !key.empty() && key.size() <= MaxKeyLength && !holds_control(key);
}

// The value of a line "name value"; false when the line is of another name.
bool line_value(const std::string &line, const char *name, std::string *value)
{
    size_t length = strlen(name);
    if (line.size() < length + 1 || line.compare(0, length, name) != 0 || line[length] != ' ')
        return false;
    *value = line.substr(length + 1);
    return true;
}

// A title or link kept: one line, an extracted text made UTF-8 (which may
// take up to half as many bytes again).
bool is_record_text(const std::string &text)
{
    return !text.empty() && text.size() < 2 * TextFieldSize && !holds_control(text);
}

// "N address": patrols in a row, 1 to MovedPatrolsToFollow, and the address.
bool parse_moved(const std::string &value, FeedRecord *record)
{
    if (value.size() < 3 || value[0] < '1' || value[0] > '0' + MovedPatrolsToFollow || value[1] != ' ')
        return false;
    std::string address = value.substr(2);
    if (address.size() >= AddressSize || holds_control(address) || address.find(' ') != std::string::npos)
        return false;
    record->moved_patrols = value[0] - '0';
    record->moved_to = address;
    return true;
}

// A positive count of seconds, of at most 12 digits (beyond the year 9999).
bool read_seconds(const std::string &text, long long *seconds)
{
    if (text.empty() || text.size() > 12 || text[0] == '0' || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *seconds = std::stoll(text);
    return true;
}

}  // namespace

int feed_record_path(const char *folder, const char *url, char *path, size_t size)
{
    int length = snprintf(path, size, "%s%s%s%016llx%s", folder, PathSeparator, NamePrefix,
                          digest_text(DigestStart, url), NameSuffix);
    return length > 0 && size_t(length) < size;
}

int is_feed_record_name(const char *name)
{
    size_t prefix = sizeof NamePrefix - 1, suffix = sizeof NameSuffix - 1, length = strlen(name);
    if (length != prefix + 16 + suffix || strncmp(name, NamePrefix, prefix) != 0 ||
        strcmp(name + prefix + 16, NameSuffix) != 0)
        return 0;
    for (size_t i = prefix; i < prefix + 16; ++i)
        if (!strchr("0123456789abcdef", name[i]))
            return 0;
    return 1;
}

int is_usable_validator(const char *text)
{
    std::string value(text ? text : "");
    return !value.empty() && value.size() <= MaxValidatorLength && !holds_control(value) ? 1 : 0;
}

int keep_validators(FeedRecord *record, const char *etag, const char *last_modified)
{
    std::string sent_etag(etag ? etag : ""), sent_date(last_modified ? last_modified : "");
    if (record->etag == sent_etag && record->last_modified == sent_date)
        return 0;
    record->etag = sent_etag;
    record->last_modified = sent_date;
    return 1;
}

int parse_feed_record(const char *bytes, size_t length, const char *url, FeedRecord *record)
{
    *record = FeedRecord();
    if (!bytes || !url || length > MaxRecordBytes)
        return 0;
    FeedRecord read;
    std::unordered_set<std::string> keys;
    size_t at = 0, number = 0;
    bool ended = false;
    std::string line, value;
    while (at < length) {
        const char *end = static_cast<const char *>(memchr(bytes + at, '\n', length - at));
        if (!end || ended)
            return 0;  // cut in a line, or anything after the end
        line.assign(bytes + at, end);
        at = size_t(end - bytes) + 1;
        if (line.find('\0') != std::string::npos)
            return 0;
        if (number++ == 0) {
            if (line == Signature)
                read.memory.scope = EveryKey;
            else if (line == UndatedSignature)
                read.memory.scope = UndatedKeys;
            else
                return 0;
        } else if (number == 2) {
            if (!line_value(line, "url", &value) || value != url)
                return 0;
        } else if (line == "end") {
            ended = true;
        } else if (line_value(line, "key", &value)) {
            if (!is_usable_key(value) || read.memory.keys.size() == MaxRecordKeys || !keys.insert(value).second)
                return 0;
            read.memory.keys.push_back(value);
        } else if (line_value(line, "etag", &value) && read.etag.empty()) {
            if (!is_usable_validator(value.c_str()))
                return 0;
            read.etag = value;
        } else if (line_value(line, "last-modified", &value) && read.last_modified.empty()) {
            if (!is_usable_validator(value.c_str()))
                return 0;
            read.last_modified = value;
        } else if (line_value(line, "title", &value) && read.title.empty()) {
            if (!is_record_text(value))
                return 0;
            read.title = value;
        } else if (line_value(line, "link", &value) && read.site.empty()) {
            if (!is_record_text(value))
                return 0;
            read.site = value;
        } else if (line_value(line, "moved", &value) && read.moved_to.empty()) {
            if (!parse_moved(value, &read))
                return 0;
        } else if (line_value(line, "paused-until", &value) && read.paused_until == 0) {
            if (!read_seconds(value, &read.paused_until))
                return 0;
        } else if (line_value(line, "requested", &value) && read.requested == 0) {
            if (!read_seconds(value, &read.requested))
                return 0;
        } else {
            return 0;
        }
    }
    if (!ended)
        return 0;
    *record = std::move(read);
    return 1;
}

int read_feed_record(const char *path, const char *url, FeedRecord *record)
{
    *record = FeedRecord();
    ScopedFile file(fopen(path, "rb"));
    if (!file.held())
        return 0;
    // A file beyond the bound is not read at all.
    long size = fseek(file.get(), 0, SEEK_END) == 0 ? ftell(file.get()) : -1;
    if (size < 0 || size > long(MaxRecordBytes) || fseek(file.get(), 0, SEEK_SET) != 0)
        return 0;
    std::string bytes(size_t(size), '\0');
    size_t length = size ? fread(&bytes[0], 1, bytes.size(), file.get()) : 0;
    file.reset(nullptr);
    return parse_feed_record(bytes.data(), length, url, record);
}

std::string format_feed_record(const char *url, const FeedRecord &record)
{
    bool every_key = record.memory.scope == EveryKey;
    std::string text = std::string(every_key ? Signature : UndatedSignature) + "\nurl " + url + "\n";
    if (is_usable_validator(record.etag.c_str()))
        text += "etag " + record.etag + "\n";
    if (is_usable_validator(record.last_modified.c_str()))
        text += "last-modified " + record.last_modified + "\n";
    if (is_record_text(record.title))
        text += "title " + record.title + "\n";
    if (is_record_text(record.site))
        text += "link " + record.site + "\n";
    if (!record.moved_to.empty() && record.moved_patrols >= 1 && record.moved_patrols <= MovedPatrolsToFollow)
        text += "moved " + std::to_string(record.moved_patrols) + " " + record.moved_to + "\n";
    if (record.paused_until > 0)
        text += "paused-until " + std::to_string(record.paused_until) + "\n";
    if (record.requested > 0)
        text += "requested " + std::to_string(record.requested) + "\n";
    // The newest keys that fit the bound, oldest first.
    const std::vector<std::string> &keys = record.memory.keys;
    size_t first = keys.size(), count = 0;
    for (; first > 0 && count < MaxRecordKeys; --first)
        count += is_usable_key(keys[first - 1]);
    for (size_t i = first; i < keys.size(); ++i)
        if (is_usable_key(keys[i]))
            text += "key " + keys[i] + "\n";
    return text + "end\n";
}

int write_feed_record(const char *path, const char *url, const FeedRecord &record)
{
    std::string text = format_feed_record(url, record);
    return WriteFileAtomically(path, text.data(), text.size());
}

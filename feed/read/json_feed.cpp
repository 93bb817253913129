// JSON Feed read with RapidJSON (Debian's rapidjson-dev): its iterative
// reader keeps its nesting on the heap, not on the worker's stack, and its
// document's values come from one pool that is freed whole, without a walk
// that a deep document could exhaust. The bounds below stop the reading at
// once, and a failed allocation is a std::bad_alloc, which the patrol
// catches as it catches TinyXML's.
#include "json_feed.h"
#include "html_text.h"

#include "base/scoped_handles.h"
#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/feed_converter.h"

#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace {

// RapidJSON's allocator interface over malloc, throwing when memory runs out
// where RapidJSON would go on with a null block.
struct ThrowingAllocator {
    [[maybe_unused]] static const bool kNeedFree = true;  // the interface asks for it
    void *Malloc(size_t size)
    {
        if (!size)
            return nullptr;
        void *block = std::malloc(size);
        if (!block)
            throw std::bad_alloc();
        return block;
    }
    void *Realloc(void *original, size_t, size_t new_size)
    {
        if (!new_size) {
            std::free(original);
            return nullptr;
        }
        void *block = std::realloc(original, new_size);
        if (!block)
            throw std::bad_alloc();
        return block;
    }
    static void Free(void *block) { std::free(block); }
};

typedef rapidjson::GenericDocument<rapidjson::UTF8<>, rapidjson::MemoryPoolAllocator<ThrowingAllocator>,
                                   ThrowingAllocator>
    JsonDocument;
typedef JsonDocument::ValueType JsonValue;
typedef rapidjson::GenericReader<rapidjson::UTF8<>, rapidjson::UTF8<>, ThrowingAllocator> JsonReader;

const unsigned JsonFlags = rapidjson::kParseIterativeFlag | rapidjson::kParseInsituFlag;

const char DeepJson[] = "JSON nested too deeply";
const char LongString[] = "a JSON string longer than 1 MiB";
const char ManyValues[] = "too many values in the JSON document";

// The document's own handler, behind the bounds: the first value past one
// ends the reading.
class BoundedHandler {
public:
    explicit BoundedHandler(JsonDocument &document) : document_(document) {}
    const char *refusal() const { return refusal_; }

    bool Null() { return counted() && document_.Null(); }
    bool Bool(bool b) { return counted() && document_.Bool(b); }
    bool Int(int i) { return counted() && document_.Int(i); }
    bool Uint(unsigned u) { return counted() && document_.Uint(u); }
    bool Int64(int64_t i) { return counted() && document_.Int64(i); }
    bool Uint64(uint64_t u) { return counted() && document_.Uint64(u); }
    bool Double(double d) { return counted() && document_.Double(d); }
    bool RawNumber(const char *text, rapidjson::SizeType length, bool copy)
    {
        return counted() && document_.RawNumber(text, length, copy);
    }
    bool String(const char *text, rapidjson::SizeType length, bool copy)
    {
        return short_enough(length) && document_.String(text, length, copy);
    }
    bool Key(const char *text, rapidjson::SizeType length, bool copy)
    {
        return short_enough(length) && document_.Key(text, length, copy);
    }
    bool StartObject() { return opened() && document_.StartObject(); }
    bool EndObject(rapidjson::SizeType members)
    {
        --depth_;
        return document_.EndObject(members);
    }
    bool StartArray() { return opened() && document_.StartArray(); }
    bool EndArray(rapidjson::SizeType elements)
    {
        --depth_;
        return document_.EndArray(elements);
    }

private:
    bool refuse(const char *why)
    {
        refusal_ = why;
        return false;
    }
    bool counted() { return ++values_ <= MaxJsonValues || refuse(ManyValues); }
    bool short_enough(rapidjson::SizeType length) { return counted() && (length <= MaxJsonString || refuse(LongString)); }
    bool opened() { return counted() && (++depth_ <= MaxJsonDepth || refuse(DeepJson)); }

    JsonDocument &document_;
    const char *refusal_ = nullptr;
    size_t depth_ = 0;
    size_t values_ = 0;
};

// Feeds the document from the text through the bounds (Populate's generator).
struct BoundedParse {
    char *text;
    BoundedHandler *handler;
    rapidjson::ParseResult result;
    bool operator()(JsonDocument &)
    {
        rapidjson::GenericInsituStringStream<rapidjson::UTF8<>> stream(text);
        JsonReader reader;
        result = reader.Parse<JsonFlags>(stream, *handler);
        return !result.IsError();
    }
};

// Whether the file starts as JSON: '{' or '[' first, after a UTF-8 byte
// order mark and white space. Only its head is read.
bool starts_as_json(FILE *file)
{
    char head[512];
    size_t length = fread(head, 1, sizeof head, file);
    size_t at = length >= 3 && memcmp(head, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    while (at < length && is_html_space(head[at]))
        ++at;
    return at < length && (head[at] == '{' || head[at] == '[');
}

// The file's whole text, NUL-terminated, for freeing with free(); null when
// it cannot be read.
char *read_text(FILE *file)
{
    if (fseek(file, 0, SEEK_END) != 0)
        return nullptr;
    long length = ftell(file);
    if (length <= 0 || fseek(file, 0, SEEK_SET) != 0)
        return nullptr;
    char *text = static_cast<char *>(malloc(size_t(length) + 1));
    if (text && fread(text, size_t(length), 1, file) != 1) {
        free(text);
        return nullptr;
    }
    if (text)
        text[length] = '\0';
    return text;
}

const JsonValue *member(const JsonValue &object, const char *name)
{
    if (!object.IsObject())
        return nullptr;
    JsonValue::ConstMemberIterator found = object.FindMember(name);
    return found == object.MemberEnd() ? nullptr : &found->value;
}

// A string member's text; null when it is missing, no string or blank.
const char *string_member(const JsonValue &object, const char *name)
{
    const JsonValue *value = member(object, name);
    if (!value || !value->IsString())
        return nullptr;
    const char *text = value->GetString();
    for (const char *c = text; *c; ++c)
        if (!is_html_space(*c))
            return text;
    return nullptr;
}

// A number member as decimal digits: whole and not negative ("" when not),
// or, when any_integer, any whole number (an item's id).
std::string digits_member(const JsonValue &object, const char *name, bool any_integer = false)
{
    const JsonValue *value = member(object, name);
    char text[32] = "";
    if (!value || !value->IsNumber())
        return text;
    if (value->IsUint64())
        snprintf(text, sizeof text, "%llu", (unsigned long long)value->GetUint64());
    else if (value->IsInt64() && any_integer)
        snprintf(text, sizeof text, "%lld", (long long)value->GetInt64());
    else if (value->IsDouble() && value->GetDouble() >= 0 && value->GetDouble() < 1e18)
        snprintf(text, sizeof text, "%llu", (unsigned long long)value->GetDouble());
    return text;
}

// A text as the Atom document holds it: its '&' and '<' written as
// references, which the reading resolves back, so that plain text stays
// plain whatever it looks like.
std::string escaped(const char *text)
{
    std::string out;
    for (; *text; ++text)
        if (*text == '&')
            out += "&amp;";
        else if (*text == '<')
            out += "&lt;";
        else
            out += *text;
    return out;
}

TiXmlElement *add_element(TiXmlElement *parent, const char *name, const std::string &text)
{
    TiXmlElement *element = new TiXmlElement(name);
    parent->LinkEndChild(element);
    element->LinkEndChild(new TiXmlText(text));
    return element;
}

void add_link(TiXmlElement *parent, const char *address)
{
    TiXmlElement *link = new TiXmlElement("link");
    parent->LinkEndChild(link);
    link->SetAttribute("href", escaped(address));
}

// An untitled item is titled by the start of its text, as JSON Feed has it:
// the text read as a line, cut after a word where one ends in its second
// half, else at a character's start, with "..." after it.
std::string start_of_text(const char *text, bool html)
{
    char line[TextFieldSize];
    if (html)
        html_to_line(text, line, sizeof line, 1);
    else
        copy_text(line, sizeof line, text);
    make_single_line(line);
    size_t length = strlen(line);
    if (length <= UntitledTitleLength)
        return line;
    size_t cut = UntitledTitleLength;
    while (cut > UntitledTitleLength / 2 && line[cut] != ' ')
        --cut;
    if (line[cut] != ' ')
        cut = UntitledTitleLength;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    return std::string(line, cut) + "...";
}

void add_attachment(TiXmlElement *entry, const JsonValue &attachment)
{
    const char *url = string_member(attachment, "url");
    if (!url)
        return;
    TiXmlElement *content = new TiXmlElement("media:content");
    entry->LinkEndChild(content);
    content->SetAttribute("url", escaped(url));
    if (const char *type = string_member(attachment, "mime_type"))
        content->SetAttribute("type", type);
    std::string size = digits_member(attachment, "size_in_bytes");
    if (!size.empty())
        content->SetAttribute("fileSize", size);
    std::string seconds = digits_member(attachment, "duration_in_seconds");
    if (!seconds.empty())
        content->SetAttribute("duration", seconds);
    if (const char *title = string_member(attachment, "title"))
        add_element(content, "media:title", escaped(title));
}

void add_entry(TiXmlElement *feed, const JsonValue &item)
{
    TiXmlElement *entry = new TiXmlElement("entry");
    feed->LinkEndChild(entry);
    const char *id = string_member(item, "id");
    std::string number = id ? "" : digits_member(item, "id", true);
    if (id || !number.empty())
        add_element(entry, "id", id ? escaped(id) : number);
    const char *url = string_member(item, "url");
    if (!url)
        url = string_member(item, "external_url");
    if (url)
        add_link(entry, url);

    const char *html = string_member(item, "content_html");
    const char *text = html ? html : string_member(item, "content_text");
    if (!text)
        text = string_member(item, "summary");
    const char *title = string_member(item, "title");
    if (title)
        add_element(entry, "title", escaped(title));
    else if (text)
        add_element(entry, "title", escaped(start_of_text(text, html != nullptr).c_str()));
    if (html)
        add_element(entry, "content", html)->SetAttribute("type", "html");
    else if (text)
        add_element(entry, "content", escaped(text));

    const char *date = string_member(item, "date_published");
    if (!date)
        date = string_member(item, "date_modified");
    if (date)
        add_element(entry, "published", date);

    const JsonValue *tags = member(item, "tags");
    std::string subject;
    for (rapidjson::SizeType i = 0; tags && tags->IsArray() && i < tags->Size() && subject.size() < TextFieldSize;
         ++i)
        if ((*tags)[i].IsString())
            subject += (subject.empty() ? "" : ", ") + escaped((*tags)[i].GetString());
    if (!subject.empty())
        add_element(entry, "dc:subject", subject);

    const JsonValue *attachments = member(item, "attachments");
    for (rapidjson::SizeType i = 0; attachments && attachments->IsArray() && i < attachments->Size(); ++i)
        add_attachment(entry, (*attachments)[i]);
}

// JSON Feed's own version addresses; and, as other readers take them, the
// bare numbers "1", "1.0" and "1.1" in a document with a list of items,
// which some generators write.
bool is_json_feed_version(const JsonValue &json)
{
    const JsonValue *version = member(json, "version");
    if (!version || !version->IsString())
        return false;
    const char *text = version->GetString();
    if (strncmp(text, "https://jsonfeed.org/version/", 29) == 0 || strncmp(text, "http://jsonfeed.org/version/", 28) == 0)
        return true;
    const JsonValue *items = member(json, "items");
    return items && items->IsArray() && (!strcmp(text, "1") || !strcmp(text, "1.0") || !strcmp(text, "1.1"));
}

int refuse(int result, char *why, size_t why_size, const char *text)
{
    snprintf(why, why_size, "%s", text);
    return result;
}

}  // namespace

int read_json_feed(const char *file_path, TiXmlDocument *document, char *why, size_t why_size)
{
    ScopedFile file(file_path ? fopen(file_path, "rb") : nullptr);
    if (!file.held() || !starts_as_json(file.get()))
        return NoJson;
    ScopedHeapBlock<char> text(read_text(file.get()));
    if (!text.held())
        return NoJson;
    char *start = text.get();
    if (strncmp(start, "\xEF\xBB\xBF", 3) == 0)  // the text is shorter than three bytes at times
        start += 3;

    JsonDocument json;
    BoundedHandler handler(json);
    BoundedParse parse = {start, &handler, rapidjson::ParseResult()};
    json.Populate(parse);
    if (handler.refusal())
        return refuse(JsonOddShape, why, why_size, handler.refusal());
    if (parse.result.IsError()) {
        // RapidJSON's texts end in a full stop, which the report drops.
        char detail[160];
        snprintf(detail, sizeof detail, "JSON that does not parse at byte %lu: %s",
                 (unsigned long)parse.result.Offset(), rapidjson::GetParseError_En(parse.result.Code()));
        return refuse(JsonNotFeed, why, why_size, detail);
    }
    if (!json.IsObject())
        return refuse(JsonNotFeed, why, why_size, "JSON whose root is no object, no JSON Feed");
    if (!is_json_feed_version(json)) {
        const JsonValue *version = member(json, "version");
        char detail[160];
        if (version && version->IsString())
            snprintf(detail, sizeof detail, "JSON of version \"%.40s\", no JSON Feed", version->GetString());
        else
            snprintf(detail, sizeof detail, "JSON without a JSON Feed version");
        return refuse(JsonNotFeed, why, why_size, detail);
    }

    document->Clear();
    document->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
    TiXmlElement *feed = new TiXmlElement("feed");
    document->LinkEndChild(feed);
    feed->SetAttribute("xmlns", "http://www.w3.org/2005/Atom");
    if (const char *title = string_member(json, "title"))
        add_element(feed, "title", escaped(title));
    if (const char *home = string_member(json, "home_page_url"))
        add_link(feed, home);
    if (const char *description = string_member(json, "description"))
        add_element(feed, "subtitle", escaped(description));
    const JsonValue *items = member(json, "items");
    for (rapidjson::SizeType i = 0; items && items->IsArray() && i < items->Size(); ++i)
        if ((*items)[i].IsObject())
            add_entry(feed, (*items)[i]);
    return JsonFeedRead;
}

// Reference resolution after RFC 3986 section 5.2, on the five components
// of its appendix B. Every step only copies or drops bytes of its inputs, so
// the result is bounded by their lengths and costs time linear in them.
#include "addresses.h"
#include "text_copy.h"

#include <string>
#include <tinyxml.h>
#include <vector>

namespace {

// An address split into its components; a component that is absent is
// told apart from one that is present and empty ("http://h/?" has an empty
// query).
struct Components {
    std::string scheme, authority, path, query, fragment;
    bool has_scheme = false, has_authority = false, has_query = false, has_fragment = false;
};

bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The scheme of text, when it starts with one: a letter, then letters,
// digits, '+', '-' or '.', then ':'. A first path segment holding a colon
// ("a b:c", "1:x") is no scheme.
size_t scheme_length(const std::string &text)
{
    if (text.empty() || !is_alpha(text[0]))
        return 0;
    size_t i = 1;
    while (i < text.size() && (is_alpha(text[i]) || (text[i] >= '0' && text[i] <= '9') || text[i] == '+' ||
                               text[i] == '-' || text[i] == '.'))
        ++i;
    return i < text.size() && text[i] == ':' ? i : 0;
}

Components split(const std::string &text)
{
    Components c;
    size_t at = scheme_length(text);
    if (at) {
        c.has_scheme = true;
        c.scheme = text.substr(0, at);
        ++at;
    }
    if (text.compare(at, 2, "//") == 0) {
        size_t end = text.find_first_of("/?#", at + 2);
        if (end == std::string::npos)
            end = text.size();
        c.has_authority = true;
        c.authority = text.substr(at + 2, end - at - 2);
        at = end;
    }
    size_t end = text.find_first_of("?#", at);
    if (end == std::string::npos)
        end = text.size();
    c.path = text.substr(at, end - at);
    at = end;
    if (at < text.size() && text[at] == '?') {
        end = text.find('#', at);
        if (end == std::string::npos)
            end = text.size();
        c.has_query = true;
        c.query = text.substr(at + 1, end - at - 1);
        at = end;
    }
    if (at < text.size()) {
        c.has_fragment = true;
        c.fragment = text.substr(at + 1);
    }
    return c;
}

// Section 5.2.4. Each byte enters the output once and leaves it at most
// once, so the loop is linear.
std::string remove_dot_segments(const std::string &path)
{
    std::string out;
    size_t at = 0;
    auto remove_last_segment = [&out]() {
        size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (at < path.size()) {
        if (path.compare(at, 3, "../") == 0) {
            at += 3;
        } else if (path.compare(at, 2, "./") == 0) {
            at += 2;
        } else if (path.compare(at, 3, "/./") == 0) {
            at += 2;
        } else if (path.compare(at, 2, "/.") == 0 && at + 2 == path.size()) {
            out += '/';
            at += 2;
        } else if (path.compare(at, 4, "/../") == 0) {
            at += 3;
            remove_last_segment();
        } else if (path.compare(at, 3, "/..") == 0 && at + 3 == path.size()) {
            at += 3;
            remove_last_segment();
            out += '/';
        } else if ((path.compare(at, 1, ".") == 0 && at + 1 == path.size()) ||
                   (path.compare(at, 2, "..") == 0 && at + 2 == path.size())) {
            at = path.size();
        } else {
            size_t end = path.find('/', at + 1);
            if (end == std::string::npos)
                end = path.size();
            out.append(path, at, end - at);
            at = end;
        }
    }
    return out;
}

// Section 5.2.3.
std::string merge(const Components &base, const std::string &path)
{
    if (base.has_authority && base.path.empty())
        return "/" + path;
    size_t slash = base.path.rfind('/');
    return slash == std::string::npos ? path : base.path.substr(0, slash + 1) + path;
}

bool same_folded(const std::string &text, const char *lower)
{
    size_t i = 0;
    for (; i < text.size() && lower[i]; ++i)
        if ((text[i] >= 'A' && text[i] <= 'Z' ? text[i] - 'A' + 'a' : text[i]) != lower[i])
            return false;
    return i == text.size() && !lower[i];
}

}  // namespace

size_t resolve_address(const char *base, const char *reference, char *out, size_t size)
{
    std::string written = reference;
    if (!base || scheme_length(written))
        return copy_text(out, size, written.c_str());
    Components b = split(base);
    if (!b.has_scheme || !(same_folded(b.scheme, "http") || same_folded(b.scheme, "https")))
        return copy_text(out, size, written.c_str());
    // Section 5.2.2, for a reference without a scheme.
    Components r = split(written);
    Components t;
    if (r.has_authority) {
        t.has_authority = true;
        t.authority = r.authority;
        t.path = remove_dot_segments(r.path);
        t.has_query = r.has_query;
        t.query = r.query;
    } else {
        if (r.path.empty()) {
            t.path = b.path;
            t.has_query = r.has_query || b.has_query;
            t.query = r.has_query ? r.query : b.query;
        } else {
            t.path = remove_dot_segments(r.path[0] == '/' ? r.path : merge(b, r.path));
            t.has_query = r.has_query;
            t.query = r.query;
        }
        t.has_authority = b.has_authority;
        t.authority = b.authority;
    }
    // Section 5.3.
    std::string result = b.scheme + ":";
    if (t.has_authority)
        result += "//" + t.authority;
    result += t.path;
    if (t.has_query)
        result += "?" + t.query;
    if (r.has_fragment)
        result += "#" + r.fragment;
    return copy_text(out, size, result.c_str());
}

void element_base(const TiXmlElement *element, const char *address, char *out, size_t size)
{
    copy_text(out, size, address ? address : "");
    // The xml:base attributes from element up, applied from the root down;
    // a loop, not recursion, whatever the depth.
    std::vector<const char *> bases;
    for (const TiXmlNode *node = element; node; node = node->Parent()) {
        const TiXmlElement *ancestor = node->ToElement();
        const char *base = ancestor ? ancestor->Attribute("xml:base") : nullptr;
        if (base)
            bases.push_back(base);
    }
    for (auto base = bases.rbegin(); base != bases.rend(); ++base)
        resolve_address(out, *base, out, size);
}

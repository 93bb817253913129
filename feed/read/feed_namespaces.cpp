// The parser knows nothing of namespaces: each element's prefix is resolved
// here against the xmlns declarations in scope.
#include "feed_namespaces.h"
#include "code_pages.h"

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

struct KnownNamespace {
    const char *uri;
    const char *prefix;  // "" for elements the converter knows unprefixed
    bool atom;
};

const KnownNamespace Known[] = {
    {"http://purl.org/rss/1.0/", "", false},
    {"http://www.w3.org/2005/Atom", "", true},
    {"http://purl.org/atom/ns#", "", true},
    {"http://backend.userland.com/rss2", "", false},
    {"http://www.w3.org/1999/02/22-rdf-syntax-ns#", "rdf", false},
    {"http://purl.org/dc/elements/1.1/", "dc", false},
    {"http://purl.org/dc/terms/", "dcterms", false},
    {"http://purl.org/rss/1.0/modules/content/", "content", false},
    {"http://www.itunes.com/dtds/podcast-1.0.dtd", "itunes", false},
    {"http://search.yahoo.com/mrss/", "media", false},
    {"http://search.yahoo.com/mrss", "media", false},
};

// What the root says of the names below it: the namespace of a prefixed
// rss root, declared on the root itself, and whether the root is Atom's.
struct RootNamespace {
    const char *rss_uri;
    bool atom;
};

// The prefix the converter knows a namespace's elements by, or null for a
// namespace it does not know. Atom's elements are known unprefixed only in
// an Atom document: in an RSS channel <atom:link rel="self"> is no link of
// the channel's.
const char *known_prefix(const char *uri, const RootNamespace &root)
{
    for (const KnownNamespace &known : Known)
        if (same_folded(uri, known.uri))
            return known.atom && !root.atom ? nullptr : known.prefix;
    return root.rss_uri && strcmp(uri, root.rss_uri) == 0 ? "" : nullptr;
}

// The namespace declarations in scope while the elements are walked. Only
// bindings of a known namespace to another prefix can rename an element;
// while none is in scope, no element needs looking up.
class Scopes {
public:
    explicit Scopes(const RootNamespace &root) : root_(root) {}

    void enter(const TiXmlElement *element)
    {
        marks_.push_back(pushed_.size());
        for (const TiXmlAttribute *a = element->FirstAttribute(); a; a = a->Next()) {
            const char *name = a->Name();
            if (strncmp(name, "xmlns", 5) != 0 || (name[5] && name[5] != ':'))
                continue;
            std::string prefix = name[5] ? name + 6 : "";
            const char *known = this->known(a->Value());
            bool renaming = known && prefix != known;
            bound_[prefix].push_back({a->Value(), renaming});
            pushed_.push_back(prefix);
            renaming_ += renaming;
        }
    }

    void leave()
    {
        for (; pushed_.size() > marks_.back(); pushed_.pop_back()) {
            std::vector<Binding> &bindings = bound_[pushed_.back()];
            renaming_ -= bindings.back().renaming;
            bindings.pop_back();
        }
        marks_.pop_back();
    }

    bool renaming() const { return renaming_ > 0; }

    const char *known(const char *uri) const { return known_prefix(uri, root_); }

    // The namespace bound to prefix, or null.
    const char *uri(const std::string &prefix) const
    {
        auto found = bound_.find(prefix);
        return found == bound_.end() || found->second.empty() ? nullptr : found->second.back().uri;
    }

private:
    struct Binding {
        const char *uri;
        bool renaming;
    };
    RootNamespace root_;
    std::unordered_map<std::string, std::vector<Binding>> bound_;
    std::vector<std::string> pushed_;  // prefixes bound, in order
    std::vector<size_t> marks_;        // pushed_'s size as each open element began
    size_t renaming_ = 0;
};

void split_name(const char *name, std::string *prefix, const char **local)
{
    const char *colon = strchr(name, ':');
    prefix->assign(name, colon ? size_t(colon - name) : 0);
    *local = colon ? colon + 1 : name;
}

RootNamespace root_namespace(const TiXmlElement *root)
{
    std::string prefix;
    const char *local;
    split_name(root->Value(), &prefix, &local);
    const char *uri = root->Attribute((prefix.empty() ? std::string("xmlns") : "xmlns:" + prefix).c_str());
    RootNamespace found = {nullptr, false};
    if (!prefix.empty() && same_folded(local, "rss"))
        found.rss_uri = uri;
    for (const KnownNamespace &known : Known)
        found.atom |= uri && known.atom && same_folded(uri, known.uri);
    return found;
}

void rename(TiXmlElement *element, const Scopes &scopes, std::string *prefix)
{
    const char *local;
    split_name(element->Value(), prefix, &local);
    const char *uri = scopes.uri(*prefix);
    const char *known = uri ? scopes.known(uri) : nullptr;
    if (!known || *prefix == known || !*local)
        return;
    element->SetValue(*known ? std::string(known) + ":" + local : std::string(local));
}

}  // namespace

void name_elements_by_namespace(TiXmlDocument *document)
{
    TiXmlElement *root = document->RootElement();
    if (!root)
        return;
    Scopes scopes(root_namespace(root));
    std::string prefix;
    for (TiXmlElement *element = root; element;) {
        scopes.enter(element);
        if (scopes.renaming())
            rename(element, scopes, &prefix);
        if (TiXmlElement *child = element->FirstChildElement()) {
            element = child;
            continue;
        }
        for (;;) {
            scopes.leave();
            if (element == root) {
                element = nullptr;
                break;
            }
            if (TiXmlElement *next = element->NextSiblingElement()) {
                element = next;
                break;
            }
            element = element->Parent()->ToElement();
        }
    }
}

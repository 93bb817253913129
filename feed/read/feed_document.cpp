// Loading a downloaded feed file into a TinyXML document.
#include "feed_document.h"
#include "code_pages.h"
#include "document_text.h"
#include "feed_namespaces.h"

#include "base/scoped_handles.h"
#include "feed/feed_converter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char DeepDocument[] = "Error elements nested too deeply.";
const char CrowdedElement[] = "Error too many attributes on one element.";
const char LargeDocument[] = "Error too many nodes in the document.";

// TinyXML steps over a whole multi-byte sequence (up to four bytes) without
// looking for the terminator, so a text that ends in a cut sequence makes it
// read past the end of the buffer it parses. Zero bytes beyond the
// terminator keep every such step inside the buffer and end the text there.
const size_t SpareZeroBytes = 8;

// What a document beyond the bounds asks too much of.
const char *refusal(const DocumentShape &shape)
{
    if (shape.depth > MaxElementDepth)
        return DeepDocument;
    return shape.attributes > MaxElementAttributes ? CrowdedElement : LargeDocument;
}

}  // namespace

// Read as TiXmlDocument::LoadFile reads a file, so that the document and its
// errors are the same.
char *read_feed_text(TiXmlDocument *document, const char *file_path)
{
    ScopedFile input(file_path ? fopen(file_path, "rb") : nullptr);
    if (!input.held()) {
        document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return nullptr;
    }
    long length = 0;
    if (fseek(input.get(), 0, SEEK_END) == 0)
        length = ftell(input.get());
    fseek(input.get(), 0, SEEK_SET);
    if (length <= 0) {
        document->SetError(TiXmlBase::TIXML_ERROR_DOCUMENT_EMPTY, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return nullptr;
    }
    // The parse below may throw when memory runs out; the holder frees the
    // text then too.
    ScopedHeapBlock<char> block(static_cast<char *>(malloc(size_t(length) + SpareZeroBytes)));
    char *text = block.get();
    if (!text || fread(text, size_t(length), 1, input.get()) != 1) {
        document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return nullptr;
    }
    text[length] = '\0';
    // UTF-16 and UTF-32 hold zero bytes, where the text would end below:
    // such a text becomes UTF-8 first, whatever it declares.
    bool unicode = false;
    {
        std::string utf8;
        if (unicode_text_to_utf8(text, size_t(length), &utf8)) {
            char *converted = static_cast<char *>(malloc(utf8.size() + SpareZeroBytes));
            if (!converted) {
                document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
                return nullptr;
            }
            memcpy(converted, utf8.data(), utf8.size());
            converted[utf8.size()] = '\0';
            block.reset(converted);
            text = converted;
            length = long(utf8.size());
            unicode = true;
        }
    }
    const char *read = text;
    char *write = text;
    while (*read) {
        if (*read == '\r') {
            *write++ = '\n';
            if (*++read == '\n')
                ++read;
        } else {
            *write++ = *read++;
        }
    }
    // Everything after the text is zero: what lay beyond an embedded NUL or
    // behind the shortened line ends must not be reachable either.
    memset(write, 0, size_t(text + length - write) + SpareZeroBytes);
    char *ready = ready_document_text(text, size_t(write - text), SpareZeroBytes, unicode);
    if (!ready) {
        document->SetError(TiXmlBase::TIXML_ERROR_OPENING_FILE, nullptr, nullptr, TIXML_ENCODING_UNKNOWN);
        return nullptr;
    }
    if (ready != text)
        block.reset(ready);
    return block.release();
}

int parse_feed_text(TiXmlDocument *document, const char *text)
{
    // The parser tracks the line and column of every node it reads, which
    // costs about a fifth of the parse, and only an error's position uses
    // them. A document is parsed without them; one with an error is parsed
    // again with them, so that the error is reported where LoadFile reports
    // it.
    const int tab_size = document->TabSize();
    document->SetTabSize(0);
    document->Parse(text, nullptr, TIXML_DEFAULT_ENCODING);
    document->SetTabSize(tab_size);
    if (document->Error() && tab_size > 0) {
        document->Clear();
        document->Parse(text, nullptr, TIXML_DEFAULT_ENCODING);
    }
    return !document->Error();
}

int load_feed_document(TiXmlDocument *document, const char *file_path, const char **failure)
{
    // Held so that a parse that runs out of memory frees the text too.
    ScopedHeapBlock<char> text(read_feed_text(document, file_path));
    if (!text.held()) {
        if (failure)
            *failure = document->ErrorDesc();
        return 0;
    }
    DocumentShape shape;
    if (!measure_document(text.get(), &shape)) {
        if (failure)
            *failure = refusal(shape);
        return 0;
    }
    int parsed = parse_feed_text(document, text.get());
    if (!parsed && failure)
        *failure = document->ErrorDesc();
    if (parsed)
        name_elements_by_namespace(document);
    return parsed;
}

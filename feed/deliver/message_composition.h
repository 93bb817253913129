// The message under composition, and what a conversion came to.
#pragma once
#include <cstddef>
#include <string>

// The message under composition: the caller's buffer, its capacity and how
// much of it is written, so that every piece is appended where the last one
// ended and never past the capacity. `reserve` bytes at the end are kept for
// the message's closing line end.
struct MessageBuffer {
    char *text;
    size_t size;
    size_t length;
    size_t reserve;
    size_t left_out = 0;  // the bytes of the item blocks a full message left out
};

// What one conversion came to: the items that went into the message, or
// why the document was not read as a feed. detail is a bounded ASCII text:
// the parser's error and where, the bound the document passed, or the root
// element that no feed has.
enum ConversionFailure {
    ConversionRead = 0,       // read as a feed; items tells how many are in the message
    ConversionNotXml,         // the parser refused it
    ConversionOddShape,       // beyond the document bounds, refused unparsed
    ConversionNotFeed,        // well-formed, but not a kind of feed KIV reads
    ConversionNoRoom,         // not even the message's head fits its buffer
};
enum { ConversionDetailSize = 128 };
struct ConversionReport {
    int items = 0;
    int filtered = 0;  // new items that the feed's rules held back
    size_t left_out = 0;  // the bytes of new items' blocks that the message had no room for
    int failure = ConversionRead;
    char detail[ConversionDetailSize] = "";
    // When read as a feed: its title and site link as a person reads them,
    // in UTF-8 whatever the feed's code page (empty when it has none).
    std::string title;
    std::string site;
};

// Addresses added to the feed list from outside it (an imported list, a
// site's feed links, a moved feed's new address): which ones the settings
// file can hold, and how they are appended in one rewrite.
#pragma once
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

enum {
    // The skipped addresses a summary names, the first ones of the file.
    ShownSkips = 3,
};

// Why an address of the list is not added (besides being listed already).
enum ImportSkip {
    SkipNone = 0,
    SkipNotHttp,           // not an http or https address
    SkipSpaceOrComma,      // the settings file would split or cut it
    SkipTooLong,           // beyond a URL part of the settings file
    SkipNotAscii,          // bytes the settings file's code page would change
};

// What an import came to: the addresses appended, those listed already
// (in the file, or earlier in the same list), those skipped, and the first
// ShownSkips of the skipped with their reasons.
struct ImportSummary {
    size_t added = 0;
    size_t listed = 0;
    size_t skipped = 0;
    std::vector<std::pair<std::string, int>> first_skips;
};

// Why address cannot become a feed entry, or SkipNone. Leading and trailing
// white space is no part of an address and is not looked at.
int import_skip_reason(const std::string &address);
// The address as it is stored: without leading and trailing white space.
std::string trimmed_address(const std::string &address);

// Appends every address that can be stored and is not listed, in order,
// each with the default timestamp, with one atomic rewrite of the settings
// file under its lock. 1 when the file was read and, if anything was to be
// added, rewritten; 0 when nothing changed because the file could not be
// read or written (summary then counts nothing added).
int import_feed_addresses(const std::vector<std::string> &addresses, ImportSummary *summary);

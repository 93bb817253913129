// The feed list written as an OPML 2.0 file, in UTF-8, for other readers.
#pragma once
#include <string>
#include <vector>

// One feed of the list: its address, and the title and site link it had when
// last read (UTF-8; empty when not known).
struct ExportedFeed {
    std::string address;
    std::string title;
    std::string site;
    std::string folder;  // its own folder in feeds.ini (UTF-8), or empty
};

// The OPML text of feeds, in list order: one outline of type rss each, its
// text and title the feed's title (the address when none is known), its
// xmlUrl the address, its htmlUrl the site link when known, its category
// the feed's own folder, when it has one, as OPML writes a category path:
// "Inbox\Tech\" becomes "/Inbox/Tech".
std::string format_opml(const std::vector<ExportedFeed> &feeds);

// Replaces the file at path by the OPML text of feeds, atomically; 1 when
// written.
int write_opml_file(const char *path, const std::vector<ExportedFeed> &feeds);

// The settings file's feed list as feeds, addresses made UTF-8 from the
// settings file's code page, each with the title and site link its record
// keeps and the folder feeds.ini gives it; 0 when the settings file cannot
// be read.
int read_exported_feeds(std::vector<ExportedFeed> *feeds);

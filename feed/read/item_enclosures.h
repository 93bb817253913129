// What an item carries besides its text: the enclosures of podcasts and
// video feeds, each a line of its own after the item's text.
#pragma once
#include <tinyxml.h>

// At most this many enclosures an item; the lines have a buffer of their own,
// so that no bound of the item's text takes them away.
enum {
    MaxItemEnclosures = 8,
    EnclosureLineSize = 1024,   // "Enclosure: ", an address, its details and title
    EnclosureLinesSize = MaxItemEnclosures * EnclosureLineSize,
};

// The item's enclosures as lines joined by LF, without a last line end, in
// out (EnclosureLinesSize bytes; empty when there are none); gives their
// count. Read in document order: RSS <enclosure url length type>, Atom
// <link rel="enclosure" href type length title>, Media RSS <media:content
// url type|medium fileSize duration> on the item and in each <media:group>.
// The same address twice is one enclosure, which takes what the later
// element tells that the first did not. The item's itunes:duration goes to
// the first enclosure without a duration of its own. A line reads
//   Enclosure: http://host/a.mp3 (audio/mpeg, 24.5 MB, 1:02:03) Title
// its address made absolute as a link's, the parts in brackets each left out
// when the feed does not give it, and the title (Atom's attribute, or the
// media:title inside media:content) in the host's code page.
int get_item_enclosures(TiXmlHandle item, int encoding, int feed_type, const char *address, char *out);

// A size in bytes as a person reads it: "512 bytes", "12.3 KB", "24.5 MB",
// "1.2 GB" (units of 1,024), into out (size bytes).
void format_byte_size(unsigned long long bytes, char *out, size_t size);
// A duration in seconds as "42:17" or "1:02:03", into out (size bytes).
void format_duration(unsigned long seconds, char *out, size_t size);
// The seconds of a duration as feeds write it: "3723", "62:03", "1:02:03",
// each with a fraction of a second or not; 0 for none or no duration.
unsigned long read_duration(const char *text);

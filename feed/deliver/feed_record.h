// The per-feed record in the data folder: what KIV remembers of one feed
// besides its timestamp in KIV.ini, namely the keys of its items and the
// validators of its last download. One small text file per feed, named
// after a digest of the feed's address and holding the address itself:
//
//   KIV feed record 2
//   url http://example.com/feed.xml
//   etag "abc"                               (optional)
//   last-modified Thu, 06 Jun 2024 18:30:00 GMT  (optional)
//   moved 2 https://example.com/feed          (optional: patrols in a row
//                                             that found it moved there)
//   title Example news                        (optional: the feed's title and
//   link https://example.com/                 site link as last read, UTF-8)
//   paused-until 1796961600                  (optional: seconds since 1970, UTC)
//   requested 1796961600                     (optional: the last request of a
//                                            feed requested only every N hours)
//   key g urn:item:1                         (any number up to the bound, oldest first)
//   end
//
// Version 2 holds the keys of every item; version 1, which earlier versions
// wrote and read, those of undated items only. Each version reads no other
// version's first line, so an earlier KIV takes a version 2 record for none.
// A record that is missing, empty, cut, garbage, too big or of another
// address counts as no record; the settings backup never touches it.
#pragma once
#include "item_walk.h"

#include <cstddef>
#include <string>

enum {
    MaxRecordKeys = MaxRememberedKeys,
    MaxValidatorLength = 255,     // an ETag or Last-Modified text
    MaxRecordBytes = 6 << 20,     // beyond every record the writer makes
    // A feed that answers with a permanent redirect to the same address on
    // this many patrols in a row is listed under that address.
    MovedPatrolsToFollow = 3,
};

struct FeedRecord {
    std::string etag;
    std::string last_modified;
    long long paused_until = 0;   // the server asked to be left alone until then; 0: no pause
    long long requested = 0;      // when a feed with an interval of its own was last requested; 0: never
    ItemMemory memory;            // its scope: what the record read covers
    // Where the feed's server has said, on moved_patrols patrols in a row,
    // that the feed has moved for good; empty (and 0) when it has not.
    std::string moved_to;
    int moved_patrols = 0;
    // The feed's title and site link as last read, in UTF-8, one line each;
    // empty when not known.
    std::string title;
    std::string site;
};

// The record's path for url in folder; 0 when it does not fit size bytes.
int feed_record_path(const char *folder, const char *url, char *path, size_t size);
// 1 when path is the name of a record file (of any feed).
int is_feed_record_name(const char *name);

// Reads a record of url from bytes; 1 and record filled when it is whole and
// well formed, else 0 and record empty.
int parse_feed_record(const char *bytes, size_t length, const char *url, FeedRecord *record);
// The same from a file; a file beyond MaxRecordBytes is not read.
int read_feed_record(const char *path, const char *url, FeedRecord *record);

// The text of a record: version 2 when the memory holds every key, else
// version 1; at most MaxRecordKeys keys, the newest, validators that are too
// long or hold control characters left out.
std::string format_feed_record(const char *url, const FeedRecord &record);
// Replaces the file at path by the record, atomically; 1 when written.
int write_feed_record(const char *path, const char *url, const FeedRecord &record);

// 1 when text may be kept as a validator and sent back in a header.
int is_usable_validator(const char *text);
// Takes the validators of a response into the record as the server sent
// them (null or empty: it sent none, and the kept one goes); 1 when the
// record changed and is to be written.
int keep_validators(FeedRecord *record, const char *etag, const char *last_modified);

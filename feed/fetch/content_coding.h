// What a response's Content-Encoding says of its body. Requests ask for gzip
// and deflate, which KIV decodes (inflate.h); a body in any other coding
// would reach the feed reader as compressed bytes.
#pragma once

enum ContentCoding {
    CodingIdentity = 0,   // no Content-Encoding, or identity: the bytes as they are
    CodingGzip,
    CodingDeflate,
    CodingUnreadable,     // anything else, a list of codings included
};

// The coding the header value names (null or empty: none).
int content_coding(const char *header);

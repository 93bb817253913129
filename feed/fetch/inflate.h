// Decoding of gzip and deflate bodies, written here: zlib is no system
// library on Windows, and the HTTP stack's own decoding differs by platform
// (Wine's takes only bare deflate data for "deflate", where servers send the
// zlib form that HTTP names). The body streams through: the input is pulled
// a chunk at a time, the output pushed out through a 32 KiB window, so that
// memory stays the same whatever the body expands to, and the receiver can
// stop the decoding at any byte.
#pragma once

enum InflateFormat {
    InflateGzip,      // gzip members, one after another, each checked by its CRC-32 and size
    InflateDeflate,   // HTTP's deflate: a zlib stream (checked by its Adler-32), or bare deflate data
};

enum InflateResult {
    InflateDone = 0,
    InflateBroken,       // not data of the format, or its check failed
    InflateCut,          // the input ended before the data did
    InflateReadFailed,   // read said so
    InflateStopped,      // write said so
    InflateNoMemory,     // the decoder's state could not be had
};

// Gives at most size bytes into buffer: their count, 0 at the input's end,
// -1 on a failure.
typedef int (*InflateRead)(void *context, unsigned char *buffer, unsigned size);
// Takes size decoded bytes; 0 stops the decoding.
typedef int (*InflateWrite)(void *context, const unsigned char *bytes, unsigned size);

// Decodes what read gives, in format, into write. About 40 KiB of heap,
// released before it returns.
int inflate_stream(int format, InflateRead read, void *read_context, InflateWrite write, void *write_context);

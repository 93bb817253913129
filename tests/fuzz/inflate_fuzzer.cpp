// Any bytes as a gzip body and as a deflate body: the decoder ends, holds to
// the receiver's bound, and gives the same result and bytes however the
// input is cut into reads.
#include "feed/fetch/inflate.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const size_t Bound = 1 << 20;

struct Source {
    const uint8_t *data;
    size_t size, at;
    unsigned chunk;
};

int Read(void *context, unsigned char *buffer, unsigned size)
{
    Source &source = *static_cast<Source *>(context);
    size_t count = source.size - source.at;
    if (count > size)
        count = size;
    if (count > source.chunk)
        count = source.chunk;
    if (count)
        memcpy(buffer, source.data + source.at, count);
    source.at += count;
    return int(count);
}

int Write(void *context, const unsigned char *bytes, unsigned size)
{
    std::string &out = *static_cast<std::string *>(context);
    if (out.size() + size > Bound)
        return 0;
    out.append(reinterpret_cast<const char *>(bytes), size);
    return 1;
}

int Decode(int format, const uint8_t *data, size_t size, unsigned chunk, std::string *out)
{
    Source source = {data, size, 0, chunk};
    return inflate_stream(format, Read, &source, Write, out);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    for (int format : {InflateGzip, InflateDeflate}) {
        std::string whole, piecewise;
        int result = Decode(format, data, size, 1u << 20, &whole);
        int again = Decode(format, data, size, size ? 1 + data[0] % 13 : 1, &piecewise);
        if (result != again || whole != piecewise || whole.size() > Bound) {
            fprintf(stderr, "inflate: result %d and %d, %zu and %zu bytes\n", result, again, whole.size(),
                    piecewise.size());
            abort();
        }
    }
    return 0;
}

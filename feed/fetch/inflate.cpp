// Deflate decoding as RFC 1951 describes it, with the gzip (RFC 1952) and
// zlib (RFC 1950) wrappers around it. Huffman codes are decoded a bit at a
// time from their canonical counts: slower than table lookups, but small,
// and a feed's few megabytes take milliseconds.
#include "inflate.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

enum {
    WindowSize = 32768,   // the farthest a match reaches back
    InputSize = 4096,
    MaxBits = 15,
    MaxLiteralCodes = 286,
    MaxDistanceCodes = 30,
    FixedLiteralCodes = 288,
};

// Thrown inside the decoder only, caught by inflate_stream.
struct Failure {
    int result;
};

struct Huffman {
    unsigned short count[MaxBits + 1];    // codes of each length
    unsigned short symbol[FixedLiteralCodes];  // symbols ordered by code
};

const unsigned short LengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const unsigned char LengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const unsigned short DistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                         193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const unsigned char DistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which a dynamic block gives the code length code's lengths.
const unsigned char LengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

class Inflater {
public:
    Inflater(InflateRead read, void *read_context, InflateWrite write, void *write_context)
        : read_(read), read_context_(read_context), write_(write), write_context_(write_context)
    {
        for (unsigned n = 0; n < 256; ++n) {
            unsigned long c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xedb88320ul ^ (c >> 1) : c >> 1;
            crc_table_[n] = c;
        }
    }

    void gzip()
    {
        do {
            gzip_member();
        } while (more_input());
    }

    void deflate_or_zlib()
    {
        // A zlib header: method 8, a window of at most 32 KiB, no preset
        // dictionary, its check bits right. Anything else is bare deflate
        // data, whose first two bytes then start the first block.
        unsigned method = byte(), flags = byte();
        if ((method & 0x0f) == 8 && (method >> 4) <= 7 && (method * 256 + flags) % 31 == 0 && !(flags & 0x20)) {
            blocks();
            unsigned long adler = 0;
            for (int i = 0; i < 4; ++i)
                adler = adler << 8 | aligned_byte();
            if (adler != ((adler_b_ << 16) | adler_a_))
                throw Failure{InflateBroken};
            return;
        }
        bit_buffer_ = method | flags << 8;
        bit_count_ = 16;
        blocks();
    }

    void flush()
    {
        unsigned pending = unsigned(written_ - flushed_);
        if (pending && !write_(write_context_, window_ + flushed_ % WindowSize, pending))
            throw Failure{InflateStopped};
        flushed_ = written_;
    }

private:
    // Input.

    unsigned byte()
    {
        if (in_at_ == in_length_) {
            int got = read_(read_context_, input_, InputSize);
            if (got < 0)
                throw Failure{InflateReadFailed};
            if (got == 0)
                throw Failure{InflateCut};
            in_at_ = 0;
            in_length_ = unsigned(got);
        }
        return input_[in_at_++];
    }

    bool more_input()
    {
        if (in_at_ < in_length_)
            return true;
        int got = read_(read_context_, input_, InputSize);
        if (got < 0)
            throw Failure{InflateReadFailed};
        in_at_ = 0;
        in_length_ = unsigned(got);
        return got > 0;
    }

    unsigned bits(int need)
    {
        while (bit_count_ < need) {
            bit_buffer_ |= (unsigned long)byte() << bit_count_;
            bit_count_ += 8;
        }
        unsigned value = unsigned(bit_buffer_ & ((1ul << need) - 1));
        bit_buffer_ >>= need;
        bit_count_ -= need;
        return value;
    }

    // The next whole byte after the bits of a block: the rest of a partly
    // read byte is dropped, whole bytes still in the bit buffer come first.
    unsigned aligned_byte()
    {
        bits(bit_count_ & 7);
        return bit_count_ ? bits(8) : byte();
    }

    // Output.

    void put(unsigned char value)
    {
        window_[written_ % WindowSize] = value;
        ++written_;
        crc_ = crc_table_[(crc_ ^ value) & 0xff] ^ (crc_ >> 8);
        adler_a_ = (adler_a_ + value) % 65521;
        adler_b_ = (adler_b_ + adler_a_) % 65521;
        if (written_ - flushed_ == WindowSize)
            flush();
    }

    // Deflate.

    void blocks()
    {
        int last;
        do {
            last = int(bits(1));
            switch (bits(2)) {
            case 0:
                stored();
                break;
            case 1:
                fixed();
                break;
            case 2:
                dynamic();
                break;
            default:
                throw Failure{InflateBroken};
            }
        } while (!last);
    }

    void stored()
    {
        unsigned length = aligned_byte();
        length |= aligned_byte() << 8;
        unsigned complement = aligned_byte();
        complement |= aligned_byte() << 8;
        if (length != (~complement & 0xffff))
            throw Failure{InflateBroken};
        while (length--)
            put((unsigned char)aligned_byte());
    }

    // Builds a code from each symbol's length (0: unused). An
    // over-subscribed set is broken; an incomplete one is taken, and a code
    // that it lacks is broken when met.
    static void build(Huffman *code, const unsigned char *lengths, int symbols)
    {
        memset(code->count, 0, sizeof code->count);
        for (int s = 0; s < symbols; ++s)
            ++code->count[lengths[s]];
        int left = 1;
        for (int length = 1; length <= MaxBits; ++length) {
            left = left * 2 - code->count[length];
            if (left < 0)
                throw Failure{InflateBroken};
        }
        unsigned short offset[MaxBits + 2];
        offset[1] = 0;
        for (int length = 1; length <= MaxBits; ++length)
            offset[length + 1] = offset[length] + code->count[length];
        for (int s = 0; s < symbols; ++s)
            if (lengths[s])
                code->symbol[offset[lengths[s]]++] = (unsigned short)s;
    }

    unsigned decode(const Huffman &code)
    {
        int value = 0, first = 0, index = 0;
        for (int length = 1; length <= MaxBits; ++length) {
            value |= int(bits(1));
            int count = code.count[length];
            if (value - count < first)
                return code.symbol[index + (value - first)];
            index += count;
            first = (first + count) << 1;
            value <<= 1;
        }
        throw Failure{InflateBroken};
    }

    void codes(const Huffman &literals, const Huffman &distances)
    {
        for (;;) {
            unsigned symbol = decode(literals);
            if (symbol < 256) {
                put((unsigned char)symbol);
                continue;
            }
            if (symbol == 256)
                return;
            symbol -= 257;
            if (symbol >= 29)
                throw Failure{InflateBroken};
            unsigned length = LengthBase[symbol] + bits(LengthExtra[symbol]);
            unsigned which = decode(distances);
            if (which >= 30)
                throw Failure{InflateBroken};
            unsigned distance = DistanceBase[which] + bits(DistanceExtra[which]);
            if (distance > written_)
                throw Failure{InflateBroken};
            while (length--)
                put(window_[(written_ - distance) % WindowSize]);
        }
    }

    void fixed()
    {
        unsigned char lengths[FixedLiteralCodes];
        int s = 0;
        for (; s < 144; ++s)
            lengths[s] = 8;
        for (; s < 256; ++s)
            lengths[s] = 9;
        for (; s < 280; ++s)
            lengths[s] = 7;
        for (; s < FixedLiteralCodes; ++s)
            lengths[s] = 8;
        Huffman literals, distances;
        build(&literals, lengths, FixedLiteralCodes);
        memset(lengths, 5, MaxDistanceCodes);
        build(&distances, lengths, MaxDistanceCodes);
        codes(literals, distances);
    }

    void dynamic()
    {
        unsigned literal_count = bits(5) + 257, distance_count = bits(5) + 1, length_count = bits(4) + 4;
        if (literal_count > MaxLiteralCodes || distance_count > MaxDistanceCodes)
            throw Failure{InflateBroken};
        unsigned char lengths[MaxLiteralCodes + MaxDistanceCodes] = {};
        for (unsigned i = 0; i < length_count; ++i)
            lengths[LengthOrder[i]] = (unsigned char)bits(3);
        Huffman length_code;
        build(&length_code, lengths, 19);
        unsigned total = literal_count + distance_count;
        for (unsigned i = 0; i < total;) {
            unsigned symbol = decode(length_code);
            if (symbol < 16) {
                lengths[i++] = (unsigned char)symbol;
                continue;
            }
            unsigned char repeated = 0;
            unsigned times;
            if (symbol == 16) {
                if (i == 0)
                    throw Failure{InflateBroken};
                repeated = lengths[i - 1];
                times = 3 + bits(2);
            } else {
                times = symbol == 17 ? 3 + bits(3) : 11 + bits(7);
            }
            if (i + times > total)
                throw Failure{InflateBroken};
            while (times--)
                lengths[i++] = repeated;
        }
        if (lengths[256] == 0)  // no end of block
            throw Failure{InflateBroken};
        Huffman literals, distances;
        build(&literals, lengths, int(literal_count));
        build(&distances, lengths + literal_count, int(distance_count));
        codes(literals, distances);
    }

    // Gzip.

    void gzip_member()
    {
        if (byte() != 0x1f || byte() != 0x8b || byte() != 8)
            throw Failure{InflateBroken};
        unsigned flags = byte();
        if (flags & 0xe0)
            throw Failure{InflateBroken};
        for (int i = 0; i < 6; ++i)  // time, extra flags, system
            byte();
        if (flags & 4) {
            unsigned extra = byte();
            extra |= byte() << 8;
            while (extra--)
                byte();
        }
        for (unsigned text = 8; text <= 16; text <<= 1)  // a name, a comment
            if (flags & text)
                while (byte() != 0) {
                }
        if (flags & 2)
            byte(), byte();
        crc_ = 0xffffffffu;
        unsigned long long started = written_;
        blocks();
        unsigned long crc = 0, size = 0;
        for (int i = 0; i < 4; ++i)
            crc |= (unsigned long)aligned_byte() << (8 * i);
        for (int i = 0; i < 4; ++i)
            size |= (unsigned long)aligned_byte() << (8 * i);
        if (crc != ((crc_ ^ 0xffffffffu) & 0xffffffffu) || size != ((written_ - started) & 0xffffffffu))
            throw Failure{InflateBroken};
    }

    InflateRead read_;
    void *read_context_;
    InflateWrite write_;
    void *write_context_;
    unsigned char input_[InputSize];
    unsigned in_at_ = 0, in_length_ = 0;
    unsigned long bit_buffer_ = 0;
    int bit_count_ = 0;
    unsigned char window_[WindowSize];
    unsigned long long written_ = 0, flushed_ = 0;
    unsigned long crc_table_[256];
    unsigned long crc_ = 0xffffffffu;
    unsigned long adler_a_ = 1, adler_b_ = 0;
};

}  // namespace

int inflate_stream(int format, InflateRead read, void *read_context, InflateWrite write, void *write_context)
{
    std::unique_ptr<Inflater> inflater(new (std::nothrow) Inflater(read, read_context, write, write_context));
    if (!inflater)
        return InflateNoMemory;
    try {
        if (format == InflateGzip)
            inflater->gzip();
        else
            inflater->deflate_or_zlib();
        inflater->flush();
    } catch (const Failure &failure) {
        return failure.result;
    }
    return InflateDone;
}

// FNV-1a, 64 bits: a stable digest of a text, the same on every build and
// word size, for names and keys that must not change between versions.
#pragma once

const unsigned long long DigestStart = 14695981039346656037ull;

inline unsigned long long digest_byte(unsigned long long hash, unsigned char byte)
{
    return (hash ^ byte) * 1099511628211ull;
}

inline unsigned long long digest_text(unsigned long long hash, const char *text)
{
    for (; *text; ++text)
        hash = digest_byte(hash, (unsigned char)*text);
    return hash;
}

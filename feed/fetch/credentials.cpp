#include "credentials.h"

#include <cstdio>
#include <cstring>

namespace {

// Where the user information of url lies: from *begin up to the '@' at
// *at; false when the address has none.
bool find_user_information(const char *url, size_t *begin, size_t *at)
{
    const char *scheme_end = strstr(url, "://");
    if (!scheme_end)
        return false;
    // The scheme is letters, digits, '+', '-' and '.', before any '/'.
    for (const char *c = url; c < scheme_end; ++c)
        if (!strchr("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789+-.", *c))
            return false;
    size_t authority = size_t(scheme_end - url) + 3;
    size_t end = authority + strcspn(url + authority, "/?#");
    // The last '@' of the authority ends it: one written unescaped in a
    // password belongs to the password.
    const char *last = nullptr;
    for (const char *c = url + authority; c < url + end; ++c)
        if (*c == '@')
            last = c;
    if (!last)
        return false;
    *begin = authority;
    *at = size_t(last - url);
    return true;
}

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = char(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// Decodes the %XX escapes of text[0, length) into out (CredentialSize bytes).
bool decode(const char *text, size_t length, char *out)
{
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        int c = (unsigned char)text[i];
        if (c == '%' && i + 2 < length && hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
            c = hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]);
            i += 2;
        }
        if (c < 0x20 || c == 0x7f || written + 1 >= CredentialSize)
            return false;
        out[written++] = char(c);
    }
    out[written] = '\0';
    return true;
}

}  // namespace

int address_credentials(const char *url, char *user, char *password)
{
    user[0] = password[0] = '\0';
    size_t begin, at;
    if (!url || !find_user_information(url, &begin, &at) || at == begin)
        return 0;
    const char *colon = static_cast<const char *>(memchr(url + begin, ':', at - begin));
    size_t user_end = colon ? size_t(colon - url) : at;
    if (user_end == begin || !decode(url + begin, user_end - begin, user) ||
        (colon && !decode(colon + 1, at - user_end - 1, password))) {
        user[0] = password[0] = '\0';
        return 0;
    }
    return 1;
}

size_t hide_password(const char *url, char *out, size_t size, int shown)
{
    if (size == 0)
        return 0;
    size_t begin, at;
    if (!url || !find_user_information(url, &begin, &at)) {
        int length = snprintf(out, size, "%s", url ? url : "");
        return length < 0 ? 0 : size_t(length) < size ? size_t(length) : size - 1;
    }
    const char *colon = static_cast<const char *>(memchr(url + begin, ':', at - begin));
    int length;
    if (shown == CredentialsLeftOut)
        length = snprintf(out, size, "%.*s%s", int(begin), url, url + at + 1);
    else if (colon)
        length = snprintf(out, size, "%.*s:***%s", int(colon - url), url, url + at);
    else
        length = snprintf(out, size, "%s", url);  // a user without a password hides nothing
    return length < 0 ? 0 : size_t(length) < size ? size_t(length) : size - 1;
}

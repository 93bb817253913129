#include "win32_shim.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <dlfcn.h>
#include <iconv.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

void AcquireSRWLockExclusive(SRWLOCK *lock) { pthread_mutex_lock(&lock->mutex); }
void ReleaseSRWLockExclusive(SRWLOCK *lock) { pthread_mutex_unlock(&lock->mutex); }
BOOL TryAcquireSRWLockExclusive(SRWLOCK *lock) { return pthread_mutex_trylock(&lock->mutex) == 0; }

int wsprintfA(char *out, const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int n = vsnprintf(out, 1024, format, args);
    va_end(args);
    if (n < 0) {
        out[0] = '\0';
        return 0;
    }
    return n > 1023 ? 1023 : n;
}

void GetSystemTime(SYSTEMTIME *now)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    struct tm utc;
    gmtime_r(&ts.tv_sec, &utc);
    now->wYear = WORD(utc.tm_year + 1900);
    now->wMonth = WORD(utc.tm_mon + 1);
    now->wDayOfWeek = WORD(utc.tm_wday);
    now->wDay = WORD(utc.tm_mday);
    now->wHour = WORD(utc.tm_hour);
    now->wMinute = WORD(utc.tm_min);
    now->wSecond = WORD(utc.tm_sec);
    now->wMilliseconds = WORD(ts.tv_nsec / 1000000);
}

void OutputDebugStringA(const char *text) { (void)text; }

HMODULE GetModuleHandleA(const char *name)
{
    return name ? nullptr : dlopen(nullptr, RTLD_NOW);
}

static FARPROC LookUpSymbol(HMODULE module, const char *name)
{
    return reinterpret_cast<FARPROC>(dlsym(module, name));
}

FARPROC (*ShimProcLookup)(HMODULE module, const char *name) = LookUpSymbol;

FARPROC GetProcAddress(HMODULE module, const char *name) { return ShimProcLookup(module, name); }

BOOL MoveFileExA(const char *from, const char *to, DWORD)
{
    return rename(from, to) == 0;
}

BOOL DeleteFileA(const char *path) { return unlink(path) == 0; }

BOOL CopyFileA(const char *from, const char *to, BOOL failIfExists)
{
    if (failIfExists && access(to, F_OK) == 0)
        return FALSE;
    FILE *in = fopen(from, "rb");
    if (!in)
        return FALSE;
    FILE *out = fopen(to, "wb");
    if (!out) {
        fclose(in);
        return FALSE;
    }
    char chunk[4096];
    size_t n;
    bool ok = true;
    while ((n = fread(chunk, 1, sizeof chunk, in)) > 0)
        ok = ok && fwrite(chunk, 1, n, out) == n;
    fclose(in);
    return (fclose(out) == 0 && ok) ? TRUE : FALSE;
}

BOOL CreateDirectoryA(const char *path, void *)
{
    return mkdir(path, 0777) == 0;
}

namespace {

// The iconv name of a Windows code page, or null for one we do not stand in for.
const char *iconv_name(UINT code_page)
{
    static char name[16];
    if (code_page == CP_ACP || code_page == 932)
        return "CP932";
    if (code_page == CP_UTF8)
        return "UTF-8";
    if (code_page == 20932)
        return "EUC-JP";
    if (code_page == 20866)
        return "KOI8-R";
    if (code_page == 21866)
        return "KOI8-U";
    if (code_page == 54936)
        return "GB18030";
    if (code_page == 10000)
        return "MACINTOSH";
    if ((code_page >= 1250 && code_page <= 1258) || code_page == 874 || code_page == 936 || code_page == 949 ||
        code_page == 950) {
        snprintf(name, sizeof name, "CP%u", code_page);
        return name;
    }
    if (code_page >= 28591 && code_page <= 28605) {
        snprintf(name, sizeof name, "ISO-8859-%u", code_page - 28590);
        return name;
    }
    return nullptr;
}

// Converts in whole with iconv; each input unit that does not convert gives
// `replacement` instead, or fails the conversion when there is none.
bool convert_all(const char *to, const char *from, const char *in, size_t in_size, size_t unit,
                 const char *replacement, size_t replacement_size, std::string *out, bool *replaced)
{
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1))
        return false;
    out->clear();
    char chunk[4096];
    char *src = const_cast<char *>(in);
    size_t left = in_size;
    bool ok = true;
    while (left > 0) {
        char *dst = chunk;
        size_t room = sizeof chunk;
        size_t done = iconv(cd, &src, &left, &dst, &room);
        out->append(chunk, size_t(dst - chunk));
        if (done != size_t(-1) || errno == E2BIG)
            continue;
        if (!replacement) {
            ok = false;
            break;
        }
        size_t skip = unit < left ? unit : left;
        src += skip, left -= skip;
        out->append(replacement, replacement_size);
        *replaced = true;
    }
    iconv_close(cd);
    return ok;
}

}  // namespace

int MultiByteToWideChar(UINT code_page, DWORD flags, const char *text, int length, WCHAR *wide, int wide_size)
{
    const char *name = iconv_name(code_page);
    if (!name || !text || length == 0)
        return 0;
    size_t size = length < 0 ? strlen(text) + 1 : size_t(length);
    const char fffd[] = "\xfd\xff";
    std::string utf16;
    bool replaced = false;
    if (!convert_all("UTF-16LE", name, text, size, 1, (flags & MB_ERR_INVALID_CHARS) ? nullptr : fffd, 2, &utf16,
                     &replaced))
        return 0;
    size_t count = utf16.size() / 2;
    if (wide_size == 0)
        return int(count);
    if (count > size_t(wide_size))
        return 0;
    for (size_t i = 0; i < count; ++i)
        wide[i] = WCHAR(uint8_t(utf16[2 * i]) | uint8_t(utf16[2 * i + 1]) << 8);
    return int(count);
}

int WideCharToMultiByte(UINT code_page, DWORD, const WCHAR *wide, int wide_length, char *text, int size,
                        const char *default_char, BOOL *used_default)
{
    const char *name = iconv_name(code_page);
    if (!name || !wide || wide_length == 0)
        return 0;
    size_t count = 0;
    if (wide_length < 0)
        while (wide[count++]) {
        }
    else
        count = size_t(wide_length);
    std::string utf16;
    for (size_t i = 0; i < count; ++i)
        utf16 += char(wide[i] & 0xff), utf16 += char(wide[i] >> 8);
    std::string bytes;
    bool replaced = false;
    const char *replacement = default_char ? default_char : "?";
    if (!convert_all(name, "UTF-16LE", utf16.data(), utf16.size(), 2, replacement, 1, &bytes, &replaced))
        return 0;
    if (used_default)
        *used_default = replaced;
    if (size == 0)
        return int(bytes.size());
    if (bytes.size() > size_t(size))
        return 0;
    memcpy(text, bytes.data(), bytes.size());
    return int(bytes.size());
}

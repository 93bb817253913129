#include "win32_shim.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <dlfcn.h>
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

// Stand-in for the few Win32 types and calls that the portable core uses, so
// that the core builds and runs natively (tests, sanitizers, fuzzing).
// Native builds only; the Windows build includes <windows.h> instead.
#pragma once
#ifdef _WIN32
#error "win32_shim.h is for native builds only"
#endif
#include <cstddef>
#include <cstdint>
#include <pthread.h>

#define WINAPI
#define CALLBACK
#define MAX_PATH 260

typedef int BOOL;
typedef unsigned char BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef char16_t WCHAR;  // UTF-16, as on Windows
typedef void *HANDLE;
typedef void *HWND;
typedef void *HMENU;
typedef void *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;
typedef intptr_t INT_PTR;
typedef int (*FARPROC)();

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct SYSTEMTIME {
    WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

// A slim reader/writer lock, used exclusively only.
struct SRWLOCK {
    pthread_mutex_t mutex;
};
#define SRWLOCK_INIT {PTHREAD_MUTEX_INITIALIZER}
void AcquireSRWLockExclusive(SRWLOCK *lock);
void ReleaseSRWLockExclusive(SRWLOCK *lock);
BOOL TryAcquireSRWLockExclusive(SRWLOCK *lock);

// Formats like the system's wsprintfA: at most 1,023 characters and a NUL.
int wsprintfA(char *out, const char *format, ...);
void GetSystemTime(SYSTEMTIME *now);
void OutputDebugStringA(const char *text);

HMODULE GetModuleHandleA(const char *name);
FARPROC GetProcAddress(HMODULE module, const char *name);
// What GetProcAddress asks; tests put their own in to play different hosts.
extern FARPROC (*ShimProcLookup)(HMODULE module, const char *name);

#define MOVEFILE_REPLACE_EXISTING 0x1
#define MOVEFILE_WRITE_THROUGH 0x8
BOOL MoveFileExA(const char *from, const char *to, DWORD flags);
BOOL DeleteFileA(const char *path);
BOOL CopyFileA(const char *from, const char *to, BOOL failIfExists);
BOOL CreateDirectoryA(const char *path, void *security);

// Code page conversions backed by the C library's iconv. The ANSI code page
// is 932, as under Wine in a Japanese locale, where the plug-in runs.
#define CP_ACP 0
#define CP_UTF8 65001
#define MB_ERR_INVALID_CHARS 0x8
#define WC_NO_BEST_FIT_CHARS 0x400
int MultiByteToWideChar(UINT code_page, DWORD flags, const char *text, int length, WCHAR *wide, int wide_size);
int WideCharToMultiByte(UINT code_page, DWORD flags, const WCHAR *wide, int wide_length, char *text, int size,
                        const char *default_char, BOOL *used_default);

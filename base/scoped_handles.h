// Holders that release a handle, a C file or a heap block when they go out of
// scope, so that every return and every exception releases it.
#pragma once
#include "native/platform.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <wininet.h>
#endif

// Owns one value of Traits::Type. Traits::empty() is the value that holds
// nothing; Traits::release(value) frees a held one. A file whose last writes
// must be known to have succeeded is closed by hand, where fclose's result
// can be looked at.
template <typename Traits>
class Scoped {
public:
    typedef typename Traits::Type Type;

    explicit Scoped(Type value = Traits::empty()) : value_(value) {}
    ~Scoped() { release_held(); }
    Scoped(const Scoped &) = delete;
    Scoped &operator=(const Scoped &) = delete;

    Type get() const { return value_; }
    bool held() const { return value_ != Traits::empty(); }

    // Gives up what is held, unfreed, to the caller.
    Type release()
    {
        Type value = value_;
        value_ = Traits::empty();
        return value;
    }

    // Frees what is held and holds value instead.
    void reset(Type value)
    {
        release_held();
        value_ = value;
    }

private:
    void release_held()
    {
        if (held())
            Traits::release(value_);
    }

    Type value_;
};

struct FileTraits {
    typedef FILE *Type;
    static Type empty() { return nullptr; }
    static void release(Type file) { fclose(file); }
};

// A block from malloc.
template <typename T>
struct HeapBlockTraits {
    typedef T *Type;
    static Type empty() { return nullptr; }
    static void release(Type block) { free(block); }
};

typedef Scoped<FileTraits> ScopedFile;
template <typename T>
using ScopedHeapBlock = Scoped<HeapBlockTraits<T>>;

#ifdef _WIN32
// A search started by FindFirstFileA, which gives INVALID_HANDLE_VALUE when it
// finds nothing.
struct FindHandleTraits {
    typedef HANDLE Type;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static void release(Type search) { FindClose(search); }
};

// A WinINet session, connection or request.
struct InternetHandleTraits {
    typedef HINTERNET Type;
    static Type empty() { return nullptr; }
    static void release(Type handle) { InternetCloseHandle(handle); }
};

// A file opened by CreateFileA, which gives INVALID_HANDLE_VALUE when it fails.
struct FileHandleTraits {
    typedef HANDLE Type;
    static Type empty() { return INVALID_HANDLE_VALUE; }
    static void release(Type file) { CloseHandle(file); }
};

// A thread or an event, which give nullptr when they fail.
struct ObjectHandleTraits {
    typedef HANDLE Type;
    static Type empty() { return nullptr; }
    static void release(Type object) { CloseHandle(object); }
};

typedef Scoped<FindHandleTraits> ScopedFindHandle;
typedef Scoped<ObjectHandleTraits> ScopedObjectHandle;
typedef Scoped<FileHandleTraits> ScopedFileHandle;
typedef Scoped<InternetHandleTraits> ScopedInternetHandle;
#endif

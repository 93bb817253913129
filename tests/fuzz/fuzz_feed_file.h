// What the fuzz targets that convert a feed file share: the file each input
// is written to, and the check that stops a run with what failed.
#pragma once
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

// The path of the feed file of this process (name extension given), removed
// at exit. It is rewritten for every input: in memory where possible, since
// truncating a file on disk makes every run wait for the disk.
inline const std::string &FuzzFeedPath(const char *extension)
{
    static std::string path;
    if (path.empty()) {
        const char *folder = getenv("TMPDIR");
        if (!folder)
            folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = std::string(folder) + "/kiv-fuzz-" + std::to_string(getpid()) + extension;
        atexit([] { unlink(path.c_str()); });
    }
    return path;
}

// Stops the run, naming the target and what failed, unless condition holds.
inline void FuzzCheck(bool condition, const char *target, const char *what)
{
    if (!condition) {
        fprintf(stderr, "%s: %s\n", target, what);
        abort();
    }
}

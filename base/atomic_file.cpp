#include "atomic_file.h"

#include "native/platform.h"

#include <cstdio>
#include <string>

int ReplaceFileAtomically(const char *path, const std::function<bool(const char *temporary)> &fill)
{
    std::string temporary = std::string(path) + ".new";
    if (fill(temporary.c_str()) &&
        MoveFileExA(temporary.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 1;
    DeleteFileA(temporary.c_str());
    return 0;
}

int WriteFileAtomically(const char *path, const char *bytes, size_t length)
{
    return ReplaceFileAtomically(path, [&](const char *temporary) {
        FILE *file = fopen(temporary, "wb");
        if (!file)
            return false;
        bool ok = fwrite(bytes, 1, length, file) == length;
        ok = (fflush(file) == 0) && ok;
        ok = (fclose(file) == 0) && ok;
        return ok;
    });
}

#include "data_files.h"
#include "process_values.h"
#include "scoped_handles.h"

#include <cstdio>

void delete_data_files(const std::string &name_pattern,
                       const std::function<bool(const char *name, const char *path)> &doomed)
{
    char pattern[MAX_PATH], path[MAX_PATH];
    if (snprintf(pattern, sizeof pattern, "%s\\%s", DataFolderPath, name_pattern.c_str()) >= int(sizeof pattern))
        return;
    WIN32_FIND_DATAA found;
    ScopedFindHandle search(FindFirstFileA(pattern, &found));
    if (!search.held())
        return;
    do {
        if (snprintf(path, sizeof path, "%s\\%s", DataFolderPath, found.cFileName) < int(sizeof path) &&
            doomed(found.cFileName, path))
            DeleteFileA(path);
    } while (FindNextFileA(search.get(), &found));
}

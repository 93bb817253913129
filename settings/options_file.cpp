#include "options_file.h"

#include "base/atomic_file.h"
#include "base/process_values.h"
#include "base/scoped_handles.h"

#include <cstdio>
#include <cstring>

namespace {

const char OneMailPerItem[] = "one-mail-per-item=";

int OptionsPath(char *path, size_t size)
{
    int length = snprintf(path, size, "%s\\options.ini", DataFolderPath);
    return length > 0 && size_t(length) < size;
}

}  // namespace

int ReadOneMailPerItem()
{
    char path[MAX_PATH];
    if (!OptionsPath(path, sizeof path))
        return 0;
    ScopedFile file(fopen(path, "rb"));
    if (!file.held())
        return 0;
    // Lines longer than the buffer come in pieces, none of which starts a
    // line of this name.
    char line[64];
    int flag = 0;
    bool line_start = true;
    while (fgets(line, sizeof line, file.get())) {
        if (line_start && strncmp(line, OneMailPerItem, sizeof OneMailPerItem - 1) == 0)
            flag = line[sizeof OneMailPerItem - 1] == '1' ? 1 : 0;
        line_start = strchr(line, '\n') != nullptr;
    }
    return flag;
}

int WriteOneMailPerItem(int flag)
{
    char path[MAX_PATH], text[64];
    if (!OptionsPath(path, sizeof path))
        return 0;
    int length = snprintf(text, sizeof text, "%s%d\r\n", OneMailPerItem, flag ? 1 : 0);
    return WriteFileAtomically(path, text, size_t(length));
}

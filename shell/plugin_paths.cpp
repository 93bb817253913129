#include "plugin_paths.h"

#include <cstring>

namespace {

// `length` bytes of `text` followed by `suffix`, or the empty text when that
// does not fit in `size` bytes with its terminator.
void JoinOrEmpty(char *out, size_t size, const char *text, size_t length, const char *suffix)
{
    size_t suffixLength = strlen(suffix);
    if (size == 0)
        return;
    if (length + suffixLength + 1 > size) {
        out[0] = '\0';
        return;
    }
    memcpy(out, text, length);
    memcpy(out + length, suffix, suffixLength + 1);
}

}  // namespace

void DerivePluginPaths(const char *modulePath, char *settingsPath, char *dataFolderPath, size_t size)
{
    const char *dot = strrchr(modulePath, '.');
    JoinOrEmpty(settingsPath, size, modulePath, dot ? size_t(dot - modulePath) : strlen(modulePath), ".ini");
    const char *slash = strrchr(modulePath, '\\');
    JoinOrEmpty(dataFolderPath, size, modulePath, slash ? size_t(slash - modulePath) : 0, "\\KIV");
}

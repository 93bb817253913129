// Where the plug-in keeps its files: named after the library, beside it.
#pragma once
#include <cstddef>

// From the library's full path: the settings file (the extension replaced by
// ".ini", or ".ini" appended when the path has no ".") and the data folder
// (the subfolder KIV beside the library). Both outputs hold `size` bytes. A
// path that would not fit is left empty rather than cut: a cut path would
// name some other file.
void DerivePluginPaths(const char *modulePath, char *settingsPath, char *dataFolderPath, size_t size);

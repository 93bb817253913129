// The data folder's own files, found by name.
#pragma once
#include <functional>
#include <string>

// Deletes the files of the data folder whose names match name_pattern (with
// the wildcards of FindFirstFile) and that doomed, given a file's name and
// path, picks. A file still open elsewhere stays.
void delete_data_files(const std::string &name_pattern,
                       const std::function<bool(const char *name, const char *path)> &doomed);

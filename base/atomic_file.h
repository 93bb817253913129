// Whole-file replacement: a file is written beside its destination and moved
// over it, so that an interruption at any moment leaves either the old file
// or the new one, never a cut one.
#pragma once
#include <cstddef>
#include <functional>

// Replaces path by what fill writes to the temporary path it is given
// (path + ".new"); fill gives false when it could not write everything.
// 1 when path was replaced; else 0, path untouched and the temporary gone.
int ReplaceFileAtomically(const char *path, const std::function<bool(const char *temporary)> &fill);

// Replaces path by the given bytes.
int WriteFileAtomically(const char *path, const char *bytes, size_t length);

// The host's folders: each appended message is kept byte for byte as a file.
#pragma once
#include <string>

// Stores `message` in the folder named by `folder` and returns the file's path
// (empty when it could not be written).
std::string StoreMessage(const std::string &folder, const std::string &message);

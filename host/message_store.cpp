#include "message_store.h"

#include "host_state.h"

#include <cstdio>
#include <map>

namespace {

// The folder identifier becomes a path below the store: its backslashes
// separate folders, and characters a file name cannot hold become "_".
std::string FolderPath(const std::string &folder)
{
    std::string path = Options.storeFolder;
    CreateDirectoryA(path.c_str(), nullptr);
    std::string part;
    for (size_t i = 0; i <= folder.size(); ++i) {
        char c = i < folder.size() ? folder[i] : '\\';
        if (c != '\\') {
            part += (c == ':' || c == '*' || c == '?' || c == '"' || c == '<' || c == '>' || c == '|' || c == '/')
                        ? '_'
                        : c;
            continue;
        }
        if (part.empty() || part == "." || part == "..")
            part = "_";
        path += "\\" + part;
        CreateDirectoryA(path.c_str(), nullptr);
        part.clear();
    }
    return path;
}

}  // namespace

std::string StoreMessage(const std::string &folder, const std::string &message)
{
    HostLock();
    std::string directory = FolderPath(folder);
    std::string path;
    // The search for a free name starts after the last one taken, so that a
    // message costs the same however many the folder holds.
    static std::map<std::string, int> nextNumber;
    int &first = nextNumber[directory];
    for (int n = first > 0 ? first : 1; n < 100000; ++n) {
        char name[16];
        snprintf(name, sizeof name, "%05d.eml", n);
        std::string candidate = directory + "\\" + name;
        if (GetFileAttributesA(candidate.c_str()) == INVALID_FILE_ATTRIBUTES) {
            path = candidate;
            first = n + 1;
            break;
        }
    }
    bool written = false;
    if (!path.empty()) {
        if (FILE *file = fopen(path.c_str(), "wb")) {
            written = fwrite(message.data(), 1, message.size(), file) == message.size();
            written = fclose(file) == 0 && written;
        }
    }
    HostUnlock();
    return written ? path : std::string();
}

#include "patrol_log_file.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The end of a log file, as much of it as a log holds before it is rotated:
// a file that grew beyond it (another program's writes) is read from there.
// Shared every way, so that a patrol may append to it or rotate it meanwhile.
int read_log_end(const char *path, std::string *text)
{
    ScopedFileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file.held() || !GetFileSizeEx(file.get(), &size))
        return 0;
    const LONGLONG most = LONGLONG(MaxPatrolLogBytes) + PatrolLogLineSize;
    LARGE_INTEGER start;
    start.QuadPart = size.QuadPart > most ? size.QuadPart - most : 0;
    if (!SetFilePointerEx(file.get(), start, nullptr, FILE_BEGIN))
        return 0;
    text->assign(size_t(size.QuadPart - start.QuadPart), '\0');
    DWORD read = 0;
    if (!text->empty() && !ReadFile(file.get(), &(*text)[0], DWORD(text->size()), &read, nullptr))
        return 0;
    text->resize(read);
    return 1;
}

}  // namespace

PatrolLog::PatrolLog(const char *folder)
{
    if (snprintf(path_, sizeof path_, "%s\\patrol.log", folder) >= int(sizeof path_))
        given_up_ = true;
}

// Opened for appending only and shared every way, so that another process
// may read the log, and another patrol (or a handle that a patrol ended by
// force left open) may append or rotate it: each line goes whole to the end.
// One that holds the log exclusively makes the open fail at once, and this
// patrol logs nothing.
bool PatrolLog::open()
{
    file_.reset(CreateFileA(path_, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_.held())
        return false;
    DWORD high = 0;
    DWORD low = GetFileSize(file_.get(), &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        file_.reset(INVALID_HANDLE_VALUE);
        return false;
    }
    size_ = high ? (unsigned long)-1 : low;
    return true;
}

// The full log becomes the old one; a new one is opened.
bool PatrolLog::rotate()
{
    char old[MAX_PATH];
    if (snprintf(old, sizeof old, "%s.1", path_) >= int(sizeof old))
        return false;
    file_.reset(INVALID_HANDLE_VALUE);
    return MoveFileExA(path_, old, MOVEFILE_REPLACE_EXISTING) && open();
}

void PatrolLog::write(const char *url, const FeedOutcome &outcome)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char line[PatrolLogLineSize];
    size_t length = format_patrol_line(now, url, outcome, line, sizeof line);
    if (!length)
        return;
    OutputDebugStringA(line);
    if (given_up_)
        return;
    if (!file_.held() && !open()) {
        given_up_ = true;
        return;
    }
    if (size_ > MaxPatrolLogBytes - length && !rotate()) {
        given_up_ = true;
        return;
    }
    DWORD written = 0;
    if (!WriteFile(file_.get(), line, DWORD(length), &written, nullptr) || written != length) {
        given_up_ = true;
        return;
    }
    size_ += written;
}

int read_held_back_patrols(const char *folder, const char *url, int most)
{
    char path[MAX_PATH];
    std::string text;
    if (snprintf(path, sizeof path, "%s\\patrol.log", folder) >= int(sizeof path) || !read_log_end(path, &text))
        return 0;
    return held_back_patrols(text.data(), text.size(), url, most);
}

int read_last_verdict(const char *folder, const char *url, std::string *stamp, std::string *words)
{
    char path[MAX_PATH];
    std::string text;
    for (const char *name : {"patrol.log", "patrol.log.1"}) {
        if (snprintf(path, sizeof path, "%s\\%s", folder, name) >= int(sizeof path))
            return 0;
        if (read_log_end(path, &text) && find_last_verdict(text.data(), text.size(), url, stamp, words))
            return 1;
    }
    return 0;
}

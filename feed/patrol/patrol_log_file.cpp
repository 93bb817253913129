#include "patrol_log_file.h"

#include <cstdio>
#include <cstring>

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

#include "host_state.h"

#include <cstdarg>
#include <cstdio>
#include <map>

HostOptions Options;
HWND MainWindow;
HWND LogWindow;

namespace {
CRITICAL_SECTION lock;
struct LockInit {
    LockInit() { InitializeCriticalSection(&lock); }
} lockInit;

std::vector<RegisteredCommand> commands;
int appends;
std::map<std::string, int> issuedCommands;
}  // namespace

void HostLock() { EnterCriticalSection(&lock); }
void HostUnlock() { LeaveCriticalSection(&lock); }

int AddRegisteredCommand(const char *text, int menuType, BOOL(WINAPI *callback)(HWND, LPARAM))
{
    HostLock();
    int id = 40001 + int(commands.size());
    commands.push_back({id, menuType, text ? text : "", callback});
    HostUnlock();
    return id;
}

bool FindRegisteredCommand(int id, RegisteredCommand &command)
{
    HostLock();
    bool found = false;
    for (const RegisteredCommand &c : commands)
        if (id == 0 || c.id == id) {
            command = c;
            found = true;
        }
    HostUnlock();
    return found;
}

int CountAppends()
{
    HostLock();
    int n = appends;
    HostUnlock();
    return n;
}

int CountCommands(const char *name)
{
    HostLock();
    auto it = issuedCommands.find(name);
    int n = it == issuedCommands.end() ? 0 : it->second;
    HostUnlock();
    return n;
}

void RecordAppend()
{
    HostLock();
    ++appends;
    HostUnlock();
}

void RecordCommand(const char *name)
{
    HostLock();
    ++issuedCommands[name ? name : ""];
    HostUnlock();
}

void HostPrint(const char *format, ...)
{
    char line[8192];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    HostLock();
    fputs(line, stdout);
    fputc('\n', stdout);
    fflush(stdout);
    HostUnlock();
    // Posted, not sent: the worker must never wait for the window's thread.
    if (LogWindow)
        PostMessageA(MainWindow, WM_HOST_LOG, 0, LPARAM(new std::string(line)));
}

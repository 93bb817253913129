// The stand-in host: loads the plug-in as the mail client does and calls its
// callbacks, from a script (command line or standard input) or, with
// --window, from a small window a person can use.
#include "box_watcher.h"
#include "dialog_driver.h"
#include "host_state.h"
#include "text_codec.h"

#include <psapi.h>
#include <tlhelp32.h>
#include <wininet.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

namespace {

HMODULE plugin;
HMENU toolsMenu;
const UINT_PTR MinuteTimer = 1;
const int SetupMenuId = 30001, ExitMenuId = 30002;

typedef int(WINAPI *NoArgCallback)();
typedef int(WINAPI *MenuInitCallback)(HWND, HMENU, int);
typedef int(WINAPI *WindowCallback)(HWND);
typedef int(WINAPI *InfoCallback)(char *);

template <class T> T PluginFunction(const char *name)
{
    FARPROC function = plugin ? GetProcAddress(plugin, name) : nullptr;
    if (!function)
        HostPrint("error: the plug-in exports no %s", name);
    return reinterpret_cast<T>(reinterpret_cast<void (*)()>(function));
}

// Waits while keeping this thread's windows answering.
void PumpFor(DWORD milliseconds)
{
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds)
            return;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds - elapsed < 20 ? milliseconds - elapsed : 20,
                                  QS_ALLINPUT);
    }
}

bool WaitUntil(bool (*done)(int, const std::string &), int count, const std::string &name, DWORD timeout)
{
    DWORD start = GetTickCount();
    while (!done(count, name)) {
        if (GetTickCount() - start >= timeout)
            return false;
        PumpFor(20);
    }
    return true;
}

void LoadPlugin()
{
    plugin = LoadLibraryA(Options.pluginPath.c_str());
    if (plugin)
        HostPrint("load ok");
    else
        HostPrint("load refused error=%lu", static_cast<unsigned long>(GetLastError()));
}

void ShowInfo()
{
    if (auto info = PluginFunction<InfoCallback>("QNC_OnPlugInInfo")) {
        char record[1024];
        memset(record, 0x7f, sizeof record);  // untouched bytes stay visible
        int result = info(record);
        for (int field = 0; field < 4; ++field) {
            static const char *names[] = {"name", "author", "version", "description"};
            std::string text(record + field * 80, strnlen(record + field * 80, 80));
            HostPrint("info %s=\"%s\" hex=%s", names[field], ForTerminal(text).c_str(), HexBytes(text).c_str());
        }
        HostPrint("info result=%d", result);
    }
}

void PrintMenu(HMENU menu)
{
    int count = GetMenuItemCount(menu);
    HostPrint("menu items=%d", count);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA item;
        memset(&item, 0, sizeof item);
        item.cbSize = sizeof item;
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING;
        item.dwTypeData = text;
        item.cch = sizeof text;
        GetMenuItemInfoA(menu, UINT(i), TRUE, &item);
        if (item.fType & MFT_SEPARATOR)
            HostPrint("menu %d separator", i);
        else
            HostPrint("menu %d id=%u text=\"%s\" hex=%s", i, item.wID, ForTerminal(text).c_str(), HexBytes(text).c_str());
    }
}

void InitMenu(int menuType)
{
    auto menuInit = PluginFunction<MenuInitCallback>("QNC_OnMenuInit");
    if (!menuInit)
        return;
    HMENU menu = CreatePopupMenu();
    AppendMenuA(menu, MF_STRING, SetupMenuId, "Plug-in settings...");
    int result = menuInit(MainWindow, menu, menuType);
    HostPrint("menuinit type=%d result=%d", menuType, result);
    PrintMenu(menu);
    DestroyMenu(menu);
}

void RunCommand(int id)
{
    RegisteredCommand command;
    if (!FindRegisteredCommand(id, command)) {
        HostPrint("error: no command %d is registered", id);
        return;
    }
    BOOL result = command.callback(MainWindow, 0);
    HostPrint("commanded id=%d result=%d", command.id, result);
}

void Setup()
{
    if (auto setup = PluginFunction<WindowCallback>("QNC_OnPlugInSetup"))
        HostPrint("setup result=%d", setup(MainWindow));
}

// The callbacks with nothing to do, each called with zero arguments of its count.
void CallIdleCallbacks()
{
    struct Idle {
        const char *name;
        int arguments;
    } idle[] = {{"QNC_OnStart", 0},  {"QNC_OnExit", 0},    {"QNC_OnOpenFolder", 1}, {"QNC_OnOpenMail", 1},
                {"QNC_OnOpenCompose", 2}, {"QNC_OnOutgoing", 2}, {"QNC_OnKeyDispatch", 3}, {"QNC_OnRetrieve", 2},
                {"QNC_OnSend", 1},   {"QNC_OnFinishRetrieve", 1}, {"QNC_OnDragDrop", 4}};
    for (const Idle &c : idle) {
        FARPROC function = GetProcAddress(plugin, c.name);
        if (!function) {
            HostPrint("callback %s missing", c.name);
            continue;
        }
        void (*raw)() = reinterpret_cast<void (*)()>(function);
        int result = 0;
        switch (c.arguments) {
        case 0: result = reinterpret_cast<int(WINAPI *)()>(raw)(); break;
        case 1: result = reinterpret_cast<int(WINAPI *)(int)>(raw)(0); break;
        case 2: result = reinterpret_cast<int(WINAPI *)(int, int)>(raw)(0, 0); break;
        case 3: result = reinterpret_cast<int(WINAPI *)(int, int, int)>(raw)(0, 0, 0); break;
        case 4: result = reinterpret_cast<int(WINAPI *)(int, int, int, int)>(raw)(0, 0, 0, 0); break;
        }
        HostPrint("callback %s result=%d", c.name, result);
    }
}

// A request of the host's own and heap blocks of many sizes, as the mail
// client makes them: a lock of the HTTP stack or of the heap that a
// plug-in's thread left taken would hold this up for ever.
void FetchAsHost(const std::string &url)
{
    HINTERNET session = InternetOpenA("kivhost", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    // Not kept for another request: a kept connection's reaper thread would
    // blur the count of threads that the tests compare.
    const char headers[] = "Connection: close\r\n";
    HINTERNET request = session ? InternetOpenUrlA(session, url.c_str(), headers, DWORD(sizeof headers - 1),
                                                   INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE, 0)
                                : nullptr;
    DWORD status = 0, size = sizeof status, bytes = 0, read = 0;
    if (request)
        HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr);
    char buffer[4096];
    while (request && InternetReadFile(request, buffer, sizeof buffer, &read) && read)
        bytes += read;
    if (request)
        InternetCloseHandle(request);
    if (session)
        InternetCloseHandle(session);
    int blocks = 0;
    for (SIZE_T length = 16; length <= (SIZE_T(1) << 22); length *= 4) {
        void *block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length);
        std::string text(length, 'k');
        if (block && text.size() == length)
            ++blocks;
        HeapFree(GetProcessHeap(), 0, block);
    }
    HostPrint("fetch status=%lu bytes=%lu heap-blocks=%d", static_cast<unsigned long>(status),
              static_cast<unsigned long>(bytes), blocks);
}

// The process's threads: a plug-in leaves none behind when it is unloaded.
int CountThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry;
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == GetCurrentProcessId();
    if (snapshot != INVALID_HANDLE_VALUE)
        CloseHandle(snapshot);
    return count;
}

// What a plug-in costs a host that runs for weeks: the address space taken
// (reserved or committed, as the system's own walk of it counts), the
// committed part, the private and resident memory, handles and threads.
void PrintMemory()
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    unsigned long long taken = 0, committed = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *at = static_cast<const char *>(system.lpMinimumApplicationAddress);
         at < system.lpMaximumApplicationAddress && VirtualQuery(at, &region, sizeof region);
         at = static_cast<const char *>(region.BaseAddress) + region.RegionSize) {
        if (region.State != MEM_FREE)
            taken += region.RegionSize;
        if (region.State == MEM_COMMIT)
            committed += region.RegionSize;
    }
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS *>(&counters),
                         sizeof counters);
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    HostPrint("memory address-kb=%llu committed-kb=%llu private-kb=%llu resident-kb=%llu handles=%lu threads=%d",
              taken >> 10, committed >> 10, (unsigned long long)counters.PrivateUsage >> 10,
              (unsigned long long)counters.WorkingSetSize >> 10, (unsigned long)handles, CountThreads());
}

bool AppendsReached(int count, const std::string &) { return CountAppends() >= count; }
bool CommandsReached(int count, const std::string &name) { return CountCommands(name.c_str()) >= count; }

// Runs one script command; false ends the script.
bool RunScriptCommand(const std::string &line)
{
    std::istringstream words(line);
    std::string name;
    words >> name;
    if (name.empty() || name[0] == '#')
        return true;
    if (name == "load") {
        LoadPlugin();
    } else if (name == "unload") {
        if (plugin)
            HostPrint("unload result=%d", FreeLibrary(plugin));
        plugin = nullptr;
    } else if (name == "start" || name == "exit") {
        if (auto callback = PluginFunction<NoArgCallback>(name == "start" ? "QNC_OnStart" : "QNC_OnExit"))
            HostPrint("%s result=%d", name.c_str(), callback());
    } else if (name == "info") {
        ShowInfo();
    } else if (name == "menu") {
        int type = 3;
        words >> type;
        InitMenu(type);
    } else if (name == "command") {
        int id = 0;
        words >> id;
        RunCommand(id);
    } else if (name == "tick") {
        int count = 1;
        words >> count;
        if (auto tick = PluginFunction<NoArgCallback>("QNC_OnEveryMinute"))
            for (int i = 0; i < count; ++i)
                tick();
        HostPrint("ticked %d", count);
    } else if (name == "setup") {
        Setup();
    } else if (name == "drive") {
        std::string file;
        std::getline(words >> std::ws, file);
        DriveSetup(file, plugin, Setup);
    } else if (name == "callbacks") {
        CallIdleCallbacks();
    } else if (name == "folder") {
        std::string folder;
        words >> folder;
        Options.currentFolder = folder;
        HostPrint("folder \"%s\"", ForTerminal(folder).c_str());
    } else if (name == "wait-appends" || name == "wait-commands") {
        std::string command = "ManualFilter";
        if (name == "wait-commands")
            words >> command;
        int count = 1;
        DWORD timeout = 30000;
        words >> count >> timeout;
        bool reached = WaitUntil(name == "wait-appends" ? AppendsReached : CommandsReached, count, command, timeout);
        HostPrint("%s %s appends=%d commands=%d", name.c_str(), reached ? "reached" : "timeout", CountAppends(),
                  CountCommands(command.c_str()));
    } else if (name == "sleep") {
        DWORD milliseconds = 0;
        words >> milliseconds;
        PumpFor(milliseconds);
    } else if (name == "reserve-memory") {
        // Reserves every free range of the address space of at least N MB:
        // an allocation that large then fails while small ones still succeed.
        int megabytes = 16;
        words >> megabytes;
        SIZE_T least = SIZE_T(megabytes > 0 ? megabytes : 1) << 20;
        int ranges = 0;
        for (SIZE_T size = SIZE_T(1) << 30; size >= least; size /= 2)
            while (VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                ++ranges;
        HostPrint("reserved ranges=%d", ranges);
    } else if (name == "lock-file") {
        // Holds the file open with no sharing until the host ends, as another
        // program that locks it would.
        std::string path;
        std::getline(words >> std::ws, path);
        HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        HostPrint("lock-file %s", file != INVALID_HANDLE_VALUE ? "held" : "failed");
    } else if (name == "fetch") {
        std::string url;
        words >> url;
        FetchAsHost(url);
    } else if (name == "threads") {
        HostPrint("threads count=%d", CountThreads());
    } else if (name == "clock") {
        // The wall clock, to the microsecond, as other programs on the
        // machine read it: seconds since 1970.
        FILETIME now;
        GetSystemTimePreciseAsFileTime(&now);
        unsigned long long ticks = (unsigned long long)now.dwHighDateTime << 32 | now.dwLowDateTime;
        ticks -= 116444736000000000ull;  // from 1601 to 1970, in 100 ns
        HostPrint("clock %llu.%06llu", ticks / 10000000, ticks % 10000000 / 10);
    } else if (name == "memory") {
        PrintMemory();
    } else if (name == "status") {
        HostPrint("status appends=%d manualfilter=%d", CountAppends(), CountCommands("ManualFilter"));
    } else if (name == "quit") {
        return false;
    } else {
        HostPrint("error: unknown command \"%s\"", name.c_str());
    }
    return true;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER:
        if (wParam == MinuteTimer)
            RunScriptCommand("tick 1");
        return 0;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (lParam != 0)  // a notification from the log, not a menu pick
            return 0;
        if (id == SetupMenuId)
            Setup();
        else if (id == ExitMenuId)
            DestroyWindow(window);
        else
            RunCommand(id);
        return 0;
    }
    case WM_HOST_LOG: {
        std::string *line = reinterpret_cast<std::string *>(lParam);
        std::wstring wide(line->size() + 3, L'\0');
        int n = MultiByteToWideChar(CP_UTF8, 0, line->c_str(), -1, &wide[0], int(wide.size()));
        wide.resize(n > 0 ? size_t(n - 1) : 0);
        delete line;
        for (size_t at = 0; (at = wide.find(L'\n', at)) != std::wstring::npos; at += 2)
            if (at == 0 || wide[at - 1] != L'\r')
                wide.insert(at++, 1, L'\r');
        wide += L"\r\n";
        int end = GetWindowTextLengthW(LogWindow);
        SendMessageW(LogWindow, EM_SETSEL, WPARAM(end), LPARAM(end));
        SendMessageW(LogWindow, EM_REPLACESEL, FALSE, LPARAM(wide.c_str()));
        return 0;
    }
    case WM_SIZE:
        if (LogWindow)
            MoveWindow(LogWindow, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void CreateMainWindow(bool visible)
{
    WNDCLASSA windowClass;
    memset(&windowClass, 0, sizeof windowClass);
    windowClass.lpfnWndProc = MainWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = HBRUSH(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "KIVStandInHost";
    RegisterClassA(&windowClass);
    HMENU bar = CreateMenu();
    toolsMenu = CreatePopupMenu();
    AppendMenuA(toolsMenu, MF_STRING, SetupMenuId, "Plug-in settings...");
    AppendMenuA(toolsMenu, MF_STRING, ExitMenuId, "Exit");
    AppendMenuA(bar, MF_POPUP, UINT_PTR(toolsMenu), "Tools");
    MainWindow = CreateWindowA("KIVStandInHost", "KIV stand-in host", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 720, 420, nullptr, visible ? bar : nullptr, windowClass.hInstance,
                               nullptr);
    if (!visible)
        DestroyMenu(bar);
}

void RunWindow()
{
    RECT client;
    GetClientRect(MainWindow, &client);
    LogWindow = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                                WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                                client.right, client.bottom, MainWindow, nullptr, GetModuleHandleA(nullptr), nullptr);
    SendMessageW(LogWindow, EM_SETLIMITTEXT, 0, 0);
    LoadPlugin();
    if (!plugin)
        return;
    if (auto menuInit = PluginFunction<MenuInitCallback>("QNC_OnMenuInit"))
        menuInit(MainWindow, toolsMenu, 3);
    DrawMenuBar(MainWindow);
    SetTimer(MainWindow, MinuteTimer, 60000, nullptr);
    ShowWindow(MainWindow, SW_SHOW);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    FreeLibrary(plugin);
}

void Usage()
{
    puts("kivhost [options] [command ...]\n"
         "options: --plugin PATH  --store DIR  --folder ID  --null-folder  --print\n"
         "         --boxes ok|cancel|yes|no (answer message boxes)  --stdin (commands from input)  --window\n"
         "commands (one argument each, words separated by blanks):\n"
         "  load | unload | start | exit | info | menu [TYPE] | command [ID] | tick [N] | setup\n"
         "  drive FILE (setup, the dialog driven by the steps in FILE; see dialog_driver.cpp)\n"
         "  callbacks | folder ID | wait-appends N [MS] | wait-commands NAME N [MS] | sleep MS | status | quit\n"
         "  reserve-memory MB (leave no free range of MB or more)\n"
         "  lock-file PATH (hold the file open, shared with nobody, until the host ends)\n"
         "  fetch URL (a request and heap blocks of the host's own) | threads (count this process's)\n"
         "  memory (address space, committed, private and resident memory, handles, threads) | clock");
}

}  // namespace

int main(int argc, char **argv)
{
    bool fromInput = false, window = false;
    std::vector<std::string> script;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--plugin" && hasValue)
            Options.pluginPath = argv[++i];
        else if (arg == "--store" && hasValue)
            Options.storeFolder = argv[++i];
        else if (arg == "--folder" && hasValue)
            Options.currentFolder = argv[++i];
        else if (arg == "--null-folder")
            Options.nullCurrentFolder = true;
        else if (arg == "--print")
            Options.printMessages = true;
        else if (arg == "--boxes" && hasValue) {
            const char *answer = argv[++i];
            StartBoxWatcher(strcmp(answer, "cancel") == 0 ? IDCANCEL
                            : strcmp(answer, "yes") == 0  ? IDYES
                            : strcmp(answer, "no") == 0   ? IDNO
                                                          : IDOK);
        } else if (arg == "--stdin")
            fromInput = true;
        else if (arg == "--window")
            window = true;
        else if (arg == "--help" || arg == "-h")
            return Usage(), 0;
        else
            script.push_back(arg);
    }
    CreateMainWindow(window);
    if (window) {
        RunWindow();
        return 0;
    }
    bool going = true;
    for (size_t i = 0; i < script.size() && going; ++i)
        going = RunScriptCommand(script[i]);
    if (fromInput) {
        char line[4096];
        while (going && fgets(line, sizeof line, stdin)) {
            line[strcspn(line, "\r\n")] = '\0';
            going = RunScriptCommand(line);
        }
    }
    // As a mail client does on its way out: the plug-in is unloaded and the
    // host's own helper thread stopped before the process ends, so that no
    // thread is cut off while it holds a lock that the exit needs.
    if (plugin)
        FreeLibrary(plugin);
    StopBoxWatcher();
    HostPrint("done");
    ExitProcess(0);
}

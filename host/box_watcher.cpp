#include "box_watcher.h"

#include "host_state.h"
#include "text_codec.h"

#include <set>
#include <string>

namespace {

int boxAnswer;
HANDLE watcher;
volatile LONG watching;
HICON errorIcon;
std::set<HWND> answered;

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    std::string text(size_t(length) + 1, '\0');
    GetWindowTextA(window, &text[0], length + 1);
    text.resize(strlen(text.c_str()));
    return text;
}

// A message box is a dialog of this process with a static text control whose
// id is 0xFFFF (Windows) or 100 (Wine).
BOOL CALLBACK AnswerBox(HWND window, LPARAM)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId() || !IsWindowVisible(window) || answered.count(window))
        return TRUE;
    char className[16];
    GetClassNameA(window, className, sizeof className);
    HWND text = GetDlgItem(window, 0xFFFF);
    if (!text)
        text = GetDlgItem(window, 100);
    if (strcmp(className, "#32770") != 0 || !text || IsFileDialog(window))
        return TRUE;
    answered.insert(window);
    std::string caption = WindowText(window), body = WindowText(text);
    // The icon is a static control: 0x440 in some message box templates, 0x14 in others.
    HWND icon = GetDlgItem(window, 0x440);
    if (!icon)
        icon = GetDlgItem(window, 0x14);
    HICON shown = icon ? HICON(SendMessageA(icon, STM_GETICON, 0, 0)) : nullptr;
    const char *iconName = !shown ? "none" : shown == errorIcon ? "error" : "other";
    HostPrint("messagebox owner=%s buttons=%s%s icon=%s caption=\"%s\" captionhex=%s texthex=%s",
              GetWindow(window, GW_OWNER) ? "window" : "none", GetDlgItem(window, IDOK) ? "ok" : "",
              GetDlgItem(window, IDCANCEL) ? "cancel" : "", iconName, ForTerminal(caption).c_str(),
              HexBytes(caption).c_str(), HexBytes(body).c_str());
    HostPrint("messagebox text=\"%s\"", ForTerminal(body).c_str());
    int answer = GetDlgItem(window, boxAnswer) ? boxAnswer : IDOK;
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), LPARAM(GetDlgItem(window, answer)));
    return TRUE;
}

DWORD WINAPI WatchBoxes(LPVOID running)
{
    SetEvent(static_cast<HANDLE>(running));
    while (InterlockedCompareExchange(&watching, 0, 0)) {
        EnumWindows(AnswerBox, 0);
        Sleep(50);
    }
    return 0;
}

}  // namespace

void StartBoxWatcher(int answer)
{
    boxAnswer = answer;
    // Loaded now: finding a resource takes the loader lock.
    errorIcon = LoadIcon(nullptr, IDI_ERROR);
    // The watcher must be running before the plug-in is loaded: a thread that
    // starts while the loader lock is held would wait for the lock, and the
    // load-error box is shown with the lock held.
    HANDLE running = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    InterlockedExchange(&watching, 1);
    watcher = CreateThread(nullptr, 0, WatchBoxes, running, 0, nullptr);
    if (watcher)
        WaitForSingleObject(running, INFINITE);
    CloseHandle(running);
}

void StopBoxWatcher()
{
    if (!watcher)
        return;
    InterlockedExchange(&watching, 0);
    WaitForSingleObject(watcher, 5000);
    CloseHandle(watcher);
    watcher = nullptr;
}

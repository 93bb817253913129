// State of the stand-in host shared by its threads: the host's own thread
// runs the script and the callbacks; the plug-in's worker calls QNA_ functions.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct RegisteredCommand {
    int id;
    int menuType;
    std::string text;
    BOOL(WINAPI *callback)(HWND, LPARAM);
};

struct HostOptions {
    std::string pluginPath = "KIV.dll";
    std::string storeFolder = "store";
    std::string currentFolder = "Inbox\\KIV";
    bool printMessages = false;
    bool nullCurrentFolder = false;  // QNA_GetCurrentFolder answers a null pointer
};

extern HostOptions Options;
extern HWND MainWindow;
// In window mode, the log a person reads: each printed line is posted to it.
extern HWND LogWindow;
const UINT WM_HOST_LOG = WM_APP + 1;  // lParam: a new'd std::string, UTF-8

// Everything below is guarded by one lock; use the functions.
void HostLock();
void HostUnlock();
int AddRegisteredCommand(const char *text, int menuType, BOOL(WINAPI *callback)(HWND, LPARAM));
bool FindRegisteredCommand(int id, RegisteredCommand &command);  // id 0: the latest
int CountAppends();
int CountCommands(const char *name);
void RecordAppend();
void RecordCommand(const char *name);

// One line on standard output, whole and flushed, from any thread.
void HostPrint(const char *format, ...) __attribute__((format(printf, 1, 2)));

// The file name box of a standard open or save dialog: the combo box cmb13
// (1148) of the explorer style, else the edit box edt1 (1152); null in any
// other window. Message boxes have none.
inline HWND FileNameBox(HWND dialog)
{
    HWND box = GetDlgItem(dialog, 1148);
    return box ? box : GetDlgItem(dialog, 1152);
}
inline bool IsFileDialog(HWND window) { return FileNameBox(window) != nullptr; }

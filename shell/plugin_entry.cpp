// The library entry point and the QNC_ callbacks that the host calls.
#include "host_functions.h"
#include "patrol_worker.h"
#include "plugin_paths.h"

#include "base/patrol_requests.h"
#include "base/process_values.h"
#include "base/thread_stacks.h"
#include "feed/fetch/download_deadline.h"
#include "feed/patrol/feed_state_reader.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "dialogs/discovery_fetch.h"
#include "settings/feed_settings.h"
#include "dialogs/preferences_dialog.h"

#include <commctrl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>
#include <type_traits>

namespace {

// How long a detach lets a running patrol finish the feed in hand and store
// its timestamps before the worker is stopped regardless.
const DWORD DetachWaitMilliseconds = 5000;

const size_t InfoFieldSize = 80;

void FillPluginInfo(char *record)
{
    lstrcpynA(record, PluginName, InfoFieldSize);
    lstrcpynA(record + InfoFieldSize, PluginAuthor, InfoFieldSize);
    lstrcpynA(record + 2 * InfoFieldSize, PluginVersion, InfoFieldSize);
    record[3 * InfoFieldSize] = '\0';
}

void DerivePaths()
{
    char modulePath[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(ModuleInstance, modulePath, MAX_PATH);
    modulePath[length < MAX_PATH ? length : MAX_PATH - 1] = '\0';
    DerivePluginPaths(modulePath, SettingsPath, DataFolderPath, MAX_PATH);
}

BOOL ProcessAttach(HINSTANCE instance)
{
    ModuleInstance = instance;
    if (!HostFunctions.Resolve()) {
        char record[4 * InfoFieldSize];
        FillPluginInfo(record);
        char text[256];
        snprintf(text, sizeof text, LoadErrorFormat, record);
        MessageBoxA(nullptr, text, LoadErrorCaption, MB_ICONERROR);
        return FALSE;
    }
    DerivePaths();
    if (_access(DataFolderPath, 6) != 0)
        CreateDirectoryA(DataFolderPath, nullptr);

    // The event is private to this process, and it exists before the worker
    // that waits on it; the worker gets a handle of its own.
    PatrolEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE workerEvent = nullptr;
    if (PatrolEvent)
        DuplicateHandle(GetCurrentProcess(), PatrolEvent, GetCurrentProcess(), &workerEvent, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
    PatrolStopRequested = 0;
    ForgetPatrolRequests();
    if (workerEvent) {
        WorkerThread = start_thread_reserving(PatrolWorker, workerEvent, PatrolStackReserve);
        if (!WorkerThread)
            CloseHandle(workerEvent);
    }

    FeedSettings::IsFolderConfigured();
    FeedSettings::LoadInterval();
    FeedSettings::LoadAutoSort();
    AskForPatrol(false);
    return TRUE;
}

BOOL ProcessDetach(bool processEnding)
{
    PatrolStopRequested = 1;
    // On FreeLibrary the worker may be mid-patrol: let it finish the feed in
    // hand and store its timestamps. At process exit it is already gone.
    if (!processEnding && WorkerThread) {
        for (DWORD waited = 0; PatrolRunning && waited < DetachWaitMilliseconds; waited += 10)
            Sleep(10);
    }
    if (PatrolEvent) {
        CloseHandle(PatrolEvent);
        PatrolEvent = nullptr;
    }
    if (!WorkerThread)
        return FALSE;
    DWORD exitCode = 0;
    if (GetExitCodeThread(WorkerThread, &exitCode) && exitCode == STILL_ACTIVE) {
        TerminateThread(WorkerThread, STILL_ACTIVE);
        // The termination is asynchronous: the library must not be unmapped
        // under a worker still running its code. A terminated thread makes no
        // detach calls, so this wait needs no loader lock.
        WaitForSingleObject(WorkerThread, DetachWaitMilliseconds);
    }
    // Downloads that outlived their feed's deadline may still be waiting for
    // a server that never gives up.
    if (!processEnding) {
        end_download_threads();
        end_discovery_threads();
    }
    CloseHandle(WorkerThread);
    WorkerThread = nullptr;
    ForgetPatrolRequests();
    // A worker stopped in the middle of a patrol has not stored what it
    // recorded. Not waiting: a stopped worker may have left the lock taken.
    if (!processEnding)
        FeedSettings::StoreRecordedEntries(false);
    return TRUE;
}

}  // namespace

BOOL WINAPI OnPatrolCommand(HWND, LPARAM)
{
    AskForPatrol(true);
    return PatrolEvent != nullptr;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
        return ProcessAttach(instance);
    if (reason == DLL_PROCESS_DETACH)
        return ProcessDetach(reserved != nullptr);
    return TRUE;
}
// The C runtime calls DllMain@12; without WINAPI the 32-bit build would link
// the runtime's empty one in its place, silently.
static_assert(std::is_same<decltype(&DllMain), BOOL(WINAPI *)(HINSTANCE, DWORD, LPVOID)>::value,
              "DllMain must be WINAPI");

int WINAPI QNC_OnStart() { return 0; }
int WINAPI QNC_OnExit() { return 0; }

int WINAPI QNC_OnMenuInit(HWND, HMENU menu, int menuType)
{
    if (menuType != 3)
        return 0;
    MENUITEMINFOA item;
    memset(&item, 0, sizeof item);
    item.cbSize = sizeof item;
    item.fMask = MIIM_TYPE;
    item.fType = MFT_SEPARATOR;
    InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &item);

    int command = HostFunctions.RegisterCommand(PatrolMenuText, menuType, OnPatrolCommand);
    item.fMask = MIIM_TYPE | MIIM_ID;
    item.fType = MFT_STRING;
    item.wID = UINT(command);
    item.dwTypeData = const_cast<char *>(PatrolMenuText);
    item.cch = UINT(strlen(PatrolMenuText));
    InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &item);
    return 0;
}

int WINAPI QNC_OnOpenFolder(LPVOID) { return 0; }
int WINAPI QNC_OnOpenMail(LPVOID) { return 0; }

int WINAPI QNC_OnEveryMinute()
{
    OnMinuteTick();
    return 0;
}

int WINAPI QNC_OnOpenCompose(LPVOID, LPVOID) { return 0; }
int WINAPI QNC_OnOutgoing(LPVOID, LPVOID) { return 0; }
int WINAPI QNC_OnKeyDispatch(LPVOID, LPVOID, LPVOID) { return 0; }
int WINAPI QNC_OnRetrieve(LPVOID, LPVOID) { return 0; }
int WINAPI QNC_OnSend(LPVOID) { return 0; }
int WINAPI QNC_OnFinishRetrieve(LPVOID) { return 0; }

int WINAPI QNC_OnPlugInSetup(HWND parent)
{
    // The dialog's template holds a tab control: its class must exist first.
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_TAB_CLASSES};
    InitCommonControlsEx(&classes);
    DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_PREFERENCES), parent, PreferencesDialogProc,
                    reinterpret_cast<LPARAM>(&read_feed_state));
    return 1;
}

int WINAPI QNC_OnPlugInInfo(char *record)
{
    FillPluginInfo(record);
    return 0;
}

int WINAPI QNC_OnDragDrop(LPVOID, LPVOID, LPVOID, LPVOID) { return 0; }

}  // extern "C"

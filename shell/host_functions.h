// The host mail client's QNA_ functions, looked up by name in the host's
// executable when the plug-in is attached.
#pragma once
#include "native/platform.h"

// The menu command callback that QNA_RegisterCommand receives.
typedef BOOL(WINAPI *HostCommandProc)(HWND window, LPARAM parameter);

typedef int(WINAPI *QNA_RegisterCommandProc)(const char *text, int menuType, HostCommandProc callback);
typedef int(WINAPI *QNA_CommandProc)(HWND window, const char *command);
typedef const char *(WINAPI *QNA_GetCurrentFolderProc)(void);
typedef int(WINAPI *QNA_AppendMessageProc)(const char *folder, const char *message);
typedef const char *(WINAPI *QNA_ConvertProc)(const char *text, int direction);

enum { HostFunctionCount = 54 };

// Function pointers change type through void(*)(), the type that converts
// to and from every other one without a warning.
template <class To, class From> To FunctionCast(From function)
{
    return reinterpret_cast<To>(reinterpret_cast<void (*)()>(function));
}

// Table positions of the six functions the plug-in calls (0-based).
enum HostFunctionIndex {
    HostCommand = 1,
    HostRegisterCommand = 3,
    HostGetCurrentFolder = 10,
    HostAppendMessage = 18,
    HostEUC_JP = 46,
    HostUTF_8 = 48,
};

extern const char *const HostFunctionNames[HostFunctionCount];

class HostFunctionTable {
public:
    HostFunctionTable();
    ~HostFunctionTable();

    // 1 when all 54 functions were found (or had been before), else 0.
    int Resolve();

    int RegisterCommand(const char *text, int menuType, HostCommandProc callback) const
    {
        return FunctionCast<QNA_RegisterCommandProc>(entries[HostRegisterCommand])(text, menuType, callback);
    }
    int Command(HWND window, const char *command) const
    {
        return FunctionCast<QNA_CommandProc>(entries[HostCommand])(window, command);
    }
    const char *GetCurrentFolder() const
    {
        return FunctionCast<QNA_GetCurrentFolderProc>(entries[HostGetCurrentFolder])();
    }
    int AppendMessage(const char *folder, const char *message) const
    {
        return FunctionCast<QNA_AppendMessageProc>(entries[HostAppendMessage])(folder, message);
    }
    const char *UTF_8(const char *text, int direction) const
    {
        return FunctionCast<QNA_ConvertProc>(entries[HostUTF_8])(text, direction);
    }
    const char *EUC_JP(const char *text, int direction) const
    {
        return FunctionCast<QNA_ConvertProc>(entries[HostEUC_JP])(text, direction);
    }

    FARPROC entries[HostFunctionCount];
    HMODULE module;
};

extern HostFunctionTable HostFunctions;

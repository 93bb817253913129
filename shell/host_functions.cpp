#include "host_functions.h"

const char *const HostFunctionNames[HostFunctionCount] = {
    "QNA_GetVersion", "QNA_Command", "QNA_GetWindowHandles", "QNA_RegisterCommand",
    "QNA_RegisterUICallback", "QNA_GetDataFolder", "QNA_GetTempFolder", "QNA_GetTempFileName",
    "QNA_GetCurrentMailBox", "QNA_SetCurrentMailBox", "QNA_GetCurrentFolder", "QNA_SetCurrentFolder",
    "QNA_GetFolderDisplayName", "QNA_SetMessageText", "QNA_GetCurrentMail", "QNA_SetCurrentMail",
    "QNA_GetNextMail", "QNA_SetSel", "QNA_AppendMessage", "QNA_MoveSelectedMessages",
    "QNA_GetStatus", "QNA_ComposeMail", "QNA_GetCharSet", "QNA_GetSource",
    "QNA_SetSource", "QNA_GetHeader", "QNA_GetText", "QNA_SetText",
    "QNA_GetSpecifiedHeader", "QNA_SetSpecifiedHeader", "QNA_CompGetCharSet", "QNA_CompGetSource",
    "QNA_CompSetSource", "QNA_CompGetHeader", "QNA_CompGetSpecifiedHeader", "QNA_CompSetSpecifiedHeader",
    "QNA_CompGetText", "QNA_CompSetText", "QNA_CompAttachFile", "QNA_Alloc",
    "QNA_ReAlloc", "QNA_Free", "QNA_ISO_2022_JP", "QNA_ISO_2022_KR",
    "QNA_HZ_GB2312", "QNA_ISO_8859_2", "QNA_EUC_JP", "QNA_UTF_7",
    "QNA_UTF_8", "QNA_B64Convert", "QNA_QPConvert", "QNA_MIMEHeader",
    "QNA_SerializeRcpts", "QNA_Connect",
};

HostFunctionTable HostFunctions;

HostFunctionTable::HostFunctionTable() : entries(), module(nullptr) {}

HostFunctionTable::~HostFunctionTable() { module = nullptr; }

int HostFunctionTable::Resolve()
{
    if (module)
        return 1;
    module = GetModuleHandleA(nullptr);
    if (!module)
        return 0;
    for (int i = 0; i < HostFunctionCount; ++i) {
        entries[i] = GetProcAddress(module, HostFunctionNames[i]);
        if (!entries[i]) {
            // Later entries stay unlooked-up; the table counts as unresolved.
            module = nullptr;
            return 0;
        }
    }
    return 1;
}

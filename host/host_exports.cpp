// The 54 QNA_ functions a mail client exports to its plug-ins. Six are
// honoured; the others are harmless stubs that answer 0.
#include "host_state.h"
#include "message_store.h"
#include "text_codec.h"
#include "shell/host_functions.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <type_traits>

#define HOST_EXPORT extern "C" __declspec(dllexport)

namespace {

// Converted texts live until the next conversion on the same thread. The
// thread's buffer has no destructor on purpose: a thread_local that has one
// registers it on the thread's first call, and that registration waits for
// the loader lock, which an unload holds while the plug-in's worker finishes
// the feed in hand. One buffer a converting thread is left at its end.
const char *KeepConverted(const std::string &text)
{
    static thread_local char *kept = nullptr;
    static thread_local size_t room = 0;
    if (text.size() >= room) {
        char *grown = static_cast<char *>(realloc(kept, text.size() + 1));
        if (!grown)
            return "";
        kept = grown;
        room = text.size() + 1;
    }
    memcpy(kept, text.c_str(), text.size() + 1);
    return kept;
}

}  // namespace

HOST_EXPORT int WINAPI QNA_RegisterCommand(const char *text, int menuType, BOOL(WINAPI *callback)(HWND, LPARAM))
{
    int id = AddRegisteredCommand(text, menuType, callback);
    std::string shown = text ? text : "";
    HostPrint("register id=%d type=%d text=\"%s\" hex=%s", id, menuType, ForTerminal(shown).c_str(),
              HexBytes(shown).c_str());
    return id;
}

HOST_EXPORT int WINAPI QNA_Command(HWND window, const char *command)
{
    RecordCommand(command);
    // Eight hex digits at least, whatever the word size of the build.
    HostPrint("command \"%s\" window=%08llx", command ? command : "(null)",
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(window)));
    return 1;
}

HOST_EXPORT const char *WINAPI QNA_GetCurrentFolder()
{
    HostPrint("getcurrentfolder");
    return Options.nullCurrentFolder ? nullptr : Options.currentFolder.c_str();
}

HOST_EXPORT int WINAPI QNA_AppendMessage(const char *folder, const char *message)
{
    std::string folderText = folder ? folder : "";
    std::string text = message ? message : "";
    std::string path = StoreMessage(folderText, text);
    RecordAppend();
    HostPrint("append folder=\"%s\" bytes=%u file=%s", ForTerminal(folderText).c_str(), unsigned(text.size()),
              path.empty() ? "(not stored)" : path.c_str());
    if (Options.printMessages) {
        std::string shown = ForTerminal(text);
        HostPrint("----- message -----\n%s\n----- end -----", shown.c_str());
    }
    return 1;
}

HOST_EXPORT const char *WINAPI QNA_UTF_8(const char *text, int)
{
    return KeepConverted(ConvertCodePage(CP_UTF8, CP_ACP, text ? text : ""));
}

HOST_EXPORT const char *WINAPI QNA_EUC_JP(const char *text, int)
{
    return KeepConverted(ConvertCodePage(20932, CP_ACP, text ? text : ""));
}

#define HOST_STUB(name) \
    HOST_EXPORT int WINAPI name() { return 0; }

HOST_STUB(QNA_GetVersion)
HOST_STUB(QNA_GetWindowHandles)
HOST_STUB(QNA_RegisterUICallback)
HOST_STUB(QNA_GetDataFolder)
HOST_STUB(QNA_GetTempFolder)
HOST_STUB(QNA_GetTempFileName)
HOST_STUB(QNA_GetCurrentMailBox)
HOST_STUB(QNA_SetCurrentMailBox)
HOST_STUB(QNA_SetCurrentFolder)
HOST_STUB(QNA_GetFolderDisplayName)
HOST_STUB(QNA_SetMessageText)
HOST_STUB(QNA_GetCurrentMail)
HOST_STUB(QNA_SetCurrentMail)
HOST_STUB(QNA_GetNextMail)
HOST_STUB(QNA_SetSel)
HOST_STUB(QNA_MoveSelectedMessages)
HOST_STUB(QNA_GetStatus)
HOST_STUB(QNA_ComposeMail)
HOST_STUB(QNA_GetCharSet)
HOST_STUB(QNA_GetSource)
HOST_STUB(QNA_SetSource)
HOST_STUB(QNA_GetHeader)
HOST_STUB(QNA_GetText)
HOST_STUB(QNA_SetText)
HOST_STUB(QNA_GetSpecifiedHeader)
HOST_STUB(QNA_SetSpecifiedHeader)
HOST_STUB(QNA_CompGetCharSet)
HOST_STUB(QNA_CompGetSource)
HOST_STUB(QNA_CompSetSource)
HOST_STUB(QNA_CompGetHeader)
HOST_STUB(QNA_CompGetSpecifiedHeader)
HOST_STUB(QNA_CompSetSpecifiedHeader)
HOST_STUB(QNA_CompGetText)
HOST_STUB(QNA_CompSetText)
HOST_STUB(QNA_CompAttachFile)
HOST_STUB(QNA_Alloc)
HOST_STUB(QNA_ReAlloc)
HOST_STUB(QNA_Free)
HOST_STUB(QNA_ISO_2022_JP)
HOST_STUB(QNA_ISO_2022_KR)
HOST_STUB(QNA_HZ_GB2312)
HOST_STUB(QNA_ISO_8859_2)
HOST_STUB(QNA_UTF_7)
HOST_STUB(QNA_B64Convert)
HOST_STUB(QNA_QPConvert)
HOST_STUB(QNA_MIMEHeader)
HOST_STUB(QNA_SerializeRcpts)
// The plug-in calls these six through its own types: in the 32-bit build,
// where the calling convention is part of a function's type, a mismatch of
// either side fails to compile here.
static_assert(std::is_same<decltype(&QNA_RegisterCommand), QNA_RegisterCommandProc>::value, "QNA_RegisterCommand");
static_assert(std::is_same<decltype(&QNA_Command), QNA_CommandProc>::value, "QNA_Command");
static_assert(std::is_same<decltype(&QNA_GetCurrentFolder), QNA_GetCurrentFolderProc>::value, "QNA_GetCurrentFolder");
static_assert(std::is_same<decltype(&QNA_AppendMessage), QNA_AppendMessageProc>::value, "QNA_AppendMessage");
static_assert(std::is_same<decltype(&QNA_UTF_8), QNA_ConvertProc>::value, "QNA_UTF_8");
static_assert(std::is_same<decltype(&QNA_EUC_JP), QNA_ConvertProc>::value, "QNA_EUC_JP");

// A host without QNA_Connect shows how the plug-in refuses an older host.
#ifndef KIV_HOST_WITHOUT_CONNECT
HOST_STUB(QNA_Connect)
#endif

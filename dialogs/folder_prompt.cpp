// The destination folder prompt: fixes, once, the host folder that receives
// the feeds' messages.
#include "folder_prompt.h"

#include "base/process_values.h"
#include "resources/ui_strings.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

const char *FolderRefusal(const char *identifier)
{
    if (!identifier || !*identifier)
        return FolderMissingText;
    if (FeedSettings::HoldsEntrySpace(identifier))
        return FolderSpaceText;  // it would read back as several entries
    return nullptr;
}

int FeedSettings::EnsureDestinationFolder(HWND owner)
{
    FolderConfigured = IsFolderConfigured();
    if (FolderConfigured)
        return 1;
    if (MessageBoxA(owner, FolderPromptText, FolderPromptCaption, MB_OKCANCEL) != IDOK)
        return 0;
    // Asked only now: the user has had the chance to select the folder.
    const char *identifier = HostFunctions.GetCurrentFolder();
    if (const char *refusal = FolderRefusal(identifier)) {
        MessageBoxA(owner, refusal, FolderPromptCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return InsertFolderEntry(identifier);
}

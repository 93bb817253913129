// The destination folder prompt: fixes, once, the host folder that receives
// the feeds' messages.
#include "base/process_values.h"
#include "resources/ui_strings.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

int FeedSettings::EnsureDestinationFolder(HWND owner)
{
    FolderConfigured = IsFolderConfigured();
    if (FolderConfigured)
        return 1;
    if (MessageBoxA(owner, FolderPromptText, FolderPromptCaption, MB_OKCANCEL) != IDOK)
        return 0;
    // Asked only now: the user has had the chance to select the folder.
    const char *identifier = HostFunctions.GetCurrentFolder();
    const char *refusal = nullptr;
    if (!identifier || !*identifier)
        refusal = FolderMissingText;
    else if (HoldsEntrySpace(identifier))
        refusal = FolderSpaceText;  // it would read back as several entries
    if (refusal) {
        MessageBoxA(owner, refusal, FolderPromptCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    return InsertFolderEntry(identifier);
}

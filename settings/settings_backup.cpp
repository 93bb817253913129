#include "settings_backup.h"
#include "feed_options.h"
#include "feed_settings.h"
#include "options_file.h"

#include "base/atomic_file.h"
#include "base/process_values.h"

#include <cstdio>
#include <string>

namespace {

// Only the host's thread opens the dialog, and only one at a time.
bool backupTaken;
// The option of the data folder's file as this opening found it; -1 when
// not noted.
int oneMailPerItem = -1;
// feeds.ini as this opening found it: -1 when not noted (or not one KIV
// rewrites), 0 when there was none, 1 with its bytes.
int feedOptionsFound = -1;
std::string feedOptionsBytes;

}  // namespace

int SettingsBackupPath(char *path, size_t size)
{
    int length = snprintf(path, size, "%s\\bkup.ini", DataFolderPath);
    return length > 0 && size_t(length) < size;
}

int TakeSettingsBackup()
{
    backupTaken = false;
    oneMailPerItem = ReadOneMailPerItem();
    feedOptionsFound = ReadFeedOptionsBytes(&feedOptionsBytes);
    char backup[MAX_PATH];
    if (!SettingsBackupPath(backup, sizeof backup))
        return 0;
    // The journal opens first: a timestamp a patrol stores from now on is
    // either in the backup or in the journal, so CANCEL keeps it.
    FeedSettings::StartTimestampJournal();
    SettingsFileLock lock;
    backupTaken = CopyFileA(SettingsPath, backup, FALSE) != 0;
    return backupTaken;
}

void DiscardSettingsBackup()
{
    backupTaken = false;
    oneMailPerItem = -1;
    feedOptionsFound = -1;
    feedOptionsBytes.clear();
    FeedSettings::ClearTimestampJournal();
    char backup[MAX_PATH];
    if (SettingsBackupPath(backup, sizeof backup))
        DeleteFileA(backup);
}

int RestoreSettingsBackup()
{
    if (oneMailPerItem >= 0 && ReadOneMailPerItem() != oneMailPerItem)
        WriteOneMailPerItem(oneMailPerItem);
    oneMailPerItem = -1;
    if (feedOptionsFound >= 0)
        RestoreFeedOptionsBytes(feedOptionsFound == 1, feedOptionsBytes);
    feedOptionsFound = -1;
    feedOptionsBytes.clear();
    char backup[MAX_PATH];
    bool restored = false;
    if (backupTaken && SettingsBackupPath(backup, sizeof backup)) {
        // Copied beside the settings file and moved over it, so that the file
        // is whole at every moment, as after any rewrite.
        SettingsFileLock lock;
        restored = ReplaceFileAtomically(SettingsPath, [&](const char *temporary) {
            return CopyFileA(backup, temporary, FALSE) != 0;
        });
    }
    backupTaken = false;
    if (restored) {
        // CANCEL undoes the user's edits, not what patrols delivered meanwhile.
        FeedSettings::ReapplyTimestampJournal();
        DeleteFileA(backup);  // one that could not be put back stays, for the user
    }
    FeedSettings::ClearTimestampJournal();
    return restored;
}

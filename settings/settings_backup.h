// The copy of the settings file that the preferences dialog takes when it
// opens, so that CANCEL can undo every edit made on its pages.
#pragma once
#include <cstddef>

// "bkup.ini" in the data folder; 0 when the path does not fit `size`.
int SettingsBackupPath(char *path, size_t size);

// Copies the settings file to the backup: 1 when the copy was made. The
// options of the data folder (options_file.h) and feeds.ini are noted as
// they are.
int TakeSettingsBackup();
// OK: the backup is deleted.
void DiscardSettingsBackup();
// CANCEL: the options and feeds.ini noted at this opening are put back (the
// latter byte for byte), and the backup
// taken then replaces the settings file and is deleted: 1 when it was put
// back. A backup that could not be put back stays.
// Without one (the dialog closed before taking it, or the copy failed) the
// settings file is left alone, whatever an older bkup.ini holds.
int RestoreSettingsBackup();

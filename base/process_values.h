// Process-wide values, alive from attach to detach.
#pragma once
#include "native/platform.h"

#include <atomic>

extern HINSTANCE ModuleInstance;
extern char SettingsPath[MAX_PATH];
extern char DataFolderPath[MAX_PATH];
extern HANDLE WorkerThread;
extern HANDLE PatrolEvent;

// Loaded from the settings file (see settings/feed_settings.h). Both the
// host's thread and the worker read and store them, so they are atomic.
extern std::atomic<int> FolderConfigured;
extern std::atomic<int> IntervalMinutes;
extern std::atomic<int> MinutesLeft;
extern std::atomic<int> AutoSortEnabled;

// Set at detach: the patrol stops after the feed in hand and stores what it
// delivered; the worker then stays idle.
extern std::atomic<int> PatrolStopRequested;
// 1 from the worker's wake-up to the end of its patrol.
extern std::atomic<int> PatrolRunning;

#include "process_values.h"

HINSTANCE ModuleInstance;
char SettingsPath[MAX_PATH];
char DataFolderPath[MAX_PATH];
HANDLE WorkerThread;
HANDLE PatrolEvent;

std::atomic<int> FolderConfigured;
std::atomic<int> IntervalMinutes;
std::atomic<int> MinutesLeft;
std::atomic<int> AutoSortEnabled;

std::atomic<int> PatrolStopRequested;
std::atomic<int> PatrolRunning;

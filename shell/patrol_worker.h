// The worker thread and the triggers that wake it.
#pragma once
#include "native/platform.h"

#include <atomic>

// Thread procedure; `parameter` is the worker's own handle of the patrol event.
DWORD WINAPI PatrolWorker(LPVOID parameter);

// One tick of the host's per-minute callback.
void OnMinuteTick();

// Set at detach: the patrol stops after the feed in hand and stores what it
// delivered; the worker then stays idle.
extern std::atomic<int> PatrolStopRequested;
// 1 from the worker's wake-up to the end of its patrol.
extern std::atomic<int> PatrolRunning;

// The worker thread and the triggers that wake it.
#pragma once
#include "native/platform.h"

// Thread procedure; `parameter` is the worker's own handle of the patrol event.
DWORD WINAPI PatrolWorker(LPVOID parameter);

// One tick of the host's per-minute callback.
void OnMinuteTick();

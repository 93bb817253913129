#include "patrol_worker.h"
#include "host_functions.h"

#include "base/process_values.h"
#include "settings/feed_settings.h"

#include <exception>

DWORD WINAPI PatrolWorker(LPVOID parameter)
{
    HANDLE event = static_cast<HANDLE>(parameter);
    for (;;) {
        WaitForSingleObject(event, INFINITE);
        ResetEvent(event);
        if (PatrolStopRequested)
            continue;  // parked until the detach terminates the thread
        PatrolRunning = 1;
        MinutesLeft = IntervalMinutes.load();
        // No exception may leave the worker: it would end the mail client.
        int appended = 0;
        const bool timed = MenuPatrolAsked.exchange(0) == 0;
        try {
            appended = FeedSettings::Patrol(timed);
        } catch (const std::exception &) {
            appended = 0;
        }
        if (appended && AutoSortEnabled && !PatrolStopRequested)
            HostFunctions.Command(nullptr, "ManualFilter");
        PatrolRunning = 0;
    }
}

void OnMinuteTick()
{
    if (MinutesLeft != 0)
        --MinutesLeft;
    if (MinutesLeft == 1)
        SetEvent(PatrolEvent);
}

#include "patrol_worker.h"
#include "host_functions.h"

#include "base/patrol_requests.h"
#include "base/process_values.h"
#include "dialogs/preferences_dialog.h"
#include "settings/feed_settings.h"

#include <exception>

namespace {

// Takes what was asked and patrols it: false when nothing was (it was taken
// in the wake before).
bool PatrolAsked()
{
    PatrolRequests asked;
    TakePatrolRequests(&asked);
    if (!asked.whole && asked.feeds.empty())
        return false;
    if (asked.whole)
        MinutesLeft = IntervalMinutes.load();
    // No exception may leave the worker: it would end the mail client.
    int appended = 0;
    try {
        appended = FeedSettings::Patrol(asked);
    } catch (const std::exception &) {
        appended = 0;
    }
    FeedPatrolsDone();
    if (appended && AutoSortEnabled && !PatrolStopRequested)
        HostFunctions.Command(nullptr, "ManualFilter");
    return true;
}

}  // namespace

DWORD WINAPI PatrolWorker(LPVOID parameter)
{
    HANDLE event = static_cast<HANDLE>(parameter);
    for (;;) {
        WaitForSingleObject(event, INFINITE);
        ResetEvent(event);
        if (PatrolStopRequested)
            continue;  // parked until the detach terminates the thread
        // Running from before the requests are taken until their memory is
        // freed: an unload waits for a worker that may hold the heap, and
        // ends at once only one that waits on its event. Looked at again
        // after, for an unload that began in between.
        PatrolRunning = 1;
        if (!PatrolStopRequested && PatrolAsked())
            TellPreferencesPatrolEnded();  // an open dialog shows what it found
        PatrolRunning = 0;
    }
}

void OnMinuteTick()
{
    if (MinutesLeft != 0)
        --MinutesLeft;
    if (MinutesLeft == 1)
        AskForPatrol(false);
}

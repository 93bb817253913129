#include "patrol_worker.h"
#include "host_functions.h"

#include "base/patrol_requests.h"
#include "base/process_values.h"
#include "dialogs/preferences_dialog.h"
#include "settings/feed_settings.h"

#include <exception>

namespace {

// No exception may leave the worker: it would end the mail client.
int PatrolCaught(bool timed, const char *only)
{
    try {
        return FeedSettings::Patrol(timed, only);
    } catch (const std::exception &) {
        return 0;
    }
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
        PatrolRequests asked;
        TakePatrolRequests(&asked);
        if (!asked.whole && asked.feeds.empty())
            continue;  // asked for and taken in the previous wake
        PatrolRunning = 1;
        int appended = 0;
        if (asked.whole) {
            MinutesLeft = IntervalMinutes.load();
            appended = PatrolCaught(!asked.menu, nullptr);
        }
        // A patrol from the menu has just requested every feed; a timed one
        // may have left out the feed asked for, not due by its interval.
        if (!asked.menu) {
            for (const std::string &url : asked.feeds)
                if (!PatrolStopRequested && PatrolCaught(false, url.c_str()))
                    appended = 1;
        }
        FeedPatrolsDone();
        if (appended && AutoSortEnabled && !PatrolStopRequested)
            HostFunctions.Command(nullptr, "ManualFilter");
        PatrolRunning = 0;
        // An open preferences dialog shows what the patrol found.
        TellPreferencesPatrolEnded();
    }
}

void OnMinuteTick()
{
    if (MinutesLeft != 0)
        --MinutesLeft;
    if (MinutesLeft == 1)
        AskForPatrol(false);
}

#include "patrol_requests.h"
#include "process_values.h"

#include <algorithm>
#include <exception>

namespace {

// Taken by the host's thread and the worker, never around a patrol.
SRWLOCK requestsLock = SRWLOCK_INIT;
PatrolRequests waiting;
std::vector<std::string> inHand;  // the single feeds the worker took

bool holds(const std::vector<std::string> &feeds, const char *url)
{
    return std::find(feeds.begin(), feeds.end(), url) != feeds.end();
}

class RequestsLock {
public:
    RequestsLock() { AcquireSRWLockExclusive(&requestsLock); }
    ~RequestsLock() { ReleaseSRWLockExclusive(&requestsLock); }
    RequestsLock(const RequestsLock &) = delete;
    RequestsLock &operator=(const RequestsLock &) = delete;
};

}  // namespace

void AskForPatrol(bool menu)
{
    {
        RequestsLock lock;
        waiting.whole = true;
        waiting.menu = waiting.menu || menu;
    }
    if (PatrolEvent)
        SetEvent(PatrolEvent);
}

int AskForFeedPatrol(const char *url)
{
    if (!PatrolEvent || !WorkerThread)
        return FeedPatrolNoWorker;
    {
        RequestsLock lock;
        std::vector<std::string> &feeds = waiting.feeds;
        if (!holds(feeds, url)) {
            if (feeds.size() >= MaxWaitingFeeds)
                return FeedPatrolTooMany;
            try {
                feeds.push_back(url);
            } catch (const std::exception &) {
                return FeedPatrolTooMany;  // out of memory: not asked, and nothing thrown into the dialog
            }
        }
    }
    return SetEvent(PatrolEvent) ? FeedPatrolAsked : FeedPatrolNoWorker;
}

void TakePatrolRequests(PatrolRequests *requests)
{
    PatrolRequests none;
    RequestsLock lock;
    std::swap(*requests, waiting);
    std::swap(waiting, none);
    try {
        inHand = requests->feeds;
    } catch (const std::exception &) {
        inHand.clear();  // only the pane's word "waiting" is lost
    }
}

void FeedPatrolsDone()
{
    std::vector<std::string> none;
    RequestsLock lock;
    std::swap(inHand, none);
}

int FeedPatrolPending(const char *url)
{
    RequestsLock lock;
    return holds(waiting.feeds, url) || holds(inHand, url);
}

void ForgetPatrolRequests()
{
    PatrolRequests none;
    std::vector<std::string> noFeeds;
    // Not waiting: a worker ended by the unload may have left the lock taken.
    if (!TryAcquireSRWLockExclusive(&requestsLock))
        return;
    std::swap(waiting, none);
    std::swap(inHand, noFeeds);
    ReleaseSRWLockExclusive(&requestsLock);
}

// What the worker is asked to do when it next wakes: a whole patrol (the
// start-up's, the timer's or the menu command's) and single feeds (the
// preferences dialog's PATROL button). Requests made while a patrol runs
// wait for its end; the worker takes them all at once.
#pragma once
#include <string>
#include <vector>

// At most this many single feeds wait at once; one still waiting is not
// asked for twice (one the worker has taken may be asked for again: its
// patrol may be over before the new settings it should try).
enum { MaxWaitingFeeds = 16 };

// What became of a request for one feed.
enum FeedPatrolAnswer { FeedPatrolNoWorker = -1, FeedPatrolTooMany = 0, FeedPatrolAsked = 1 };

// One patrol: every feed (whole), or only the feeds asked for by hand; those
// are requested whatever their own interval, as every feed is from the menu.
struct PatrolRequests {
    bool whole = false;
    bool menu = false;
    std::vector<std::string> feeds;  // addresses as KIV.ini lists them
};

// Asks for a whole patrol and wakes the worker.
void AskForPatrol(bool menu);
// Asks for a patrol of the listed feed alone and wakes the worker: a
// FeedPatrolAnswer (asked also when it was waiting already).
int AskForFeedPatrol(const char *url);
// Gives the worker what was asked since it last took, and clears it.
void TakePatrolRequests(PatrolRequests *requests);
// The worker has patrolled the single feeds it took.
void FeedPatrolsDone();
// 1 while a patrol of the listed feed alone waits or runs.
int FeedPatrolPending(const char *url);
// Forgets every request (at load and unload); left as they are while the
// lock is taken.
void ForgetPatrolRequests();

// Lookups run on threads of their own, one a lookup, each writing its body
// to a file of its own in the data folder and deleting it before it says it
// has ended. Only the dialog's thread starts, takes and gives up lookups;
// the unload ends them once the dialog is gone.
#include "discovery_fetch.h"

#include "base/process_values.h"
#include "base/scoped_handles.h"
#include "base/thread_stacks.h"
#include "feed/feed_converter.h"
#include "feed/fetch/download_deadline.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <string>

namespace {

// Files of lookups: apart from the patrol's download files, which a patrol
// deletes as leftovers while a lookup may still be writing its own.
const char DiscoveryFilePrefix[] = "kdl";

struct Lookup {
    ScopedObjectHandle thread;
    ScopedObjectHandle ended;
    std::string url;
    char file[MAX_PATH] = "";
    DownloadOutcome outcome;
    Discovery found;
    bool taken = true;          // nothing started, or its result taken or given up
};

Lookup Lookups[MaxDiscoveries];
std::atomic<int> EndingLookups{0};
unsigned long FileNumber = 0;

DWORD WINAPI lookup_thread(LPVOID parameter)
{
    Lookup *lookup = static_cast<Lookup *>(parameter);
    try {
        if (FeedConverter::download_feed(lookup->url.c_str(), lookup->file, nullptr, nullptr, nullptr,
                                         &lookup->outcome) == Downloaded)
            judge_download(lookup->file, lookup->outcome.address, lookup->outcome.status, &lookup->found);
    } catch (const std::exception &) {
        lookup->outcome = DownloadOutcome();
        lookup->outcome.reason = "out of memory";
        lookup->outcome.failure = FailureLocal;
    }
    DeleteFileA(lookup->file);
    SetEvent(lookup->ended.get());
    // During an unload, which holds the loader lock that an ordinary exit
    // waits for, the thread ends itself where it holds no lock.
    if (EndingLookups)
        TerminateThread(GetCurrentThread(), 0);
    return 0;
}

// Waits for and closes the thread of a lookup that has ended.
void reclaim(Lookup &lookup)
{
    WaitForSingleObject(lookup.thread.get(), INFINITE);
    lookup.thread.reset(nullptr);
    lookup.ended.reset(nullptr);
    lookup.found = Discovery();
}

// A slot for a new lookup, the threads of ended ones given up before
// reclaimed on the way; nullptr when every slot is busy.
Lookup *free_lookup()
{
    Lookup *found = nullptr;
    for (Lookup &lookup : Lookups) {
        if (!lookup.taken || (lookup.ended.held() && WaitForSingleObject(lookup.ended.get(), 0) != WAIT_OBJECT_0))
            continue;
        if (lookup.thread.held())
            reclaim(lookup);
        if (!found)
            found = &lookup;
    }
    return found;
}

}  // namespace

int start_discovery(const char *url)
{
    Lookup *lookup = free_lookup();
    if (!lookup)
        return NoDiscovery;
    if (snprintf(lookup->file, sizeof lookup->file, "%s\\%s%lu.tmp", DataFolderPath, DiscoveryFilePrefix,
                 ++FileNumber) >= int(sizeof lookup->file))
        return NoDiscovery;
    CreateDirectoryA(DataFolderPath, nullptr);
    lookup->url = url;
    lookup->outcome = DownloadOutcome();
    lookup->found = Discovery();
    lookup->ended.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (lookup->ended.held())
        lookup->thread.reset(start_thread_reserving(lookup_thread, lookup, NetworkStackReserve));
    if (!lookup->thread.held()) {
        lookup->ended.reset(nullptr);
        return NoDiscovery;
    }
    lookup->taken = false;
    return int(lookup - Lookups);
}

HANDLE discovery_ended(int started) { return Lookups[started].ended.get(); }

void take_discovery(int started, DownloadOutcome *outcome, Discovery *found)
{
    Lookup &lookup = Lookups[started];
    *outcome = lookup.outcome;
    *found = lookup.found;
    lookup.taken = true;
    reclaim(lookup);
}

void abandon_discovery(int started) { Lookups[started].taken = true; }

void end_discovery_threads()
{
    EndingLookups = 1;
    HANDLE threads[MaxDiscoveries];
    DWORD count = 0;
    for (Lookup &lookup : Lookups)
        if (lookup.thread.held())
            threads[count++] = lookup.thread.get();
    end_threads(threads, count);
    for (Lookup &lookup : Lookups) {
        lookup.thread.reset(nullptr);
        lookup.ended.reset(nullptr);
        lookup.file[0] = '\0';
        lookup.taken = true;
    }
    // A terminated lookup's file, and those of a process that ended in the
    // middle of one; the others deleted theirs.
    delete_leftover_files(DiscoveryFilePrefix);
    EndingLookups = 0;
}

// The patrol log file, patrol.log in the data folder: one line per feed per
// patrol (patrol_log.h). Past MaxPatrolLogBytes it becomes patrol.log.1,
// replacing the one before, and a new patrol.log starts. A log that cannot be
// written is left alone: the patrol neither waits for it nor fails.
#pragma once
#include "patrol_log.h"

#include "base/scoped_handles.h"

class PatrolLog {
public:
    // The log in folder, opened at the first line.
    explicit PatrolLog(const char *folder);
    PatrolLog(const PatrolLog &) = delete;
    PatrolLog &operator=(const PatrolLog &) = delete;

    // Writes the line of one feed's outcome, stamped with the local time, to
    // the log and to the debugger output.
    void write(const char *url, const FeedOutcome &outcome);

private:
    bool open();
    bool rotate();

    char path_[MAX_PATH] = "";
    ScopedFileHandle file_;
    unsigned long size_ = 0;
    bool given_up_ = false;   // the log cannot be written in this patrol
};

// The last verdict on url in the log of folder (patrol.log, then the one it
// replaced): its line's date and time and its words. 1 when one is found.
int read_last_verdict(const char *folder, const char *url, std::string *stamp, std::string *words);
// How many of url's last patrols in a row, up to most, had its rules hold
// back every new item (patrol.log alone).
int read_held_back_patrols(const char *folder, const char *url, int most);

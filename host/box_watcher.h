// Answers the message boxes that the plug-in shows, as a user would, and
// reports what each said. For scripted runs; a person answers them by hand.
#pragma once

// answer: IDOK, IDCANCEL, IDYES or IDNO; a box without that button is
// answered with IDOK.
void StartBoxWatcher(int answer);

// Ends the watcher, if one runs, and waits for it.
void StopBoxWatcher();

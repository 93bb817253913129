// Drives the plug-in's preferences dialog from a script, as a user would: a
// second thread waits for the dialog, clicks tabs, buttons and list entries,
// types into the edit box, picks from the combo box, resizes the window,
// reports what the controls show and takes screenshots. For tests; a person
// uses the dialog by hand.
#pragma once
#include <windows.h>

#include <string>

// Runs `setup` (which opens the dialog and returns when it has closed) while
// the steps of the script file `path` are played against the dialog; returns
// when both have ended.
void DriveSetup(const std::string &path, HMODULE plugin, void (*setup)());

// The preferences dialog: a tab control with the URL LIST, OPTION and about pages.
#pragma once
#include "feed/patrol/feed_state.h"
#include "native/platform.h"

// Opened with a FeedStateReader as its parameter (may be null).
INT_PTR CALLBACK PreferencesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// The one procedure of the three pages; their commands go to the dialog's dispatch.
INT_PTR CALLBACK PreferencesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
// Prepares the dialog when it opens: 1 when ready, 0 when it must close.
int SetUpPreferencePages(HWND dialog);
// From the worker at the end of a patrol: an open dialog's pane is shown
// anew (posted, never waited for).
void TellPreferencesPatrolEnded();

// The windows of the open dialog (the dialog is modal: one at a time). All
// null while no dialog is open.
struct PreferenceWindows {
    HWND frame;
    HWND tab;
    HWND urlPage, optionPage, aboutPage;
    HWND intervalCombo, autoSortCheck, oneMailPerItemCheck;
    // Handed over by the one who opens the dialog (its parameter).
    FeedStateReader readFeedState;
};
extern PreferenceWindows Preferences;

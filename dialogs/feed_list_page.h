// The URL LIST and OPTION pages: what their controls do to the settings file.
#pragma once
#include "native/platform.h"

// Adds the text of the page's edit box as a new feed: 1 when added.
int AddFeedFromEdit(HWND page);
// Removes the feed selected in the list: 1 when one was removed.
int DeleteSelectedFeed();

// The buttons and controls, as the dialog's command dispatch calls them.
void AddFeedAndSelectLast();
void ReplaceSelectedFeed();
void EditDoubleClickedFeed(HWND page);
// SETTING: the selected feed's own settings, in a dialog of their own.
void OpenSelectedFeedOptions();
// PATROL: the selected feed patrolled alone, when the worker is free.
void PatrolSelectedFeed();
// The pane under the list: what is known of the selected feed, empty while
// none is selected.
void ShowSelectedFeedState();
void StoreChosenInterval();
void StoreAutoSortCheck();
// The form of message, in effect from the next patrol.
void StoreOneMailPerItemCheck();

// Fills the OPTION page from the settings file and the options file.
void FillOptionPage();

// The preferences dialog: a tab control with the URL LIST, OPTION and about pages.
#pragma once
#include "../native/platform.h"

INT_PTR CALLBACK PreferencesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

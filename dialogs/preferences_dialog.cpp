#include "preferences_dialog.h"
#include "feed_list_page.h"
#include "opml_page.h"

#include "base/process_values.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "settings/feed_settings.h"
#include "settings/settings_backup.h"

#include <commctrl.h>

#include <atomic>
#include <exception>

PreferenceWindows Preferences;

namespace {

// The open dialog's frame, for the worker, which may not touch the windows.
std::atomic<HWND> OpenFrame;
// Posted by the worker at the end of a patrol: the pane shows what it found.
const UINT PatrolEndedMessage = WM_APP + 1;

void ShowOnlyPage(int index)
{
    if (index < 0 || index >= PreferencePageCount)
        return;
    HWND pages[PreferencePageCount] = {Preferences.urlPage, Preferences.optionPage, Preferences.aboutPage};
    for (int i = 0; i < PreferencePageCount; ++i)
        ShowWindow(pages[i], i == index ? SW_SHOW : SW_HIDE);
}

int AtLeastZero(LONG value) { return value > 0 ? int(value) : 0; }

// The pane under the feed list, in pixels: four lines of the page's font.
const LONG FeedStatePaneHeight = 60;
const LONG FeedStatePaneGap = 6;

// The pages fill the tab control's display area.
void PlacePagesInTab(HWND dialog)
{
    RECT area;
    GetClientRect(Preferences.tab, &area);
    SendMessageA(Preferences.tab, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    MapWindowPoints(Preferences.tab, dialog, reinterpret_cast<POINT *>(&area), 2);
    HWND pages[PreferencePageCount] = {Preferences.urlPage, Preferences.optionPage, Preferences.aboutPage};
    for (HWND page : pages)
        MoveWindow(page, area.left, area.top, area.right - area.left, area.bottom - area.top, FALSE);
    // Created after the tab control, the pages lie beneath it, and a repaint
    // of the tab control would cover them: they go just above it.
    HWND aboveTab = GetWindow(Preferences.tab, GW_HWNDPREV);
    for (HWND page : pages)
        SetWindowPos(page, aboveTab ? aboveTab : HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

// On resize the tab control and the URL LIST page grow with the dialog: the
// list and the edit box widen, the buttons keep their size at the right edge,
// and the feed's pane keeps its height under the list, as wide as the list,
// with the selected feed's two buttons beside it.
void LayOut(HWND dialog)
{
    if (!Preferences.urlPage)
        return;  // still being created
    RECT area;
    GetClientRect(dialog, &area);
    SendMessageA(Preferences.tab, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    MoveWindow(Preferences.tab, 12, 17, AtLeastZero(area.right - area.left - 17),
               AtLeastZero(area.bottom - area.top), TRUE);
    MapWindowPoints(Preferences.tab, dialog, reinterpret_cast<POINT *>(&area), 2);
    LONG left = area.left, top = area.top, right = area.right;
    LONG width = area.right - area.left, height = area.bottom - area.top;
    HWND page = Preferences.urlPage;
    MoveWindow(page, left, top, AtLeastZero(width - 25), AtLeastZero(height - 30), TRUE);
    LONG listHeight = height - 70 - FeedStatePaneHeight - FeedStatePaneGap;
    LONG paneTop = 33 + AtLeastZero(listHeight) + FeedStatePaneGap;
    MoveWindow(GetDlgItem(page, IDC_FEED_LIST), 11, 33, AtLeastZero(width - 107), AtLeastZero(listHeight), TRUE);
    MoveWindow(GetDlgItem(page, IDC_FEED_STATE), 11, paneTop, AtLeastZero(width - 107), FeedStatePaneHeight, TRUE);
    MoveWindow(GetDlgItem(page, IDC_FEED_OPTIONS_BUTTON), right - 106, paneTop, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_PATROL_FEED_BUTTON), right - 106, paneTop + 27, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_ADD_BUTTON), right - 106, 11, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_REPLACE_BUTTON), right - 106, 33, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_DELETE_BUTTON), right - 106, 65, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_IMPORT_BUTTON), right - 106, 109, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_EXPORT_BUTTON), right - 106, 133, 63, 21, TRUE);
    MoveWindow(GetDlgItem(page, IDC_URL_EDIT), 35, 11, AtLeastZero(width - 130), 20, TRUE);
}

// After CANCEL has put the file back, its options are the ones in effect. The
// countdown restarts only when the interval really changes.
void PutStoredOptionsIntoEffect()
{
    if (IntervalMinutesTable[FeedSettings::ReadIntervalIndex()] != IntervalMinutes)
        FeedSettings::LoadInterval();
    FeedSettings::LoadAutoSort();
}

void DispatchCommand(HWND window, WPARAM wParam)
{
    int id = LOWORD(wParam), code = HIWORD(wParam);
    switch (id) {
    case IDOK:
        DiscardSettingsBackup();
        EndDialog(Preferences.frame, 1);
        break;
    case IDCANCEL:
        if (RestoreSettingsBackup())
            PutStoredOptionsIntoEffect();
        EndDialog(Preferences.frame, 2);
        break;
    case IDC_ADD_BUTTON:
        AddFeedAndSelectLast();
        break;
    case IDC_DELETE_BUTTON:
        DeleteSelectedFeed();
        break;
    case IDC_REPLACE_BUTTON:
        ReplaceSelectedFeed();
        break;
    case IDC_IMPORT_BUTTON:
        ImportFeedListFromFile();
        break;
    case IDC_EXPORT_BUTTON:
        ExportFeedListToFile();
        break;
    case IDC_FEED_OPTIONS_BUTTON:
        OpenSelectedFeedOptions();
        break;
    case IDC_PATROL_FEED_BUTTON:
        PatrolSelectedFeed();
        break;
    case IDC_INTERVAL_COMBO:
        if (code == CBN_SELCHANGE)
            StoreChosenInterval();
        break;
    case IDC_AUTO_SORT_CHECK:
        if (code == BN_CLICKED)
            StoreAutoSortCheck();
        break;
    case IDC_ONE_MAIL_PER_ITEM_CHECK:
        if (code == BN_CLICKED)
            StoreOneMailPerItemCheck();
        break;
    case IDC_FEED_LIST:
        if (code == LBN_SELCHANGE)
            ShowSelectedFeedState();
        break;
    }
    // Only the feed list sends this code (LBN_DBLCLK).
    if (code == LBN_DBLCLK)
        EditDoubleClickedFeed(window);
}

// No exception may unwind into the system's dialog code: out of memory, the
// command does nothing.
void Dispatch(HWND window, WPARAM wParam)
{
    try {
        DispatchCommand(window, wParam);
    } catch (const std::exception &) {
    }
}

}  // namespace

int SetUpPreferencePages(HWND dialog)
{
    if (!FeedSettings::EnsureDestinationFolder(dialog))
        return 0;
    InitCommonControls();

    Preferences.tab = GetDlgItem(dialog, IDC_PAGE_TABS);
    for (int i = 0; i < PreferencePageCount; ++i) {
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<char *>(PreferenceTabTexts[i]);
        SendMessageA(Preferences.tab, TCM_INSERTITEMA, WPARAM(i), LPARAM(&item));
    }

    Preferences.urlPage =
        CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_URL_LIST_PAGE), dialog, PreferencesPageProc, 0);
    Preferences.optionPage =
        CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_OPTION_PAGE), dialog, PreferencesPageProc, 0);
    Preferences.aboutPage =
        CreateDialogParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_ABOUT_PAGE), dialog, PreferencesPageProc, 0);
    for (int i = 0; i < AboutLineCount; ++i)
        SetDlgItemTextA(Preferences.aboutPage, IDC_FIRST_ABOUT_LINE + i, AboutLines[i]);

    Preferences.intervalCombo = GetDlgItem(Preferences.optionPage, IDC_INTERVAL_COMBO);
    Preferences.autoSortCheck = GetDlgItem(Preferences.optionPage, IDC_AUTO_SORT_CHECK);
    Preferences.oneMailPerItemCheck = GetDlgItem(Preferences.optionPage, IDC_ONE_MAIL_PER_ITEM_CHECK);
    FillOptionPage();

    PlacePagesInTab(dialog);
    ShowWindow(Preferences.urlPage, SW_SHOW);

    // Taken after the prompt: CANCEL keeps the folder the user has just chosen.
    TakeSettingsBackup();
    FeedSettings::FillFeedList(GetDlgItem(Preferences.urlPage, IDC_FEED_LIST));
    return 1;
}

INT_PTR CALLBACK PreferencesDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: {
        Preferences = PreferenceWindows();
        Preferences.frame = window;
        Preferences.readFeedState = reinterpret_cast<FeedStateReader>(lParam);
        int ready = SetUpPreferencePages(window);
        if (!ready)
            SendMessageA(window, WM_COMMAND, IDCANCEL, 0);
        else
            OpenFrame = window;  // its pages exist: the worker may have them shown anew
        return ready;
    }
    case WM_SIZE:
        LayOut(window);
        return 0;
    case WM_NOTIFY: {
        const NMHDR *header = reinterpret_cast<const NMHDR *>(lParam);
        if (header->hwndFrom == Preferences.tab && header->code == UINT(TCN_SELCHANGE))
            ShowOnlyPage(int(SendMessageA(Preferences.tab, TCM_GETCURSEL, 0, 0)));
        return TRUE;
    }
    case WM_COMMAND:
        Dispatch(window, wParam);
        return TRUE;
    case WM_DESTROY:
        // The pages end with the dialog; nothing may reach their old handles.
        if (window == Preferences.frame) {
            OpenFrame = nullptr;
            Preferences = PreferenceWindows();
        }
        return FALSE;
    case PatrolEndedMessage:
        if (Preferences.urlPage)
            ShowSelectedFeedState();
        return TRUE;
    }
    return FALSE;
}

void TellPreferencesPatrolEnded()
{
    if (HWND frame = OpenFrame.load())
        PostMessageA(frame, PatrolEndedMessage, 0, 0);
}

INT_PTR CALLBACK PreferencesPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_COMMAND) {
        PreferencesDialogProc(page, message, wParam, lParam);
        return TRUE;
    }
    return FALSE;
}

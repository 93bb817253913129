// The dialog side of a look at a typed address: a busy cursor at once, after
// half a second a window that says what is read and can cancel (modal to
// the preferences frame, so ADD cannot be pressed again meanwhile), the
// choice among several feeds, and the question when none is found.
#include "feed_discovery_page.h"
#include "discovery_fetch.h"
#include "preferences_dialog.h"

#include "base/process_values.h"
#include "base/single_line.h"
#include "base/text_copy.h"
#include "feed/fetch/download_deadline.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "settings/feed_settings.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// How long the lookup may take before the wait window shows, and how often
// the window looks whether the lookup has ended.
const DWORD QuietWaitMilliseconds = 500;
const UINT_PTR PollTimer = 1;
const UINT PollMilliseconds = 50;
// A wait window's end other than OK and Cancel: the feed deadline passed.
const INT_PTR LookupOverdue = 100;

enum { BoxTextSize = 1024, ShownAddressBytes = 96, ReasonSize = 320 };
// The list's height and the gap under it in the template, in dialog units.
enum { WaitingCloseUp = 63 };

enum LookupEnd { LookupTaken, LookupCancelled, LookupGivenUp, LookupBusy };

// What the feed choice window works on: while waiting, the lookup; while
// choosing, the feeds and the pick.
struct ChoiceWindow {
    const char *address;
    int started;
    DWORD since;
    const Discovery *found;
    int picked;
};

// The text of a page's title in the code page of the window: a UTF-8 title
// converted, any other kept as it is.
std::string ShownTitle(const char *title)
{
    int wide = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, title, -1, nullptr, 0);
    if (wide <= 0)
        return title;
    std::wstring text(size_t(wide), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, title, -1, &text[0], wide);
    int bytes = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return title;
    std::string shown(size_t(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &shown[0], bytes, nullptr, nullptr);
    shown.resize(size_t(bytes - 1));
    return shown;
}

void FillChoice(HWND dialog, const Discovery &found)
{
    char text[BoxTextSize];
    snprintf(text, sizeof text, FeedChoiceText, unsigned(found.links.size()));
    SetDlgItemTextA(dialog, IDC_FEED_CHOICE_TEXT, text);
    HWND list = GetDlgItem(dialog, IDC_FEED_CHOICE_LIST);
    HDC context = GetDC(list);
    HGDIOBJ font = SelectObject(context, HGDIOBJ(SendMessageA(list, WM_GETFONT, 0, 0)));
    LONG widest = 0;
    for (const FeedLink &link : found.links) {
        std::string entry = link.address;
        if (link.title[0]) {
            std::string title = ShownTitle(link.title);
            std::vector<char> line(title.size() + entry.size() + strlen(FeedChoiceEntryFormat) + 1);
            snprintf(line.data(), line.size(), FeedChoiceEntryFormat, title.c_str(), link.address);
            entry = line.data();
        }
        SendMessageA(list, LB_ADDSTRING, 0, LPARAM(entry.c_str()));
        SIZE size = {};
        GetTextExtentPoint32A(context, entry.c_str(), int(entry.size()), &size);
        widest = size.cx > widest ? size.cx : widest;
    }
    SelectObject(context, font);
    ReleaseDC(list, context);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, WPARAM(widest + 8), 0);
    SendMessageA(list, LB_SETCURSEL, 0, 0);
}

void ShowWaiting(HWND dialog, const char *address)
{
    char shown[ShownAddressBytes], text[BoxTextSize];
    copy_text(shown, sizeof shown, address);
    snprintf(text, sizeof text, FeedLookupText, shown);
    SetDlgItemTextA(dialog, IDC_FEED_CHOICE_TEXT, text);
    ShowWindow(GetDlgItem(dialog, IDC_FEED_CHOICE_LIST), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDOK), SW_HIDE);
    // Without the list the window closes up: CANCEL moves up under the text
    // line, by the list's height in dialog units.
    RECT shift = {0, 0, 0, WaitingCloseUp};
    MapDialogRect(dialog, &shift);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    RECT button, frame;
    GetWindowRect(cancel, &button);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&button), 2);
    SetWindowPos(cancel, nullptr, button.left, button.top - shift.bottom, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    GetWindowRect(dialog, &frame);
    SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top - shift.bottom,
                 SWP_NOMOVE | SWP_NOZORDER);
    SetTimer(dialog, PollTimer, PollMilliseconds, nullptr);
}

INT_PTR CALLBACK ChoiceProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    ChoiceWindow *window = reinterpret_cast<ChoiceWindow *>(GetWindowLongPtrA(dialog, DWLP_USER));
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        window = reinterpret_cast<ChoiceWindow *>(lParam);
        if (window->found)
            FillChoice(dialog, *window->found);
        else
            ShowWaiting(dialog, window->address);
        return TRUE;
    case WM_TIMER:
        if (wParam == PollTimer && window && !window->found) {
            if (WaitForSingleObject(discovery_ended(window->started), 0) == WAIT_OBJECT_0)
                EndDialog(dialog, IDOK);
            else if (GetTickCount() - window->since >= feed_deadline())
                EndDialog(dialog, LookupOverdue);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FEED_CHOICE_LIST && HIWORD(wParam) == LBN_DBLCLK)
            wParam = IDOK;
        if (LOWORD(wParam) == IDOK && window && window->found) {
            LRESULT picked = SendDlgItemMessageA(dialog, IDC_FEED_CHOICE_LIST, LB_GETCURSEL, 0, 0);
            if (picked == LB_ERR)
                return TRUE;
            window->picked = int(picked);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    case WM_DESTROY:
        KillTimer(dialog, PollTimer);
        return FALSE;
    default:
        return FALSE;
    }
}

// Fetches typed and waits for what comes, the dialog kept alive after the
// first moment; how the wait ended. On LookupTaken, outcome and found hold
// what came.
int AwaitLookup(const char *typed, DownloadOutcome *outcome, Discovery *found)
{
    int started = start_discovery(typed);
    if (started == NoDiscovery)
        return LookupBusy;
    if (WaitForSingleObject(discovery_ended(started), QuietWaitMilliseconds) != WAIT_OBJECT_0) {
        ChoiceWindow window = {typed, started, GetTickCount() - QuietWaitMilliseconds, nullptr, -1};
        INT_PTR end = DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FEED_CHOICE), Preferences.frame,
                                      ChoiceProc, LPARAM(&window));
        if (end != IDOK) {
            abandon_discovery(started);
            return end == LookupOverdue ? LookupGivenUp : LookupCancelled;
        }
    }
    take_discovery(started, outcome, found);
    return LookupTaken;
}

// Why a lookup found no feed, in words, into reason (ReasonSize bytes).
void DescribeNoFeed(int end, const DownloadOutcome &outcome, const Discovery &found, char *reason)
{
    if (end == LookupBusy) {
        copy_text(reason, ReasonSize, LookupBusyText);
    } else if (end == LookupGivenUp) {
        snprintf(reason, ReasonSize, LookupOverdueFormat, unsigned(feed_deadline() / 1000));
    } else if (outcome.result != Downloaded) {
        const unsigned texts = sizeof LookupFailureTexts / sizeof *LookupFailureTexts;
        static_assert(texts == FailurePaused + 1, "a text for every kind of failed download");
        unsigned failure = unsigned(outcome.failure) < texts ? unsigned(outcome.failure) : 0;
        int length = snprintf(reason, ReasonSize, LookupFailureTexts[failure], outcome.reason);
        if (outcome.error && length >= 0 && length < ReasonSize)
            snprintf(reason + length, ReasonSize - size_t(length), LookupErrorFormat, outcome.error);
    } else if (found.why == WhyHttpStatus) {
        snprintf(reason, ReasonSize, LookupStatusFormat, found.status);
    } else if (found.why == WhyNoListableLink) {
        copy_text(reason, ReasonSize, LookupNoListableLinkText);
    } else {
        snprintf(reason, ReasonSize, LookupNoFeedLinkFormat, found.detail);
    }
    make_single_line(reason);
}

}  // namespace

int SettleFeedAddress(const char *typed, char *chosen)
{
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    DownloadOutcome outcome;
    Discovery found;
    int end = AwaitLookup(typed, &outcome, &found);
    SetCursor(previous);
    if (end == LookupCancelled)
        return 0;
    if (end == LookupTaken && found.kind == DiscoveredFeed)
        return int(copy_text(chosen, UrlBufferSize, typed) > 0);
    if (end == LookupTaken && found.kind == DiscoveredLinks) {
        int picked = 0;
        if (found.links.size() > 1) {
            ChoiceWindow window = {typed, NoDiscovery, 0, &found, -1};
            if (DialogBoxParamA(ModuleInstance, MAKEINTRESOURCEA(IDD_FEED_CHOICE), Preferences.frame, ChoiceProc,
                                LPARAM(&window)) != IDOK ||
                window.picked < 0)
                return 0;
            picked = window.picked;
        }
        copy_text(chosen, UrlBufferSize, found.links[size_t(picked)].address);
        return 1;
    }
    char reason[ReasonSize], shown[ShownAddressBytes], text[BoxTextSize];
    DescribeNoFeed(end, outcome, found, reason);
    copy_text(shown, sizeof shown, typed);
    snprintf(text, sizeof text, FeedNotFoundFormat, shown, reason);
    if (MessageBoxA(Preferences.frame, text, FeedAddressCaption, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES)
        return 0;
    copy_text(chosen, UrlBufferSize, typed);
    return 1;
}

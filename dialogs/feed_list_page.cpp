// The URL LIST and OPTION pages. The list box always shows what the settings
// file holds: every change is written first, then the list is read back.
#include "feed_list_page.h"
#include "feed_discovery_page.h"
#include "feed_options_dialog.h"
#include "preferences_dialog.h"
#include "wide_text.h"

#include "base/patrol_requests.h"
#include "base/text_copy.h"
#include "feed/fetch/credentials.h"
#include "feed/patrol/feed_state.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "settings/feed_options.h"
#include "settings/feed_settings.h"
#include "settings/options_file.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

namespace {

HWND FeedListBox() { return GetDlgItem(Preferences.urlPage, IDC_FEED_LIST); }

void SelectLastFeed()
{
    HWND list = FeedListBox();
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    SendMessageA(list, LB_SETCURSEL, WPARAM(count - 1), 0);
    ShowSelectedFeedState();
}

// The selected feed's address; 0 when none is selected.
int GetSelectedFeed(char (&url)[UrlBufferSize])
{
    url[0] = '\0';
    HWND list = FeedListBox();
    LRESULT selected = list ? SendMessageA(list, LB_GETCURSEL, 0, 0) : LB_ERR;
    if (selected == LB_ERR)
        return 0;
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, WPARAM(selected), 0);
    if (length == LB_ERR || length >= UrlBufferSize)
        return 0;
    return SendMessageA(list, LB_GETTEXT, WPARAM(selected), LPARAM(url)) != LB_ERR;
}

// The pane's lines: the title and site link (UTF-8, so that a name in any
// script shows), the last patrol's verdict and a failing streak, then what
// feeds.ini sets for the feed alone, what of it KIV could not read, and
// patrols whose new items its rules all held back.
std::wstring FeedStateText(const FeedState &state)
{
    std::wstring text = state.title.empty() ? Widened(FeedStateNoTitleText, CP_ACP) : Widened(state.title, CP_UTF8);
    if (!state.site.empty())
        text += L"\r\n" + Widened(state.site, CP_UTF8);
    // Room for a label and the log's words, which are bounded.
    char line[640];
    if (state.last_when.empty())
        copy_text(line, sizeof line, FeedStateNotPatrolledText);
    else
        snprintf(line, sizeof line, FeedStateLastFormat, state.last_when.c_str(), state.last_words.c_str());
    text += L"\r\n" + Widened(line, CP_ACP);
    if (!state.failing_since.empty()) {
        snprintf(line, sizeof line, FeedStateFailingFormat, state.failing_since.c_str(), state.failures,
                 state.failing_reason.c_str());
        text += L"\r\n" + Widened(line, CP_ACP);
    }
    if (state.held_back >= HeldBackPatrolsShown) {
        snprintf(line, sizeof line, FeedStateHeldBackFormat, state.held_back);
        text += L"\r\n" + Widened(line, CP_ACP);
    }
    if (state.options_unusable)
        text += L"\r\n" + Widened(FeedStateOptionsUnusableText, CP_ACP);
    if (!state.own.empty())
        text += L"\r\n" + Widened(FeedStateOwnText, CP_ACP);
    for (const std::string &own : state.own)
        text += L"\r\n  " + Widened(own, CP_UTF8);
    for (const UnreadOptionLine &unread : state.unread) {
        snprintf(line, sizeof line, FeedStateUnreadFormat, unread.number);
        text += L"\r\n" + Widened(line, CP_ACP) + Widened(unread.text, CP_UTF8);
    }
    return text;
}

// White space would split the text into several entries when the file is read
// back, and a comma would cut it where the timestamp begins.
bool IsStorableFeedAddress(const char *text)
{
    return !FeedSettings::HoldsEntrySpace(text) && !strchr(text, ',');
}

}  // namespace

void FeedSettings::FillFeedList(HWND list)
{
    std::vector<std::string> urls;
    if (!ReadFeedUrls(urls))
        return;
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const std::string &url : urls)
        SendMessageA(list, LB_ADDSTRING, 0, LPARAM(url.c_str()));
    ShowSelectedFeedState();
}

void ShowSelectedFeedState()
{
    char url[UrlBufferSize];
    FeedState state;
    std::wstring text;
    // Out of memory, the pane stays empty: no exception may reach the dialog.
    try {
        if (Preferences.readFeedState && GetSelectedFeed(url)) {
            Preferences.readFeedState(url, &state);
            text = FeedStateText(state);
            if (FeedPatrolPending(url))
                text += L"\r\n" + Widened(FeedStatePatrolAskedText, CP_ACP);
        }
    } catch (const std::exception &) {
        text.clear();
    }
    SetWindowTextW(GetDlgItem(Preferences.urlPage, IDC_FEED_STATE), text.c_str());
}

int AddFeedFromEdit(HWND page)
{
    char url[UrlBufferSize] = "";
    if (GetDlgItemTextA(page, IDC_URL_EDIT, url, UrlBufferSize) == 0)
        return 0;
    if (!IsStorableFeedAddress(url)) {
        MessageBoxA(Preferences.frame, FeedAddressRejectedText, FeedAddressCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    // A listed address needs no look: it would not be listed twice.
    std::vector<std::string> listed;
    if (FeedSettings::ReadFeedUrls(listed) && std::find(listed.begin(), listed.end(), url) != listed.end())
        return 0;
    char chosen[UrlBufferSize] = "";
    if (!SettleFeedAddress(url, chosen) || !FeedSettings::AppendFeed(chosen, DefaultTimestamp))
        return 0;
    SetDlgItemTextA(page, IDC_URL_EDIT, "");
    FeedSettings::FillFeedList(FeedListBox());
    return 1;
}

// The address of the listed feed at position as feeds.ini names its section
// (its password as ***), or empty.
std::string ListedOptionsAddress(LRESULT position)
{
    std::vector<std::string> urls;
    if (position < 0 || !FeedSettings::ReadFeedUrls(urls) || size_t(position) >= urls.size())
        return std::string();
    char shown[UrlBufferSize];
    hide_password(urls[size_t(position)].c_str(), shown, sizeof shown, PasswordMasked);
    return shown;
}

int DeleteSelectedFeed()
{
    LRESULT selected = SendMessageA(FeedListBox(), LB_GETCURSEL, 0, 0);
    if (selected == LB_ERR)
        return 0;
    std::string address = ListedOptionsAddress(selected);
    FeedSettings::RemoveFeed(int(selected));
    // The feed's own settings go with it.
    if (!address.empty())
        MoveFeedOptions(address, "");
    FeedSettings::FillFeedList(FeedListBox());
    return 1;
}

void AddFeedAndSelectLast()
{
    AddFeedFromEdit(Preferences.urlPage);
    SelectLastFeed();
}

void ReplaceSelectedFeed()
{
    LRESULT selected = SendMessageA(FeedListBox(), LB_GETCURSEL, 0, 0);
    std::string replaced = ListedOptionsAddress(selected);
    if (AddFeedFromEdit(Preferences.urlPage) && selected != LB_ERR) {
        // The new address is listed last; the feed's own settings move to it.
        std::string added = ListedOptionsAddress(SendMessageA(FeedListBox(), LB_GETCOUNT, 0, 0) - 1);
        FeedSettings::RemoveFeed(int(selected));
        if (!replaced.empty() && !added.empty())
            MoveFeedOptions(replaced, added);
        FeedSettings::FillFeedList(FeedListBox());
    }
    SelectLastFeed();
}

void OpenSelectedFeedOptions()
{
    char url[UrlBufferSize], shown[UrlBufferSize];
    if (!GetSelectedFeed(url))
        return;
    // The feed the pane shows, by the list's own text.
    hide_password(url, shown, sizeof shown, PasswordMasked);
    if (EditOwnFeedOptions(Preferences.frame, shown))
        ShowSelectedFeedState();
}

void PatrolSelectedFeed()
{
    char url[UrlBufferSize];
    if (!GetSelectedFeed(url))
        return;
    int answer = AskForFeedPatrol(url);
    if (answer != FeedPatrolAsked)
        MessageBoxA(Preferences.frame, answer == FeedPatrolTooMany ? FeedPatrolRefusedText : FeedPatrolNoWorkerText,
                    FeedAddressCaption, MB_OK | MB_ICONEXCLAMATION);
    ShowSelectedFeedState();
}

void EditDoubleClickedFeed(HWND page)
{
    char url[UrlBufferSize] = "";
    if (GetSelectedFeed(url))
        SetDlgItemTextA(page, IDC_URL_EDIT, url);
}

void StoreChosenInterval()
{
    LRESULT index = SendMessageA(Preferences.intervalCombo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return;
    FeedSettings::WriteIntervalIndex(int(index));
    FeedSettings::LoadInterval();
}

void StoreAutoSortCheck()
{
    int flag = SendMessageA(Preferences.autoSortCheck, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    FeedSettings::WriteAutoSort(flag);
    FeedSettings::LoadAutoSort();
}

void StoreOneMailPerItemCheck()
{
    WriteOneMailPerItem(SendMessageA(Preferences.oneMailPerItemCheck, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
}

void FillOptionPage()
{
    for (const char *text : IntervalChoiceTexts)
        SendMessageA(Preferences.intervalCombo, CB_ADDSTRING, 0, LPARAM(text));
    SendMessageA(Preferences.intervalCombo, CB_SETCURSEL, WPARAM(FeedSettings::ReadIntervalIndex()), 0);
    SendMessageA(Preferences.autoSortCheck, BM_SETCHECK, WPARAM(FeedSettings::ReadAutoSort()), 0);
    SendMessageA(Preferences.oneMailPerItemCheck, BM_SETCHECK, WPARAM(ReadOneMailPerItem()), 0);
}

#include "feed_options_dialog.h"
#include "folder_prompt.h"
#include "wide_text.h"

#include "base/process_values.h"
#include "base/trimmed_text.h"
#include "feed/read/code_pages.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "settings/feed_options.h"
#include "settings/feed_settings.h"
#include "shell/host_functions.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

namespace {

// What the open dialog edits: the section's name, the options as read (the
// folder changes at once with the folder buttons) and KIV.ini's folder.
struct OwnOptionsEdit {
    std::string address;
    FeedOptions options;
    std::string commonFolder;  // the host's code page
};

const int MailButtons[] = {IDC_OPTIONS_MAIL_COMMON, IDC_OPTIONS_MAIL_PER_FEED, IDC_OPTIONS_MAIL_PER_ITEM};
const int RuleEdits[] = {IDC_OPTIONS_BLOCK, IDC_OPTIONS_KEEP};

const size_t ShownRuleLineChars = 300;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r'; }

void ShowFolder(HWND dialog, const OwnOptionsEdit &edit)
{
    if (edit.options.folder.empty()) {
        char text[1100];
        snprintf(text, sizeof text, FeedOptionsCommonFolderFormat, edit.commonFolder.c_str());
        SetDlgItemTextA(dialog, IDC_OPTIONS_FOLDER, text);
    } else {
        SetDlgItemTextW(dialog, IDC_OPTIONS_FOLDER, Widened(edit.options.folder, CP_UTF8).c_str());
    }
}

void Fill(HWND dialog, const OwnOptionsEdit &edit)
{
    SetDlgItemTextA(dialog, IDC_OPTIONS_ADDRESS, edit.address.c_str());
    ShowFolder(dialog, edit);
    CheckRadioButton(dialog, MailButtons[0], MailButtons[2], MailButtons[edit.options.mail]);
    if (edit.options.every_hours)
        SetDlgItemInt(dialog, IDC_OPTIONS_EVERY, UINT(edit.options.every_hours), FALSE);
    CheckDlgButton(dialog, IDC_OPTIONS_PAUSED, edit.options.paused ? BST_CHECKED : BST_UNCHECKED);
    std::wstring rules[2];
    for (const FeedRule &rule : edit.options.rules) {
        std::wstring &list = rules[rule.block ? 0 : 1];
        list += (list.empty() ? L"" : L"\r\n") + Widened(feed_rule_text(rule), CP_UTF8);
    }
    for (int i = 0; i < 2; ++i)
        SetDlgItemTextW(dialog, RuleEdits[i], rules[i].c_str());
}

void Refuse(HWND dialog, const char *text)
{
    MessageBoxA(dialog, text, FeedOptionsCaption, MB_OK | MB_ICONEXCLAMATION);
}

// The folder selected in the host, as the destination prompt takes it.
void TakeHostFolder(HWND dialog, OwnOptionsEdit &edit)
{
    const char *identifier = HostFunctions.GetCurrentFolder();
    if (const char *refusal = FolderRefusal(identifier)) {
        MessageBoxA(dialog, refusal, FolderPromptCaption, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    std::string folder;
    if (!convert_to_utf8(CP_ACP, identifier, strlen(identifier), &folder) || folder.size() > MaxFeedOptionText) {
        Refuse(dialog, FeedOptionsFolderTooLongText);
        return;
    }
    // The common folder itself needs no setting of the feed's own.
    edit.options.folder = identifier == edit.commonFolder ? std::string() : folder;
    ShowFolder(dialog, edit);
}

// The rules of one list, one a line, blank lines skipped; false (the user
// told which line) when a line is no rule.
bool ReadRules(HWND dialog, int list, std::vector<FeedRule> *rules)
{
    std::wstring text = ControlText(GetDlgItem(dialog, RuleEdits[list]));
    int number = 0;
    for (size_t start = 0; start <= text.size();) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = trimmed_text(text.substr(start, end - start), IsBlank);
        start = end + 1;
        ++number;
        if (line.empty())
            continue;
        FeedRule rule;
        rule.block = list == 0;
        if (!read_feed_rule(Utf8Of(line), &rule)) {
            char head[200];
            snprintf(head, sizeof head, FeedOptionsRuleRejectedFormat, FeedOptionsRuleListNames[list], number);
            // The line as typed, cut where a message box would no longer show it.
            std::wstring message =
                Widened(head, CP_ACP) + line.substr(0, ShownRuleLineChars) + Widened(FeedOptionsRuleHelpText, CP_ACP);
            MessageBoxW(dialog, message.c_str(), Widened(FeedOptionsCaption, CP_ACP).c_str(),
                        MB_OK | MB_ICONEXCLAMATION);
            SetFocus(GetDlgItem(dialog, RuleEdits[list]));
            return false;
        }
        rules->push_back(rule);
    }
    return true;
}

// The dialog's settings into edit.options; false (the user told why) when
// one cannot be taken.
bool TakeSettings(HWND dialog, OwnOptionsEdit &edit)
{
    FeedOptions &options = edit.options;
    for (int form = 0; form < 3; ++form)
        if (IsDlgButtonChecked(dialog, MailButtons[form]) == BST_CHECKED)
            options.mail = form;
    options.paused = IsDlgButtonChecked(dialog, IDC_OPTIONS_PAUSED) == BST_CHECKED;
    char every[16] = "";
    GetDlgItemTextA(dialog, IDC_OPTIONS_EVERY, every, sizeof every);
    std::string hours = trimmed_text(std::string(every), [](char c) { return c == ' '; });
    options.every_hours = 0;
    if (!hours.empty()) {
        long value = hours.size() <= 3 && hours.find_first_not_of("0123456789") == std::string::npos
                         ? strtol(hours.c_str(), nullptr, 10)
                         : 0;
        if (value < MinEveryHours || value > MaxEveryHours) {
            Refuse(dialog, FeedOptionsEveryRejectedText);
            SetFocus(GetDlgItem(dialog, IDC_OPTIONS_EVERY));
            return false;
        }
        options.every_hours = int(value);
    }
    std::vector<FeedRule> rules;
    if (!ReadRules(dialog, 0, &rules) || !ReadRules(dialog, 1, &rules))
        return false;
    if (rules.size() > MaxFeedRules) {
        Refuse(dialog, FeedOptionsTooManyRulesText);
        return false;
    }
    options.rules = rules;
    return true;
}

bool Save(HWND dialog, OwnOptionsEdit &edit)
{
    if (!TakeSettings(dialog, edit))
        return false;
    int edited = EditFeedOptions([&](FeedOptionsFile *file) {
        // Unchanged settings leave a hand-written section as it was written.
        const FeedOptionsSection *now = find_feed_options(*file, edit.address);
        if (feed_option_lines(now ? now->options : FeedOptions()) == feed_option_lines(edit.options))
            return false;
        set_feed_options(file, edit.address, edit.options);
        return true;
    });
    // The file grew over its bound, or became unreadable, while the dialog
    // was open: nothing was written, and the person is told.
    if (edited != 1)
        Refuse(dialog, edited < 0 ? FeedStateOptionsUnusableText : FeedOptionsNotWrittenText);
    return edited == 1;
}

INT_PTR CALLBACK OwnOptionsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    // Out of memory the dialog stays as it is: no exception may reach the
    // system's dialog code.
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        try {
            Fill(dialog, *reinterpret_cast<OwnOptionsEdit *>(lParam));
        } catch (const std::exception &) {
        }
        return TRUE;
    }
    OwnOptionsEdit *edit = reinterpret_cast<OwnOptionsEdit *>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message != WM_COMMAND || !edit)
        return FALSE;
    try {
        switch (LOWORD(wParam)) {
        case IDC_OPTIONS_TAKE_FOLDER:
            TakeHostFolder(dialog, *edit);
            break;
        case IDC_OPTIONS_COMMON_FOLDER:
            edit->options.folder.clear();
            ShowFolder(dialog, *edit);
            break;
        case IDOK:
            if (Save(dialog, *edit))
                EndDialog(dialog, 1);
            break;
        case IDCANCEL:
            EndDialog(dialog, 0);
            break;
        }
    } catch (const std::exception &) {
    }
    return TRUE;
}

}  // namespace

int EditOwnFeedOptions(HWND owner, const std::string &address)
{
    OwnOptionsEdit edit;
    edit.address = address;
    FeedOptionsFile file;
    ReadFeedOptions(&file);
    if (file.state != FeedOptionsRead && file.state != FeedOptionsAbsent) {
        MessageBoxA(owner, FeedStateOptionsUnusableText, FeedOptionsCaption, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (const FeedOptionsSection *section = find_feed_options(file, address))
        edit.options = section->options;
    SettingsEntries entries;
    {
        SettingsFileLock lock;
        if (FeedSettings::ReadEntries(entries) && !entries.empty())
            edit.commonFolder = entries[0];
    }
    // A Unicode dialog: its rule boxes hold text in any script, which the
    // host's code page could not.
    return DialogBoxParamW(ModuleInstance, MAKEINTRESOURCEW(IDD_FEED_OPTIONS), owner, OwnOptionsProc,
                           LPARAM(&edit)) == 1;
}

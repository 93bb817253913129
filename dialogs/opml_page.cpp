// The URL LIST page's IMPORT and EXPORT buttons: the standard file dialogs
// around the OPML reader and writer, and the boxes that say what came of it.
#include "opml_page.h"
#include "opml_export.h"
#include "opml_import.h"
#include "preferences_dialog.h"

#include "base/single_line.h"
#include "base/text_copy.h"
#include "resources/dialog_ids.h"
#include "resources/ui_strings.h"
#include "settings/feed_list_additions.h"
#include "settings/feed_settings.h"

#include <commdlg.h>

#include <cstdio>

namespace {

// Room for every box text: the summary's three lines and its ShownSkips
// addresses, each cut to ShownAddressBytes.
enum { BoxTextSize = 1024, ShownAddressBytes = 96, ShownDetailBytes = 128 };

void ShowBox(const char *text, UINT icon) { MessageBoxA(Preferences.frame, text, FeedAddressCaption, MB_OK | icon); }

// A text from a file, fit for one line of a box.
void CopyForBox(char *out, size_t size, const std::string &text)
{
    copy_text(out, size, text.c_str());
    make_single_line(out);
}

void ShowImportFailure(int failure, const std::string &detail)
{
    char shown[ShownDetailBytes], reason[BoxTextSize / 2], text[BoxTextSize];
    CopyForBox(shown, sizeof shown, detail);
    snprintf(reason, sizeof reason, OpmlFailureTexts[failure], shown);
    snprintf(text, sizeof text, OpmlImportFailedFormat, reason);
    ShowBox(text, MB_ICONEXCLAMATION);
}

void ShowImportSummary(const ImportSummary &summary)
{
    char text[BoxTextSize];
    int length = snprintf(text, sizeof text, OpmlImportSummaryFormat, unsigned(summary.added),
                          unsigned(summary.listed), unsigned(summary.skipped));
    for (const auto &skip : summary.first_skips) {
        if (length < 0 || size_t(length) >= sizeof text)
            break;
        char address[ShownAddressBytes];
        CopyForBox(address, sizeof address, skip.first);
        length += snprintf(text + length, sizeof text - size_t(length), OpmlSkipLineFormat, address,
                           OpmlSkipReasonTexts[skip.second]);
    }
    ShowBox(text, MB_ICONINFORMATION);
}

// The common part of both file dialogs; the path is written into path.
OPENFILENAMEA FileDialog(char *path, DWORD flags)
{
    OPENFILENAMEA dialog = {};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = Preferences.frame;
    dialog.lpstrFilter = OpmlFileFilter;
    dialog.lpstrFile = path;
    dialog.nMaxFile = MAX_PATH;
    dialog.lpstrDefExt = "opml";
    // The host's current folder is the host's: the dialog leaves it alone.
    dialog.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_PATHMUSTEXIST | flags;
    return dialog;
}

}  // namespace

void ImportFeedListFromFile()
{
    char path[MAX_PATH] = "";
    OPENFILENAMEA dialog = FileDialog(path, OFN_FILEMUSTEXIST);
    if (!GetOpenFileNameA(&dialog))
        return;
    HCURSOR previous = SetCursor(LoadCursor(nullptr, IDC_WAIT));
    std::vector<std::string> addresses;
    std::string detail;
    int failure = read_opml_file(path, &addresses, &detail);
    ImportSummary summary;
    int stored = failure == OpmlReadable && import_feed_addresses(addresses, &summary);
    HWND list = GetDlgItem(Preferences.urlPage, IDC_FEED_LIST);
    if (summary.added) {
        FeedSettings::FillFeedList(list);
        LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
        SendMessageA(list, LB_SETCURSEL, WPARAM(count - 1), 0);
    }
    SetCursor(previous);
    if (failure != OpmlReadable)
        ShowImportFailure(failure, detail);
    else if (!stored)
        ShowBox(OpmlSettingsNotWrittenText, MB_ICONEXCLAMATION);
    else
        ShowImportSummary(summary);
}

void ExportFeedListToFile()
{
    char path[MAX_PATH] = "KIV.opml";
    OPENFILENAMEA dialog = FileDialog(path, OFN_OVERWRITEPROMPT);
    if (!GetSaveFileNameA(&dialog))
        return;
    std::vector<ExportedFeed> feeds;
    if (!read_exported_feeds(&feeds) || !write_opml_file(path, feeds)) {
        ShowBox(OpmlExportFailedText, MB_ICONEXCLAMATION);
        return;
    }
    char text[BoxTextSize];
    snprintf(text, sizeof text, OpmlExportDoneFormat, unsigned(feeds.size()));
    ShowBox(text, MB_ICONINFORMATION);
}

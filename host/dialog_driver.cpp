#include "dialog_driver.h"

#include "host_state.h"
#include "text_codec.h"
#include "resources/dialog_ids.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

// Script steps, one a line (PAGE is frame, url, option or about, or feed: the
// feed's own settings dialog, once SETTING has opened it; ID a control id):
//   tab N | text PAGE ID TEXT | lines PAGE ID TEXT | click PAGE ID | press PAGE ID
//   select N | dblclick N | pick N | folder NAME (the folder selected in the host)
//   size W H | ok | cancel | close | dump | controls [PAGE] | layout | shot FILE | feedshot FILE
// lines sets a multi-line text: each \n in TEXT ends a line.
//   boxshot FILE|- ok|cancel | filedialog PATH|cancel | file PATH | tick N | wait-appends N MS | status
//   echo TEXT | sleep MS
// press clicks without waiting for the click's handler, for a button that
// opens a modal window which a later step answers (filedialog, boxshot).
//   template ID (the dialog template's bytes, Japanese language)
//   choice FILE|- N|cancel (the feed choice: its text and entries shown, a
//   screenshot, entry N picked with OK, or Cancel) | lookup FILE|- cancel (the
//   wait while a typed address is read: its text shown, a screenshot, Cancel)
// boxshot also answers yes or no.
namespace {

const char FrameCaption[] = "Feed Reader Plugin Preferences";
const DWORD FindTimeout = 15000;

struct Driver {
    std::vector<std::string> steps;
    HMODULE plugin;
    volatile LONG setupEnded;
    HWND frame;
} driver;

std::string WindowText(HWND window)
{
    char text[2048] = "";
    SendMessageA(window, WM_GETTEXT, sizeof text, LPARAM(text));
    return text;
}

// A text on one output line: readable (line breaks shown as \r and \n) and exact.
std::string Quoted(const std::string &ansi)
{
    std::string shown;
    for (char c : ForTerminal(ansi))
        shown += c == '\r' ? std::string("\\r") : c == '\n' ? std::string("\\n") : std::string(1, c);
    return "\"" + shown + "\" hex=" + HexBytes(ansi);
}

bool IsOwnDialog(HWND window)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    return process == GetCurrentProcessId() && IsWindowVisible(window) && strcmp(className, "#32770") == 0;
}

BOOL CALLBACK FindFrame(HWND window, LPARAM found)
{
    if (IsOwnDialog(window) && WindowText(window) == FrameCaption) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// A message box: a dialog of this process with the static text control that
// message boxes have (id 0xFFFF on Windows, 100 on Wine), and no file name
// box, which the file dialogs have beside their own unnumbered statics, nor
// the rule lists of the feed's own settings, which has labels of its own.
BOOL CALLBACK FindMessageBox(HWND window, LPARAM found)
{
    if (window != driver.frame && IsOwnDialog(window) && !IsFileDialog(window) &&
        !GetDlgItem(window, IDC_OPTIONS_BLOCK) &&
        (GetDlgItem(window, 0xFFFF) || GetDlgItem(window, 100))) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The feed choice window: in its choosing form (its list shown) or in its
// waiting form (the list hidden).
template <bool Choosing> BOOL CALLBACK FindFeedChoice(HWND window, LPARAM found)
{
    HWND list = GetDlgItem(window, IDC_FEED_CHOICE_LIST);
    if (window != driver.frame && IsOwnDialog(window) && list && (IsWindowVisible(list) != FALSE) == Choosing) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindFileDialog(HWND window, LPARAM found)
{
    if (IsOwnDialog(window) && IsFileDialog(window)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

HWND WaitForWindow(WNDENUMPROC finder)
{
    for (DWORD waited = 0; waited < FindTimeout && !driver.setupEnded; waited += 50) {
        HWND found = nullptr;
        EnumWindows(finder, LPARAM(&found));
        if (found)
            return found;
        Sleep(50);
    }
    return nullptr;
}

HWND Frame()
{
    if (!driver.frame || !IsWindow(driver.frame))
        driver.frame = WaitForWindow(FindFrame);
    return driver.frame;
}

// The feed's own settings dialog, which SETTING opens over the frame.
BOOL CALLBACK FindFeedOptions(HWND window, LPARAM found)
{
    if (window != driver.frame && IsOwnDialog(window) && GetDlgItem(window, IDC_OPTIONS_BLOCK)) {
        *reinterpret_cast<HWND *>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// The pages are the frame's child dialogs; each is known by a control of its own.
HWND Page(const std::string &name)
{
    HWND frame = Frame();
    if (name == "frame" || !frame)
        return frame;
    if (name == "feed")
        return WaitForWindow(FindFeedOptions);
    int marker = name == "url"      ? IDC_FEED_LIST
                 : name == "option" ? IDC_INTERVAL_COMBO
                 : name == "about"  ? IDC_FOURTH_ABOUT_LINE
                                    : 0;
    for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[16] = "";
        GetClassNameA(child, className, sizeof className);
        if (strcmp(className, "#32770") == 0 && GetDlgItem(child, marker))
            return child;
    }
    return nullptr;
}

HWND Control(const std::string &page, int id) { return GetDlgItem(Page(page), id); }

LPARAM Point(const RECT &r) { return MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2); }

// A left click where a user would click, through the control's own mouse handling.
void ClickAt(HWND window, LPARAM point, bool twice)
{
    SendMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageA(window, WM_LBUTTONUP, 0, point);
    if (twice) {
        SendMessageA(window, WM_LBUTTONDBLCLK, MK_LBUTTON, point);
        SendMessageA(window, WM_LBUTTONUP, 0, point);
    }
}

void ClickListItem(int index, bool twice)
{
    HWND list = Control("url", IDC_FEED_LIST);
    RECT item = {};
    if (SendMessageA(list, LB_GETITEMRECT, WPARAM(index), LPARAM(&item)) == LB_ERR) {
        HostPrint("drive error: no list item %d", index);
        return;
    }
    ClickAt(list, Point(item), twice);
}

RECT RectIn(HWND window, HWND parent)
{
    RECT r;
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

void Dump()
{
    HWND list = Control("url", IDC_FEED_LIST);
    int count = int(SendMessageA(list, LB_GETCOUNT, 0, 0));
    HostPrint("list count=%d selected=%d", count, int(SendMessageA(list, LB_GETCURSEL, 0, 0)));
    for (int i = 0; i < count; ++i) {
        char text[2048] = "";
        if (SendMessageA(list, LB_GETTEXTLEN, WPARAM(i), 0) < LRESULT(sizeof text))
            SendMessageA(list, LB_GETTEXT, WPARAM(i), LPARAM(text));
        HostPrint("list %d %s", i, Quoted(text).c_str());
    }
    HostPrint("edit %s", Quoted(WindowText(Control("url", IDC_URL_EDIT))).c_str());
    HostPrint("state %s", Quoted(WindowText(Control("url", IDC_FEED_STATE))).c_str());
    HWND combo = Control("option", IDC_INTERVAL_COMBO);
    std::string items;
    int choices = int(SendMessageA(combo, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < choices; ++i) {
        char text[64] = "";
        if (SendMessageA(combo, CB_GETLBTEXTLEN, WPARAM(i), 0) < LRESULT(sizeof text))
            SendMessageA(combo, CB_GETLBTEXT, WPARAM(i), LPARAM(text));
        items += (i ? "," : "") + std::string(text);
    }
    HostPrint("combo selected=%d items=%s", int(SendMessageA(combo, CB_GETCURSEL, 0, 0)), items.c_str());
    HostPrint("check %d", int(SendMessageA(Control("option", IDC_AUTO_SORT_CHECK), BM_GETCHECK, 0, 0)));
    HostPrint("item-check %d", int(SendMessageA(Control("option", IDC_ONE_MAIL_PER_ITEM_CHECK), BM_GETCHECK, 0, 0)));
    std::string visible;
    for (const char *name : {"url", "option", "about"})
        if (IsWindowVisible(Page(name)))
            visible += (visible.empty() ? "" : ",") + std::string(name);
    HostPrint("pages visible=%s tab=%d", visible.c_str(),
              int(SendMessageA(Control("frame", IDC_PAGE_TABS), TCM_GETCURSEL, 0, 0)));
}

void PrintControls(const char *name)
{
    HWND page = Page(name);
    RECT units = {0, 0, 4, 8};
    MapDialogRect(page, &units);
    LOGFONTA font = {};
    GetObjectA(HFONT(SendMessageA(page, WM_GETFONT, 0, 0)), sizeof font, &font);
    HostPrint("page %s style=0x%08lx visible=%d base=%ld,%ld font=%s height=%ld", name,
              static_cast<unsigned long>(GetWindowLongA(page, GWL_STYLE)), IsWindowVisible(page) ? 1 : 0,
              units.right, units.bottom, Quoted(font.lfFaceName).c_str(), font.lfHeight);
    if (strcmp(name, "frame") == 0)
        HostPrint("caption %s", Quoted(WindowText(page)).c_str());
    for (HWND child = GetWindow(page, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[64] = "";
        GetClassNameA(child, className, sizeof className);
        if (strcmp(className, "#32770") == 0)
            continue;  // a page, listed on its own
        RECT r = RectIn(child, page);
        HostPrint("control %s %d class=%s style=0x%08lx rect=%ld,%ld,%ld,%ld text=%s", name,
                  int(short(GetDlgCtrlID(child))), className, static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)),
                  r.left, r.top, r.right - r.left, r.bottom - r.top, Quoted(WindowText(child)).c_str());
    }
}

void Controls(const std::string &only)
{
    if (!only.empty()) {
        PrintControls(only.c_str());
        return;
    }
    for (const char *name : {"frame", "url", "option", "about"})
        PrintControls(name);
    HWND tab = Control("frame", IDC_PAGE_TABS);
    int count = int(SendMessageA(tab, TCM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[64] = "";
        TCITEMA item = {};
        item.mask = TCIF_TEXT;
        item.pszText = text;
        item.cchTextMax = sizeof text;
        SendMessageA(tab, TCM_GETITEMA, WPARAM(i), LPARAM(&item));
        HostPrint("tabitem %d %s", i, Quoted(text).c_str());
    }
}

// The tab control's display area in the frame, as the resize layout uses it,
// and where the URL LIST page and its controls are.
void Layout()
{
    HWND frame = Frame(), tab = Control("frame", IDC_PAGE_TABS), page = Page("url");
    RECT area;
    GetClientRect(frame, &area);
    HostPrint("layout client=%ld,%ld", area.right, area.bottom);
    SendMessageA(tab, TCM_ADJUSTRECT, FALSE, LPARAM(&area));
    MapWindowPoints(tab, frame, reinterpret_cast<POINT *>(&area), 2);
    HostPrint("layout L=%ld T=%ld R=%ld W=%ld H=%ld", area.left, area.top, area.right, area.right - area.left,
              area.bottom - area.top);
    struct Named {
        const char *name;
        HWND window, parent;
    } shown[] = {{"tab", tab, frame},
                 {"page", page, frame},
                 {"list", GetDlgItem(page, IDC_FEED_LIST), page},
                 {"edit", GetDlgItem(page, IDC_URL_EDIT), page},
                 {"add", GetDlgItem(page, IDC_ADD_BUTTON), page},
                 {"replace", GetDlgItem(page, IDC_REPLACE_BUTTON), page},
                 {"delete", GetDlgItem(page, IDC_DELETE_BUTTON), page},
                 {"state", GetDlgItem(page, IDC_FEED_STATE), page},
                 {"setting", GetDlgItem(page, IDC_FEED_OPTIONS_BUTTON), page},
                 {"patrol", GetDlgItem(page, IDC_PATROL_FEED_BUTTON), page},
                 {"ok", GetDlgItem(frame, IDOK), frame},
                 {"option", Page("option"), frame}};
    for (const Named &n : shown) {
        RECT r = RectIn(n.window, n.parent);
        HostPrint("layout %s=%ld,%ld,%ld,%ld", n.name, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

// The window as it is on the screen, as a 24-bit BMP file.
bool SaveScreenshot(HWND window, const std::string &path)
{
    // Everything painted anew and on the screen before it is read back.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Sleep(400);
    RECT r;
    GetWindowRect(window, &r);
    int width = r.right - r.left, height = r.bottom - r.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        // A display without a window manager shows no window frames: the
        // frame and caption are drawn here, the inside is taken from the screen.
        POINT origin = {0, 0};
        ClientToScreen(window, &origin);
        RECT whole = {0, 0, width, height};
        DrawEdge(memory, &whole, EDGE_RAISED, BF_RECT | BF_MIDDLE);
        int border = origin.x - r.left;
        RECT caption = {border, border, width - border, origin.y - r.top};
        DrawCaption(window, memory, &caption, DC_ACTIVE | DC_TEXT | DC_GRADIENT);
        RECT client;
        GetClientRect(window, &client);
        BitBlt(memory, origin.x - r.left, origin.y - r.top, client.right, client.bottom, screen, origin.x, origin.y,
               SRCCOPY);
        GdiFlush();
        DWORD size = DWORD((width * 3 + 3) & ~3) * DWORD(height);
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;
        header.bfOffBits = sizeof header + sizeof info.bmiHeader;
        header.bfSize = header.bfOffBits + size;
        FILE *file = fopen(path.c_str(), "wb");
        if (file) {
            saved = fwrite(&header, sizeof header, 1, file) == 1 &&
                    fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, file) == 1 && fwrite(bits, size, 1, file) == 1;
            saved = fclose(file) == 0 && saved;
        }
        SelectObject(memory, old);
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

void PrintFile(const std::string &path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        HostPrint("file %s exists=0", path.c_str());
        return;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    HostPrint("file %s hex=%s", path.c_str(), HexBytes(bytes.str()).c_str());
}

std::string RestOfLine(std::istringstream &words)
{
    std::string rest;
    if (words.peek() == ' ')
        words.get();
    std::getline(words, rest);
    return rest;
}

void RunStep(const std::string &line)
{
    std::istringstream words(line);
    std::string name, page;
    words >> name;
    if (name.empty() || name[0] == '#')
        return;
    int number = 0;
    if (name == "tab") {
        words >> number;
        HWND tab = Control("frame", IDC_PAGE_TABS);
        RECT item = {};
        SendMessageA(tab, TCM_GETITEMRECT, WPARAM(number), LPARAM(&item));
        ClickAt(tab, Point(item), false);
    } else if (name == "text") {
        words >> page >> number;
        std::string text = RestOfLine(words);
        SendMessageA(Control(page, number), WM_SETTEXT, 0, LPARAM(text.c_str()));
    } else if (name == "lines") {
        words >> page >> number;
        std::string text = RestOfLine(words);
        for (size_t at = text.find("\\n"); at != std::string::npos; at = text.find("\\n", at + 2))
            text.replace(at, 2, "\r\n");
        SendMessageA(Control(page, number), WM_SETTEXT, 0, LPARAM(text.c_str()));
    } else if (name == "folder") {
        // Read by the host's thread only when the plug-in asks, after this step.
        Options.currentFolder = RestOfLine(words);
        HostPrint("drive folder \"%s\"", ForTerminal(Options.currentFolder).c_str());
    } else if (name == "click" || name == "press") {
        words >> page >> number;
        if (name == "click")
            SendMessageA(Control(page, number), BM_CLICK, 0, 0);
        else
            PostMessageA(Control(page, number), BM_CLICK, 0, 0);
    } else if (name == "filedialog") {
        // A user types the path into the file name box and presses Open or
        // Save, or presses Cancel; the step ends when the dialog has closed.
        std::string path = RestOfLine(words);
        HWND dialog = WaitForWindow(FindFileDialog);
        if (!dialog) {
            HostPrint("filedialog none");
            return;
        }
        HostPrint("filedialog title=%s", Quoted(WindowText(dialog)).c_str());
        int button = path == "cancel" ? IDCANCEL : IDOK;
        if (button == IDOK)
            SendMessageA(FileNameBox(dialog), WM_SETTEXT, 0, LPARAM(path.c_str()));
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(dialog, button)));
        for (DWORD waited = 0; IsWindow(dialog) && IsWindowVisible(dialog) && waited < FindTimeout; waited += 20)
            Sleep(20);
    } else if (name == "select" || name == "dblclick") {
        words >> number;
        ClickListItem(number, name == "dblclick");
    } else if (name == "pick") {
        // What a user's pick does: the selection moves, the combo box notifies its page.
        words >> number;
        HWND combo = Control("option", IDC_INTERVAL_COMBO);
        SendMessageA(combo, CB_SETCURSEL, WPARAM(number), 0);
        SendMessageA(GetParent(combo), WM_COMMAND, MAKEWPARAM(IDC_INTERVAL_COMBO, CBN_SELCHANGE), LPARAM(combo));
    } else if (name == "size") {
        int height = 0;
        words >> number >> height;
        SetWindowPos(Frame(), nullptr, 0, 0, number, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (name == "ok" || name == "cancel" || name == "close") {
        if (name == "close")
            SendMessageA(Frame(), WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageA(Control("frame", name == "ok" ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        for (DWORD waited = 0; !driver.setupEnded && waited < FindTimeout; waited += 20)
            Sleep(20);
    } else if (name == "dump") {
        Dump();
    } else if (name == "controls") {
        words >> page;
        Controls(page);
    } else if (name == "layout") {
        Layout();
    } else if (name == "shot") {
        std::string path = RestOfLine(words);
        HostPrint("shot %s saved=%d", path.c_str(), Frame() && SaveScreenshot(Frame(), path) ? 1 : 0);
    } else if (name == "feedshot") {
        std::string path = RestOfLine(words);
        HWND feed = Page("feed");
        HostPrint("feedshot %s saved=%d", path.c_str(), feed && SaveScreenshot(feed, path) ? 1 : 0);
    } else if (name == "boxshot") {
        std::string path, answer;
        words >> path >> answer;
        HWND box = WaitForWindow(FindMessageBox);
        if (!box) {
            HostPrint("boxshot no message box");
            return;
        }
        if (path != "-")
            HostPrint("boxshot %s saved=%d", path.c_str(), SaveScreenshot(box, path) ? 1 : 0);
        HWND text = GetDlgItem(box, 0xFFFF) ? GetDlgItem(box, 0xFFFF) : GetDlgItem(box, 100);
        HostPrint("boxtext %s", Quoted(WindowText(text)).c_str());
        int button = answer == "cancel" ? IDCANCEL : answer == "yes" ? IDYES : answer == "no" ? IDNO : IDOK;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(box, button)));
        // The next step acts once the box is gone, as a user's would.
        for (DWORD waited = 0; IsWindow(box) && waited < FindTimeout; waited += 20)
            Sleep(20);
    } else if (name == "choice" || name == "lookup") {
        std::string path, answer;
        words >> path >> answer;
        HWND window = WaitForWindow(name == "choice" ? FindFeedChoice<true> : FindFeedChoice<false>);
        if (!window) {
            HostPrint("%s none", name.c_str());
            return;
        }
        HostPrint("%s text %s", name.c_str(), Quoted(WindowText(GetDlgItem(window, IDC_FEED_CHOICE_TEXT))).c_str());
        HWND list = GetDlgItem(window, IDC_FEED_CHOICE_LIST);
        LRESULT count = name == "choice" ? SendMessageA(list, LB_GETCOUNT, 0, 0) : 0;
        for (LRESULT i = 0; i < count; ++i) {
            char text[2048] = "";
            if (SendMessageA(list, LB_GETTEXTLEN, WPARAM(i), 0) < LRESULT(sizeof text))
                SendMessageA(list, LB_GETTEXT, WPARAM(i), LPARAM(text));
            HostPrint("choice item %d %s", int(i), Quoted(text).c_str());
        }
        if (path != "-")
            HostPrint("%s %s saved=%d", name.c_str(), path.c_str(), SaveScreenshot(window, path) ? 1 : 0);
        int button = answer == "cancel" ? IDCANCEL : IDOK;
        if (button == IDOK)
            SendMessageA(list, LB_SETCURSEL, WPARAM(atoi(answer.c_str())), 0);
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), LPARAM(GetDlgItem(window, button)));
        for (DWORD waited = 0; IsWindow(window) && waited < FindTimeout; waited += 20)
            Sleep(20);
    } else if (name == "file") {
        PrintFile(RestOfLine(words));
    } else if (name == "tick") {
        words >> number;
        typedef int(WINAPI * Tick)();
        Tick tick = reinterpret_cast<Tick>(reinterpret_cast<void (*)()>(GetProcAddress(driver.plugin, "QNC_OnEveryMinute")));
        for (int i = 0; tick && i < number; ++i)
            tick();
        HostPrint("drive ticked %d", number);
    } else if (name == "wait-appends") {
        DWORD timeout = 30000, waited = 0;
        words >> number >> timeout;
        for (; CountAppends() < number && waited < timeout; waited += 50)
            Sleep(50);
        HostPrint("drive appends=%d", CountAppends());
    } else if (name == "status") {
        HostPrint("drive appends=%d manualfilter=%d", CountAppends(), CountCommands("ManualFilter"));
    } else if (name == "template") {
        // The dialog template as the plug-in's resources hold it, in Japanese.
        words >> number;
        HRSRC found = FindResourceExA(driver.plugin, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(number),
                                      MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT));
        HGLOBAL loaded = found ? LoadResource(driver.plugin, found) : nullptr;
        const char *bytes = loaded ? static_cast<const char *>(LockResource(loaded)) : nullptr;
        HostPrint("template %d hex=%s", number,
                  bytes ? HexBytes(std::string(bytes, SizeofResource(driver.plugin, found))).c_str() : "");
    } else if (name == "echo") {
        HostPrint("drive echo %s", RestOfLine(words).c_str());
    } else if (name == "sleep") {
        words >> number;
        Sleep(DWORD(number));
    } else {
        HostPrint("drive error: unknown step \"%s\"", name.c_str());
    }
}

// Steps that act on the dialog; the others need none.
bool NeedsDialog(const std::string &step)
{
    std::string name = step.substr(0, step.find(' '));
    for (const char *free : {"", "file", "status", "echo", "sleep", "tick", "wait-appends", "boxshot", "template", "choice",
                             "lookup", "folder"})
        if (name == free || name[0] == '#')
            return false;
    return true;
}

DWORD WINAPI Drive(LPVOID)
{
    for (const std::string &step : driver.steps) {
        if (NeedsDialog(step) && !Frame()) {
            HostPrint("drive skipped \"%s\": no dialog is open", step.c_str());
            continue;
        }
        RunStep(step);
    }
    // A script that leaves the dialog open would leave the host waiting.
    if (!driver.setupEnded && driver.frame && IsWindow(driver.frame)) {
        HostPrint("drive cancels the dialog left open");
        SendMessageA(GetDlgItem(driver.frame, IDCANCEL), BM_CLICK, 0, 0);
    }
    return 0;
}

}  // namespace

void DriveSetup(const std::string &path, HMODULE plugin, void (*setup)())
{
    std::ifstream script(path, std::ios::binary);
    if (!script) {
        HostPrint("drive error: cannot read %s", path.c_str());
        return;
    }
    driver.steps.clear();
    for (std::string line; std::getline(script, line);) {
        line.erase(line.find_last_not_of("\r\n") + 1);
        driver.steps.push_back(line);
    }
    driver.plugin = plugin;
    driver.setupEnded = 0;
    driver.frame = nullptr;
    HANDLE thread = CreateThread(nullptr, 0, Drive, nullptr, 0, nullptr);
    setup();
    InterlockedExchange(&driver.setupEnded, 1);
    if (thread) {
        WaitForSingleObject(thread, 60000);
        CloseHandle(thread);
    }
    HostPrint("drive done");
}

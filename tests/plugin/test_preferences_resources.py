"""The dialog templates as KIV.dll holds them (Japanese language resources),
and what the live dialog shows of them: every text in code page 932."""
import struct

from kivhost import drive_dialog, sjis

CHILD = 0x50000000  # WS_CHILD | WS_VISIBLE, on every control
PAGE_STYLE = 0x40000440  # WS_CHILD | DS_CONTROL | DS_SETFONT, not visible
DEF_BUTTON = CHILD | 0x00010001  # BS_DEFPUSHBUTTON | WS_TABSTOP
STATIC = CHILD | 0x00020000  # WS_GROUP (SS_LEFT is 0)
FONT = (9, "ＭＳ Ｐゴシック")
CHECK_TEXT = "URL LISTのRSS巡回後に\n振り分け処理を実行します"

TEMPLATES = {
    # Grown by 40 units in height for the URL LIST page's feed pane.
    101: dict(extended=False, style=0x80CC0040, size=(198, 185), title="Feed Reader Plugin Preferences", controls=[
        (1, "button", "OK", (155, 7, 36, 14), DEF_BUTTON),
        (2, "button", "CANCEL", (114, 7, 36, 14), DEF_BUTTON),
        (1016, "systabcontrol32", "Tab2", (7, 11, 184, 167), CHILD | 0x00010000)]),
    102: dict(extended=False, style=PAGE_STYLE, size=(186, 154), title="", controls=[
        (0xFFFF, "static", "URL", (7, 9, 13, 8), STATIC),
        (1000, "edit", "", (20, 7, 119, 12), CHILD | 0x00810080),  # ES_AUTOHSCROLL WS_BORDER WS_TABSTOP
        # LBS_NOTIFY LBS_USETABSTOPS LBS_WANTKEYBOARDINPUT WS_BORDER WS_VSCROLL; not sorted, single selection
        (1001, "listbox", "", (7, 22, 132, 85), CHILD | 0x00A00481),
        (3, "button", "ADD", (143, 7, 36, 14), DEF_BUTTON),
        (4, "button", "DELETE", (143, 41, 36, 14), DEF_BUTTON),
        (5, "button", "REPLACE", (143, 21, 36, 14), DEF_BUTTON),
        # Beside the list's own buttons: reading and writing lists as OPML.
        (1002, "button", "IMPORT", (143, 69, 36, 14), CHILD | 0x00010000),  # BS_PUSHBUTTON WS_TABSTOP
        (1003, "button", "EXPORT", (143, 85, 36, 14), CHILD | 0x00010000),
        # What is known of the selected feed: ES_MULTILINE ES_READONLY WS_BORDER WS_VSCROLL WS_TABSTOP
        (1004, "edit", "", (7, 111, 132, 36), CHILD | 0x00A10804),
        # Beside it, for the selected feed: its own settings, and a patrol of it alone.
        (1005, "button", "SETTING", (143, 111, 36, 14), CHILD | 0x00010000),
        (1006, "button", "PATROL", (143, 129, 36, 14), CHILD | 0x00010000)]),
    103: dict(extended=False, style=PAGE_STYLE, size=(197, 132), title="", controls=[
        (0xFFFF, "static", "巡回間隔", (7, 7, 30, 10), STATIC),
        (0xFFFF, "static", "時間", (93, 11, 15, 8), STATIC),
        # CBS_DROPDOWNLIST CBS_DISABLENOSCROLL WS_VSCROLL WS_TABSTOP; not sorted
        (1019, "combobox", "", (49, 7, 41, 72), CHILD | 0x00210803),
        (0xFFFF, "static", "\"0\"指定で起動時のみ巡回します", (59, 24, 98, 8), STATIC),
        (1020, "static", "自動振り分け", (7, 43, 40, 8), STATIC),
        (1021, "button", CHECK_TEXT, (49, 35, 89, 24), CHILD | 0x00012003),  # BS_AUTOCHECKBOX BS_MULTILINE WS_TABSTOP
        (0xFFFF, "static", "メール形式", (7, 65, 40, 8), STATIC),
        (1022, "button", "記事ごとに1通のメールにする", (49, 63, 130, 12), CHILD | 0x00010003)]),  # BS_AUTOCHECKBOX WS_TABSTOP
    107: dict(extended=True, style=PAGE_STYLE, size=(187, 93), title="", controls=[
        (1014 + i, "edit", "", (7, y, 88, 12), CHILD | 0x00010800)  # ES_READONLY WS_TABSTOP, no border
        for i, y in enumerate((7, 21, 36, 51))]),
    # The feed choice, modal: a line of text, the feeds of a page, OK and Cancel.
    # DS_MODALFRAME WS_POPUP WS_CAPTION WS_SYSMENU DS_SETFONT
    108: dict(extended=False, style=0x80C800C0, size=(240, 112), title="KIV", controls=[
        (1030, "static", "", (7, 7, 226, 18), STATIC | 0x80),  # SS_NOPREFIX
        # LBS_NOTIFY WS_BORDER WS_VSCROLL WS_HSCROLL WS_TABSTOP; not sorted, single selection
        (1031, "listbox", "", (7, 28, 226, 58), CHILD | 0x00B10001),
        (1, "button", "OK", (141, 91, 44, 14), DEF_BUTTON),
        (2, "button", "キャンセル", (189, 91, 44, 14), CHILD | 0x00010000)]),
    # One feed's own settings, modal like the feed choice.
    109: dict(extended=False, style=0x80C800C0, size=(260, 250), title="フィードの設定", controls=[
        (1040, "static", "", (7, 7, 246, 8), STATIC | 0x8080),  # SS_NOPREFIX SS_PATHELLIPSIS
        (0xFFFF, "static", "フォルダ", (7, 23, 40, 8), STATIC),
        (1041, "edit", "", (52, 21, 201, 12), CHILD | 0x00810880),  # ES_AUTOHSCROLL ES_READONLY WS_BORDER WS_TABSTOP
        (1042, "button", "選択中のフォルダにする", (52, 36, 98, 14), CHILD | 0x00010000),
        (1043, "button", "共通のフォルダに戻す", (155, 36, 98, 14), CHILD | 0x00010000),
        (0xFFFF, "static", "メール形式", (7, 57, 40, 8), STATIC),
        # BS_AUTORADIOBUTTON; the first opens the group and is the tab stop
        (1044, "button", "OPTION の設定に従う", (52, 56, 201, 10), CHILD | 0x00030009),
        (1045, "button", "フィードごとに1通のメールにする", (52, 68, 201, 10), CHILD | 0x00000009),
        (1046, "button", "記事ごとに1通のメールにする", (52, 80, 201, 10), CHILD | 0x00000009),
        (0xFFFF, "static", "巡回間隔", (7, 97, 40, 8), STATIC),
        (1047, "edit", "", (52, 95, 24, 12), CHILD | 0x00832080),  # ES_NUMBER ES_AUTOHSCROLL WS_BORDER WS_GROUP WS_TABSTOP
        (0xFFFF, "static", "時間ごと（空欄なら巡回のたびに）", (80, 97, 173, 8), STATIC),
        (1048, "button", "このフィードを巡回しない（一時停止）", (52, 111, 201, 10), CHILD | 0x00010003),
        (0xFFFF, "static", "除く記事（block）", (7, 127, 120, 8), STATIC),
        # ES_MULTILINE ES_AUTOVSCROLL ES_AUTOHSCROLL ES_WANTRETURN WS_BORDER WS_VSCROLL WS_TABSTOP
        (1049, "edit", "", (7, 137, 120, 60), CHILD | 0x00A110C4),
        (0xFFFF, "static", "残す記事（keep）", (133, 127, 120, 8), STATIC),
        (1050, "edit", "", (133, 137, 120, 60), CHILD | 0x00A110C4),
        (0xFFFF, "static", "1行に1つ「欄:パターン」。欄は title, body, link, author, category, any。\n"
         "* は任意の文字列、? は任意の1文字。英字の大文字と小文字は区別しません。", (7, 200, 246, 26), STATIC | 0x80),
        (1, "button", "OK", (161, 229, 44, 14), DEF_BUTTON),
        (2, "button", "キャンセル", (209, 229, 44, 14), CHILD | 0x00010000)]),
}
ATOMS = {0x80: "button", 0x81: "edit", 0x82: "static", 0x83: "listbox", 0x85: "combobox"}


class Reader:
    def __init__(self, data):
        self.data, self.at = data, 0

    def take(self, form):
        values = struct.unpack_from("<" + form, self.data, self.at)
        self.at += struct.calcsize("<" + form)
        return values if len(values) > 1 else values[0]

    def text(self):
        end = self.at
        while self.data[end:end + 2] != b"\0\0":
            end += 2
        value = self.data[self.at:end].decode("utf-16-le")
        self.at = end + 2
        return value

    def name(self):
        """A name or an ordinal, as templates store class names and titles."""
        if self.data[self.at:self.at + 2] == b"\xff\xff":
            self.at += 2
            return self.take("H")
        return self.text()

    def align(self):
        self.at = (self.at + 3) & ~3


def parse_template(data):
    r = Reader(data)
    extended = r.data[2:4] == b"\xff\xff"
    if extended:
        _version, _signature, _help, _exstyle, style, count = r.take("HHIIIH")
    else:
        style, _exstyle, count = r.take("IIH")
    _x, _y, width, height = r.take("hhhh")
    assert r.name() == "" and r.name() == ""  # no menu, the standard dialog class
    template = dict(extended=extended, style=style, size=(width, height), title=r.text(), controls=[])
    size = r.take("H")
    if extended:
        r.take("HBB")  # weight, italic, character set
    template["font"] = (size, r.text())
    for _ in range(count):
        r.align()
        if extended:
            _help, _exstyle, style, x, y, w, h, ident = r.take("IIIhhhhI")
        else:
            style, _exstyle, x, y, w, h, ident = r.take("IIhhhhH")
        kind = r.name()
        kind = ATOMS.get(kind, kind).lower() if isinstance(kind, int) else kind.lower()
        title = r.name()
        r.take("H")  # no creation data
        template["controls"].append((ident & 0xFFFF, kind, title, (x, y, w, h), style))
    return template


def mul_div(value, numerator, denominator):
    return (value * numerator + denominator // 2) // denominator


def test_templates_are_japanese_resources_exactly_as_designed(plugin):
    plugin.write_ini("Inbox\\KIV\r\n0\r\n0")
    lines = drive_dialog(plugin, ["template %d" % number for number in TEMPLATES] + ["ok"])
    for number, expected in TEMPLATES.items():
        line = next(line for line in lines if line.startswith("template %d " % number))
        template = parse_template(bytes.fromhex(line.split("hex=")[1]))
        assert template == dict(expected, font=FONT), number


def test_live_dialog_shows_the_texts_in_code_page_932_at_their_places(plugin):
    plugin.write_ini("Inbox\\KIV\r\n0\r\n0")
    lines = drive_dialog(plugin, ["controls", "ok"])
    pages = {}
    for line in lines:
        if line.startswith("page "):
            name = line.split()[1]
            fields = dict(part.split("=", 1) for part in line.split()[2:] if "=" in part)
            pages[name] = {"base": [int(v) for v in fields["base"].split(",")], "font": line.split(" hex=")[1].split()[0],
                           "height": int(line.rsplit("height=", 1)[1]), "controls": []}
        elif line.startswith("control "):
            head, text = line.split(" text=", 1)
            _, name, ident, kind, _style, rect = head.split()
            pages[name]["controls"].append((int(ident) & 0xFFFF, kind.split("=")[1].lower(), bytes.fromhex(
                text.rsplit(" hex=", 1)[1]), [int(v) for v in rect.split("=")[1].split(",")]))
    about = ["(C) KIV developers", "web: kiv.example.org", "mail: kiv@example.org", "version: 1.08"]
    for name, number in (("frame", 101), ("url", 102), ("option", 103), ("about", 107)):
        page = pages[name]
        assert page["font"] == sjis(FONT[1]).hex() and page["height"] == -12, name  # 9 pt at 96 dpi
        base_x, base_y = page["base"]
        expected = [(ident, kind, sjis(text if name != "about" else about[ident - 1014]),
                     [mul_div(x, base_x, 4), mul_div(y, base_y, 8), mul_div(w, base_x, 4), mul_div(h, base_y, 8)])
                    for ident, kind, text, (x, y, w, h), _style in TEMPLATES[number]["controls"]]
        # The list box shows whole lines: its height may come down to a multiple
        # of one. A closed drop-down list is as high as its text, which is its
        # choice (the stored interval); the template gives the open list's height.
        shown = []
        for (ident, kind, text, rect), want in zip(page["controls"], expected):
            if ident == 1001:
                assert want[3][3] - 16 < rect[3] <= want[3][3]
            if ident == 1019:
                assert text == b"0"
                text = b""
            if ident in (1001, 1019):
                rect = rect[:3] + [want[3][3]]
            shown.append((ident, kind, text, rect))
        assert shown == expected, name
    tabs = [bytes.fromhex(line.rsplit(" hex=", 1)[1]) for line in lines if line.startswith("tabitem ")]
    assert tabs == [b"URL LIST", b"OPTION", b"about"]
    assert any(line == 'caption "Feed Reader Plugin Preferences" hex=' + b"Feed Reader Plugin Preferences".hex()
               for line in lines)

"""The preferences dialog of the real KIV.dll, driven in the stand-in host as
a user drives it: the folder prompt, the URL LIST and OPTION pages, OK and
CANCEL, the tabs and the layout on resize. KIV.ini is checked byte for byte
after every step."""
import shutil
import subprocess

import pytest

from kivhost import SCREENSHOTS, drive_dialog, file_bytes, file_step, sjis, windows_path

STAMP = "2000-01-01T00:00:00+09:00"
# Nothing listens on port 9: the start-up patrol fails at once and writes nothing.
A, B, C, D, E = ("http://127.0.0.1:9/" + name for name in "abcde")
HEAD = "Inbox\\KIV\r\n1\r\n0"
THREE_FEEDS = HEAD + "\r\n%s,2001-02-03T04:05:06+09:00\r\n%s,2002-01-01T00:00:00Z\r\n%s,2003-01-01T00:00:00+09:00" % (A, B, C)

PROMPT_TEXT = (
    "このフォルダ\r\n"
    "（メールボックスではありません！\"受信箱\"以下をお選びください！）\r\n"
    "にメッセージをためますか？\r\n"
    "\r\n"
    "巡回して取得したRSS/ATOM等はメール形式に変換されて\r\n"
    "現在選択しているフォルダに新規メールとしてたまります。\r\n"
    "\r\n"
    "\r\n"
    "一度設定したフォルダを変えたい場合には、\r\n"
    "\"KIV.ini\"の1行目を削除してquenda!を再起動し\r\n"
    "\"ツール\"→\"プラグインの設定\"→\" KIV -Feed Reader Plugin-\"\r\n"
    "を選択することでまたこの設定ダイアログが出ます。")
URL_REFUSED = "URLに空白やカンマ（,）は使えません。"
FOLDER_MISSING = "フォルダが選択されていないため、設定できませんでした。"
FOLDER_SPACE = "名前に空白を含むフォルダは設定できません。"


def feed_line(url, stamp=STAMP):
    return "\r\n%s,%s" % (url, stamp)


def step(plugin, name, *actions):
    """Actions followed by a look at the dialog and the settings file."""
    return ["echo " + name, *actions, "dump", file_step(plugin.ini)]


def seen(lines, plugin):
    """What each step saw: {name: {items, selected, edit, combo, check, pages, ini, boxes}}."""
    steps, current = {}, None
    for line in lines:
        if line.startswith("drive echo "):
            current = steps[line[len("drive echo "):]] = {"items": [], "boxes": []}
        if current is None:
            continue
        if line.startswith("list count="):
            current["selected"] = int(line.split("selected=")[1])
        elif line.startswith("list "):
            current["items"].append(bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932"))
        elif line.startswith("edit "):
            current["edit"] = bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")
        elif line.startswith("combo selected="):
            selected, items = line[len("combo selected="):].split(" items=")
            current["combo"] = (int(selected), items)
        elif line.startswith("check "):
            current["check"] = int(line.split()[1])
        elif line.startswith("pages visible="):
            current["pages"] = line.split()[1][len("visible="):]
        elif line.startswith(file_step(plugin.ini) + " "):
            rest = line.split(" ", 2)[2]
            current["ini"] = None if rest == "exists=0" else bytes.fromhex(rest[len("hex="):]).decode("cp932")
        elif line.startswith("messagebox owner="):
            current["boxes"].append(bytes.fromhex(line.rsplit(" texthex=", 1)[1]).decode("cp932"))
    return steps


def test_url_list_edits_reach_the_file_at_once_and_ok_keeps_them(plugin):
    plugin.write_ini(THREE_FEEDS)
    rest = HEAD + "\r\n%s,2001-02-03T04:05:06+09:00\r\n%s,2003-01-01T00:00:00+09:00" % (A, C)
    lines = drive_dialog(plugin, [
        *step(plugin, "open"),
        *step(plugin, "delete middle", "select 1", "click url 4"),
        *step(plugin, "add", "text url 1000 " + D, "click url 3"),
        *step(plugin, "add listed", "text url 1000 " + C, "click url 3"),
        *step(plugin, "double-click", "dblclick 0"),
        *step(plugin, "replace", "text url 1000 " + A + "x", "click url 5"),
        *step(plugin, "delete first", "select 0", "click url 4"),
        *step(plugin, "replace unselected", "text url 1000 " + E, "click url 5"),
        *step(plugin, "blank", "text url 1000 http://127.0.0.1:9/f g", "click url 3"),
        *step(plugin, "comma", "text url 1000 http://127.0.0.1:9/f,g", "click url 5"),
        *step(plugin, "empty", "text url 1000 ", "select 0", "click url 3"),
        "echo closed", "ok", file_step(plugin.ini), file_step(plugin.data / "bkup.ini"),
    ], boxes="yes")
    s = seen(lines, plugin)
    assert s["open"]["items"] == [A, B, C] and s["open"]["selected"] == -1
    assert s["open"]["ini"] == THREE_FEEDS

    assert s["delete middle"]["items"] == [A, C] and s["delete middle"]["selected"] == -1
    assert s["delete middle"]["ini"] == rest

    assert s["add"]["items"] == [A, C, D] and s["add"]["selected"] == 2 and s["add"]["edit"] == ""
    assert s["add"]["ini"] == rest + feed_line(D)
    # Nothing answers there: listed once the person says yes.
    assert [box.split("\r\n")[:2] for box in s["add"]["boxes"]] == \
        [[D, "はフィードではなく、フィードへのリンクのあるページでもありません。"]]

    # A listed address is not looked at again.
    assert s["add listed"]["boxes"] == [] and s["add listed"]["ini"] == rest + feed_line(D)
    assert s["add listed"]["edit"] == C and s["add listed"]["items"] == [A, C, D]

    assert s["double-click"]["edit"] == A and s["double-click"]["selected"] == 0

    replaced = HEAD + "\r\n%s,2003-01-01T00:00:00+09:00\r\n%s,%s\r\n%s,%s" % (C, D, STAMP, A + "x", STAMP)
    assert s["replace"]["items"] == [C, D, A + "x"] and s["replace"]["selected"] == 2
    assert s["replace"]["ini"] == replaced

    after_delete = HEAD + "\r\n%s,%s\r\n%s,%s" % (D, STAMP, A + "x", STAMP)
    assert s["delete first"]["ini"] == after_delete and s["delete first"]["selected"] == -1
    assert s["replace unselected"]["ini"] == after_delete + feed_line(E)
    assert s["replace unselected"]["items"] == [D, A + "x", E] and s["replace unselected"]["selected"] == 2

    for name, text in (("blank", "http://127.0.0.1:9/f g"), ("comma", "http://127.0.0.1:9/f,g")):
        assert s[name]["boxes"] == [URL_REFUSED], name
        assert s[name]["ini"] == after_delete + feed_line(E) and s[name]["edit"] == text
    assert s["empty"]["boxes"] == [] and s["empty"]["selected"] == 2
    assert s["empty"]["ini"] == after_delete + feed_line(E)

    assert "setup result=1" in lines
    assert file_bytes(lines, plugin.ini) == sjis(after_delete + feed_line(E))
    assert file_bytes(lines, plugin.data / "bkup.ini") is None


@pytest.mark.parametrize("leave", ["cancel", "close"])
def test_cancel_or_the_close_box_puts_the_file_back_byte_for_byte(plugin, leave):
    plugin.write_ini(THREE_FEEDS.replace("\r\n", "\n") + "\n")  # as written by hand
    lines = drive_dialog(plugin, [
        "text url 1000 " + D, file_step(plugin.data / "bkup.ini"), "click url 3", "select 0", "click url 4",
        "tab 1", "pick 4", "click option 1021",
        *step(plugin, "edited"),
        leave, file_step(plugin.data / "bkup.ini"),
    ], boxes="yes")
    s = seen(lines, plugin)
    assert s["edited"]["ini"] == HEAD.replace("1\r\n0", "4\r\n1") + "\r\n%s,2002-01-01T00:00:00Z\r\n%s,%s\r\n%s,%s" % (
        B, C, "2003-01-01T00:00:00+09:00", D, STAMP)
    assert file_bytes(lines, plugin.data / "bkup.ini") is None
    assert "setup result=1" in lines
    assert plugin.read_ini() == sjis(THREE_FEEDS.replace("\r\n", "\n") + "\n")
    # While the dialog was open the backup held the file as it was opened.
    backup_line = next(line for line in lines if line.startswith(file_step(plugin.data / "bkup.ini")))
    assert bytes.fromhex(backup_line.split(" hex=")[1]) == plugin.read_ini()


def test_option_page_stores_interval_and_auto_sort(plugin):
    plugin.write_ini(HEAD.replace("1\r\n0", "5\r\n1") + feed_line(A))
    lines = drive_dialog(plugin, [
        *step(plugin, "open", "tab 1"),
        *step(plugin, "six hours", "pick 4"),
        *step(plugin, "auto-sort off", "click option 1021"),
        *step(plugin, "auto-sort on", "click option 1021"),
        *step(plugin, "no timed patrol", "pick 0"),
        "ok",
    ], boxes="ok")
    s = seen(lines, plugin)
    assert s["open"]["combo"] == (5, "0,1,2,3,6,12,24") and s["open"]["check"] == 1
    expected = {"six hours": ("4", "1"), "auto-sort off": ("4", "0"), "auto-sort on": ("4", "1"),
                "no timed patrol": ("0", "1")}
    for name, (interval, auto_sort) in expected.items():
        assert s[name]["ini"] == "Inbox\\KIV\r\n%s\r\n%s%s" % (interval, auto_sort, feed_line(A)), name
        assert s[name]["check"] == int(auto_sort), name
    assert plugin.read_ini() == sjis("Inbox\\KIV\r\n0\r\n1" + feed_line(A))


def test_folder_prompt_ok_inserts_the_folder_first_and_opens_the_dialog(plugin):
    plugin.write_ini("\r\n0\r\n0" + feed_line(A))  # line 1 blanked by hand
    lines = drive_dialog(plugin, [*step(plugin, "open"), "ok"], boxes="ok", folder="Inbox\\Feeds")
    box = next(line for line in lines if line.startswith("messagebox owner="))
    assert box == "messagebox owner=window buttons=okcancel icon=none caption=\"フォルダ設定\" captionhex=%s texthex=%s" % (
        sjis("フォルダ設定").hex(), sjis(PROMPT_TEXT).hex())
    # The folder is asked of the host only once the user has said OK.
    assert lines.index("getcurrentfolder") > lines.index(box)
    s = seen(lines, plugin)
    assert s["open"]["ini"] == "Inbox\\Feeds\r\n0\r\n0" + feed_line(A)
    assert s["open"]["items"] == [A]
    assert "setup result=1" in lines
    assert plugin.read_ini() == sjis("Inbox\\Feeds\r\n0\r\n0" + feed_line(A))


@pytest.mark.parametrize("boxes, options, refusal", [
    ("cancel", {}, None),
    ("ok", {"folder": "Inbox\\My Feeds"}, FOLDER_SPACE),
    ("ok", {"extra": ["--null-folder"]}, FOLDER_MISSING),
    ("ok", {"folder": ""}, FOLDER_MISSING),
])
def test_folder_not_taken_leaves_the_file_and_shows_no_dialog(plugin, boxes, options, refusal):
    plugin.write_ini("0\r\n0" + feed_line(A))
    plugin.data.mkdir()
    (plugin.data / "bkup.ini").write_bytes(b"Old\\Folder\r\n3\r\n1")  # left by an earlier run
    lines = drive_dialog(plugin, ["dump"], boxes=boxes, **options)
    texts = [bytes.fromhex(line.rsplit(" texthex=", 1)[1]).decode("cp932")
             for line in lines if line.startswith("messagebox owner=")]
    assert texts == [PROMPT_TEXT] + ([refusal] if refusal else [])
    assert ("getcurrentfolder" in lines) == (boxes == "ok")
    assert not any(line.startswith("list count=") for line in lines)  # the dialog never showed
    assert "setup result=1" in lines
    assert plugin.read_ini() == sjis("0\r\n0" + feed_line(A))


def test_recorded_folder_opens_the_dialog_without_prompt(plugin):
    plugin.write_ini("No\\Real\\Folder\r\n2\r\n1")
    lines = drive_dialog(plugin, [*step(plugin, "open"), "ok"], boxes="ok")
    s = seen(lines, plugin)
    assert not any(line.startswith("messagebox") for line in lines)
    assert "getcurrentfolder" not in lines
    assert s["open"]["items"] == [] and s["open"]["combo"][0] == 2 and s["open"]["check"] == 1
    assert s["open"]["pages"] == "url"
    assert plugin.read_ini() == b"No\\Real\\Folder\r\n2\r\n1"


def layout(lines, after):
    """The `layout` lines after the line `after`: {name: numbers}."""
    values = {}
    for line in lines[lines.index(after):]:
        if line.startswith("layout "):
            for part in line.split()[1:]:
                name, value = part.split("=")
                values[name] = [int(v) for v in value.split(",")]
        elif values and line.startswith("drive echo"):
            break
    return values


def test_enlarging_moves_the_buttons_to_the_right_edge_and_widens_list_and_edit(plugin):
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    plugin.write_ini(THREE_FEEDS)
    lines = drive_dialog(plugin, ["echo before", "layout", "size 720 520", "echo after", "layout",
                                  "shot " + windows_path(SCREENSHOTS / "enlarged.bmp"), "ok"])
    before, after = layout(lines, "drive echo before"), layout(lines, "drive echo after")
    L, T, R, W, H = (after[k][0] for k in "LTRWH")
    assert after["tab"] == [12, 17, W - 17, H]
    assert after["page"] == [L, T, W - 25, H - 30]
    # The list box shows whole lines only: its height comes down to a multiple
    # of one. It leaves the feed's pane, 60 pixels and a gap of 6, beneath it.
    assert after["list"][:3] == [11, 33, W - 107] and H - 136 - 20 < after["list"][3] <= H - 136
    # The pane is as wide as the list; the selected feed's buttons stand beside it.
    assert after["state"] == [11, 33 + H - 136 + 6, W - 107, 60]
    assert after["setting"] == [R - 106, 33 + H - 136 + 6, 63, 21]
    assert after["patrol"] == [R - 106, 33 + H - 136 + 6 + 27, 63, 21]
    assert after["edit"] == [35, 11, W - 130, 20]
    assert after["add"] == [R - 106, 11, 63, 21]
    assert after["replace"] == [R - 106, 33, 63, 21]
    assert after["delete"] == [R - 106, 65, 63, 21]
    assert after["list"][2] > before["list"][2] + 300 and after["edit"][2] > before["edit"][2] + 300
    # Not moved: the OK button and the other pages.
    assert after["ok"] == before["ok"] and after["option"] == before["option"]
    save_png("enlarged")


def save_png(name):
    """Screenshots are taken as BMP; PNG is smaller to keep and to look at."""
    bmp = SCREENSHOTS / (name + ".bmp")
    if shutil.which("convert"):
        subprocess.run(["convert", str(bmp), str(SCREENSHOTS / (name + ".png"))], check=True)
        bmp.unlink()


def test_each_tab_shows_exactly_one_page_and_screenshots_are_kept(plugin):
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    plugin.write_ini("4\r\n1" + feed_line(A) + feed_line(B))
    shot = lambda name: "shot " + windows_path(SCREENSHOTS / (name + ".bmp"))  # noqa: E731
    # No box watcher: the driver photographs the prompt and answers it.
    lines = drive_dialog(plugin, [
        "boxshot %s ok" % windows_path(SCREENSHOTS / "folder_prompt.bmp"),
        "echo url list", "dump", shot("url_list"),
        "echo option", "tab 1", "dump", shot("option"),
        "echo about", "tab 2", "dump", shot("about"),
        "echo back", "tab 0", "dump",
        "echo back again", "tab 0", "dump",
        "ok"])
    s = seen(lines, plugin)
    assert [s[name]["pages"] for name in ("url list", "option", "about", "back", "back again")] == [
        "url", "option", "about", "url", "url"]
    assert all(line.endswith("saved=1") for line in lines if line.startswith(("shot ", "boxshot ")))
    for name in ("folder_prompt", "url_list", "option", "about"):
        save_png(name)
    assert plugin.read_ini() == sjis("Inbox\\KIV\r\n4\r\n1" + feed_line(A) + feed_line(B))

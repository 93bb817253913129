"""What the URL LIST page tells of the selected feed after a patrol of the
real KIV.dll: its title and site link from the feed, its last outcome as the
patrol log has it, and how long it has been failing."""
import re

from kivhost import SCREENSHOTS, drive_dialog, windows_path
from patrol_helpers import DEFAULT, feed_xml, settings
from test_preferences import save_png

DATES = ["2024-06-02T00:00:00+00:00", "2024-06-01T00:00:00+00:00"]
CLOCK = r"\d{4}/\d\d/\d\d \d\d:\d\d:\d\d"
NO_TITLE = "（フィード名はまだ読んでいません）"


def states(lines):
    """The pane's text at each `echo NAME` step followed by a dump: {NAME: text}."""
    shown, name = {}, None
    for line in lines:
        if line.startswith("drive echo "):
            name = line[len("drive echo "):]
        elif line.startswith("state ") and name:
            shown[name] = bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")
    return shown


def logged(plugin, url):
    """The date and time of url's last line in patrol.log."""
    lines = [line for line in (plugin.data / "patrol.log").read_text("ascii").splitlines() if (" %s " % url) in line]
    return lines[-1][:19]


def test_selected_feed_shows_title_site_last_outcome_and_failing_streak(plugin, feed_server):
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    gone = feed_server.serve("/gone", b"no such feed", status=404)
    garden = feed_server.serve("/garden", feed_xml("庭の日記", DATES))
    ferry = feed_server.serve("/ferry", feed_xml("Ferry timetable", DATES[:1]))
    plugin.write_ini(settings(*(url + "," + DEFAULT for url in (gone, garden, ferry))))
    shot = lambda name: "shot " + windows_path(SCREENSHOTS / (name + ".bmp"))  # noqa: E731
    steps = ["echo none", "dump",
             "select 0", "echo gone", "dump",
             "select 1", "echo garden", "dump", shot("url_list_feed_japanese"),
             "select 2", "echo ferry", "dump", shot("url_list_feed_english"),
             # A feed just added has no patrol behind it yet (nothing answers
             # at its address: added once the person says yes).
             "text url 1000 http://127.0.0.1:9/new", "click url 3", "echo new", "dump",
             "ok"]
    # The start-up patrol (interval 0: the only one) has ended when the dialog opens.
    lines = drive_dialog(plugin, steps, before=["wait-appends 2 30000", "sleep 1500"], boxes="yes")
    shown = states(lines)
    assert shown["none"] == ""
    assert re.fullmatch("%s\r\n前回の巡回 (%s): failed: HTTP 404\r\n(%s) から失敗が続いています（1 回）: HTTP 404"
                        % (re.escape(NO_TITLE), CLOCK, CLOCK), shown["gone"]), shown["gone"]
    assert shown["garden"].startswith("庭の日記\r\nhttp://example.net/庭の日記\r\n前回の巡回 ")
    assert shown["garden"].endswith(": delivered 2 items")
    assert shown["ferry"] == "Ferry timetable\r\nhttp://example.net/Ferry timetable\r\n前回の巡回 %s: delivered 1 item" \
        % logged(plugin, ferry)
    assert shown["new"] == NO_TITLE + "\r\nまだ巡回していません"
    # The pane's time is the log's, to the second.
    assert logged(plugin, gone) in shown["gone"] and logged(plugin, garden) in shown["garden"]
    save_png("url_list_feed_japanese")
    save_png("url_list_feed_english")

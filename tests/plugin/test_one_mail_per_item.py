"""One mail per item, through the real KIV.dll under Wine: the same feeds in
both forms of message, read back message by message; the bound per patrol
with the rest in the next patrols; and the OPTION page's check box, stored
beside KIV.ini (never in it), put back by CANCEL."""
import re

from kivhost import PluginFolder, SCREENSHOTS, drive_dialog, file_step, run_host, sjis, windows_path
from patrol_helpers import DEFAULT, log_lines, settings
from test_every_item_once import rss20
from test_preferences import save_png

OPTIONS = "options.ini"
ID = re.compile(rb"^<[0-9a-f]{16}\.[0-9a-f]{16}@kiv\.invalid>$")
ITEMS = [  # newest first, as feeds list them
    {"title": "Tomatoes", "link": "http://example.net/t", "description": "Staking the plants.",
     "pubDate": "Fri, 03 May 2024 09:00:00 GMT"},
    {"title": "", "link": "http://example.net/u", "description": "No title."},  # undated too
    {"title": "Roses &amp; thorns", "link": "http://example.net/r", "pubDate": "Wed, 01 May 2024 08:15:00 +0900"},
]


def one_mail_per_item(plugin, flag=1):
    plugin.data.mkdir(exist_ok=True)
    (plugin.data / OPTIONS).write_bytes(b"one-mail-per-item=%d\r\n" % flag)


def patrol(plugin, appends, wait_ms=60000):
    """One patrol at start-up, ended once the host has taken `appends` messages."""
    return run_host(plugin, "load", "wait-appends %d %d" % (appends, wait_ms), "sleep 500", "unload")


def headers_and_body(message):
    head, _, body = message.partition(b"\r\n\r\n")
    return dict(line.split(b": ", 1) for line in head.split(b"\r\n")), body


def test_the_same_feeds_in_both_forms(plugin, feed_server, tmp_path):
    garden = feed_server.serve("/garden", rss20("garden", ITEMS))
    plugin.write_ini(settings(garden + "," + DEFAULT))
    # Per feed, the default, also with the option stored as off: byte for byte as ever.
    one_mail_per_item(plugin, 0)
    patrol(plugin, 1)
    [message] = plugin.messages()
    assert re.fullmatch(
        rb"Date: 03 May 24 09:00:00 \+0000\r\nFrom: \[http://example.net/garden\]\r\nSubject: garden -d-\r\n"
        rb"To: \[KIVv1\.08\]\r\n\r\nhttp://example.net/garden\n\n---\n"
        rb"2024/05/03 09:00:00\+00:00\nTomatoes \[  \]\nhttp://example.net/t\nStaking the plants\.\n\n"
        rb"\n \[  \]\nhttp://example.net/u\nNo title\.\n\n"
        rb"2024/05/01 08:15:00\+09:00\nRoses & thorns \[  \]\nhttp://example.net/r\n\n\r\n", message), message
    assert log_lines(plugin)[-1] == (garden, "delivered 3 items")

    # One mail per item, in two plug-in folders: the same messages, oldest first.
    runs = []
    for name in ("first", "second"):
        folder = PluginFolder(tmp_path / name)
        folder.write_ini(settings(garden + "," + DEFAULT))
        one_mail_per_item(folder)
        patrol(folder, 3)
        runs.append(folder.messages())
        assert log_lines(folder)[-1] == (garden, "delivered 3 items")
    first, second = runs
    assert len(first) == 3
    seen = [headers_and_body(m) for m in first]
    # The undated item stays where the feed lists it; it is titled by its feed.
    assert [h[b"Subject"] for h, _ in seen] == [b"Roses & thorns", b"garden", b"Tomatoes"]
    assert [seen[0][0][b"Date"], seen[2][0][b"Date"]] == [b"01 May 24 08:15:00 +0900", b"03 May 24 09:00:00 +0000"]
    assert re.fullmatch(rb"\d\d [A-Z][a-z]{2} \d\d \d\d:\d\d:\d\d \+0000", seen[1][0][b"Date"])
    for headers, body in seen:
        assert list(headers) == [b"Date", b"From", b"Subject", b"To", b"Message-ID"]
        assert headers[b"From"] == b"[http://example.net/garden]" and headers[b"To"] == b"[KIVv1.08]"
        assert ID.match(headers[b"Message-ID"])
        assert body.endswith(b"\n\n---\ngarden\nhttp://example.net/garden\r\n")
    assert seen[2][1] == (b"2024/05/03 09:00:00+00:00\nTomatoes [  ]\nhttp://example.net/t\nStaking the plants.\n\n"
                          b"---\ngarden\nhttp://example.net/garden\r\n")
    assert len({h[b"Message-ID"] for h, _ in seen}) == 3
    # Stable: the same item has the same Message-ID in every run; only the
    # undated item's Date, the time of its patrol, may differ.
    assert [headers_and_body(m)[0][b"Message-ID"] for m in second] == [h[b"Message-ID"] for h, _ in seen]
    assert (first[0], first[2]) == (second[0], second[2])


def test_a_long_feed_comes_in_patrols_of_at_most_fifty(plugin, feed_server):
    items = [{"title": "n%d" % n, "guid": "urn:n%d" % n,
              "pubDate": "Wed, 01 May 2024 %02d:%02d:00 GMT" % divmod(n, 60)} for n in range(70, 0, -1)]
    # A server that answers 304 to its own validators must not hold the rest back.
    url = feed_server.serve("/long", rss20("long", items), etag='"v1"', conditional=True)
    plugin.write_ini(settings(url + "," + DEFAULT))
    one_mail_per_item(plugin)
    patrol(plugin, 50)
    patrol(plugin, 20)
    titles = [headers_and_body(m)[0][b"Subject"].decode() for m in plugin.messages()]
    assert titles == ["n%d" % n for n in range(1, 71)]
    assert [words for _, words in log_lines(plugin)] == ["delivered 50 items", "delivered 20 items"]
    patrol(plugin, 1, wait_ms=5000)  # none comes
    assert len(plugin.messages()) == 70
    assert log_lines(plugin)[-1] == (url, "unchanged (304 Not Modified)")
    assert plugin.read_ini().decode().endswith(url + ",2024-05-01T01:10:00+00:00")


def test_an_unload_in_the_middle_of_a_feed_leaves_the_rest_for_the_next_patrol(plugin, feed_server):
    """The host stops taking messages (the plug-in is unloaded) after a few:
    the feed stops at the item in hand, and the next patrol delivers exactly
    the items that did not come."""
    items = [{"title": "n%d" % n, "guid": "urn:n%d" % n} for n in range(50, 0, -1)]
    url = feed_server.serve("/many", rss20("many", items))
    plugin.write_ini(settings(url + "," + DEFAULT))
    one_mail_per_item(plugin)
    run_host(plugin, "load", "wait-appends 3 60000", "unload")
    first = len(plugin.messages())
    assert 3 <= first < 50
    assert log_lines(plugin) == [(url, "delivered %d items" % first)]
    patrol(plugin, 50 - first)
    titles = [headers_and_body(m)[0][b"Subject"].decode() for m in plugin.messages()]
    assert titles == ["n%d" % n for n in range(1, 51)]


def option_page(lines):
    """What each `echo` step saw of the check box and the options file."""
    seen, current = {}, None
    for line in lines:
        if line.startswith("drive echo "):
            current = seen[line[len("drive echo "):]] = {}
        elif current is not None and line.startswith("item-check "):
            current["check"] = int(line.split()[1])
    return seen


def test_option_page_check_box_is_stored_beside_kiv_ini_and_cancel_puts_it_back(plugin):
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    ini = "Inbox\\KIV\r\n1\r\n0\r\nhttp://127.0.0.1:9/a," + DEFAULT
    plugin.write_ini(ini)
    options = plugin.data / OPTIONS
    look = lambda name: ["echo " + name, "dump", file_step(options), file_step(plugin.ini)]  # noqa: E731
    lines = drive_dialog(plugin, [*look("open"), "tab 1", "click option 1022", *look("ticked"),
                                  "shot " + windows_path(SCREENSHOTS / "option_one_mail_per_item.bmp"), "cancel"],
                         boxes="ok")
    save_png("option_one_mail_per_item")
    seen = option_page(lines)
    assert seen["open"]["check"] == 0 and seen["ticked"]["check"] == 1
    stored = [line for line in lines if line.startswith(file_step(options) + " ")]
    assert stored[0].endswith("exists=0") and stored[1].endswith("hex=" + b"one-mail-per-item=1\r\n".hex())
    # KIV.ini, which older versions read, never changed.
    assert [line for line in lines if line.startswith(file_step(plugin.ini) + " ")] == \
        [file_step(plugin.ini) + " hex=" + sjis(ini).hex()] * 2
    assert options.read_bytes() == b"one-mail-per-item=0\r\n"
    assert plugin.read_ini() == sjis(ini)

    lines = drive_dialog(plugin, [*look("open"), "tab 1", "click option 1022", *look("ticked"), "ok"], boxes="ok")
    assert option_page(lines)["open"]["check"] == 0
    assert options.read_bytes() == b"one-mail-per-item=1\r\n" and plugin.read_ini() == sjis(ini)
    lines = drive_dialog(plugin, [*look("open"), "ok"], boxes="ok")
    assert option_page(lines)["open"]["check"] == 1
    # As an older KIV reads KIV.ini: entries split at white space, the
    # folder, the two options, then the feeds; nothing else is listed.
    assert plugin.read_ini().decode("cp932").split() == ["Inbox\\KIV", "1", "0", "http://127.0.0.1:9/a," + DEFAULT]

"""Each feed its own way: feeds.ini in the data folder gives a feed its own
folder, form of message, pause, interval and block and keep rules, through
the real KIV.dll under Wine. A feed without a section is delivered as ever
(every other plug-in test runs without the file)."""
import re
import time

from kivhost import HostSession, drive_dialog, file_bytes, file_step, run_host
from patrol_helpers import DEFAULT, FOLDER, fresh_feed, log_lines, settings, subjects
from test_every_item_once import rss20

FEEDS_INI = "feeds.ini"


def write_options(plugin, text):
    plugin.data.mkdir(exist_ok=True)
    (plugin.data / FEEDS_INI).write_bytes(text.encode("utf-8") if isinstance(text, str) else text)


def patrol(plugin, appends, wait_ms=30000):
    return run_host(plugin, "load", "wait-appends %d %d" % (appends, wait_ms), "sleep 500", "unload")


def wait_log(plugin, count, timeout=30):
    """Waits until the patrol log holds count lines."""
    path = plugin.data / "patrol.log"
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists() and path.read_bytes().count(b"\r\n") >= count:
            return
        time.sleep(0.1)
    raise AssertionError("the log did not reach %d lines" % count)


def titles(plugin, folder=FOLDER):
    """Every item title in the messages of folder, in order."""
    found = []
    for message in plugin.messages(folder):
        body = message.partition(b"\r\n\r\n")[2]
        found += [t.decode("cp932") for t in re.findall(rb"\n([^\n]*) \[ [^\n]* \]\n", b"\n" + body)]
    return found


def test_folders_forms_and_a_pause_per_feed(plugin, feed_server):
    tech = feed_server.serve("/tech", fresh_feed("tech"))
    common = feed_server.serve("/common", fresh_feed("common"))
    resting = feed_server.serve("/resting", fresh_feed("resting"))
    items = feed_server.serve("/items", rss20("items", [
        {"title": "one", "guid": "urn:1", "pubDate": "Wed, 01 May 2024 08:00:00 GMT"},
        {"title": "two", "guid": "urn:2", "pubDate": "Thu, 02 May 2024 08:00:00 GMT"}]))
    plugin.write_ini(settings(*(url + "," + DEFAULT for url in (tech, common, resting, items))))
    write_options(plugin, "[%s]\nfolder=Inbox\\Tech\n[%s]\npaused=1\n[%s]\nmail=per-item\n"
                  % (tech, resting, items))
    patrol(plugin, 4)
    # Its own folder; the common one; one message per item while the common
    # form stays one per feed.
    assert subjects(plugin, "Inbox\\Tech") == ["tech"]
    messages = plugin.messages()
    assert len(messages) == 3
    assert re.search(rb"^Subject: common -about-\r\n", messages[0], re.M)
    assert [re.search(rb"^Subject: (.*)\r\n", m, re.M).group(1) for m in messages[1:]] == [b"one", b"two"]
    assert all(b"\r\nMessage-ID: <" in m for m in messages[1:])
    # The paused feed is not asked at all, and the log tells it from a
    # pause a server asked for.
    assert feed_server.requests("/resting") == []
    assert dict(log_lines(plugin)) == {tech: "delivered 1 item", common: "delivered 1 item",
                                       resting: "paused in feeds.ini, not requested", items: "delivered 2 items"}
    assert resting + "," + DEFAULT in plugin.read_ini().decode()


RULES_ITEMS = [
    {"title": "SPONSORED: a deal", "guid": "urn:s", "category": "news"},          # block beats keep
    {"title": "Daily news", "guid": "urn:d", "category": "News"},                 # kept by category
    {"title": "Weather", "guid": "urn:w", "category": "weather"},                 # no keep rule matches
    {"title": "Prize", "guid": "urn:g", "category": "news",
     "description": "&lt;p&gt;Win a &lt;b&gt;GIVEAWAY&lt;/b&gt;&lt;/p&gt;"},       # body, after its HTML
    {"title": "Promo", "guid": "urn:p", "category": "news", "link": "http://example.net/promo/7"},  # link
    {"title": "Bot post", "guid": "urn:b", "category": "news", "author": "bot@example.net (Bot)"},  # author
    {"title": "Something to keepme", "guid": "urn:k"},                            # kept by any field
]
RULES = ("block=title:sponsored\nblock=body:win a gi?eaway\nblock=link:*/PROMO/*\nblock=author:bot@*\n"
         "block=title:matches nothing at all\nkeep=category:news\nkeep=any:keep*me\n")


def test_block_and_keep_rules(plugin, feed_server):
    url = feed_server.serve("/rules", rss20("rules", RULES_ITEMS))
    plugin.write_ini(settings(url + "," + DEFAULT))
    write_options(plugin, "[%s]\n%s" % (url, RULES))
    patrol(plugin, 1)
    assert titles(plugin) == ["Daily news", "Something to keepme"]
    assert log_lines(plugin) == [(url, "delivered 2 items, 5 filtered")]
    # The held items were seen: the next patrol delivers nothing, the rules
    # gone or not.
    (plugin.data / FEEDS_INI).unlink()
    patrol(plugin, 1, wait_ms=3000)
    assert len(plugin.messages()) == 1
    assert log_lines(plugin)[-1] == (url, "no new items")


def test_rules_in_one_mail_per_item_and_every_item_held_back(plugin, feed_server):
    url = feed_server.serve("/rules", rss20("rules", RULES_ITEMS))
    held = feed_server.serve("/held", rss20("held", RULES_ITEMS[:3]))
    plugin.write_ini(settings(url + "," + DEFAULT, held + "," + DEFAULT))
    write_options(plugin, "[%s]\nmail=per-item\n%s[%s]\nblock=any:*\n" % (url, RULES, held))
    patrol(plugin, 2)
    patrol(plugin, 1, wait_ms=3000)
    assert sorted(re.search(rb"^Subject: (.*)\r\n", m, re.M).group(1) for m in plugin.messages()) == \
        [b"Daily news", b"Something to keepme"]
    assert log_lines(plugin) == [(url, "delivered 2 items, 5 filtered"), (held, "no new items, 3 filtered"),
                                 (url, "no new items"), (held, "no new items")]


def test_every_24_hours_skipped_by_the_start_up_patrol_asked_by_the_menu(plugin, feed_server):
    daily = feed_server.serve("/daily", fresh_feed("daily"))
    always = feed_server.serve("/always", fresh_feed("always"))
    plugin.write_ini(settings(daily + "," + DEFAULT, always + "," + DEFAULT))
    write_options(plugin, "[%s]\nevery=24\n" % daily)
    patrol(plugin, 2)
    assert len(feed_server.requests("/daily")) == 1
    # Started again: the start-up patrol leaves the feed alone, the menu
    # command asks for it.
    session = HostSession(plugin)
    session.send("load")
    wait_log(plugin, 4)
    assert len(feed_server.requests("/daily")) == 1
    assert len(feed_server.requests("/always")) == 2
    assert re.fullmatch(r"not due \(requested every 24 hours, next after \d{4}/\d\d/\d\d \d\d:\d\d:\d\d\)",
                        log_lines(plugin)[2][1]), log_lines(plugin)
    session.send("menu 3")
    session.send("command")
    wait_log(plugin, 6)
    session.send("unload")
    session.expect("unload result=1")
    session.close()
    assert len(feed_server.requests("/daily")) == 2
    assert log_lines(plugin)[4] == (daily, "delivered 1 item")


def test_a_hand_edited_file_is_read_and_left_as_it_is(plugin, feed_server):
    tech = feed_server.serve("/tech", fresh_feed("tech"))
    other = feed_server.serve("/other", fresh_feed("other"))
    plugin.write_ini(settings(tech + "," + DEFAULT, other + "," + DEFAULT))
    text = ("\ufeff; written by hand\r\nstray words\r\n[%s]\r\n# my tech feeds\r\nFolder = Inbox\\Tech\r\n"
            "colour=blue\r\nevery=0\r\nblock=sponsored\r\nmail=digest\r\n\r\n[%s]\nblock = TITLE : other item *\n"
            % (tech, other)).encode("utf-8")
    write_options(plugin, text)
    patrol(plugin, 1)
    assert subjects(plugin, "Inbox\\Tech") == ["tech"]
    assert plugin.messages() == []  # the only item of the other feed held back
    assert dict(log_lines(plugin))[other] == "no new items, 1 filtered"
    assert (plugin.data / FEEDS_INI).read_bytes() == text


def test_a_file_over_its_bound_counts_as_none(plugin, feed_server):
    url = feed_server.serve("/feed", fresh_feed("feed"))
    plugin.write_ini(settings(url + "," + DEFAULT))
    head = "[%s]\r\npaused=1\r\n" % url
    write_options(plugin, head + ";" * (1024 * 1024 + 1 - len(head)))
    patrol(plugin, 1)
    assert subjects(plugin) == ["feed"]


# Nothing listens on port 9: the start-up patrol fails at once.
A, B, C, D = ("http://127.0.0.1:9/" + name for name in "abcd")
HAND = "; mine\n[%s]\nfolder=Inbox\\A\n[%s]\npaused=1\ncolour=blue\n" % (A, B)


def test_delete_and_replace_keep_the_file_whole_and_cancel_puts_it_back(plugin):
    listed = settings(*(url + "," + DEFAULT for url in (A, B, C)))
    plugin.write_ini(listed)
    path = plugin.data / FEEDS_INI
    write_options(plugin, HAND)
    # DELETE takes the first feed's section, REPLACE moves the second's,
    # unread line and all, to the new address.
    lines = drive_dialog(plugin, ["select 0", "click url 4", "text url 1000 " + D, "select 0", "click url 5",
                                  file_step(path), "ok"], boxes="yes")
    assert "setup result=1" in lines
    assert file_bytes(lines, path) == ("; mine\r\n[%s]\r\npaused=1\r\ncolour=blue\r\n" % D).encode()
    assert path.read_bytes() == file_bytes(lines, path)

    # CANCEL: back byte for byte, and a file made meanwhile goes again.
    plugin.write_ini(listed)
    for opened in (HAND.encode(), None):
        if opened is None:
            path.unlink()
        else:
            path.write_bytes(opened)
        lines = drive_dialog(plugin, ["select 1", "click url 4", "text url 1000 " + D, "select 0", "click url 5",
                                      file_step(path), "cancel"], boxes="yes")
        changed = file_bytes(lines, path)
        assert changed != opened or opened is None
        assert (path.read_bytes() if path.exists() else None) == opened
        assert plugin.read_ini() == listed.encode()


def test_a_feed_that_moved_for_good_keeps_its_section(plugin, feed_server):
    new_home = feed_server.serve("/new", fresh_feed("moved"))
    moved = feed_server.serve("/old", status=301, headers=[("Location", "/new")])
    plugin.write_ini(settings(moved + "," + DEFAULT))
    write_options(plugin, "[%s]\nfolder=Inbox\\Moved\n" % moved)
    for _ in range(3):
        patrol(plugin, 1)
    assert len(plugin.messages("Inbox\\Moved")) == 3
    assert (plugin.data / FEEDS_INI).read_bytes() == ("[%s]\r\nfolder=Inbox\\Moved\r\n" % new_home).encode()
    patrol(plugin, 1)
    assert len(plugin.messages("Inbox\\Moved")) == 4


def test_the_pane_names_own_settings_unread_lines_and_a_feed_held_back(plugin, feed_server):
    from test_feed_list_view import states
    from test_preferences import save_png
    from kivhost import SCREENSHOTS, windows_path
    held = feed_server.serve("/held", fresh_feed("held"))
    plain = feed_server.serve("/plain", fresh_feed("plain"))
    plugin.write_ini(settings(held + "," + DEFAULT, plain + "," + DEFAULT))
    write_options(plugin, "stray words\n[%s]\nblock=any:*\nevery=0\ncolour=blue\n" % held)
    for _ in range(3):
        patrol(plugin, 1)
    assert [words for url, words in log_lines(plugin) if url == held] == ["no new items, 1 filtered"] * 3
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    shot = "shot " + windows_path(SCREENSHOTS / "url_list_feed_options.bmp")
    lines = drive_dialog(plugin, ["select 0", "echo held", "dump", shot, "select 1", "echo plain", "dump", "ok"],
                         before=["wait-appends 1 30000", "sleep 1500"])
    shown = states(lines)
    assert re.fullmatch(
        r"held\r\nhttp://example.net/held\r\n前回の巡回 [0-9/: ]+: no new items, 1 filtered\r\n"
        r"直近 3 回の巡回で、block/keep が新しい記事をすべて除きました\r\n"
        r"このフィードだけの設定（feeds.ini）:\r\n  block=any:\*\r\n"
        r"feeds.ini の読めない行 1: stray words\r\nfeeds.ini の読めない行 4: every=0\r\n"
        r"feeds.ini の読めない行 5: colour=blue", shown["held"]), shown["held"]
    assert shown["plain"].endswith(": delivered 1 item\r\nfeeds.ini の読めない行 1: stray words"), shown["plain"]
    save_png("url_list_feed_options")

    # A file over its bound counts as none, and the pane says so.
    write_options(plugin, "[%s]\nblock=any:*\n" % held + ";" * (1024 * 1024))
    lines = drive_dialog(plugin, ["select 0", "echo held", "dump", "ok"], before=["wait-appends 2 30000", "sleep 1500"])
    assert states(lines)["held"].endswith("\r\nfeeds.ini は 1 MB を超えているか読めないため、使っていません")

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


SETTING, PATROL = 1005, 1006
# The feed's own dialog: folder buttons, the three forms, interval, pause,
# the two rule lists.
TAKE, COMMON, PER_ITEM, EVERY, PAUSED, BLOCK, KEEP = 1042, 1043, 1046, 1047, 1048, 1049, 1050


def feed_controls(lines):
    """The feed dialog's controls at each `controls feed` step: a list of {id: text}."""
    shown = []
    for line in lines:
        if line.startswith("page feed "):
            shown.append({})
        elif line.startswith("control feed "):
            head, text = line.split(" text=", 1)
            shown[-1][int(head.split()[2])] = bytes.fromhex(text.rsplit(" hex=", 1)[1]).decode("cp932")
    return shown


def box_texts(lines):
    return [bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932") for line in lines if line.startswith("boxtext ")]


def test_the_feeds_own_dialog_writes_its_section(plugin):
    from test_feed_list_view import states
    from test_preferences import save_png
    from kivhost import SCREENSHOTS, windows_path
    plugin.write_ini(settings(A + "," + DEFAULT, B + "," + DEFAULT))
    path = plugin.data / FEEDS_INI
    opened = "; mine\n[%s]\nblock=title:old\ncolour=blue\n[%s]\npaused=1\n" % (A, B)
    write_options(plugin, opened)
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    shot = windows_path(SCREENSHOTS / "feed_options.bmp")
    lines = drive_dialog(plugin, [
        "select 0", "press url %d" % SETTING, "controls feed",
        # A folder whose name has a blank is refused as the first prompt refuses it.
        "folder Inbox\\My Feeds", "press feed %d" % TAKE, "boxshot - ok",
        "folder Inbox\\Tech", "click feed %d" % TAKE,
        "click feed %d" % PER_ITEM, "text feed %d 24" % EVERY, "click feed %d" % PAUSED,
        "lines feed %d title:PR*\\n\\n  body:*giveaway*  \\ntitle:広告" % BLOCK, "lines feed %d category:news" % KEEP,
        "feedshot " + shot, "controls feed", "click feed 1",
        file_step(path), "echo after", "dump",
        # Refused values keep the dialog open; Cancel changes nothing.
        "select 0", "press url %d" % SETTING, "text feed %d 721" % EVERY, "press feed 1", "boxshot - ok",
        "text feed %d 1" % EVERY, "lines feed %d title:fine\\ntitel:typo" % BLOCK, "press feed 1", "boxshot - ok",
        "click feed %d" % COMMON, "click feed 2", file_step(path), "ok"])
    assert "setup result=1" in lines
    opening, edited = feed_controls(lines)
    assert opening[1040] == A and opening[1041] == "（共通のフォルダ: Inbox\\KIV）"
    assert (opening[EVERY], opening[BLOCK], opening[KEEP]) == ("", "title:old", "")
    assert edited[1041] == "Inbox\\Tech"
    assert edited[BLOCK] == "title:PR*\r\n\r\n  body:*giveaway*  \r\ntitle:広告"
    written = ("; mine\r\n[%s]\r\nfolder=Inbox\\Tech\r\nmail=per-item\r\npaused=1\r\nevery=24\r\n"
               "block=title:PR*\r\nblock=body:*giveaway*\r\nblock=title:広告\r\nkeep=category:news\r\n"
               "colour=blue\r\n[%s]\r\npaused=1\r\n" % (A, B)).encode("utf-8")
    files = [line for line in lines if line.startswith("file ")]
    assert len(files) == 2
    assert file_bytes(lines[:lines.index(files[0]) + 1], path) == written
    assert file_bytes(lines, path) == written and path.read_bytes() == written
    assert box_texts(lines) == [
        "名前に空白を含むフォルダは設定できません。",
        "巡回間隔は 1 から 720 までの時間で入れてください。空欄なら巡回のたびに巡回します。",
        "除く記事（block） の 2 行目を規則として読めません:\r\ntitel:typo\r\n\r\n1行に1つ「欄:パターン」の形で"
        "書いてください。欄は title, body, link, author, category, any のどれか、パターンは 256 バイトまでです。"]
    assert states(lines)["after"].endswith(
        "このフィードだけの設定（feeds.ini）:\r\n  folder=Inbox\\Tech\r\n  mail=per-item\r\n  paused=1\r\n"
        "  every=24\r\n  block=title:PR*\r\n  block=body:*giveaway*\r\n  block=title:広告\r\n"
        "  keep=category:news\r\nfeeds.ini の読めない行 11: colour=blue")
    save_png("feed_options")

    # The preferences' CANCEL puts the file back as the dialog opened it.
    lines = drive_dialog(plugin, ["select 1", "press url %d" % SETTING, "click feed %d" % PAUSED,
                                  "click feed 1", file_step(path), "cancel"])
    assert file_bytes(lines, path) == written.replace(b"[%s]\r\npaused=1\r\n" % B.encode(), b"")
    assert path.read_bytes() == written

    # OK with nothing changed leaves a hand-written section as it stands; a
    # file over its bound is not opened for editing at all.
    hand = "[%s]\n# mine\nBLOCK = Title : x\n" % A
    write_options(plugin, hand)
    lines = drive_dialog(plugin, ["select 0", "press url %d" % SETTING, "click feed 1", file_step(path), "ok"])
    assert file_bytes(lines, path) == hand.encode()
    write_options(plugin, hand + ";" * (1024 * 1024))
    lines = drive_dialog(plugin, ["select 0", "press url %d" % SETTING, "boxshot - ok", "ok"])
    assert box_texts(lines) == ["feeds.ini は 1 MB を超えているか読めないため、使っていません"]


def test_patrol_button_patrols_one_feed_after_the_patrol_in_hand(plugin, feed_server):
    import threading
    from test_feed_list_view import states
    # The start-up patrol waits for this feed until the buttons were pressed.
    slow = feed_server.serve("/slow", fresh_feed("slow"), hold=True)
    threading.Timer(8, feed_server.release, ["/slow"]).start()
    daily = feed_server.serve("/daily", fresh_feed("daily"))
    other = feed_server.serve("/other", fresh_feed("other"))
    plugin.write_ini(settings(slow + "," + DEFAULT, daily + "," + DEFAULT, other + "," + DEFAULT))
    # Its own interval does not keep a feed asked for by hand waiting.
    write_options(plugin, "[%s]\nevery=24\n" % daily)
    # Pressed while the start-up patrol waits for the slow feed: the pane
    # says the feed waits, and its own patrol follows the one in hand.
    # Pressed twice, it is asked for once.
    lines = drive_dialog(plugin, ["select 1", "press url %d" % PATROL, "press url %d" % PATROL, "sleep 300",
                                  "echo asked", "dump", "wait-appends 4 30000", "sleep 1500", "echo done", "dump",
                                  "ok"])
    shown = states(lines)
    assert shown["asked"].endswith("\r\nこのフィードだけの巡回を待っています…"), shown["asked"]
    assert "待っています" not in shown["done"] and ": delivered 1 item\r\n" in shown["done"], shown["done"]
    assert [url for url, _ in log_lines(plugin)] == [slow, daily, other, daily]
    assert (len(feed_server.requests("/slow")), len(feed_server.requests("/daily")),
            len(feed_server.requests("/other"))) == (1, 2, 1)
    assert subjects(plugin)[-1] == "daily"

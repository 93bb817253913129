"""ADD with a site's address through the URL LIST page of the real KIV.dll:
a page naming one feed lists that feed, one naming several lets the person
pick (or cancel), anything else is listed only when the person says yes; a
feed's own address is listed as typed without a word; HTTPS pages work; a
stalled server is cancelled at once and leaves no thread or file behind."""

import pytest

import tls_certificates
from feed_server import FeedServer
from kivhost import SCREENSHOTS, WINE_RUN, HostSession, drive_dialog, file_step, sjis, windows_path
from patrol_helpers import feed_xml
from test_preferences import save_png

HEAD = "Inbox\\KIV\r\n1\r\n0"
STAMP = "2000-01-01T00:00:00+09:00"
ADD, REPLACE = 3, 5


def page(*links, head_extra=""):
    """An HTML page whose head holds the given <link> tags."""
    return ("<!DOCTYPE html>\n<html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Harbour</title>%s%s</head>"
            "<body><h1>Harbour</h1><link rel=\"alternate\" type=\"application/rss+xml\" href=\"/body-feed\"></body>"
            "</html>" % (head_extra, "".join(links))).encode("utf-8")


def hexed(line):
    return bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")


def add(plugin, address, *answers, before=(), leave="ok", **options):
    """Types address, presses ADD and plays the answers (steps for the
    windows ADD opens); gives (the driver's lines, the list's entries and
    the edit box's text after ADD, KIV.ini after leave)."""
    steps = ["text url 1000 " + address, ("press url %d" if answers else "click url %d") % ADD, *answers,
             "dump", leave]
    lines = drive_dialog(plugin, [*before, *steps], **options)
    items = [hexed(line) for line in lines if line.startswith("list ") and not line.startswith("list count=")]
    edit = [hexed(line) for line in lines if line.startswith("edit ")][-1]
    return lines, items, edit, plugin.read_ini()


def box_texts(lines):
    return [hexed(line) for line in lines if line.startswith("boxtext ")]


def listed(*urls):
    return sjis(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in urls))


@pytest.fixture
def server():
    with FeedServer() as server:
        yield server


def test_a_page_naming_one_feed_lists_that_feed(plugin, server):
    plugin.write_ini(HEAD)
    # The link is relative to the page's base; the link in the body and the
    # commented one are no part of the head's links.
    site = server.serve("/harbour/", page('<!-- <link rel="alternate" type="application/rss+xml" href="/old"> -->',
                                          '<link rel="Alternate" type="application/atom+xml" title="Timetable" '
                                          'href="feeds/times.atom?a=1&amp;b=2">',
                                          head_extra='<base href="/ferry/">'))
    lines, items, edit, ini = add(plugin, site)
    feed = server.url("/ferry/feeds/times.atom?a=1&b=2")
    assert box_texts(lines) == [] and items == [feed] and edit == ""
    assert ini == listed(feed)
    assert [r.path for r in server.requests()] == ["/harbour/"]
    # Asked for as the patrol asks for a feed.
    request = server.requests()[0]
    assert request.header("Accept").startswith("application/rss+xml, application/atom+xml")
    assert request.header("Accept-Encoding") == "gzip, deflate"
    assert request.header("User-Agent").startswith("kiv")


def test_a_feed_address_is_listed_as_typed_without_a_word(plugin, server):
    plugin.write_ini(HEAD)
    feed = server.serve("/feed.xml", feed_xml("ferry", ["2024-06-01T00:00:00+00:00"]))
    lines, items, edit, ini = add(plugin, feed)
    assert box_texts(lines) == [] and not [line for line in lines if line.startswith("choice")]
    assert items == [feed] and edit == "" and ini == listed(feed)


@pytest.mark.parametrize("answer", ["1", "cancel"])
def test_a_page_naming_several_feeds_lets_the_person_pick_one(plugin, server, answer):
    plugin.write_ini(HEAD)
    site = server.serve("/", page('<link rel="alternate" type="application/rss+xml" title="フェリー時刻表" '
                                  'href="/times.rss">',
                                  '<link rel="alternate" type="application/atom+xml" title="Harbour &amp; news" '
                                  'href="https://news.example/atom">',
                                  '<link rel="alternate" type="application/rss+xml" href="gopher://x/">',
                                  '<link rel="alternate" type="text/html" hreflang="en" href="/en/">'))
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    shot = SCREENSHOTS / "feed_choice.bmp"
    lines, items, edit, ini = add(plugin, site, "choice %s %s" % (windows_path(shot) if answer != "cancel" else "-",
                                                                  answer))
    assert [hexed(line) for line in lines if line.startswith("choice text ")] == \
        ["このページには 2 件のフィードがあります。追加するフィードを選んでください。"]
    assert [hexed(line) for line in lines if line.startswith("choice item ")] == \
        ["フェリー時刻表  <%s>" % server.url("/times.rss"), "Harbour & news  <https://news.example/atom>"]
    if answer == "cancel":
        assert items == [] and edit == site and ini == sjis(HEAD)
    else:
        assert "choice %s saved=1" % windows_path(shot) in lines
        save_png("feed_choice")
        assert items == ["https://news.example/atom"] and edit == "" and ini == listed("https://news.example/atom")


NOWHERE = "http://127.0.0.1:9/site"   # nothing listens on port 9


@pytest.mark.parametrize("what, serve, answer, reason", [
    ("a page without feed links", dict(body=page('<link rel="stylesheet" href="/s.css">')), "no",
     "フィードへのリンクがありません。フィードとしては: "),
    ("a page without feed links, added anyway", dict(body=page()), "yes", "フィードへのリンクがありません。"),
    ("feed links that cannot be listed", dict(body=page('<link rel="alternate" type="application/rss+xml" '
                                                          'href="ftp://files.example/feed">')), "no",
     "フィードへのリンクはありますが、登録できるアドレスではありません"),
    ("an error page with a feed link", dict(body=page('<link rel="alternate" type="application/rss+xml" '
                                                        'href="/feed">'), status=404), "no", "HTTP 404"),
    ("no server", None, "yes", "サーバーに接続できません (error 12029)"),
], ids=lambda value: value if isinstance(value, str) and " " in value else None)
def test_an_address_leading_to_no_feed_is_listed_only_when_the_person_says_yes(plugin, server, what, serve,
                                                                             answer, reason):
    plugin.write_ini(HEAD)
    site = server.serve("/site", **serve) if serve else NOWHERE
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    shot = SCREENSHOTS / "feed_not_found.bmp"
    lines, items, edit, ini = add(plugin, site, "boxshot %s %s" % (windows_path(shot), answer))
    save_png("feed_not_found")
    box = box_texts(lines)
    assert len(box) == 1 and box[0].startswith(site + "\r\nはフィードではなく、フィードへのリンクのあるページでもありません。")
    assert box[0].splitlines()[2].startswith("（" + reason), box[0]
    assert box[0].endswith("このアドレスをそのまま追加しますか？")
    if answer == "yes":
        assert items == [site] and edit == "" and ini == listed(site)
    else:
        assert items == [] and edit == site and ini == sjis(HEAD)


def test_replace_puts_the_pages_feed_in_place_of_the_selected_entry(plugin, server):
    old = "http://127.0.0.1:9/old"
    plugin.write_ini(HEAD + "\r\n%s,%s" % (old, STAMP))
    site = server.serve("/", page('<link rel="alternate" type="application/rss+xml" href="/rss">'))
    lines = drive_dialog(plugin, ["select 0", "text url 1000 " + site, "click url %d" % REPLACE, "ok"])
    assert plugin.read_ini() == listed(server.url("/rss"))


@pytest.fixture(scope="module")
def authority():
    with tls_certificates.test_authority([str(WINE_RUN)]) as authority:
        yield authority


def test_an_https_page_leads_to_its_feed(plugin, authority):
    plugin.write_ini(HEAD)
    with FeedServer(tls=authority.issue("site")) as https:
        site = https.serve("/", page('<link rel="alternate" type="application/rss+xml" href="//feeds.example/x">'))
        lines, items, edit, ini = add(plugin, site)
    assert box_texts(lines) == [] and ini == listed("https://feeds.example/x")


def data_files(plugin):
    return sorted(p.name for p in plugin.data.iterdir()) if plugin.data.is_dir() else []


def test_a_stalled_server_is_cancelled_at_once_and_reported_at_the_deadline(plugin, monkeypatch):
    """The wait window comes after a moment; Cancel returns to the page with
    the text kept and nothing listed, though the server never answers. With
    nobody cancelling, the feed deadline ends the wait and says so."""
    monkeypatch.setenv("KIV_FEED_DEADLINE_MS", "3000")
    plugin.write_ini(HEAD)
    with FeedServer(max_wait=20) as server:
        site = server.serve("/", stall="headers")
        SCREENSHOTS.mkdir(parents=True, exist_ok=True)
        shot = SCREENSHOTS / "feed_lookup.bmp"
        lines, items, edit, ini = add(plugin, site, "lookup %s cancel" % windows_path(shot))
        # Cancelled in the wait window: the deadline's box never came.
        assert box_texts(lines) == []
        assert [hexed(line) for line in lines if line.startswith("lookup text ")] == ["%s を読み込んでいます…" % site]
        assert items == [] and edit == site and ini == sjis(HEAD)
        assert "lookup %s saved=1" % windows_path(shot) in lines
        save_png("feed_lookup")
        lines, items, edit, ini = add(plugin, site, "boxshot - no")
        box = box_texts(lines)
    assert len(box) == 1 and "（3 秒のうちに読み込めませんでした）" in box[0]
    assert items == [] and edit == site and ini == sjis(HEAD)


def thread_count(host):
    host.send("threads")
    return int(host.expect("threads count=").split("=")[1])


def test_an_unload_right_after_a_cancelled_lookup_leaves_no_thread_or_file(plugin):
    plugin.write_ini(HEAD)
    # What a host that ended in the middle of a lookup left.
    plugin.data.mkdir(parents=True, exist_ok=True)
    (plugin.data / "kdl7.tmp").write_bytes(b"<html>")
    with FeedServer(max_wait=30) as server:
        site = server.serve("/", stall="headers")
        script = plugin.path / "steps.txt"
        script.write_bytes("\n".join(["text url 1000 " + site, "press url %d" % ADD, "lookup - cancel", "dump",
                                      "ok"]).encode("cp932"))
        host = HostSession(plugin)
        try:
            before = thread_count(host)
            host.send("load")
            host.expect("load ok")
            host.send("drive " + windows_path(script))
            host.expect("drive done", timeout=60)
            during = thread_count(host)
            host.send("unload")
            unloaded = host.expect("unload result=", timeout=30)
            after = thread_count(host)
            host.send("load")
            host.expect("load ok")
            host.send("unload")
            host.expect("unload result=", timeout=30)
        finally:
            lines = host.close()
    assert unloaded == "unload result=1" and lines[-1] == "done"
    assert during > after
    # The lookup's thread is gone with the plug-in's own. WinINet's reaper of
    # kept connections may run until they expire.
    assert before <= after <= before + 1
    assert [name for name in data_files(plugin) if name.endswith(".tmp")] == []

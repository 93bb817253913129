"""What a patrol says it did, through the real KIV.dll under Wine: one line
per feed in patrol.log, its rotation, a log that cannot be written, and the
notice of a feed that keeps failing (its streak aged between patrols)."""
import os
import re
import shutil
import socket
import stat
from datetime import datetime, timedelta, timezone

from kivhost import HostSession, run_host, windows_path
from patrol_helpers import entries, feed_xml, fresh_feed, log_lines, settings, subjects

LAST_SEEN = "2024-05-03T18:00:00+09:00"
ITEMS = ["2024-06-01T00:00:00+00:00", "2024-05-20T00:00:00+00:00"]
LOG_BOUND = 1 << 20
NOT_FOUND = b"<html><head><title>404 Not Found</title></head><body>Not Found</body></html>"


def closed_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def test_each_feed_gets_one_line_saying_what_became_of_it(plugin, feed_server, monkeypatch):
    monkeypatch.setenv("KIV_FEED_DEADLINE_MS", "2000")
    deep = "<b>" * 300 + "</b>" * 300
    cases = [
        ("new", dict(body=feed_xml("new", ITEMS)), "delivered 2 items", "no new items"),
        ("old", dict(body=feed_xml("old", ["2024-05-01T00:00:00+00:00"])), "no new items", "no new items"),
        ("unchanged", dict(body=feed_xml("unchanged", ITEMS), last_modified="Fri, 03 May 2024 09:00:00 GMT"),
         "unchanged (Last-Modified)", "unchanged (Last-Modified)"),
        ("validated", dict(body=feed_xml("validated", ITEMS), etag='"v1"', conditional=True),
         "delivered 2 items", "unchanged (304 Not Modified)"),
        ("missing", dict(body=NOT_FOUND, status=404), "failed: HTTP 404", None),
        ("gone", dict(status=410), "failed: HTTP 410", None),
        ("page", dict(body=NOT_FOUND), "failed: not a feed: root element <html>", None),
        ("broken", dict(body=b"<rss version=\"2.0\"><channel>\n<title>x</channel></rss>"),
         "failed: not a feed: reading end tag at line 2, column 9", None),
        ("deep", dict(body="<rss version=\"2.0\"><channel>%s</channel></rss>" % deep),
         "failed: a document of a shape no feed has: elements nested too deeply", None),
        ("huge", dict(body=b"<rss/>", content_length=9 << 20), "failed: too large (over 8 MiB)", None),
        ("loop", dict(status=302, headers=[("Location", "/loop")]), "failed: too many redirects (over 10)", None),
        ("stall", dict(stall="headers"), "failed: timed out", None),
    ]
    urls, expected = [], []
    for name, options, first, second in cases:
        urls.append(feed_server.serve("/" + name, **options))
        expected.append((first, second or first))
    refused = "http://127.0.0.1:%d/refused" % closed_port()
    urls.append(refused)
    expected.append(("failed: cannot connect", "failed: cannot connect"))
    urls.append(feed_server.serve("/sentinel", fresh_feed("sentinel")))
    expected.append(("delivered 1 item", "delivered 1 item"))
    plugin.write_ini(settings(*[url + "," + LAST_SEEN for url in urls]))

    for patrol in range(2):
        appends = 3 if patrol == 0 else 1
        output = run_host(plugin, "load", "wait-appends %d 60000" % appends, "sleep 300", "unload")
        assert "wait-appends reached appends=%d commands=0" % appends in output, output
        lines = log_lines(plugin)[patrol * len(urls):]
        assert [url for url, _ in lines] == urls
        for (url, words), want in zip(lines, expected):
            if url == refused:  # the platform's error code follows
                assert words.startswith(want[patrol]), (url, words)
            else:
                assert words == want[patrol], url
    assert not list(plugin.data.glob("patrol.log.*"))


def reset(plugin, ini):
    """The plug-in folder as before the first patrol, the log aside."""
    shutil.rmtree(plugin.store, ignore_errors=True)
    for path in plugin.data.glob("feed-*"):
        path.unlink()
    plugin.write_ini(ini)
    for path in plugin.path.glob("KIV.ini.*"):
        path.unlink()


def test_log_rotates_at_its_bound_and_one_that_cannot_be_written_changes_nothing_else(plugin, feed_server):
    urls = [feed_server.serve("/%s" % name, feed_xml(name, ITEMS)) for name in ("one", "two")]
    urls.insert(1, feed_server.serve("/missing", NOT_FOUND, status=404))
    ini = settings(*[url + "," + LAST_SEEN for url in urls])
    plugin.write_ini(ini)
    log = plugin.data / "patrol.log"
    plugin.data.mkdir(exist_ok=True)
    full = b"x" * (LOG_BOUND - 12) + b"\r\n"   # room for 10 bytes more
    log.write_bytes(full)
    (plugin.data / "patrol.log.1").write_bytes(b"older\r\n")

    def patrol(*before):
        output = run_host(plugin, *before, "load", "wait-appends 2 60000", "sleep 300", "unload")
        assert "wait-appends reached appends=2 commands=0" in output, output
        return plugin.messages(), entries(plugin), sorted(p.name for p in plugin.data.glob("feed-*"))

    reference = patrol()
    # The lines did not fit beside the old ones: those became patrol.log.1.
    assert (plugin.data / "patrol.log.1").read_bytes() == full
    assert [words for _, words in log_lines(plugin)] == ["delivered 2 items", "failed: HTTP 404",
                                                         "delivered 2 items"]
    assert subjects(plugin) == ["one", "two"] and len(reference[2]) == 3   # two records, one streak

    # Held by another program, replaced by a folder, or read-only: the same
    # messages, entries and records, and the log as it was. (Root writes a
    # read-only file all the same, and so does Wine for root.)
    written = log.read_bytes()
    for case in ("locked", "folder", "read-only"):
        reset(plugin, ini)
        before = []
        if case == "locked":
            before = ["lock-file " + windows_path(log)]
        elif case == "folder":
            log.unlink()
            log.mkdir()
        else:
            os.chmod(log, stat.S_IRUSR | stat.S_IRGRP | stat.S_IROTH)
        assert patrol(*before) == reference, case
        if case == "folder":
            assert not any(log.iterdir())
            log.rmdir()
            log.write_bytes(written)
        elif case == "locked" or os.geteuid() != 0:
            assert log.read_bytes() == written, case
    assert (plugin.data / "patrol.log.1").read_bytes() == full


def age_streak(plugin, url_path, days):
    """Moves the start of a feed's failing streak `days` days back from now."""
    paths = [p for p in plugin.data.glob("feed-*.fail") if ("url " + url_path + "\n") in p.read_text("ascii")]
    assert len(paths) == 1, url_path
    since = (datetime.now(timezone.utc) - timedelta(days=days, minutes=1)).strftime("%Y-%m-%dT%H:%M:%SZ")
    text = re.sub(r"(?m)^since .*$", "since " + since, paths[0].read_text("ascii"))
    paths[0].write_bytes(text.encode("ascii"))


def notices(plugin):
    return [m for m in plugin.messages() if b"\r\nFrom: [KIV]\r\n" in m]


def test_a_feed_failing_for_three_days_gets_one_notice_until_it_works_again(plugin, feed_server):
    failing = dict(body=NOT_FOUND, status=404)
    a = feed_server.serve("/a", **failing)
    b = feed_server.serve("/b", **failing)
    gone = feed_server.serve("/gone", **failing)
    sentinel = feed_server.serve("/sentinel", fresh_feed("sentinel"))
    plugin.write_ini(settings(*[url + "," + LAST_SEEN for url in (a, b, gone, sentinel)]))
    session = HostSession(plugin)
    appended = 0

    def patrol(appends, first=False):
        nonlocal appended
        appended += appends
        if not first:
            session.send("command")
        session.send("wait-appends %d 60000" % appended)
        session.expect("wait-appends reached appends=%d" % appended, timeout=70)
        session.send("sleep 300")   # the sentinel's line and streak after its message
        session.send("status")
        session.expect("status")

    def streaks():
        return sorted(re.search(r"(?m)^url (.*)$", p.read_text("ascii")).group(1)
                      for p in plugin.data.glob("feed-*.fail"))

    try:
        session.send("load")
        session.send("menu 3")
        patrol(1, first=True)
        assert streaks() == sorted([a, b, gone])
        # An unlisted feed's streak goes at the next patrol, like its record.
        plugin.write_ini(settings(*[e for e in entries(plugin)[3:] if not e.startswith(gone)]))
        age_streak(plugin, a, 3)
        patrol(1)      # a: 3 days but only 2 failures
        assert streaks() == sorted([a, b]) and notices(plugin) == []
        age_streak(plugin, b, 2)
        patrol(2)      # a: the notice; b: 3 failures in 2 days, none
        assert len(notices(plugin)) == 1
        feed_server.serve("/b", feed_xml("b", ITEMS))
        patrol(2)      # b works: its message; a is not noticed again
        assert streaks() == [a] and len(notices(plugin)) == 1
        feed_server.serve("/a", fresh_feed("a"))
        patrol(2)      # a works
        assert streaks() == []
        feed_server.serve("/a", **failing)
        patrol(1)
        age_streak(plugin, a, 4)
        patrol(1)
        patrol(2)      # a: a new streak of 3 failures over 4 days, a new notice
        session.send("unload")
        session.expect("unload result=1")
    finally:
        session.close()

    found = notices(plugin)
    assert len(found) == 2 and subjects(plugin).count("b") == 1
    for notice in found:
        text = notice.decode("cp932")
        head, body = text.split("\r\n\r\n", 1)
        assert re.match(r"Date: \d\d \w{3} \d\d \d\d:\d\d:\d\d \+0000\r\nFrom: \[KIV\]\r\n"
                        r"Subject: \[KIV\] 取得できないフィード %s\r\nTo: \[KIVv1\.08\]$" % re.escape(a), head), head
        assert "\r\n%s\r\n" % a in body and "最後の理由: HTTP 404\r\n" in body
    assert "それ以来 3 回の巡回がすべて失敗しました。" in found[0].decode("cp932")
    assert streaks() == [a]

"""What KIV asks of a feed server and how it takes the answer, through the
real KIV.dll under Wine: compressed bodies (and one that would expand without
end), feeds behind a login, and servers that ask for a pause."""
import re
import time
import zlib

from feed_server import basic_authorization, deflated, gzipped, http_date
from kivhost import HostSession, run_host
from patrol_helpers import DEFAULT, download_files, feed_xml, fresh_feed, log_lines, settings, subjects
from test_https import ProcessWatch

MiB = 1 << 20
NEWEST = "2024-06-01T00:00:00+00:00"
ITEMS = [NEWEST, "2024-05-20T00:00:00+00:00"]
LONGEST_FEED = 40        # the plug-in's own limit: 10 s for every wait, no read after 30 s


def patrol_once(plugin, appends, timeout=90):
    output = run_host(plugin, "load", "wait-appends %d 60000" % appends, "unload", timeout=timeout)
    assert "wait-appends reached appends=%d commands=0" % appends in output, output
    assert download_files(plugin) == []
    return output


def outcomes(plugin):
    """The patrol log's lines as {address: [outcomes, oldest first]}."""
    found = {}
    for address, words in log_lines(plugin):
        found.setdefault(address, []).append(words)
    return found


def test_compressed_feeds_arrive_as_their_plain_twins(plugin, feed_server):
    body = feed_xml("twin", ITEMS)
    twins = [
        ("/plain", body, None),
        ("/gzip", gzipped(body), "gzip"),
        ("/deflate", deflated(body), "deflate"),
        ("/deflate-raw", deflated(body, raw=True), "deflate"),
    ]
    urls = []
    for path, data, coding in twins:
        headers = [("Content-Encoding", coding)] if coding else []
        urls.append(feed_server.serve(path, data, headers=headers, etag='"%s"' % path[1:], conditional=True))
    broken = gzipped(body)
    broken = broken[:20] + bytes(b ^ 0x5a for b in broken[20:60]) + broken[60:]
    refused = {
        "/broken-gzip": (broken, "gzip"),
        "/cut-gzip": (gzipped(body)[:len(gzipped(body)) // 2], "gzip"),
        "/brotli": (body, "br"),
        "/gzip-twice": (gzipped(gzipped(body)), "gzip, gzip"),
    }
    for path, (data, coding) in refused.items():
        urls.append(feed_server.serve(path, data, headers=[("Content-Encoding", coding)]))
    urls.append(feed_server.serve("/sentinel", fresh_feed("sentinel")))
    plugin.write_ini(settings(*[url + "," + DEFAULT for url in urls]))
    patrol_once(plugin, len(twins) + 1)

    messages = plugin.messages()
    assert subjects(plugin) == ["twin"] * len(twins) + ["sentinel"]
    for message in messages[1:len(twins)]:
        assert message == messages[0]
    for request in feed_server.requests():
        assert request.header("Accept-Encoding") == "gzip, deflate"
        assert request.header("Accept").startswith("application/rss+xml, application/atom+xml")
        assert re.fullmatch(r"kiv1\.\d\d \(KIV feed reader plug-in for \S+\)", request.header("User-Agent"))
    log = outcomes(plugin)
    assert log[feed_server.url("/broken-gzip")] == ["failed: compressed body does not decode"]
    assert log[feed_server.url("/cut-gzip")] == ["failed: connection closed before the whole response"]
    assert log[feed_server.url("/brotli")] == ["failed: compressed in a form not asked for (Content-Encoding)"]
    assert log[feed_server.url("/gzip-twice")] == ["failed: compressed in a form not asked for (Content-Encoding)"]

    # The validators of a compressed feed are sent back like a plain one's.
    patrol_once(plugin, 1)
    for path, _, _ in twins:
        assert log_lines(plugin)[-len(urls):][[u for u in urls].index(feed_server.url(path))][1] == \
            "unchanged (304 Not Modified)", path
        assert feed_server.requests(path)[-1].header("If-None-Match") == '"%s"' % path[1:]


def bomb(size, prefix=b'<?xml version="1.0"?>\n<rss version="2.0"><channel><title>bomb</title>'):
    """A gzip member that expands to size bytes: a feed's start, then blanks."""
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)
    parts = [packer.compress(prefix)]
    blanks, left = b" " * (16 * MiB), size - len(prefix)
    while left > 0:
        parts.append(packer.compress(blanks[:min(left, len(blanks))]))
        left -= len(blanks)
    return b"".join(parts) + packer.flush()


def test_compression_bomb_is_stopped_at_the_bound(plugin, feed_server):
    # Deflate expands at most about 1,032 times: 20 KiB of gzip give 20 MiB,
    # a gigabyte takes a megabyte.
    small, large = bomb(20 * MiB), bomb(1 << 30)
    assert len(small) < 21 * 1024 and len(large) < 1100 * 1024
    urls = [feed_server.serve("/first", feed_xml("first", ITEMS)),
            feed_server.serve("/bomb-20-kib", small, headers=[("Content-Encoding", "gzip")]),
            feed_server.serve("/bomb-1-gib", large, headers=[("Content-Encoding", "gzip")]),
            feed_server.serve("/last", feed_xml("last", ITEMS))]
    plugin.write_ini(settings(*[url + "," + DEFAULT for url in urls]))
    host = HostSession(plugin)
    watch = ProcessWatch(host.process.pid)
    try:
        host.send("status")
        host.expect("status")
        loaded = len(watch.samples)  # the host before KIV is loaded
        started = time.monotonic()
        host.send("load")   # the patrol at start-up
        host.send("wait-appends 2 120000")
        host.expect("wait-appends reached appends=2")
        took = time.monotonic() - started
    finally:
        host.close()
        samples = watch.stop()
    assert subjects(plugin) == ["first", "last"]
    log = outcomes(plugin)
    for path in ("/bomb-20-kib", "/bomb-1-gib"):
        assert log[feed_server.url(path)] == ["failed: too large (over 8 MiB)"]
    assert took < 2 * LONGEST_FEED
    resident = [r for _, r in samples[loaded:]]
    print("\npatrol %.1f s; host resident %d..%d KiB" % (took, min(resident), max(resident)))
    # The decoded body goes to the download file a chunk at a time: memory
    # stays far below even the bound itself.
    assert max(resident) - min(resident) < 64 * 1024
    assert download_files(plugin) == []


PASSWORD = "s3cret-Pw"


def with_login(url, user="ann", password=PASSWORD):
    return url.replace("://", "://%s:%s@" % (user, password), 1)


def test_basic_login_and_the_password_kept_to_its_host(plugin, feed_server):
    login = ("ann", PASSWORD)
    private = feed_server.serve("/private", feed_xml("private", ITEMS), login=login)
    wrong = feed_server.serve("/wrong", feed_xml("wrong", ITEMS), login=("ann", "another"))
    # Along a redirect to the same host the login goes too; to another host
    # (the same server under another name) it does not.
    feed_server.serve("/moved", feed_xml("moved", ITEMS), login=login)
    moving = feed_server.serve("/moving", status=302, headers=[("Location", "/moved")], login=login)
    elsewhere = "http://localhost:%d/landed" % feed_server.port
    feed_server.serve("/landed", feed_xml("landed", ITEMS))
    leaving = feed_server.serve("/leaving", status=302, headers=[("Location", elsewhere)], login=login)
    sentinel = feed_server.serve("/sentinel", fresh_feed("sentinel"))
    lines = [with_login(private), with_login(wrong), with_login(moving), with_login(leaving), sentinel]
    plugin.write_ini(settings(*[url + "," + DEFAULT for url in lines]))
    output = patrol_once(plugin, 4)

    assert subjects(plugin) == ["private", "moved", "landed", "sentinel"]
    assert feed_server.requests("/private")[-1].header("Authorization") == basic_authorization(*login)
    assert feed_server.requests("/moved")[-1].header("Authorization") == basic_authorization(*login)
    assert [r.header("Authorization") for r in feed_server.requests("/landed")] == [None]
    log = outcomes(plugin)
    masked = {url: with_login(url, password="***") for url in (private, wrong, moving, leaving)}
    assert log[masked[private]] == ["delivered 2 items"]
    assert log[masked[wrong]] == ["failed: login refused (HTTP 401)"]
    assert log[masked[leaving]] == ["delivered 2 items"]

    # The password rests in KIV.ini alone: not in the log, the records, the
    # messages or anything else in the folder, in any of its forms.
    forms = [PASSWORD.encode(), PASSWORD.encode("utf-16-le"), basic_authorization(*login).split()[1].encode()]
    searched = 0
    for path in plugin.path.rglob("*"):
        if path.is_file() and path != plugin.ini:
            searched += 1
            data = path.read_bytes()
            assert not any(form in data for form in forms), path
    assert searched >= 6
    assert not any(PASSWORD in line for line in output)
    assert PASSWORD.encode() in plugin.read_ini()


def test_a_pause_the_server_asks_for_is_kept(plugin, feed_server):
    pause = 20
    until = {}

    def wish(number):
        if number != 1:
            return None
        until["date"] = time.time() + pause
        return http_date(time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(until["date"])))

    urls = [
        feed_server.serve("/busy-seconds", lambda n: feed_xml("seconds", ITEMS) if n > 1 else b"busy",
                          status=lambda n: 503 if n == 1 else 200,
                          headers=[("Retry-After", lambda n: str(pause) if n == 1 else None)]),
        feed_server.serve("/busy-date", lambda n: feed_xml("date", ITEMS) if n > 1 else b"slow down",
                          status=lambda n: 429 if n == 1 else 200, headers=[("Retry-After", wish)]),
        # A 503 that asks for nothing is a failure as before.
        feed_server.serve("/down", b"down", status=503),
        # A pause longer than a server may ask for, as an edited record or a
        # clock set back would give, is none.
        feed_server.serve("/edited", lambda n: feed_xml("edited", ITEMS) if n > 1 else b"busy",
                          status=lambda n: 503 if n == 1 else 200,
                          headers=[("Retry-After", lambda n: str(pause) if n == 1 else None)]),
        feed_server.serve("/sentinel", fresh_feed("sentinel")),
    ]
    plugin.write_ini(settings(*[url + "," + DEFAULT for url in urls]))
    asked = time.time()
    patrol_once(plugin, 1)
    records = {p: p.read_bytes() for p in plugin.data.glob("feed-*.rec")}
    assert sum(b"\npaused-until " in r for r in records.values()) == 3
    edited = [p for p, r in records.items() if b"url %s\n" % feed_server.url("/edited").encode() in r][0]
    edited.write_bytes(re.sub(rb"paused-until \d+", b"paused-until %d" % (time.time() + 10 * 86400),
                              records[edited]))
    patrol_once(plugin, 2)
    assert time.time() < asked + pause, "the second patrol came too late to show the pause"
    assert [len(feed_server.requests(p)) for p in ("/busy-seconds", "/busy-date", "/down", "/edited")] == [1, 1, 2, 2]
    time.sleep(max(0.0, max(asked + pause, until["date"]) + 1.5 - time.time()))
    patrol_once(plugin, 3)
    assert subjects(plugin) == ["sentinel", "edited", "sentinel", "seconds", "date", "sentinel"]

    log = outcomes(plugin)
    stamp = r"until \d{4}/\d\d/\d\d \d\d:\d\d:\d\d"
    for path, status in (("/busy-seconds", 503), ("/busy-date", 429)):
        first, second, third = log[feed_server.url(path)]
        assert re.fullmatch(r"paused by the server %s \(HTTP %d\)" % (stamp, status), first), first
        assert re.fullmatch(r"paused by the server %s" % stamp, second), second
        assert second in first
        assert third == "delivered 2 items"
    assert log[feed_server.url("/down")] == ["failed: HTTP 503"] * 3

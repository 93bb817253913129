"""Servers that fail or stall hold up one feed for a bounded time, never the
patrol, and a body that did not arrive whole is not delivered; an unload
while downloads stall leaves the host whole. (The first test waits for the
plug-in's own limits twice over: about a minute and a half.)"""
import socket

from feed_server import FeedServer
from kivhost import HostSession, run_host
from patrol_helpers import DEFAULT, download_files, entries, feed_xml, fresh_feed, settings, subjects

# The plug-in's limits: 10 s for every wait, no new read 30 s into a feed.
LONGEST_FEED = 40
SERVER_PATIENCE = 120   # how long the server would stall if nobody gave up
IN_FLIGHT = 16          # feeds downloading at once, at most


def closed_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def test_failing_and_stalling_servers_are_skipped_within_bounds(plugin):
    body = feed_xml("feed", ["2024-06-01T00:00:00Z"])
    whole_then = dict(content_length=len(body) + 100)  # announces more than the whole feed it sends
    cases = [
        ("never-answers", dict(stall="headers")),
        ("stalls-in-the-body", dict(stall=100)),
        ("stalls-after-a-whole-feed", dict(stall=len(body), **whole_then)),
        ("closes-after-a-whole-feed", dict(close_after=len(body), **whole_then)),
        ("drips-a-byte-a-second", dict(drip=1.0)),
    ]
    # More stalling feeds than download at once: those behind them take the
    # slots that the first ones give up.
    cases = [("%s-%d" % (name, n), options) for n in range(4) for name, options in cases]
    with FeedServer(max_wait=SERVER_PATIENCE) as server:
        lines = [server.serve("/" + name, body, **options) + "," + DEFAULT for name, options in cases]
        lines.append("http://127.0.0.1:%d/refused,%s" % (closed_port(), DEFAULT))
        lines.append(server.serve("/last", feed_xml("last", ["2024-06-01T00:00:00Z"])) + "," + DEFAULT)
        plugin.write_ini(settings(*lines))
        run_host(plugin, "load", "wait-appends 1 %d" % (1000 * SERVER_PATIENCE * 2), "unload",
                 timeout=SERVER_PATIENCE * 3)
        requests = server.requests()

    assert subjects(plugin) == ["last"]
    assert entries(plugin)[3:-1] == lines[:-1]
    # Several feeds download at once: each was requested once, in any order.
    assert sorted(r.path for r in requests) == sorted(["/" + name for name, _ in cases] + ["/last"])
    requests.sort(key=lambda r: r.arrived)
    for feed, following in zip(requests, requests[1:]):
        assert following.arrived - feed.arrived < LONGEST_FEED + 5, feed.path
    assert download_files(plugin) == []


def thread_count(host):
    host.send("threads")
    return int(host.expect("threads count=").split("=")[1])


def test_unload_with_downloads_stalled_leaves_the_host_working(plugin, monkeypatch):
    """At the unload the idle download threads end by themselves and those
    stuck in a request (as many as download at once) are ended: the host is left with none of them and
    goes on with a request and heap blocks of its own, then loads the
    plug-in again, which patrols."""
    monkeypatch.setenv("KIV_FEED_DEADLINE_MS", "2000")
    good = ["good-%d" % n for n in range(3)]
    stalled = ["stalled-%d" % n for n in range(IN_FLIGHT)]
    with FeedServer(max_wait=SERVER_PATIENCE) as server:
        urls = [server.serve("/" + name, fresh_feed(name)) for name in good]
        urls += [server.serve("/" + name, stall="headers") for name in stalled]
        plugin.write_ini(settings(*[url + "," + DEFAULT for url in urls]))
        host = HostSession(plugin)
        try:
            before = thread_count(host)
            host.send("load")
            host.expect("load ok")
            host.send("wait-appends 3 60000")
            host.expect("wait-appends reached", timeout=90)
            # Every stalled feed is inside its request while the patrol waits.
            server.wait_requests(len(urls))
            host.send("unload")
            unloaded = host.expect("unload result=", timeout=30)
            after = thread_count(host)
            host.send("fetch " + urls[0])
            fetched = host.expect("fetch ", timeout=30)
            host.send("load")
            host.expect("load ok")
            host.send("wait-appends 6 60000")
            host.expect("wait-appends reached", timeout=90)
            host.send("unload")
            host.expect("unload result=", timeout=30)
            again = thread_count(host)
        finally:
            lines = host.close()
        requests = server.requests()
    assert unloaded == "unload result=1" and lines[-1] == "done"
    # None of the download threads is left. WinINet's own reaper of kept
    # connections, started when the patrol's first connection was kept, may
    # run until they expire.
    assert before <= after <= before + 1 and before <= again <= before + 1
    # Ten heap blocks, from 16 bytes to 4 MiB.
    assert fetched == "fetch status=200 bytes=%d heap-blocks=10" % len(fresh_feed(good[0])(2))
    assert subjects(plugin) == good + good
    assert sorted(r.path for r in requests) == sorted(["/" + name for name in good + stalled] * 2 + ["/good-0"])
    assert download_files(plugin) == []

"""Servers that fail or stall hold up one feed for a bounded time, never the
patrol, and a body that did not arrive whole is not delivered. (This test
waits for the plug-in's own limits: about a minute.)"""
import socket

from feed_server import FeedServer
from kivhost import run_host
from patrol_helpers import DEFAULT, download_files, entries, feed_xml, settings, subjects

# The plug-in's limits: 10 s for every wait, no new read 30 s into a feed.
LONGEST_FEED = 40
SERVER_PATIENCE = 120   # how long the server would stall if nobody gave up


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

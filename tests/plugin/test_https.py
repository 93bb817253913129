"""HTTPS feeds through the real KIV.dll under Wine, from local TLS servers
whose certificates a test authority issues, trusted in the Wine prefix while
these tests run: delivered as over HTTP, redirected across schemes, dated;
certificates that fail refused; servers that stall inside the handshake held
to the feed deadline, with the download threads bounded."""
import contextlib
import threading
import time

import pytest

import tls_certificates
from feed_server import FeedServer, HandshakeStaller, http_date
from kivhost import WINE_RUN, HostSession, run_host
from patrol_helpers import download_files, entries, feed_xml, fresh_feed, log_lines, settings, subjects

LAST_SEEN = "2024-05-03T18:00:00+09:00"   # 09:00:00 UTC
NEWEST = "2024-06-01T00:00:00+00:00"
ITEMS = [NEWEST, "2024-05-20T00:00:00+00:00"]


@pytest.fixture(scope="module")
def authority():
    with tls_certificates.test_authority([str(WINE_RUN)]) as authority:
        yield authority


def test_https_is_delivered_like_http_and_failing_certificates_are_refused(plugin, authority, tmp_path):
    twin = feed_xml("twin", ITEMS)
    refusing = {
        "untrusted": tls_certificates.Authority(tmp_path, "stranger").issue("untrusted"),
        "wrong-name": authority.issue("wrong-name", names=("wrong.example",)),
        "expired": authority.issue("expired", days=(-30, -1)),
        "self-signed": tls_certificates.self_signed(tmp_path, "self-signed"),
    }
    with contextlib.ExitStack() as servers:
        http = servers.enter_context(FeedServer())
        https = servers.enter_context(FeedServer(tls=authority.issue("good")))
        bad = {name: servers.enter_context(FeedServer(tls=context)) for name, context in refusing.items()}
        urls = [http.serve("/twin", twin), https.serve("/twin", twin)]
        https.serve("/from-http", feed_xml("from-http", ITEMS))
        urls.append(http.serve("/to-https", status=302, headers=[("Location", https.url("/from-http"))]))
        http.serve("/from-https", feed_xml("from-https", ITEMS))
        urls.append(https.serve("/to-http", status=301, headers=[("Location", http.url("/from-https"))]))
        https.serve("/relative", feed_xml("relative", ITEMS))
        urls.append(https.serve("/moved/here", status=307, headers=[("Location", "../relative")]))
        urls.append(https.serve("/unchanged", feed_xml("unchanged", ITEMS),
                                last_modified=http_date("2024-05-03T09:00:00Z")))
        urls.append(https.serve("/changed", feed_xml("changed", ITEMS),
                                last_modified=http_date("2024-05-03T09:00:01Z")))
        for name, server in bad.items():
            urls.append(server.serve("/" + name, feed_xml(name, ITEMS)))
            urls.append(https.serve("/after-" + name, feed_xml("after-" + name, ITEMS)))
        refused = {name: server.url("/" + name) for name, server in bad.items()}
        skipped = {https.url("/unchanged")} | set(refused.values())
        plugin.write_ini(settings(*[url + "," + LAST_SEEN for url in urls]))
        delivered = ["twin", "twin", "from-http", "from-https", "relative", "changed"] + \
            ["after-" + name for name in bad]
        output = run_host(plugin, "load", "wait-appends %d 60000" % len(delivered), "unload")
        assert "wait-appends reached appends=%d commands=0" % len(delivered) in output, output

    assert subjects(plugin) == delivered
    messages = plugin.messages()
    assert messages[0] == messages[1]
    assert entries(plugin)[3:] == [url + "," + (LAST_SEEN if url in skipped else NEWEST) for url in urls]
    # Several feeds download at once: the requests arrive in any order.
    assert sorted(r.path for r in http.requests()) == sorted(["/twin", "/to-https", "/from-https"])
    assert sorted(r.path for r in https.requests()) == sorted(["/twin", "/from-http", "/to-http", "/moved/here",
                                                               "/relative", "/unchanged", "/changed"] +
                                                              ["/after-" + name for name in bad])
    outcomes = dict(log_lines(plugin))
    for name, server in bad.items():
        # The handshake completed; the certificate was refused after it,
        # and nothing was asked of the server.
        assert server.handshakes >= 1 and server.requests() == [], name
        assert outcomes[refused[name]].startswith("failed: certificate refused"), name
    assert download_files(plugin) == []


# The feed deadline, shortened for this test through the environment (the
# plug-in's own is 45 s), and the download threads it keeps at most.
DEADLINE = 2.0
DOWNLOAD_THREADS = 32
SILENT = 20     # more than the download threads that are left for a second patrol
SLACK = 1.5


class ProcessWatch:
    """Samples a Linux process's thread count and resident memory (KiB)
    every tenth of a second, from its start in Wine to its end."""

    def __init__(self, pid):
        self.pid = pid
        self.samples = []
        self.done = threading.Event()
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.done.wait(0.1):
            try:
                status = open("/proc/%d/status" % self.pid).read()
            except OSError:
                return
            fields = dict(line.split(":", 1) for line in status.splitlines() if ":" in line)
            if "VmRSS" in fields and fields["Name"].strip() not in ("sh", "wine-run", "wine"):
                self.samples.append((int(fields["Threads"]), int(fields["VmRSS"].split()[0])))

    def stop(self):
        self.done.set()
        self.thread.join()
        return self.samples


def test_handshake_stalls_hold_each_feed_to_the_deadline_with_bounded_threads(plugin, authority, monkeypatch):
    monkeypatch.setenv("KIV_FEED_DEADLINE_MS", str(int(DEADLINE * 1000)))
    never = ["/never-%d" % n for n in range(1, SILENT + 1)]
    with FeedServer(tls=authority.issue("good")) as good, HandshakeStaller(close_after=1.5 * DEADLINE) as closing, \
            HandshakeStaller() as silent:
        urls = [good.serve("/first", fresh_feed("first")), closing.url("/closes")] + \
            [silent.url(path) for path in never] + [good.serve("/last", fresh_feed("last"))]
        plugin.write_ini(settings(*[url + "," + LAST_SEEN for url in urls]))
        host = HostSession(plugin)
        watch = ProcessWatch(host.process.pid)
        try:
            # A process's first TLS connection loads the system's certificates,
            # which under an emulated 32-bit Wine takes longer than the
            # shortened deadline: the host makes it before the patrol's clock.
            host.send("fetch " + good.serve("/warm-up", "warm"))
            host.expect("fetch status=200")
            host.send("load")
            host.expect("load ok")
            loaded = len(watch.samples)
            patrol = 1 + (SILENT + 1) * (DEADLINE + SLACK)
            host.send("wait-appends 2 %d" % (1000 * patrol))
            host.expect("wait-appends reached", timeout=patrol + 10)
            first_patrol = (good.requests()[1:], list(closing.arrivals), list(silent.arrivals))
            assert subjects(plugin) == ["first", "last"]

            # The stalled downloads still wait: twenty are held by the silent
            # server, and the one whose server closed has ended by itself.
            # A second patrol finds the other threads free, but for the one of
            # "closes" while its server has not closed.
            host.send("menu 3")
            host.send("command")
            host.expect("commanded ")
            deadline = time.monotonic() + 2 + 8 * (DEADLINE + SLACK)
            while len(silent.arrivals) < DOWNLOAD_THREADS - 2 and time.monotonic() < deadline:
                time.sleep(0.1)
            time.sleep(DEADLINE + SLACK)
            host.send("info")
            host.expect("info result=0")
            host.send("unload")
            unloaded = host.expect("unload result=", timeout=20)
        finally:
            lines = host.close()
            samples = watch.stop()
    assert unloaded == "unload result=1" and lines[-1] == "done"

    requests, closes, silences = first_patrol
    # Each stalled feed gave up by its deadline; the patrol went on.
    starts = [requests[0].arrived, closes[0]] + silences + [requests[1].arrived]
    assert len(silences) == SILENT
    for feed, following in zip(starts, starts[1:]):
        assert following - feed < DEADLINE + SLACK
    # The server that closed was tried again by the abandoned download.
    assert len(closing.arrivals) >= 2
    # Second patrol: with twenty threads held by the silent server, "first"
    # took a thread and gave it back, "closes" took one, and silent feeds
    # took the rest (and the thread of the first patrol's "closes" when it
    # came back before the patrol had passed them all); the others and
    # "last" found none and were skipped without a request.
    assert [r.path for r in good.requests()] == ["/warm-up", "/first", "/last", "/first"]
    assert DOWNLOAD_THREADS - 2 <= len(silent.arrivals) <= DOWNLOAD_THREADS
    assert subjects(plugin) == ["first", "last", "first"]
    assert entries(plugin)[4:-1] == [url + "," + LAST_SEEN for url in urls[1:-1]]
    # From the load on: at most 32 download threads more, and a helper
    # thread or two that Wine starts of its own.
    threads = [t for t, _ in samples[loaded:]]
    resident = [r for _, r in samples[loaded:]]
    print("\nhost threads %d..%d, resident %d..%d KiB" % (min(threads), max(threads), min(resident), max(resident)))
    assert max(threads) - min(threads) <= DOWNLOAD_THREADS + 2
    assert download_files(plugin) == []

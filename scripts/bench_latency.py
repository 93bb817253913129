"""Benchmark of one patrol over a network with round trips (run through
scripts/bench-latency.sh).

The bench's feeds (scripts/bench_patrol.py, half unchanged, half with 20 new
items) spread over many servers, each on a loopback address of its own
(127.0.1.1, 127.0.1.2 ...), feed n on server n modulo their number. Each
server adds its round trips in Python: one when a connection is accepted (the
TCP handshake), one before each response (request to response), and for a
TLS handshake one more when it was TLS 1.3 or a resumed session, two for a
full TLS 1.2 one. Rows:

  http-100    HTTP, every host 100 ms
  http-spread HTTP, the hosts' round trips spread from 32 to 316 ms (evenly
              on a log scale, median 100 ms), in a fixed shuffled order
  https-100   HTTPS, every host 100 ms (a test authority that KIV's Wine
              prefix, newsboat and rss2email trust while the bench runs)

KIV (through the stand-in host, as bench-patrol.sh), newsboat (its default
of one feed at a time, and 4 threads) and rss2email (digest mode) each start
every round from the same state, taken once from the same servers with no
round trips and none of the new items yet, so that every reader sends back
the validators it kept. Rounds take the readers in turn. Printed: each
reader's median time from its first connection (so that the first feed's
round trips count, as in the model) to the end of its work, KIV's ratio to
it, and what the servers counted in a patrol (connections, TLS handshakes
full and resumed, bytes received and sent); then the model's
ideal: the feeds in list order through a pool of N slots, each feed costing
its host's round trips on a new connection of its own.

Environment: KIV_LATENCY_ROWS (comma-separated, all three), KIV_LATENCY_READERS
(comma-separated names, all), KIV_BENCH_ROUNDS (3), KIV_BENCH_FEEDS (200),
KIV_LATENCY_HOSTS (120), KIV_LATENCY_RTT_MS (100, the median), KIV_LATENCY_WORK
(the folder of the readers' files, build/bench-latency).

The medians and the ideal for 16 in flight also go to a data file and a
chart drawn from it (scripts/bench_chart.py: build/bench-charts/
bench-latency.json and .png).
"""
import heapq
import os
import pathlib
import random
import shutil
import statistics
import sys
import threading
import time

import bench_chart
import bench_patrol
import bench_peers
from bench_patrol import FEEDS, ITEMS, LAST_SEEN, feed, layout, run
from cryptography.hazmat.primitives import serialization
from feed_server import FeedServer, http_date

ROUNDS = int(os.environ.get("KIV_BENCH_ROUNDS", "3"))
HOSTS = int(os.environ.get("KIV_LATENCY_HOSTS", "120"))
RTT = int(os.environ.get("KIV_LATENCY_RTT_MS", "100")) / 1000.0
ROWS = os.environ.get("KIV_LATENCY_ROWS", "http-100,http-spread,https-100").split(",")
READERS = os.environ.get("KIV_LATENCY_READERS", "KIV,newsboat-4,newsboat,rss2email").split(",")
WORK = pathlib.Path(os.environ.get("KIV_LATENCY_WORK", bench_patrol.ROOT / "build" / "bench-latency"))
SPREAD = (0.32, 3.16)   # the fastest and slowest host against the median
SYSTEM_BUNDLE = "/etc/ssl/certs/ca-certificates.crt"
ROW_LABELS = {"http-100": "HTTP,\nevery host 100 ms", "http-spread": "HTTP,\nhosts 32-316 ms",
              "https-100": "HTTPS,\nevery host 100 ms"}
READER_LABELS = {"newsboat-4": "newsboat, 4 threads"}
# Each row's medians and its ideal for 16 in flight, for the chart.
charted = []


class Counts:
    """What the servers saw, all of them together."""

    FIELDS = ("connections", "tls_full", "tls_resumed", "bytes_in", "bytes_out")

    def __init__(self):
        self.lock = threading.Lock()
        self.values = dict.fromkeys(self.FIELDS, 0)

    def add(self, field, amount=1):
        """field: one of FIELDS, or a TLS version's name."""
        with self.lock:
            self.values[field] = self.values.get(field, 0) + amount

    def snapshot(self):
        with self.lock:
            return dict(self.values)


class DelayedServer(FeedServer):
    """A feed server on a loopback address of its own that adds its round
    trips (none while `network.quiet` is set) and counts what it sees."""

    def __init__(self, network, host, rtt, tls=None):
        super().__init__(max_wait=120.0, tls=tls, host=host)
        self.network = network
        self.rtt = rtt

    def delay(self, trips):
        if not self.network.quiet:
            self._wait(trips * self.rtt)

    def server_class(self):
        feeds, base = self, super().server_class()

        class Server(base):
            def finish_request(self, request, client_address):
                feeds.network.counts.add("connections")
                feeds.network.connected.append(time.monotonic())
                feeds.delay(1)
                super().finish_request(request, client_address)

            def handle_error(self, request, client_address):
                pass    # a reader that ends resets the connections it kept
        return Server

    def handler_class(self):
        counts = self.network.counts

        class Counted:
            """A file of the connection that counts the bytes through it."""

            def __init__(self, file, field):
                self.file, self.field = file, field

            def write(self, data):
                counts.add(self.field, len(data))
                return self.file.write(data)

            def readline(self, *args):
                line = self.file.readline(*args)
                counts.add(self.field, len(line))
                return line

            def read(self, *args):
                data = self.file.read(*args)
                counts.add(self.field, len(data))
                return data

            def __getattr__(self, name):
                return getattr(self.file, name)

        class Handler(super().handler_class()):
            def setup(self):
                super().setup()
                self.rfile, self.wfile = Counted(self.rfile, "bytes_in"), Counted(self.wfile, "bytes_out")

            def do_GET(self):
                self.feeds.delay(1)
                super().do_GET()
        return Handler

    def _handshake_done(self, secure):
        super()._handshake_done(secure)
        resumed = secure.session_reused
        self.network.counts.add("tls_resumed" if resumed else "tls_full")
        self.network.counts.add(secure.version())
        self.delay(1 if resumed or secure.version() == "TLSv1.3" else 2)


class Network:
    """The row's servers and the bench's feeds on them. Before `publish` the
    changed half of the feeds has none of its items yet."""

    def __init__(self, rtts, tls=None):
        self.quiet = True
        self.published = False
        self.counts = Counts()
        self.connected = []     # when each connection was accepted
        self.servers = [DelayedServer(self, "127.0.1.%d" % (1 + n) if n < 254 else
                                      "127.0.%d.%d" % (2 + (n - 254) // 254, 1 + (n - 254) % 254), rtt, tls)
                        for n, rtt in enumerate(rtts)]
        self.urls, self.changed = [], []

    def __enter__(self):
        for server in self.servers:
            server.start()
        for number in range(FEEDS):
            server = self.servers[number % len(self.servers)]
            unchanged = number % 2 == 1
            body = (lambda _, n=number: feed(n)) if unchanged else \
                (lambda _, n=number: feed(n, ITEMS if self.published else 0))
            self.urls.append(server.serve("/feed/%d" % number, body, conditional=True,
                                          last_modified=http_date(LAST_SEEN) if unchanged else None))
            self.changed.append(not unchanged)
        return self

    def __exit__(self, *exc):
        for server in self.servers:
            server.stop()

    def publish(self):
        self.published = True
        self.quiet = False

    # What bench_peers's readers ask of a server.

    def requests(self):
        return sorted((r for server in self.servers for r in server.requests()), key=lambda r: r.arrived)

    def wait_requests(self, count, timeout=600):
        deadline = time.monotonic() + timeout
        while len(self.requests()) < count:
            if time.monotonic() > deadline:
                raise SystemExit("%d requests of %d" % (len(self.requests()), count))
            time.sleep(0.05)


class Kiv:
    """KIV from a data folder taken after a first patrol: its settings file
    and the records that hold each feed's validators."""

    name = "KIV"

    def __init__(self, network, work):
        self.network = network
        self.seen = work / "kiv-seen"
        self.round = 0

    def prepare(self):
        plugins = layout(self.seen.name, [url + "," + LAST_SEEN for url in self.network.urls])
        seen = len(self.network.requests())
        run(plugins, 0, self.network, seen + FEEDS)

    def run_round(self, network):
        self.round += 1
        plugins = self.seen.parent / ("kiv-%d" % self.round)
        shutil.copytree(self.seen, plugins)
        seen = len(network.requests())
        started = time.monotonic()
        lines, wall, _ = run(plugins, sum(network.changed), network, seen + FEEDS)
        requests = network.requests()[seen:]
        appends = [at for at, line in lines if line.startswith("append ")]
        if len(appends) != sum(network.changed):
            raise SystemExit("KIV: %d messages of %d" % (len(appends), sum(network.changed)))
        shutil.rmtree(plugins, ignore_errors=True)
        return requests, max(appends[-1], requests[-1].arrived), started, started + wall


def reader_in(base, name, work, tls_bundle, **config):
    """bench_peers's reader `base`, its files in a folder of its own, trusting
    the bench's authority when there is one."""

    class Reader(base):
        def __init__(self, network):
            super().__init__(network)
            self.name = name
            old, self.home = str(self.home), work / name
            self.env = {key: str(self.home) if value == old else value for key, value in self.env.items()}
            if tls_bundle:
                self.env["SSL_CERT_FILE"] = str(tls_bundle)

        def prepare(self):
            super().prepare()
            if config:
                (self.home / "config").write_text("".join("%s %s\n" % item for item in config.items()))

        def command(self):
            command = super().command()
            if not tls_bundle:
                return command
            # libcurl takes the system's bundle by its path alone: the bench's
            # takes its place in a mount namespace of newsboat's own.
            return ["unshare", "-m", "sh", "-c", 'mount --bind "$0" "$1" && shift && exec "$@"',
                    str(tls_bundle), SYSTEM_BUNDLE] + command
    return Reader


def ideal(rtts, per_feed_trips, slots):
    """The model: feeds in list order through `slots` downloads at once, the
    next starting whenever one ends, each feed costing its host's round trips."""
    free = [0.0] * slots
    for number in range(FEEDS):
        start = heapq.heappop(free)
        heapq.heappush(free, start + per_feed_trips * rtts[number % len(rtts)])
    return max(free)


def row_rtts(row):
    if row.endswith("spread"):
        low, high = SPREAD
        rtts = [RTT * low * (high / low) ** (n / (HOSTS - 1)) for n in range(HOSTS)]
        random.Random(24).shuffle(rtts)
        return rtts
    return [RTT] * HOSTS


def bench_row(row, authority):
    work = WORK / row
    work.mkdir(parents=True)
    bench_patrol.WORK = work
    bench_peers.WORK = work
    rtts = row_rtts(row)
    tls, bundle = None, None
    if row.startswith("https"):
        names = tuple("127.0.1.%d" % (1 + n) for n in range(min(HOSTS, 254))) + ("localhost",)
        tls = authority.issue("latency", names=names)
        bundle = work / "bundle.crt"
        bundle.write_bytes(pathlib.Path(SYSTEM_BUNDLE).read_bytes() +
                           authority.certificate.public_bytes(serialization.Encoding.PEM))
    with Network(rtts, tls) as network:
        makers = {
            "KIV": lambda: Kiv(network, work),
            "newsboat": lambda: reader_in(bench_peers.Newsboat, "newsboat", work, bundle)(network),
            "newsboat-4": lambda: reader_in(bench_peers.Newsboat, "newsboat-4", work, bundle,
                                            **{"reload-threads": 4})(network),
            "rss2email": lambda: reader_in(bench_peers.Rss2email, "rss2email", work, bundle)(network),
        }
        readers = [makers[name]() for name in READERS]
        for reader in readers:
            reader.prepare()
        network.publish()
        spans = {reader.name: [] for reader in readers}
        counts = {reader.name: [] for reader in readers}
        for _ in range(ROUNDS):
            for reader in readers:
                before, connections = network.counts.snapshot(), len(network.connected)
                requests, done, _, _ = reader.run_round(network)
                if len(requests) < FEEDS:
                    raise SystemExit("%s: %d requests of %d" % (reader.name, len(requests), FEEDS))
                after = network.counts.snapshot()
                spans[reader.name].append(done - network.connected[connections])
                counts[reader.name].append({k: after[k] - before.get(k, 0) for k in after})
                print("  %s %s round: %.2f s" % (row, reader.name, spans[reader.name][-1]), flush=True)
    trips = 4 if tls else 2
    report(row, rtts, trips, readers, spans, counts)


def report(row, rtts, trips, readers, spans, counts):
    print("\n%s: %d feeds on %d hosts, round trips %.0f-%.0f ms (median %.0f); %d rounds, readers in turn"
          % (row, FEEDS, HOSTS, 1000 * min(rtts), 1000 * max(rtts), 1000 * statistics.median(rtts), ROUNDS))
    kiv = statistics.median(spans["KIV"]) if "KIV" in spans else None
    print("%-11s %9s %10s %12s %10s %10s %10s  %s" % ("reader", "median", "KIV / it", "connections", "TLS full",
                                                       "resumed", "KB in/out", "TLS versions"))
    for reader in readers:
        span = statistics.median(spans[reader.name])
        last = counts[reader.name][-1]
        versions = ", ".join("%s x%d" % (k, v) for k, v in sorted(last.items()) if k.startswith("TLS") and v)
        print("%-11s %7.2f s %10s %12d %10d %10d %5d/%-5d  %s" % (
            reader.name, span, "%.2f" % (kiv / span) if kiv else "-", last["connections"], last["tls_full"],
            last["tls_resumed"], last["bytes_in"] // 1024, last["bytes_out"] // 1024, versions or "-"))
    for slots in (4, 16):
        model = ideal(rtts, trips, slots)
        print("ideal, %2d in flight: %.2f s (%d round trips a feed on a new connection)%s"
              % (slots, model, trips, "; KIV / ideal %.2f" % (kiv / model) if kiv else ""))
    print(flush=True)
    seconds = {READER_LABELS.get(r.name, r.name): statistics.median(spans[r.name]) for r in readers}
    seconds["ideal, 16 in flight"] = ideal(rtts, trips, 16)
    charted.append((ROW_LABELS.get(row, row), seconds))


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    load = os.getloadavg()
    print("load average at the start: %.1f %.1f %.1f on %d CPUs" % (load + (os.cpu_count(),)), flush=True)
    authority_scope = None
    if any(row.startswith("https") for row in ROWS):
        import tls_certificates
        authority_scope = tls_certificates.test_authority([str(bench_patrol.BUILD / "wine-run")])
    authority = authority_scope.__enter__() if authority_scope else None
    try:
        for row in ROWS:
            bench_row(row, authority)
    finally:
        if authority_scope:
            authority_scope.__exit__(None, None, None)
    load = os.getloadavg()
    print("load average at the end: %.1f %.1f %.1f" % load)
    chart = bench_chart.write_results(
        "bench-latency", "One patrol of %d feeds on %d servers with round trips (medians of %d rounds)"
        % (FEEDS, HOSTS, ROUNDS), "scripts/bench-latency.sh, %s" % time.strftime("%Y-%m-%d"), charted)
    print("results and chart: %s, .png" % chart)
    return 0


if __name__ == "__main__":
    sys.exit(main())

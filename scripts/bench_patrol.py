"""Benchmark of one patrol (run through scripts/bench-patrol.sh).

200 feeds from the local feed server: every other one unchanged by its
Last-Modified date, the others with new items. Reports the patrol's wall time
(first request to last message) and the host process's peak memory under
Wine, beside a run of the same host with the plug-in and no feeds; then the
bytes the server sent, with the feeds served plain and again gzipped to a
client that asks for it; then the bytes of a patrol with no news after a
first one, the servers sending validators as real ones do (see KINDS).
"""
import os
import pathlib
import re
import shutil
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
from feed_server import FeedServer, http_date  # noqa: E402

BUILD = pathlib.Path(os.environ.get("KIV_WIN32_BUILD", ROOT / "build" / "win32"))
WORK = ROOT / "build" / "bench-patrol"
FEEDS = int(os.environ.get("KIV_BENCH_FEEDS", "200"))
ITEMS = 20
LAST_SEEN = "2024-05-01T00:00:00+00:00"
# The validators real servers send, one kind a feed in turn: (name, ETag,
# Last-Modified, whether the server answers 304 to them).
KINDS = [("ETag and Last-Modified", True, True, True), ("Last-Modified alone", False, True, True),
         ("no validator", False, False, False), ("ignores the validators", True, True, False)]


def feed(number, count=ITEMS):
    """Feed `number` with `count` items, as UTF-8 bytes."""
    items = "".join(
        "<item rdf:about=\"http://bench.example/%d/%d\"><title>Item %d of feed %d</title>"
        "<link>http://bench.example/%d/%d</link><description>%s</description>"
        "<dc:subject>bench</dc:subject><dc:date>2024-06-%02dT%02d:00:00Z</dc:date></item>\n"
        % (number, i, i, number, number, i, "Some words of the item's text. " * 8, 28 - i // 24, 23 - i % 24)
        for i in range(count))
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
            "xmlns=\"http://purl.org/rss/1.0/\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n"
            "<channel rdf:about=\"http://bench.example/%d\"><title>Feed %d</title>"
            "<link>http://bench.example/%d</link><description>bench</description></channel>\n%s</rdf:RDF>\n"
            % (number, number, number, items)).encode()


def windows_path(path):
    return "Z:" + str(path.resolve()).replace("/", "\\")


def run(plugins, appends=0, server=None, requests=0, settle=False):
    """Runs the host under /usr/bin/time; gives (host lines with their
    arrival times, wall seconds, peak resident kB). With appends, the host is
    unloaded once that many messages are appended and the server has seen
    `requests` requests: the last feeds may be unchanged ones, requested after
    the last message. With requests alone, or settle, it is unloaded 2 s
    after the last request."""
    stats = plugins / "time.txt"
    command = ["/usr/bin/time", "-v", "-o", str(stats), str(BUILD / "wine-run"),
               str(BUILD / "host" / "kivhost.exe"), "--plugin", windows_path(plugins / "KIV.dll"),
               "--store", windows_path(plugins / "store"), "--stdin"]
    started = time.monotonic()
    process = subprocess.Popen(command, cwd=plugins, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    lines = []
    reader = threading.Thread(target=lambda: lines.extend(
        (time.monotonic(), raw.decode("utf-8", "replace").rstrip()) for raw in process.stdout), daemon=True)
    reader.start()

    def send(*commands):
        process.stdin.write("".join(c + "\n" for c in commands).encode())
        process.stdin.flush()
    if appends or requests:
        send("load", "wait-appends %d 600000" % appends)
        server.wait_requests(requests, timeout=600)
        if not appends or settle:
            send("sleep 2000")  # the last feeds' records are stored
    else:
        send("load", "sleep 2000")
    send("unload", "quit")
    process.stdin.close()
    process.wait(timeout=900)
    reader.join(timeout=60)
    wall = time.monotonic() - started
    text = stats.read_text()
    peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1))
    return lines, wall, peak


def layout(name, entries):
    """A plug-in folder: KIV.dll (the build's, or the one KIV_BENCH_DLL
    names, for a build before a change beside the host of today) and a
    KIV.ini listing entries for the folder Inbox\\Bench."""
    plugins = WORK / name
    plugins.mkdir(parents=True)
    shutil.copyfile(os.environ.get("KIV_BENCH_DLL", BUILD / "KIV.dll"), plugins / "KIV.dll")
    (plugins / "KIV.ini").write_bytes("\r\n".join(["Inbox\\Bench", "0", "0"] + entries).encode())
    return plugins


def validators_on_the_wire():
    """Two patrols of the same feeds, the second with no news: the bytes
    each kind of server sent in each. Half of each kind's feeds have new
    items at the first patrol, the others are unchanged by their date; the
    second patrol finds the same documents."""
    with FeedServer() as server:
        entries, news, kinds = [], 0, {}
        for number in range(FEEDS):
            name, etag, dated, honours = KINDS[number % len(KINDS)]
            fresh = number // len(KINDS) % 2 == 1
            changed = "2024-06-28T23:00:00Z" if fresh else LAST_SEEN
            path = "/wire/%d" % number
            server.serve(path, feed(number), etag="\"f%d\"" % number if etag else None,
                         last_modified=http_date(changed) if dated else None, conditional=honours)
            entries.append(server.url(path) + "," + LAST_SEEN)
            kinds[path] = name
            news += fresh if dated else 1  # a feed without a date is read, and its items are new
        plugins = layout("validators", entries)
        sent = []
        for patrol in (1, 2):
            before = server.sent_by_path.copy()
            run(plugins, news if patrol == 1 else 0, server, FEEDS * patrol, settle=True)
            sent.append(server.sent_by_path - before)
    by_kind = {name: [sum(n for path, n in bytes_.items() if kinds[path] == name) for bytes_ in sent]
               for name, *_ in KINDS}
    return by_kind


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    with FeedServer() as server:
        entries, changed, size = [], 0, 0
        for number in range(FEEDS):
            body = feed(number)
            size += len(body)
            # Even feeds are unchanged: the server's date is the last-seen one.
            # The last feed delivers, so that its message ends the patrol
            # before the host unloads the plug-in.
            unchanged = number % 2 == 0
            url = server.serve("/feed/%d" % number, body,
                               last_modified=http_date(LAST_SEEN) if unchanged else None)
            entries.append(url + "," + LAST_SEEN)
            changed += not unchanged
        _, _, baseline_peak = run(layout("baseline", []))
        wire = {}
        for compressed in (False, True):
            for route in server.routes.values():
                route.negotiate = compressed
            sent = server.sent_bytes
            plugins = layout("patrol-gzip" if compressed else "patrol", entries)
            result = run(plugins, changed, server, FEEDS * (1 + compressed))
            wire[compressed] = server.sent_bytes - sent
            if not compressed:  # the time and memory figures are the plain run's
                (lines, wall, peak), requests = result, server.requests()

    appends = [at for at, line in lines if line.startswith("append ")]
    if len(appends) != changed or len(requests) != FEEDS:
        raise SystemExit("bench: %d messages of %d, %d requests of %d"
                         % (len(appends), changed, len(requests), FEEDS))
    patrol = max(appends[-1], requests[-1].arrived) - requests[0].arrived
    print("feeds:     %d from the local feed server, %d KB of bodies: %d unchanged by Last-Modified, "
          "%d with %d new items" % (FEEDS, size // 1024, FEEDS - changed, changed, ITEMS))
    print("patrol:    %.2f s from the first request to the last message or request (%.1f ms a feed); "
          "%d messages" % (patrol, 1000 * patrol / FEEDS, len(appends)))
    print("host run:  %.2f s wall, peak resident memory %.1f MB" % (wall, peak / 1024))
    print("baseline:  peak resident memory %.1f MB (the same host and plug-in, no feeds)" % (baseline_peak / 1024))
    print("on the wire: %d KB of responses served plain, %d KB gzipped to a client that asks (%.0f%%)"
          % (wire[False] // 1024, wire[True] // 1024, 100.0 * wire[True] / wire[False]))
    by_kind = validators_on_the_wire()
    print("a patrol with no news after a first one, bytes the servers sent (first patrol -> no news):")
    honoured = [0, 0]
    for name, honours in ((k[0], k[3]) for k in KINDS):
        first, second = by_kind[name]
        print("  %-24s %7d KB -> %7d KB (%5.1f%%)" % (name, first // 1024, second // 1024, 100.0 * second / first))
        if honours:
            honoured = [honoured[0] + first, honoured[1] + second]
    total = [sum(pair[i] for pair in by_kind.values()) for i in (0, 1)]
    print("  servers that honour them: %.1f%% of a full download; all servers: %.1f%%"
          % (100.0 * honoured[1] / honoured[0], 100.0 * total[1] / total[0]))
    print("(Wine %s, %d CPUs; figures vary from run to run by some per cent)"
          % (subprocess.run(["wine", "--version"], capture_output=True, text=True).stdout.strip(),
             os.cpu_count()))
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""A soak: one stand-in host with KIV, patrol after patrol of changing feeds
from the local feed server, as weeks in the mail client add up. Run by
scripts/soak.sh (1,000 patrols) and, short, by test_soak.py.

The feeds, each a sliding window of its newest items (every request its own
new item; an item leaves after WINDOW requests):
- changing: a new item at every request;
- conditional: a new item every 5th request, an ETag for each version, and
  304 to a request that sends the ETag back;
- failing: HTTP 500 at every 4th request;
- slow: answers after a second;
- paused: asks for a pause (503, Retry-After 20 s) once, mid-soak.
The host's address space, committed, private and resident memory, handles
and threads are sampled every few patrols (see `memory` in the host; under
Wine the private memory and the handles are the anonymous resident memory
and open file descriptors of the host's process). At the end every item
served in a document is counted in the messages: each exactly once.
"""
import os
import pathlib
import re
import time

from kivhost import HostSession, PluginFolder

WINDOW = 3
KINDS = ["changing", "conditional", "failing", "slow", "paused"] + ["changing"] * 5
FOLDER = "Inbox\\Soak"
LAST_SEEN = "2000-01-01T00:00:00+09:00"
FIELDS = ["address-kb", "committed-kb", "private-kb", "resident-kb", "handles", "threads"]


def document(feed, items):
    body = "".join("<item><title>f%d item %d</title><guid>urn:soak:%d:%d</guid>"
                   "<description>Item %d of feed %d.</description></item>\n" % (feed, k, feed, k, k, feed)
                   for k in items)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>soak %d</title>"
            "<link>http://soak.example/%d</link><description>d</description>\n%s</channel></rss>\n"
            % (feed, feed, body)).encode()


def linux_figures(path):
    """Anonymous resident memory and open descriptors of the host's process,
    found by its working folder."""
    for status in pathlib.Path("/proc").glob("[0-9]*/status"):
        try:
            if "kivhost.exe" not in (status.parent / "cmdline").read_text(errors="replace") or \
                    str(path) != os.readlink(status.parent / "cwd"):
                continue
            fields = dict(line.split(":", 1) for line in status.read_text().splitlines() if ":" in line)
            return {"private-kb": int(fields["RssAnon"].split()[0]), "handles": len(os.listdir(status.parent / "fd"))}
        except (OSError, KeyError, ValueError):
            continue
    return {}


def run_soak(server, folder, patrols, sample_every=10, log=None):
    """Runs the soak; gives (samples as (patrol, figures), served item keys
    by feed, delivered item keys with their counts)."""
    served = {}  # feed -> set of item numbers sent in a document
    pause_at = max(2, patrols // 2)

    def serve(feed, kind):
        def version(n):  # the request's newest item
            return n // 5 if kind == "conditional" else n

        def failing(n):
            return (kind == "failing" and n % 4 == 0) or (kind == "paused" and n == pause_at)

        def body(n):
            if failing(n):
                return b"<html>down</html>"
            items = range(version(n), max(0, version(n) - WINDOW), -1)
            served.setdefault(feed, set()).update(items)
            return document(feed, items)
        return server.serve(
            "/soak/%d" % feed, body, status=lambda n: (503 if kind == "paused" else 500) if failing(n) else 200,
            etag=(lambda n: '"v%d"' % version(n)) if kind == "conditional" else None,
            headers=[("Retry-After", lambda n: "20" if failing(n) and kind == "paused" else None)],
            conditional=kind == "conditional", delay=1.0 if kind == "slow" else 0.0)
    urls = [serve(feed, kind) for feed, kind in enumerate(KINDS)]
    plugin = PluginFolder(folder)
    plugin.write_ini("\r\n".join([FOLDER, "0", "0"] + [u + "," + LAST_SEEN for u in urls]))
    host = HostSession(plugin)
    samples = []

    def sample(patrol):
        host.send("memory")
        figures = {k: int(v) for k, v in re.findall(r"(\S+)=(\d+)", host.expect("memory "))}
        if not figures["private-kb"]:
            figures.update(linux_figures(plugin.path))
        samples.append((patrol, figures))
        if log:
            log("patrol %5d  " % patrol + "  ".join("%s=%d" % (k, figures[k]) for k in FIELDS))
    try:
        host.send("load")
        host.expect("load ok")
        host.send("menu 3")
        steady = [u.rsplit("/", 1)[1] for u, kind in zip(urls, KINDS) if kind != "paused"]
        for patrol in range(1, patrols + 1):
            if patrol > 1:
                host.send("command")
            for feed in steady:
                server.wait_requests(patrol, "/soak/" + feed, timeout=120)
            if patrol % sample_every == 0 or patrol == 1:
                sample(patrol)
        host.send("sleep 3000")  # the last feeds' messages and records
        host.send("unload")
        host.expect("unload result=", timeout=60)
    finally:
        host.close()
    delivered = {}
    for message in plugin.messages(FOLDER):
        for feed, item in re.findall(rb"f(\d+) item (\d+) \[", message):
            key = (int(feed), int(item))
            delivered[key] = delivered.get(key, 0) + 1
    return samples, served, delivered


def judge(samples, served, delivered, settle=10, slack=0.05):
    """Failures, as texts: an item served but not delivered, or delivered
    more than once; a figure that grew after the first `settle` patrols by
    more than `slack` of its value then (threads: beyond the download pool's
    bound of 32 and the worker). Also a summary."""
    failures = []
    expected = {(feed, k) for feed, items in served.items() for k in items}
    missing = sorted(expected - set(delivered))
    repeated = sorted(k for k, n in delivered.items() if n > 1)
    unknown = sorted(set(delivered) - expected)
    for what, keys in (("not delivered", missing), ("delivered more than once", repeated),
                       ("never served", unknown)):
        if keys:
            failures.append("%d items %s: %s" % (len(keys), what, keys[:10]))
    base = [figures for patrol, figures in samples if patrol >= settle][0]
    end = samples[-1][1]
    growth = {}
    for field in FIELDS:
        later = [figures[field] for patrol, figures in samples if patrol >= settle]
        growth[field] = (base[field], max(later), end[field])
        allowed = 34 if field == "threads" else base[field] * (1 + slack) + (8 if field == "handles" else 0)
        if max(later) > allowed:
            failures.append("%s grew from %d (patrol %d on) to %d" % (field, base[field], settle, max(later)))
    summary = ["%d items served and delivered, each once" % len(expected) if not failures else "",
               "%-14s %10s %10s %10s" % ("", "patrol %d" % settle, "highest", "last")]
    summary += ["%-14s %10d %10d %10d" % (field, *growth[field]) for field in FIELDS]
    return failures, [line for line in summary if line]


def main():
    import shutil
    import sys
    from feed_server import FeedServer
    patrols = int(sys.argv[1]) if len(sys.argv) > 1 else 1000
    folder = pathlib.Path(__file__).resolve().parents[2] / "build" / "soak"
    shutil.rmtree(folder, ignore_errors=True)
    started = time.monotonic()
    with FeedServer() as server:
        samples, served, delivered = run_soak(server, folder / "plugins", patrols, sample_every=max(1, patrols // 50),
                                              log=lambda line: print(line, flush=True))
    failures, summary = judge(samples, served, delivered, settle=max(10, patrols // 20))
    print("%d patrols of %d feeds in %.0f s" % (patrols, len(KINDS), time.monotonic() - started))
    print("\n".join(summary + failures))
    return 1 if failures else 0


if __name__ == "__main__":
    raise SystemExit(main())

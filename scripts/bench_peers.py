"""Benchmark of one patrol beside two other feed readers (run through
scripts/bench-peers.sh).

The bench's feeds (scripts/bench_patrol.py) from one local feed server: half
of them unchanged, half with 20 new items. Each reader starts every round
from the same state, taken once from the same server with none of the new
items yet: KIV from its settings file (the unchanged feeds' Last-Modified is
their last-seen date), rss2email in digest mode (handing the digest to a
stand-in sendmail) and newsboat from their data files after a first fetch.
Rounds take the readers in turn; the medians and ratios follow. A reader's
time runs from its first request to the end of its work: KIV's last message
(or request), the others' exit; the whole process's wall time is given too.
The medians also go to a data file and a chart drawn from it
(scripts/bench_chart.py: build/bench-charts/bench-peers.json and .png).
"""
import configparser
import os
import pathlib
import shutil
import statistics
import subprocess
import sys
import time
from xml.sax.saxutils import quoteattr

import bench_chart
import bench_patrol
from bench_patrol import FEEDS, ITEMS, LAST_SEEN, feed, layout, run
from feed_server import FeedServer, http_date

ROUNDS = int(os.environ.get("KIV_BENCH_ROUNDS", "5"))
WORK = bench_patrol.ROOT / "build" / "bench-peers"


class Feeds:
    """The bench's feeds on a server; before `publish` the changed half has
    none of its items yet."""

    def __init__(self, server):
        self.server = server
        self.published = False
        self.urls, self.changed = [], []
        for number in range(FEEDS):
            unchanged = number % 2 == 1
            body = (lambda _, n=number: feed(n)) if unchanged else \
                (lambda _, n=number: feed(n, ITEMS if self.published else 0))
            self.urls.append(server.serve("/feed/%d" % number, body,
                                          last_modified=http_date(LAST_SEEN) if unchanged else None))
            self.changed.append(not unchanged)

    def publish(self):
        self.published = True


def timed(command, cwd, env=None):
    """Runs command; gives (start, end) in monotonic seconds."""
    started = time.monotonic()
    subprocess.run(command, cwd=cwd, env=env, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   timeout=600)
    return started, time.monotonic()


class Kiv:
    name = "KIV"

    def __init__(self, feeds):
        self.feeds = feeds
        self.round = 0

    def prepare(self):
        pass

    def run_round(self, server):
        self.round += 1
        plugins = layout("kiv-%d" % self.round, [url + "," + LAST_SEEN for url in self.feeds.urls])
        seen = len(server.requests())
        started = time.monotonic()
        lines, wall, _ = run(plugins, sum(self.feeds.changed), server, seen + FEEDS)
        requests = server.requests()[seen:]
        appends = [at for at, line in lines if line.startswith("append ")]
        if len(appends) != sum(self.feeds.changed):
            raise SystemExit("KIV: %d messages of %d" % (len(appends), sum(self.feeds.changed)))
        shutil.rmtree(plugins, ignore_errors=True)
        return requests, max(appends[-1], requests[-1].arrived), started, started + wall


class Rss2email:
    name = "rss2email"

    def __init__(self, feeds):
        self.feeds = feeds
        self.home = WORK / "rss2email"
        self.env = dict(os.environ, HOME=str(self.home), XDG_CONFIG_HOME=str(self.home),
                        XDG_DATA_HOME=str(self.home))

    def r2e(self, *arguments):
        return ["r2e", "-c", str(self.home / "r2e.cfg"), "-d", str(self.home / "r2e.json")] + list(arguments)

    def prepare(self):
        self.home.mkdir(parents=True)
        sendmail = self.home / "sendmail"
        sendmail.write_text("#!/bin/sh\ncat >/dev/null\n")
        sendmail.chmod(0o755)
        subprocess.run(self.r2e("new", "reader@example.net"), env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        config = configparser.ConfigParser(interpolation=None)
        config.read(self.home / "r2e.cfg")
        config["DEFAULT"].update({"digest": "True", "email-protocol": "sendmail", "sendmail": str(sendmail)})
        with open(self.home / "r2e.cfg", "w") as out:
            config.write(out)
        outline = "".join('<outline type="rss" text="feed%d" xmlUrl=%s/>\n' % (i, quoteattr(url))
                          for i, url in enumerate(self.feeds.urls))
        opml = self.home / "feeds.opml"
        opml.write_text('<?xml version="1.0"?>\n<opml version="1.0"><head/><body>\n%s</body></opml>\n' % outline)
        subprocess.run(self.r2e("opmlimport", str(opml)), env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        subprocess.run(self.r2e("run", "--no-send"), env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.copyfile(self.home / "r2e.json", self.home / "r2e.json.seen")

    def run_round(self, server):
        shutil.copyfile(self.home / "r2e.json.seen", self.home / "r2e.json")
        seen = len(server.requests())
        started, ended = timed(self.r2e("run"), self.home, self.env)
        return server.requests()[seen:], ended, started, ended


class Newsboat:
    name = "newsboat"

    def __init__(self, feeds):
        self.feeds = feeds
        self.home = WORK / "newsboat"
        self.env = dict(os.environ, HOME=str(self.home))

    def command(self):
        return ["newsboat", "-u", str(self.home / "urls"), "-c", str(self.home / "cache.db"),
                "-C", str(self.home / "config"), "-x", "reload"]

    def prepare(self):
        self.home.mkdir(parents=True)
        (self.home / "urls").write_text("".join(url + "\n" for url in self.feeds.urls))
        (self.home / "config").write_text("")
        subprocess.run(self.command(), env=self.env, check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        shutil.copyfile(self.home / "cache.db", self.home / "cache.db.seen")

    def run_round(self, server):
        shutil.copyfile(self.home / "cache.db.seen", self.home / "cache.db")
        seen = len(server.requests())
        started, ended = timed(self.command(), self.home, self.env)
        return server.requests()[seen:], ended, started, ended


def main():
    shutil.rmtree(WORK, ignore_errors=True)
    WORK.mkdir(parents=True)
    bench_patrol.WORK = WORK
    with FeedServer() as server:
        feeds = Feeds(server)
        readers = [Kiv(feeds), Rss2email(feeds), Newsboat(feeds)]
        for reader in readers:
            reader.prepare()
        feeds.publish()
        spans = {reader.name: [] for reader in readers}
        walls = {reader.name: [] for reader in readers}
        for _ in range(ROUNDS):
            for reader in readers:
                requests, done, started, ended = reader.run_round(server)
                if len(requests) < FEEDS:
                    raise SystemExit("%s: %d requests of %d" % (reader.name, len(requests), FEEDS))
                spans[reader.name].append(done - requests[0].arrived)
                walls[reader.name].append(ended - started)
    kiv = statistics.median(spans["KIV"])
    print("%d feeds from one local server, %d unchanged, %d with %d new items; %d rounds, readers in turn"
          % (FEEDS, FEEDS - sum(feeds.changed), sum(feeds.changed), ITEMS, ROUNDS))
    print("%-10s %22s %14s %16s" % ("reader", "first request to done", "KIV / reader", "process wall"))
    for reader in readers:
        span = statistics.median(spans[reader.name])
        print("%-10s %20.2f s %14.2f %14.2f s" % (reader.name, span, kiv / span,
                                                   statistics.median(walls[reader.name])))
    print("(medians; KIV's process wall time includes starting Wine and the host)")
    names = {"rss2email": "rss2email (digest mode)"}
    chart = bench_chart.write_results(
        "bench-peers", "One patrol of %d feeds from one local server (medians of %d rounds)" % (FEEDS, ROUNDS),
        "scripts/bench-peers.sh, %s" % time.strftime("%Y-%m-%d"), [("%d feeds, %d with\n%d new items each" % (FEEDS, sum(feeds.changed), ITEMS),
                                    {names.get(r.name, r.name): statistics.median(spans[r.name]) for r in readers})])
    print("results and chart: %s, .png" % chart)
    return 0


if __name__ == "__main__":
    sys.exit(main())

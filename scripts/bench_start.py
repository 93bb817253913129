"""What loading KIV costs the host at its start (run through
scripts/bench-start.sh).

The stand-in host reads the clock, loads KIV.dll (LoadLibrary and KIV's
DllMain, as the mail client does at its start), and reads the clock again:
the time until the host has control back. The start-up patrol runs on KIV's
own thread; the time from the host's control back to the feed server's
first request is the second figure. Each with a settings file of 1 feed and
of 2,000 (KIV_BENCH_ROUNDS rounds each, in turn, default 5), so that a large
file shows whether the load reads it. Medians, with the lowest and highest.
"""
import os
import pathlib
import re
import shutil
import statistics
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
sys.path.insert(0, str(ROOT / "scripts"))
import bench_patrol  # noqa: E402
from bench_patrol import feed, layout, windows_path  # noqa: E402
from feed_server import FeedServer  # noqa: E402

BUILD = pathlib.Path(os.environ.get("KIV_WIN32_BUILD", ROOT / "build" / "win32"))
ROUNDS = int(os.environ.get("KIV_BENCH_ROUNDS", "5"))
LAST_SEEN = "2024-05-01T00:00:00+00:00"


def start(plugins, server):
    """One host start: (seconds in LoadLibrary, seconds from then to the
    first request)."""
    requests = len(server.requests())
    command = [str(BUILD / "wine-run"), str(BUILD / "host" / "kivhost.exe"), "--plugin",
               windows_path(plugins / "KIV.dll"), "--store", windows_path(plugins / "store"),
               "clock", "load", "clock", "wait-appends 1 60000", "unload"]
    output = subprocess.run(command, cwd=plugins, capture_output=True, timeout=300).stdout.decode()
    clocks = [float(c) for c in re.findall(r"^clock (\S+)", output, re.M)]
    if len(clocks) != 2 or "load ok" not in output or len(server.requests()) <= requests:
        raise SystemExit("bench-start: the host said\n" + output)
    first = server.requests()[requests].arrived_at
    return clocks[1] - clocks[0], first - clocks[1]


def main():
    bench_patrol.WORK = ROOT / "build" / "bench-start"
    shutil.rmtree(bench_patrol.WORK, ignore_errors=True)
    with FeedServer() as server:
        urls = [server.serve("/s/%d" % n, feed(n, 3)) for n in range(2000)]
        results = {}
        for round_ in range(ROUNDS):
            for feeds in (1, 2000):
                # A fresh folder each time: every start patrols as the first one does.
                plugins = layout("r%d-%d" % (round_, feeds), [u + "," + LAST_SEEN for u in urls[:feeds]])
                results.setdefault(feeds, []).append(start(plugins, server))
    print("KIV at the host's start (%s, %d rounds, milliseconds: median [lowest, highest])" % (BUILD.name, ROUNDS))
    for feeds, runs in results.items():
        figures = []
        for i in (0, 1):
            values = sorted(1000 * r[i] for r in runs)
            figures.append("%.1f [%.1f, %.1f]" % (statistics.median(values), values[0], values[-1]))
        print("  %4d feed%s in KIV.ini: LoadLibrary to the host's next step %s; then to the first request %s"
              % (feeds, "" if feeds == 1 else "s", figures[0], figures[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())

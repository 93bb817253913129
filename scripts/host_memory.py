"""The host's address space and memory around one big patrol (run through
scripts/host-memory.sh).

Runs the stand-in host with KIV under Wine and has it report, through its
`memory` command (the address space as a walk of VirtualQuery counts it,
reserved or committed; the committed part; private and resident memory;
handles; threads; where Wine gives no private memory or handle count, the
anonymous resident memory and open file descriptors of the process that
Linux sees): before KIV is loaded, every quarter second of a patrol of
KIV_MEMORY_FEEDS feeds (default 2,000) from the local feed server, at the
end of the patrol, and after the unload. Every 25th feed answers after a
second, so that downloads pile up as behind slow servers. Prints each
figure before, at its peak during the patrol, and after the unload.
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
sys.path.insert(0, str(ROOT / "tests" / "plugin"))
sys.path.insert(0, str(ROOT / "scripts"))
from bench_patrol import feed, layout, windows_path  # noqa: E402
from feed_server import FeedServer  # noqa: E402
from soak import linux_figures  # noqa: E402

BUILD = pathlib.Path(os.environ.get("KIV_WIN32_BUILD", ROOT / "build" / "win32"))
FEEDS = int(os.environ.get("KIV_MEMORY_FEEDS", "2000"))
LAST_SEEN = "2024-05-01T00:00:00+00:00"
FIELDS = ["address-kb", "committed-kb", "private-kb", "resident-kb", "handles", "threads"]


def main():
    import bench_patrol
    bench_patrol.WORK = ROOT / "build" / "host-memory" / BUILD.name
    shutil.rmtree(bench_patrol.WORK, ignore_errors=True)
    with FeedServer() as server:
        entries = [server.serve("/m/%d" % n, feed(n, 5), delay=1.0 if n % 25 == 24 else 0.0) + "," + LAST_SEEN
                   for n in range(FEEDS)]
        plugins = layout("patrol", entries)
        command = [str(BUILD / "wine-run"), str(BUILD / "host" / "kivhost.exe"), "--plugin",
                   windows_path(plugins / "KIV.dll"), "--store", windows_path(plugins / "store"), "--stdin"]
        host = subprocess.Popen(command, cwd=plugins, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL)
        samples = []  # (phase, {field: value})
        phase = ["before"]
        lines = []

        def read():
            for raw in host.stdout:
                line = raw.decode("utf-8", "replace").rstrip()
                lines.append(line)
                if line.startswith("memory "):
                    sample = {k: int(v) for k, v in re.findall(r"(\S+)=(\d+)", line)}
                    if not sample["private-kb"]:
                        sample.update(linux_figures(plugins))
                    samples.append((phase[0], sample))
        reader = threading.Thread(target=read, daemon=True)
        reader.start()

        def send(*commands):
            host.stdin.write("".join(c + "\n" for c in commands).encode())
            host.stdin.flush()
        def wait_sample(phase_, timeout=300):
            limit = time.monotonic() + timeout
            while not any(q == phase_ for q, _ in samples):
                if time.monotonic() > limit:
                    raise SystemExit("host-memory: the host does not answer")
                time.sleep(0.1)
        send("memory")
        wait_sample("before")
        phase[0] = "patrol"
        send("load")
        started = time.monotonic()
        while len(server.requests()) < FEEDS or sum(l.startswith("append ") for l in lines) < FEEDS:
            if time.monotonic() - started > 1800:
                raise SystemExit("host-memory: the patrol did not end in 30 minutes")
            send("memory")
            time.sleep(0.25)
        send("sleep 2000", "memory", "clock")
        while not lines or not lines[-1].startswith("clock "):
            time.sleep(0.1)
        phase[0] = "after"
        send("unload", "sleep 1000", "memory", "sleep 3000", "quit")
        host.stdin.close()
        host.wait(timeout=600)
        reader.join(timeout=60)
    patrol = time.monotonic() - started
    figures = {p: [s for q, s in samples if q == p] for p in ("before", "patrol", "after")}
    if not all(figures.values()):
        raise SystemExit("host-memory: samples missing: %s" % {p: len(v) for p, v in figures.items()})
    print("%s, %d feeds (%d samples in %.0f s)" % (BUILD.name, FEEDS, len(figures["patrol"]), patrol))
    print("%-14s %12s %12s %12s" % ("", "before KIV", "peak", "after unload"))
    for field in FIELDS:
        print("%-14s %12d %12d %12d" % (field, figures["before"][-1][field],
                                        max(s[field] for s in figures["patrol"]), figures["after"][-1][field]))
    return 0


if __name__ == "__main__":
    sys.exit(main())

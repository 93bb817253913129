"""KIV's main job, as a user would see it (run through scripts/demo.sh).

Serves the bundled sample feeds from the local feed server, lays out a plug-in
folder holding KIV.dll and a KIV.ini that lists them with a destination
folder, and runs the stand-in host under Wine twice: the first patrol appends
one message per feed, shown decoded; the second finds nothing new.
"""
import os
import pathlib
import queue
import shutil
import subprocess
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(ROOT / "tests" / "support"))
from feed_server import FeedServer  # noqa: E402

BUILD = pathlib.Path(os.environ.get("KIV_WIN32_BUILD", ROOT / "build" / "win32"))
DEMO = ROOT / "build" / "demo"
SAMPLES = ROOT / "tests" / "data" / "samples"
FOLDER = "Inbox\\KIV"
FIRST_SEEN = "2000-01-01T00:00:00+09:00"


def windows_path(path):
    return "Z:" + str(path.resolve()).replace("/", "\\")


def show(title, text=""):
    print("\n== " + title)
    for line in text.splitlines():
        print("   " + line)


def show_ini(title, ini):
    show(title, ini.read_bytes().decode("cp932"))


class Host:
    """The stand-in host under Wine, taking its commands one at a time."""

    def __init__(self, plugins, store):
        command = [str(BUILD / "wine-run"), str(BUILD / "host" / "kivhost.exe"),
                   "--plugin", windows_path(plugins / "KIV.dll"), "--store", windows_path(store), "--print",
                   "--stdin"]
        self.process = subprocess.Popen(command, cwd=plugins, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in self.process.stdout:
            self.lines.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
        self.lines.put(None)

    def send(self, command):
        self.process.stdin.write((command + "\n").encode("cp932"))
        self.process.stdin.flush()

    def until(self, prefix, timeout=120):
        """Output lines up to the first that starts with prefix."""
        seen, deadline = [], time.monotonic() + timeout
        while True:
            try:
                line = self.lines.get(timeout=max(0.1, deadline - time.monotonic()))
            except queue.Empty:
                line = None
            if line is None:
                raise SystemExit("demo: the host did not answer %r; it said:\n%s" % (prefix, "\n".join(seen)))
            seen.append(line)
            if line.startswith(prefix):
                return seen

    def finish(self):
        self.send("quit")
        self.process.stdin.close()
        self.process.wait(timeout=60)


def run_host(plugins, store, server, feeds, appends=0, menu_command=False):
    """One host run: load, which patrols at start-up, and with menu_command
    the plug-in's menu command as well; waits for the appends and until every
    patrol has requested every feed, then unloads. Gives the host's lines."""
    patrols = 2 if menu_command else 1
    before = len(server.requests())
    host = Host(plugins, store)
    host.send("load")
    lines = host.until("load ")
    if menu_command:
        host.send("menu 3")
        host.send("command")
        lines += host.until("commanded ")
    if appends:
        host.send("wait-appends %d 60000" % appends)
        lines += host.until("wait-appends ")
    server.wait_requests(before + patrols * len(feeds), timeout=60)
    host.send("unload")
    lines += host.until("unload ")
    host.finish()
    return lines


def main():
    for needed in (BUILD / "KIV.dll", BUILD / "host" / "kivhost.exe", BUILD / "wine-run"):
        if not needed.exists():
            raise SystemExit("demo: %s is missing; build the Windows target first" % needed)
    feeds = sorted(p.name for p in SAMPLES.glob("*.xml"))
    shutil.rmtree(DEMO, ignore_errors=True)
    plugins, store = DEMO / "plugins", DEMO / "store"
    plugins.mkdir(parents=True)
    shutil.copyfile(BUILD / "KIV.dll", plugins / "KIV.dll")
    ini = plugins / "KIV.ini"

    with FeedServer() as server:
        for name in feeds:
            server.serve("/" + name, (SAMPLES / name).read_bytes())
        entries = [FOLDER, "0", "0"] + [server.url("/" + name) + "," + FIRST_SEEN for name in feeds]
        ini.write_bytes("\r\n".join(entries).encode("cp932"))
        show("%d sample feeds served by the local feed server at %s" % (len(feeds), server.url("/")),
             "\n".join(feeds))
        show("Plug-in folder %s" % plugins.relative_to(ROOT), "KIV.dll, KIV.ini, and KIV\\ made at load")
        show_ini("KIV.ini before the first patrol", ini)

        lines = run_host(plugins, store, server, feeds, appends=len(feeds))
        show("First patrol (at start-up): the messages appended to %s" % FOLDER, "\n".join(
            line for line in lines if not line.startswith(("load ", "wait-appends ", "unload "))))
        appended = sum(1 for line in lines if line.startswith("append "))
        show_ini("KIV.ini after it: each feed carries the date of its newest item", ini)
        first_ini = ini.read_bytes()

        lines = run_host(plugins, store, server, feeds, menu_command=True)
        again = sum(1 for line in lines if line.startswith("append "))
        show("The host run again: a patrol at start-up and one on the menu command",
             "%d requests, %d messages appended; KIV.ini %s"
             % (2 * len(feeds), again, "unchanged" if ini.read_bytes() == first_ini else "CHANGED"))
        stored = sorted((store / "Inbox" / "KIV").glob("*.eml"))
        show("Messages stored by the host", "\n".join(str(p.relative_to(ROOT)) for p in stored))
    if appended != len(feeds) or again != 0:
        raise SystemExit("demo: expected %d messages then none, got %d then %d" % (len(feeds), appended, again))
    return 0


if __name__ == "__main__":
    sys.exit(main())

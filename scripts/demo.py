"""KIV's main job, as a user would see it (run through scripts/demo.sh).

Serves the bundled sample feeds from the local feed server (one of them over
HTTPS, its certificate from a throw-away authority that the Wine prefix trusts
while the demo runs), lays out a plug-in
folder holding KIV.dll and a KIV.ini that lists them with a destination
folder, and runs the stand-in host under Wine twice: the first run's patrol
appends one message per feed, shown as the host stored it; the second run
patrols twice and finds nothing new.
"""
import contextlib
import os
import pathlib
import shutil
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[1]
os.environ.setdefault("KIV_WIN32_BUILD", str(ROOT / "build" / "win32"))
sys.path[:0] = [str(ROOT / "tests" / "support"), str(ROOT / "tests" / "plugin")]
import tls_certificates  # noqa: E402
from feed_server import FeedServer  # noqa: E402
from kivhost import WIN32_BUILD, WINE_RUN, HostSession, PluginFolder  # noqa: E402

DEMO = ROOT / "build" / "demo"
SAMPLES = ROOT / "tests" / "data" / "samples"
FOLDER = "Inbox\\KIV"
FIRST_SEEN = "2000-01-01T00:00:00+09:00"
HTTPS_SAMPLE = "rss20_utf8.xml"   # the one served over HTTPS


def show(title, text=""):
    print("\n== " + title)
    for line in text.splitlines():
        print("   " + line)


class Servers:
    """The HTTP server and the HTTPS one, seen as one: every feed's URL, and
    every request either received."""

    def __init__(self, plain, secure):
        self.plain, self.secure = plain, secure

    def requests(self):
        return self.plain.requests() + self.secure.requests()

    def wait_requests(self, count, timeout):
        deadline = time.monotonic() + timeout
        while len(self.requests()) < count:
            if time.monotonic() > deadline:
                raise SystemExit("demo: %d of %d requests after %d s" % (len(self.requests()), count, timeout))
            time.sleep(0.05)

    def url(self, name):
        return (self.secure if name == HTTPS_SAMPLE else self.plain).url("/" + name)


def run_host(plugin, server, feeds, appends=0, menu_command=False):
    """One host run: load, which patrols at start-up, and with menu_command
    the plug-in's menu command "KIV巡回" as well; waits for the appends and
    until every patrol has requested every feed, then unloads. Gives the
    number of messages appended."""
    before = len(server.requests())
    host = HostSession(plugin)
    host.send("load")
    host.expect("load ok")
    if appends:
        host.send("wait-appends %d 60000" % appends)
        host.expect("wait-appends reached")
    server.wait_requests(before + len(feeds), timeout=60)
    if menu_command:
        # Sent once the start-up patrol is under way: a signal before it
        # began would fold into the start-up signal.
        host.send("menu 3")
        host.send("command")
        host.expect("commanded ")
        server.wait_requests(before + 2 * len(feeds), timeout=60)
    host.send("unload")
    host.expect("unload result=1")
    return sum(1 for line in host.close() if line.startswith("append "))


def main():
    for needed in (WIN32_BUILD / "KIV.dll", WIN32_BUILD / "host" / "kivhost.exe", WIN32_BUILD / "wine-run"):
        if not needed.exists():
            raise SystemExit("demo: %s is missing; build the Windows target first" % needed)
    feeds = sorted(p.name for p in SAMPLES.glob("*.xml"))
    shutil.rmtree(DEMO, ignore_errors=True)
    plugin = PluginFolder(DEMO / "plugins")

    with contextlib.ExitStack() as stack:
        authority = stack.enter_context(tls_certificates.test_authority([str(WINE_RUN)]))
        server = Servers(stack.enter_context(FeedServer()),
                         stack.enter_context(FeedServer(tls=authority.issue("demo"))))
        for name in feeds:
            (server.secure if name == HTTPS_SAMPLE else server.plain).serve("/" + name, (SAMPLES / name).read_bytes())
        plugin.write_ini("\r\n".join([FOLDER, "0", "0"] + [server.url(n) + "," + FIRST_SEEN for n in feeds]))
        show("%d sample feeds served by the local feed server at %s, %s over HTTPS at %s"
             % (len(feeds), server.plain.url("/"), HTTPS_SAMPLE, server.secure.url("/")), "\n".join(feeds))
        show("Plug-in folder %s: KIV.dll and KIV.ini; KIV.ini before the first patrol"
             % plugin.path.relative_to(ROOT), plugin.read_ini().decode("cp932"))

        appended = run_host(plugin, server, feeds, appends=len(feeds))
        messages = plugin.messages(FOLDER)
        show("The host run: its patrol at start-up appended %d messages to %s" % (appended, FOLDER))
        for number, message in enumerate(messages, 1):
            show("Message %d of %d, as stored in %s" % (number, len(messages),
                                                        plugin.store.relative_to(ROOT) / "Inbox" / "KIV"),
                 message.decode("cp932"))
        first_ini = plugin.read_ini()
        show("KIV.ini after it: each feed carries the date of its newest item", first_ini.decode("cp932"))

        again = run_host(plugin, server, feeds, menu_command=True)
        show("The host run again: a patrol at start-up and one on the menu command",
             "%d requests, %d messages appended; KIV.ini %s"
             % (2 * len(feeds), again, "unchanged" if plugin.read_ini() == first_ini else "CHANGED"))
        log = plugin.data / "patrol.log"
        show("What the three patrols say: %s, one line per feed and patrol" % log.relative_to(ROOT),
             log.read_bytes().decode("cp932") if log.exists() else "(no log)")
    if appended != len(feeds) or again != 0:
        raise SystemExit("demo: expected %d messages and then none, got %d and then %d"
                         % (len(feeds), appended, again))
    return 0


if __name__ == "__main__":
    sys.exit(main())

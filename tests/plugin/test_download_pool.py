"""Feeds download many at once, the next in the list's order starting
whenever any download ends, while messages, timestamps and log lines still
go out in the list's order."""
import time

from kivhost import HostSession
from patrol_helpers import DEFAULT, download_files, entries, feed_xml, log_lines, settings, subjects

IN_FLIGHT = 16      # feeds downloading at once, at most
FEEDS = 24
NEWEST = "2024-06-01T00:00:00+00:00"


def test_downloads_end_out_of_order_and_are_delivered_in_list_order(plugin, feed_server):
    names = ["feed-%02d" % n for n in range(FEEDS)]
    # Every feed waits for its release, so that the test decides the order
    # in which the downloads end.
    urls = [feed_server.serve("/" + name, feed_xml(name, [NEWEST]), hold=True) for name in names]
    plugin.write_ini(settings(*[url + "," + DEFAULT for url in urls]))
    host = HostSession(plugin)
    try:
        host.send("load")
        host.expect("load ok")
        feed_server.wait_requests(IN_FLIGHT)
        time.sleep(1.0)
        first_wave = [r.path for r in feed_server.requests()]
        # A download that ends lets the next feed start, whichever it was and
        # though the first feed is still on its way; nothing is delivered.
        feed_server.release("/" + names[5])
        feed_server.wait_requests(IN_FLIGHT + 1)
        time.sleep(0.5)
        second_wave = [r.path for r in feed_server.requests()]
        nothing_yet = subjects(plugin)
        # The rest end last first, the first feed at the very end.
        for name in reversed(names[1:]):
            if name != names[5]:
                feed_server.release("/" + name)
        feed_server.wait_requests(FEEDS)
        time.sleep(0.5)
        before_the_first = subjects(plugin)
        feed_server.release("/" + names[0])
        host.send("wait-appends %d 30000" % FEEDS)
        host.expect("wait-appends reached", timeout=40)
        host.send("unload")
        host.expect("unload result=")
    finally:
        host.close()
    # The downloads' threads make their requests in any order.
    assert sorted(first_wave) == ["/" + name for name in names[:IN_FLIGHT]]
    assert second_wave[:IN_FLIGHT] == first_wave and second_wave[IN_FLIGHT:] == ["/" + names[IN_FLIGHT]]
    assert nothing_yet == [] and before_the_first == []
    assert subjects(plugin) == names
    assert entries(plugin)[3:] == [url + "," + NEWEST for url in urls]
    assert [address for address, _ in log_lines(plugin)] == urls
    assert download_files(plugin) == []

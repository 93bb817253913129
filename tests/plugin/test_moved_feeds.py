"""Feeds that move, through the real KIV.dll under Wine: a feed whose server
answers with the same permanent redirect on three patrols in a row is listed
under its new address from then on, its timestamp and record going with it,
and the log says so; temporary redirects never change the list."""
from kivhost import run_host
from patrol_helpers import entries, feed_xml, fresh_feed, log_lines, settings

STAMP = "2024-05-01T00:00:00+00:00"


def record_name(url):
    """feed-<FNV-1a digest of the address>.rec"""
    digest = 14695981039346656037
    for byte in url.encode("cp932"):
        digest = ((digest ^ byte) * 1099511628211) % (1 << 64)
    return "feed-%016x.rec" % digest


def test_three_permanent_redirects_in_a_row_move_the_entry_and_temporary_ones_never(plugin, feed_server):
    sentinel = feed_server.serve("/sentinel", fresh_feed("sentinel"))
    new_home = feed_server.serve("/new", fresh_feed("moved"))
    moved = feed_server.serve("/old", status=301, headers=[("Location", "/new")])
    feed_server.serve("/elsewhere", feed_xml("elsewhere", ["2024-06-01T00:00:00+00:00"]))
    visiting = {status: feed_server.serve("/visiting%d" % status, status=status,
                                          headers=[("Location", "/elsewhere")]) for status in (302, 303, 307)}
    lasting = feed_server.serve("/lasting", status=308, headers=[("Location", "/elsewhere")])
    listed = [moved, *visiting.values(), lasting, sentinel]
    plugin.write_ini(settings(*[url + "," + STAMP for url in listed]))

    seen = []
    for patrol in range(3):
        run_host(plugin, "load", "wait-appends %d 60000" % (len(listed) if patrol == 0 else 2), "sleep 300", "unload")
        seen.append(entries(plugin)[3:])
        if patrol < 2:
            # Not yet: two in a row, the entry as it was apart from its timestamp.
            assert [e.split(",")[0] for e in seen[-1]] == listed
    after = seen[-1]
    new_entry = [e for e in after if e.startswith(new_home + ",")]
    # The first entry is listed under its new address, in its place, with the
    # timestamp of what it delivered; the 308 one went too; 302, 303, 307 never.
    assert [e.split(",")[0] for e in after] == [new_home, *visiting.values(),
                                               feed_server.url("/elsewhere"), sentinel]
    assert new_entry and new_entry[0].split(",")[1] > STAMP
    lines = log_lines(plugin)
    assert (moved, "moved for good, listed as %s from now on" % new_home) in lines
    assert (lasting, "moved for good, listed as %s from now on" % feed_server.url("/elsewhere")) in lines
    assert not any(words.startswith("moved") for url, words in lines if url in visiting.values())

    # The record went with it, under the new address and without the streak;
    # the next patrol asks the new address alone.
    record = (plugin.data / record_name(new_home)).read_bytes()
    assert record.startswith(b"KIV feed record 2\nurl " + new_home.encode() + b"\n") and b"\nmoved " not in record
    assert not (plugin.data / record_name(moved)).exists()
    for url in visiting.values():  # a temporary redirect starts no streak
        assert b"\nmoved " not in (plugin.data / record_name(url)).read_bytes()
    before = len(feed_server.requests("/old"))
    run_host(plugin, "load", "wait-appends 2 60000", "sleep 300", "unload")
    assert len(feed_server.requests("/old")) == before and len(feed_server.requests("/new")) == 4

"""Each item delivered once on real feeds, through the real KIV.dll under
Wine: items dated by pubDate and Atom's updated/published, undated items,
items whose dates do not increase, all remembered by key in the feed's
record, an old item listed first, and conditional requests answered with
304. Each scenario runs two or three patrols."""
import os
import random
import re
import time
from datetime import datetime, timedelta, timezone

import pytest

from feed_server import http_date
from kivhost import HostSession, run_host
from patrol_helpers import DEFAULT, entries, log_lines, settings, subjects

SIGNATURE = b"KIV feed record 2\n"


def rss20(title, items):
    """An RSS 2.0 feed; items are dicts of child element texts, in order."""
    body = "".join("<item>%s</item>\n" % "".join("<%s>%s</%s>" % (k, v, k) for k, v in item.items())
                   for item in items)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<rss version=\"2.0\"><channel><title>%s</title>"
            "<link>http://example.net/%s</link><description>d</description>\n%s</channel></rss>\n"
            % (title, title, body)).encode()


def atom10(title, entries_):
    body = "".join("<entry><title>%s</title><id>tag:%s</id>%s</entry>\n"
                   % (e["title"], e["title"], "".join("<%s>%s</%s>" % (k, v, k) for k, v in e.items()
                                                      if k != "title"))
                   for e in entries_)
    return ("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<feed xmlns=\"http://www.w3.org/2005/Atom\">"
            "<title>%s</title><link href=\"http://example.net/%s\"/>\n%s</feed>\n" % (title, title, body)).encode()


def record_name(url):
    """The record file of a feed: FNV-1a of its address."""
    digest = 0xcbf29ce484222325
    for byte in url.encode():
        digest = ((digest ^ byte) * 0x100000001b3) & 0xFFFFFFFFFFFFFFFF
    return "feed-%016x.rec" % digest


def item_titles(message):
    return [t.decode("cp932") for t in re.findall(rb"^(.+?) \[ .* \]$", message, re.M)]


def delivered(plugin, start=0):
    """{feed title: [item titles]} of the messages from number start on."""
    found = {}
    for message, subject in list(zip(plugin.messages(), subjects(plugin)))[start:]:
        found.setdefault(subject, []).extend(item_titles(message))
    return found


def patrol_until_quiet(plugin, feed_server, requests_per_path):
    """One patrol at start-up, ended once every feed was asked for and its
    answer had time to be converted."""
    session = HostSession(plugin)
    session.send("load")
    for path, count in requests_per_path.items():
        feed_server.wait_requests(count, path)
    session.send("sleep 1500")
    session.send("unload")
    session.expect("unload result=1")
    session.close()


def scenarios():
    """(name, first document, second document, newest date after each or None
    for undated feeds, the new item's title)."""
    a, b = {"title": "a1", "pubDate": "Sat, 01 Jun 2024 10:00:00 GMT"}, \
           {"title": "a0", "pubDate": "fri, 31 may 24 10:00 +0900"}
    new = {"title": "a2", "pubDate": "Sun, 2 Jun 2024 08:30:00 +0200"}
    pinned = {"title": "p0", "pubDate": "Mon, 01 Jan 2018 00:00:00 GMT"}
    e1 = {"title": "e1", "updated": "2024-06-01T10:00:00Z"}
    e0 = {"title": "e0", "published": "2024-05-31t10:00:00.250z"}
    e2 = {"title": "e2", "published": "2024-06-02T00:00:00+09:00"}
    g = [{"title": "g%d" % i, "guid": "urn:g:%d" % i, "link": "http://example.net/same"} for i in range(3)]
    l_ = [{"title": "l%d" % i, "link": "http://example.net/l/%d" % i} for i in range(3)]
    return [
        ("pubdate", rss20("pubdate", [a, b]), rss20("pubdate", [new, a, b]),
         ("2024-06-01T10:00:00+00:00", "2024-06-02T08:30:00+02:00"), "a2"),
        ("atom", atom10("atom", [e1, e0]), atom10("atom", [e2, e1, e0]),
         ("2024-06-01T10:00:00+00:00", "2024-06-02T00:00:00+09:00"), "e2"),
        ("guid", rss20("guid", g[:2]), rss20("guid", [g[2]] + g[:2]), None, "g2"),
        ("link", rss20("link", l_[:2]), rss20("link", [l_[2]] + l_[:2]), None, "l2"),
        ("pinned", rss20("pinned", [pinned, a, b]), rss20("pinned", [pinned, new, a, b]),
         ("2024-06-01T10:00:00+00:00", "2024-06-02T08:30:00+02:00"), "a2"),
    ]


def test_three_patrols_deliver_each_item_once(plugin, feed_server):
    now = datetime.now(timezone.utc).replace(microsecond=0)
    lines, expected = [], []
    for name, first, second, newest, new_title in scenarios():
        for with_date in (False, True):
            title = name + ("-lm" if with_date else "")
            first_doc, second_doc = (d.replace(b">%s<" % name.encode(), b">%s<" % title.encode())
                                     .replace(b"/%s\"" % name.encode(), b"/%s\"" % title.encode())
                                     .replace(b"/%s<" % name.encode(), b"/%s<" % title.encode())
                                     for d in (first, second))
            last_modified = None
            if with_date and newest:
                last_modified = lambda n, d=newest: http_date(d[0] if n == 1 else d[1])
            elif with_date:  # changed an hour ago, then again after the first patrol
                last_modified = lambda n: http_date(now + timedelta(hours=-1 if n == 1 else 1))
            url = feed_server.serve("/" + title, lambda n, a=first_doc, b=second_doc: a if n == 1 else b,
                                    last_modified=last_modified)
            lines.append(url + "," + DEFAULT)
            expected.append((title, url, newest, new_title))
    plugin.write_ini(settings(*lines))
    paths = ["/" + title for title, *_ in expected]

    run_host(plugin, "load", "wait-appends %d 60000" % len(expected), "unload")
    first = delivered(plugin)
    assert sorted(first) == sorted(title for title, *_ in expected)
    assert all(len(items) == len(set(items)) >= 2 for items in first.values()), first
    for (title, url, newest, _), entry in zip(expected, entries(plugin)[3:]):
        assert entry.startswith(url + ",")
        if newest:
            assert entry == url + "," + newest[0]

    run_host(plugin, "load", "wait-appends %d 60000" % len(expected), "unload")
    second = delivered(plugin, len(expected))
    assert second == {title: [new_title] for title, _, _, new_title in expected}
    after_second = plugin.read_ini()
    for (title, url, newest, _), entry in zip(expected, entries(plugin)[3:]):
        if newest:
            assert entry == url + "," + newest[1]

    patrol_until_quiet(plugin, feed_server, {path: 3 for path in paths})
    assert len(plugin.messages()) == 2 * len(expected)
    # The feeds with Last-Modified were not even downloaded; the others were
    # converted to nothing, and only the undated ones' timestamps are clock times.
    assert [e for e in entries(plugin) if "-lm," in e] == [e for e in after_second.decode().split() if "-lm," in e]
    for title, url, _, _ in expected:
        record = (plugin.data / record_name(url)).read_bytes()
        assert record.startswith(SIGNATURE + b"url " + url.encode() + b"\n") and record.endswith(b"\nend\n")


def test_items_whose_dates_do_not_increase_are_new_by_their_keys(plugin, feed_server):
    """Three patrols of feeds that change between them as feeds do; each
    patrol delivers exactly what a reader has not seen, and says so."""
    def item(title, day, month=6, description="d"):
        return {"title": title, "guid": "urn:" + title, "description": description,
                "pubDate": http_date(datetime(2024, month, day, tzinfo=timezone.utc))}
    a1, a2 = item("a1", 1), item("a2", 1)                     # dated by the day
    b2, b1, b0 = item("b2", 2), item("b1", 1), item("b0", 20, 5)
    r3, r2, r1 = item("r3", 3), item("r2", 2), item("r1", 1)
    e1, e1_edited, e2 = item("e1", 1), item("e1", 3, description="edited"), item("e2", 4)
    m3, m2, m1, m0, m_ = item("m3", 3), item("m2", 2), item("m1", 1), item("m0", 30, 5), item("m-", 29, 5)
    feeds = [  # name, documents of the three patrols, items each delivers
        ("sameday", [[a1], [a2, a1], [a2, a1]], [["a1"], ["a2"], []]),
        ("backdated", [[b2, b1], [b2, b0, b1], [b2, b0, b1]], [["b2", "b1"], ["b0"], []]),
        ("returns", [[r2, r1], [r3, r2], [r3, r2, r1]], [["r2", "r1"], ["r3"], []]),
        ("edited", [[e1], [e1_edited], [e2, e1_edited]], [["e1"], [], ["e2"]]),
        # Its record lost before the second patrol: the dates decide once,
        # then the keys again.
        ("lost", [[m2, m1], [m3, m0, m2, m1], [m3, m0, m_, m2, m1]], [["m2", "m1"], ["m3"], ["m-"]]),
    ]
    patrol = [0]
    urls = [feed_server.serve("/" + name, lambda _, name=name, docs=docs: rss20(name, docs[patrol[0]]))
            for name, docs, _ in feeds]
    plugin.write_ini(settings(*(u + "," + DEFAULT for u in urls)))
    for patrol[0] in range(3):
        if patrol[0] == 1:
            (plugin.data / record_name(urls[-1])).unlink()
        expected = {name: wanted[patrol[0]] for name, _, wanted in feeds if wanted[patrol[0]]}
        before = len(plugin.messages())
        # The last feed delivers each time, so every feed was patrolled once its message is in.
        run_host(plugin, "load", "wait-appends %d 60000" % len(expected), "unload")
        assert delivered(plugin, before) == expected, patrol[0]
        assert log_lines(plugin)[-len(feeds):] == [
            (url, "delivered %d item%s" % (len(wanted[patrol[0]]), "s" if len(wanted[patrol[0]]) > 1 else "")
             if wanted[patrol[0]] else "no new items") for url, (_, _, wanted) in zip(urls, feeds)]
        # The last-seen time is the newest date delivered, never moved back.
        assert entries(plugin)[4] == urls[1] + ",2024-06-02T00:00:00+00:00"
    for url in urls:
        record = (plugin.data / record_name(url)).read_bytes()
        assert record.startswith(SIGNATURE + b"url " + url.encode() + b"\n"), record
    assert b"\nkey g urn:m1\nkey g urn:m2\nkey g urn:m-\nkey g urn:m0\nkey g urn:m3\nend\n" in \
        (plugin.data / record_name(urls[-1])).read_bytes()


def test_a_record_of_the_earlier_version_is_read_and_rewritten(plugin, feed_server):
    """A record that an earlier version wrote holds undated items' keys: those
    stay known, the dates decide once, and the record becomes version 2."""
    items = [{"title": "new", "guid": "urn:new", "pubDate": "Mon, 03 Jun 2024 00:00:00 GMT"},
             {"title": "seen", "guid": "urn:seen"},
             {"title": "old", "guid": "urn:old", "pubDate": "Sat, 01 Jun 2024 00:00:00 GMT"}]
    url = feed_server.serve("/upgraded", rss20("upgraded", items))
    plugin.data.mkdir()
    (plugin.data / record_name(url)).write_bytes(b"KIV feed record 1\nurl " + url.encode() +
                                                 b"\netag \"v0\"\nkey g urn:seen\nend\n")
    plugin.write_ini(settings(url + ",2024-06-02T00:00:00+00:00"))
    run_host(plugin, "load", "wait-appends 1 60000", "unload")
    assert delivered(plugin) == {"upgraded": ["new"]}
    assert (plugin.data / record_name(url)).read_bytes() == \
        SIGNATURE + b"url " + url.encode() + b"\ntitle upgraded\nlink http://example.net/upgraded" + \
        b"\nkey g urn:old\nkey g urn:seen\nkey g urn:new\nend\n"


def test_conditional_requests_and_304(plugin, feed_server):
    feed = rss20("both", [{"title": "c1", "pubDate": "Sat, 01 Jun 2024 10:00:00 GMT"}])
    date = "Sat, 01 Jun 2024 10:00:00 GMT"
    both = feed_server.serve("/both", feed, etag="\"v1\"", last_modified=date, conditional=True)
    weak = feed_server.serve("/weak", rss20("weak", [{"title": "w", "guid": "w"}]), etag="W/\"x, y\"",
                             conditional=True)
    ignores = feed_server.serve("/ignores", rss20("ignores", [{"title": "i", "guid": "i"}]), etag="\"v9\"")
    plain = feed_server.serve("/plain", rss20("plain", [{"title": "n", "guid": "n"}]))
    plugin.write_ini(settings(*(u + "," + DEFAULT for u in (both, weak, ignores, plain))))
    run_host(plugin, "load", "wait-appends 4 60000", "unload")
    assert sorted(subjects(plugin)) == ["both", "ignores", "plain", "weak"]
    ini = plugin.read_ini()
    records = {u: (plugin.data / record_name(u)).read_bytes() for u in (both, weak)}
    assert b"\netag \"v1\"\nlast-modified " + date.encode() + b"\n" in records[both]
    for request in feed_server.requests():
        assert request.header("If-None-Match") is None and request.header("If-Modified-Since") is None

    patrol_until_quiet(plugin, feed_server, {"/both": 2, "/weak": 2, "/ignores": 2, "/plain": 2})
    assert [(r.header("If-None-Match"), r.header("If-Modified-Since")) for r in feed_server.requests()[4:]] \
        and {r.path: (r.header("If-None-Match"), r.header("If-Modified-Since"))
             for r in feed_server.requests()[4:]} == {
            "/both": ("\"v1\"", date), "/weak": ("W/\"x, y\"", None), "/ignores": ("\"v9\"", None),
            "/plain": (None, None)}
    # 304s and a server that ignores the validators: nothing appended, nothing rewritten.
    assert len(plugin.messages()) == 4
    assert plugin.read_ini() == ini
    assert {u: (plugin.data / record_name(u)).read_bytes() for u in (both, weak)} == records


@pytest.mark.parametrize("per_item", [False, True], ids=["per feed", "per item"])
def test_validators_kept_whatever_the_patrol_decided(plugin, feed_server, per_item):
    """Each server's validators go back from the second patrol on, whether
    its feed delivered, had nothing new or was unchanged by its date; a
    server with Last-Modified alone then answers 304. One that ignores them
    still gets them, and its record is not written again."""
    old, last_seen = "Sat, 01 Jun 2024 10:00:00 GMT", "2024-06-02T00:00:00+00:00"
    seen = [{"title": "s", "guid": "urn:s", "pubDate": old}]
    fresh = [{"title": "n", "guid": "urn:n", "pubDate": "Mon, 03 Jun 2024 10:00:00 GMT"}]
    served = {  # path: (feed, server's validators, conditional, delivered at the first patrol)
        "/dated-alone": (seen, dict(last_modified=old), True, False),
        "/new-dated": (fresh, dict(last_modified="Mon, 03 Jun 2024 10:00:00 GMT"), True, True),
        "/nothing-new": (seen, dict(etag="\"e1\"", last_modified="Mon, 03 Jun 2024 11:00:00 GMT"), True, False),
        "/ignores": (seen, dict(last_modified=old), False, False),
    }
    urls = {path: feed_server.serve(path, rss20(path[1:], feed), conditional=conditional, **validators)
            for path, (feed, validators, conditional, _) in served.items()}
    if per_item:
        plugin.data.mkdir()
        (plugin.data / "options.ini").write_bytes(b"one-mail-per-item=1\r\n")
    plugin.write_ini(settings(*(url + "," + last_seen for url in urls.values())))
    patrol_until_quiet(plugin, feed_server, {path: 1 for path in served})
    assert len(plugin.messages()) == 1
    records = {path: (plugin.data / record_name(url)).read_bytes() for path, url in urls.items()}
    for path, (_, validators, _, _) in served.items():
        kept = b"".join(b"%s %s\n" % (name.replace("_", "-").encode(), value.encode())
                        for name, value in validators.items())
        assert b"\n" + kept in records[path], path
    # The feed that never delivered knows no keys yet: its record says so.
    assert records["/dated-alone"].startswith(b"KIV feed record 1\n")
    first = dict(log_lines(plugin))
    assert first[urls["/dated-alone"]] == first[urls["/ignores"]] == "unchanged (Last-Modified)"
    assert (first[urls["/new-dated"]], first[urls["/nothing-new"]]) == ("delivered 1 item", "no new items")

    patrol_until_quiet(plugin, feed_server, {path: 2 for path in served})
    second = {r.path: (r.header("If-None-Match"), r.header("If-Modified-Since"))
              for r in feed_server.requests()[len(served):]}
    assert second == {path: (validators.get("etag"), validators.get("last_modified"))
                      for path, (_, validators, _, _) in served.items()}
    words = dict(log_lines(plugin)[len(served):])
    assert [words[url] for url in urls.values()] == ["unchanged (304 Not Modified)"] * 3 + \
        ["unchanged (Last-Modified)"]
    assert len(plugin.messages()) == 1
    assert {path: (plugin.data / record_name(url)).read_bytes() for path, url in urls.items()} == records


def test_bad_records_count_as_none_and_unlisted_ones_go(plugin, feed_server):
    urls = [feed_server.serve("/b%d" % i, rss20("b%d" % i, [{"title": "x%d" % i, "guid": "x"},
                                                            {"title": "y%d" % i, "link": "http://y/"}]))
            for i in range(6)]
    plugin.data.mkdir()
    cut = SIGNATURE + b"url " + urls[1].encode() + b"\nkey g x\nkey l http://"
    (plugin.data / record_name(urls[1])).write_bytes(cut)
    (plugin.data / record_name(urls[2])).write_bytes(b"")
    (plugin.data / record_name(urls[3])).write_bytes(bytes(range(256)) * 8)
    with open(plugin.data / record_name(urls[4]), "wb") as huge:
        huge.write(SIGNATURE + b"url " + urls[4].encode() + b"\nkey g x\n")
        huge.truncate(50 << 20)
    (plugin.data / record_name(urls[5])).mkdir()  # no record can be written there
    unlisted = plugin.data / record_name("http://gone.example/feed")
    unlisted.write_bytes(SIGNATURE + b"url http://gone.example/feed\nend\n")
    (plugin.data / "keep.txt").write_bytes(b"mine")
    plugin.write_ini(settings(*(u + "," + DEFAULT for u in urls)))
    run_host(plugin, "load", "wait-appends 6 60000", "unload")
    assert delivered(plugin) == {"b%d" % i: ["x%d" % i, "y%d" % i] for i in range(6)}
    for i, url in enumerate(urls[:5]):
        record = (plugin.data / record_name(url)).read_bytes()
        assert record == SIGNATURE + b"url " + url.encode() + b"\ntitle b%d\nlink http://example.net/b%d" % (i, i) + \
            b"\nkey l http://y/\nkey g x\nend\n"
    assert (plugin.data / record_name(urls[5])).is_dir()
    assert not unlisted.exists() and (plugin.data / "keep.txt").read_bytes() == b"mine"


@pytest.mark.parametrize("per_item", [False, True], ids=["one mail per feed", "one mail per item"])
def test_host_killed_at_random_moments(plugin, feed_server, per_item):
    """KIV_KILL_ITERATIONS (default 10) patrols, each killed at a random
    moment while the feeds gain one item each (two in one mail per item, so
    that kills fall between a feed's messages too); then one whole patrol."""
    iterations = int(os.environ.get("KIV_KILL_ITERATIONS", "10"))
    step = 2 if per_item else 1
    generation = [0]

    def body(name, dated):
        def make(_):
            items = []
            for k in range(generation[0], -1, -1):
                item = {"title": "%s-%d" % (name, k), "guid": "urn:%s:%d" % (name, k)}
                if dated:
                    item["pubDate"] = http_date(datetime(2024, 6, 1, tzinfo=timezone.utc) + timedelta(minutes=k))
                items.append(item)
            return rss20(name, items)
        return make

    names = ["d0", "d1", "u0", "u1"]
    urls = [feed_server.serve("/" + n, body(n, n.startswith("d"))) for n in names]
    plugin.write_ini(settings(*(u + "," + DEFAULT for u in urls)))
    if per_item:
        plugin.data.mkdir()
        (plugin.data / "options.ini").write_bytes(b"one-mail-per-item=1\r\n")
    rng = random.Random(int(os.environ.get("KIV_KILL_SEED", "9")))
    for _ in range(iterations):
        generation[0] += step
        asked = len(feed_server.requests())
        session = HostSession(plugin)
        session.send("load")
        try:
            feed_server.wait_requests(asked + 1)
        except AssertionError as error:
            # What the host said, and the data folder, tell where it stood.
            session.process.kill()
            raise AssertionError("%s\nhost: %r\ndata: %r" % (error, session.close()[-20:],
                                                              sorted(p.name for p in plugin.data.iterdir())))
        time.sleep(rng.uniform(0, 0.4))
        session.process.kill()
        session.close()
        listed = entries(plugin)
        assert listed[:3] == ["Inbox\\KIV", "0", "0"] and len(listed) == 7
        for url, entry in zip(urls, listed[3:]):
            assert re.fullmatch(re.escape(url) + r",\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d", entry), entry
        for record in plugin.data.glob("feed-*.rec"):
            text = record.read_bytes()
            assert text.startswith(SIGNATURE) and text.endswith(b"\nend\n"), record
    # Whole patrols until one brings nothing: one mail per item delivers at
    # most 50 items of a feed a patrol, and killed patrols may leave more.
    before = -1
    while len(plugin.messages()) != before:
        before = len(plugin.messages())
        patrol_until_quiet(plugin, feed_server, {None: len(feed_server.requests()) + 4})
    messages = plugin.messages()
    seen, repeated = set(), 0
    for message, subject in zip(messages, subjects(plugin)):
        titles = item_titles(message)
        repeated += any(t in seen for t in titles)
        seen.update(titles)
    everything = {"%s-%d" % (n, k) for n in names for k in range(generation[0] + 1)}
    print("kills=%d messages=%d repeated=%d" % (iterations, len(messages), repeated))
    assert everything <= seen
    # Only the feed in hand at a kill may come again; of one mail per item,
    # only the item in hand.
    assert repeated <= iterations

"""Downloads through the real KIV.dll under Wine, from the local feed server:
the request's form, the date headers that decide whether a body is fetched,
and bodies of every kind. One patrol per test: each case is a feed of its own,
and a last feed that always delivers marks the patrol's end."""
from feed_server import http_date
from kivhost import run_host
from patrol_helpers import DEFAULT, download_files, entries, feed_xml, fresh_feed, settings, subjects

LAST_SEEN = "2024-05-03T18:00:00+09:00"   # 09:00:00 UTC
NEWEST = "2024-06-01T00:00:00+00:00"
ITEMS = [NEWEST, "2024-05-20T00:00:00+00:00"]


def patrol(plugin, feed_server, cases):
    """Serves each case (name, entry timestamp or None for no comma, serve
    options) and runs one patrol; gives the delivered case names, the
    entries written back by name and the requests by name."""
    lines = []
    for name, timestamp, options in cases:
        url = feed_server.serve("/" + name, options.pop("body", feed_xml(name, ITEMS)), **options)
        lines.append(url if timestamp is None else url + "," + timestamp)
    lines.append(feed_server.serve("/sentinel", fresh_feed("sentinel")) + "," + DEFAULT)
    plugin.write_ini(settings(*lines))
    delivered = len([c for c in cases if c[0].startswith("new")]) + 1
    output = run_host(plugin, "load", "wait-appends %d 60000" % delivered, "unload")
    assert "wait-appends reached appends=%d commands=0" % delivered in output, output
    written = {e.split(",")[0].rsplit("/", 1)[1]: e for e in entries(plugin)[3:]}
    requested = {r.path[1:]: r for r in feed_server.requests()}
    assert download_files(plugin) == []
    return subjects(plugin), written, requested


def test_date_headers_decide_whether_the_body_is_fetched(plugin, feed_server):
    equal = http_date("2024-05-03T09:00:00Z")
    later = http_date("2024-05-03T09:00:01Z")
    earlier = http_date("2024-05-03T08:59:59Z")
    # Names starting with "new" must be fetched and delivered, "old" not.
    cases = [
        ("old-lm-equal", LAST_SEEN, dict(last_modified=equal)),
        ("new-lm-one-second-later", LAST_SEEN, dict(last_modified=later)),
        ("old-lm-earlier", LAST_SEEN, dict(last_modified=earlier)),
        ("new-no-date-headers", LAST_SEEN, {}),
        ("old-lm-obsolete-form", LAST_SEEN, dict(last_modified="Friday, 03-May-24 09:00:00 GMT")),
        ("old-lm-asctime-form", LAST_SEEN, dict(last_modified="Fri May  3 09:00:00 2024")),
        ("old-lm-utc-last-seen", "2024-05-03T09:00:00Z", dict(last_modified=equal)),
        # Values the platform's own reader could not survive read as no date.
        ("new-lm-one-digit-day", "2024-05-04T18:00:00+09:00", dict(last_modified="Sat, 4 May 2024 09:00:00 GMT")),
        ("new-lm-garbage", LAST_SEEN, dict(last_modified="yesterday, around noon")),
        ("new-lm-empty", LAST_SEEN, dict(last_modified="")),
        ("new-lm-year-1800", LAST_SEEN, dict(last_modified="Wed, 01 Jan 1800 00:00:00 GMT")),
        # If-Modified-Since in the response is tested the same way, after.
        ("old-ims-equal", LAST_SEEN, dict(if_modified_since=equal)),
        ("old-lm-later-ims-equal", LAST_SEEN, dict(last_modified=later, if_modified_since=equal)),
        ("new-lm-later-ims-later", LAST_SEEN, dict(last_modified=later, if_modified_since=later)),
        ("new-ims-garbage", LAST_SEEN, dict(if_modified_since="Sun, 06 Nov 1994 08:49:37")),
        # Without a usable last-seen timestamp the body is always fetched.
        ("new-no-timestamp", None, dict(last_modified=earlier)),
        ("new-empty-timestamp", "", dict(last_modified=earlier)),
        ("new-invalid-timestamp", "2024-05-03T18:00:00", dict(last_modified=earlier)),
        ("new-text-after-timestamp", LAST_SEEN + ",more", dict(last_modified=earlier)),
    ]
    delivered, written, requested = patrol(plugin, feed_server, cases)

    assert delivered == [name for name, _, _ in cases if name.startswith("new")] + ["sentinel"]
    for name, timestamp, _ in cases:
        assert name in requested
        url = feed_server.url("/" + name)
        if name.startswith("new"):
            assert written[name] == url + "," + NEWEST
        else:
            assert written[name] == url + "," + timestamp


def test_bodies_are_saved_whatever_the_status_and_size(plugin, feed_server):
    exact = feed_xml("new-exactly-1000-bytes", ITEMS)
    exact = exact.replace(b"</rdf:RDF>\n", b"</rdf:RDF>" + b" " * (1000 - len(exact)) + b"\n")
    assert len(exact) == 1000
    big_dates = ["2024-06-01T%02d:%02d:00+00:00" % divmod(59 * 24 - i, 60) for i in range(400)]
    cases = [
        ("new-404-with-feed-body", LAST_SEEN, dict(status=404)),
        ("new-500-with-feed-body", LAST_SEEN, dict(status=500)),
        ("old-empty-body", LAST_SEEN, dict(body=b"")),
        ("old-not-a-feed", LAST_SEEN, dict(body=b"<html><body>Gone fishing</body></html>")),
        ("new-exactly-1000-bytes", LAST_SEEN, dict(body=exact)),
        ("new-many-chunks", LAST_SEEN, dict(body=feed_xml("new-many-chunks", big_dates))),
        ("new-lf-and-crlf-lines", LAST_SEEN, dict(body=feed_xml("new-lf-and-crlf-lines", ITEMS).replace(
            b"<item", b"\r\n<item"))),
    ]
    delivered, written, _ = patrol(plugin, feed_server, cases)
    assert delivered == [name for name, _, _ in cases if name.startswith("new")] + ["sentinel"]
    assert written["old-empty-body"].endswith("," + LAST_SEEN)
    messages = plugin.messages()
    exact_message = messages[delivered.index("new-exactly-1000-bytes")]
    assert b"new-exactly-1000-bytes item 1" in exact_message
    many = messages[delivered.index("new-many-chunks")]
    assert many.count(b"new-many-chunks item ") == 400
    assert written["new-many-chunks"].endswith(",2024-06-01T23:36:00+00:00")


def test_request_is_a_plain_get_with_the_agent_following_redirects(plugin, feed_server):
    target = feed_server.serve("/feeds/target.xml?kind=rss&n=1", feed_xml("redirected", ITEMS))
    moved = feed_server.serve("/moved?from=old", status=302, headers=[("Location", target)])
    plugin.write_ini(settings(moved + "," + LAST_SEEN))
    run_host(plugin, "load", "wait-appends 1 30000", "unload")
    assert subjects(plugin) == ["redirected"]
    assert entries(plugin)[3] == moved + "," + NEWEST
    first, second = feed_server.requests()
    assert (first.path, second.path) == ("/moved?from=old", "/feeds/target.xml?kind=rss&n=1")
    for request in (first, second):
        assert (request.method, request.version) == ("GET", "HTTP/1.1")
        assert request.header("User-Agent") == "kiv1.08 (KIV feed reader plug-in for Quenda)"
        assert request.header("Accept") == ("application/rss+xml, application/atom+xml, application/rdf+xml, "
                                            "application/xml;q=0.9, text/xml;q=0.9, */*;q=0.8")
        assert request.header("Accept-Encoding") == "gzip, deflate"
        for conditional in ("If-Modified-Since", "If-None-Match", "Range", "Cookie", "Authorization"):
            assert request.header(conditional) is None

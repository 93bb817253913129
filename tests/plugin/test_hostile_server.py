"""Hostile and broken feed servers, through the real KIV.dll under Wine.

Each case is a feed placed between two good feeds of one patrol. Whatever it
sends, the host stays up and answers, the patrol goes on within its bound and
delivers both good feeds, the settings file ends exactly as expected (the
hostile entry kept as it was, or carrying its new timestamp when the case is
a feed after all) and no download file is left behind."""
import random

import pytest

from feed_server import FeedServer
from kivhost import run_host
from patrol_helpers import DEFAULT, download_files, feed_xml, settings, subjects

MiB = 1 << 20
SIZE_BOUND = 8 * MiB     # the most a feed's body may hold
NEWEST = "2024-06-01T00:00:00+00:00"
QUICK_FEED = 20          # seconds a feed that needs no waiting may take, generously
LONGEST_FEED = 40        # the plug-in's own limit: 10 s for every wait, no read after 30 s

DECLARATION = b'<?xml version="1.0" encoding="UTF-8"?>\n'


def rss(title, item=b"", channel=b"", declaration=DECLARATION):
    """An RSS 1.0 feed with one item dated NEWEST; item and channel are markup
    added to the item and the channel."""
    title = title.encode() if isinstance(title, str) else title
    date = b"<dc:date>" + NEWEST.encode() + b"</dc:date>"
    return (declaration +
            b'<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#" '
            b'xmlns="http://purl.org/rss/1.0/" xmlns:dc="http://purl.org/dc/elements/1.1/">\n'
            b"<channel><title>" + title + b"</title><link>http://example.net/</link>"
            b"<description>hostile</description>" + channel + b"</channel>\n"
            b"<item><title>" + title + b" item</title><link>http://example.net/1</link>" + item + date +
            b"</item>\n</rdf:RDF>\n")


def padded(title, size):
    """A feed of exactly `size` bytes, its item description filling it out."""
    bare = rss(title, b"<description></description>")
    return rss(title, b"<description>" + b"x" * (size - len(bare)) + b"</description>")


def raw_response(head, body=b""):
    return head.replace(b"\n", b"\r\n") + b"\r\n\r\n" + body


def noise(size, seed):
    return random.Random(seed).randbytes(size)


# The feed around each hostile one.
GOOD = feed_xml("good", [NEWEST])

# name: (serve options, delivered). A case that is delivered is a feed after all.
CASES = {
    # Bodies far larger than any feed, announced or not, and one that never ends.
    "feed-of-20-mib": (dict(body=padded("big", 20 * MiB)), False),
    "feed-just-over-the-bound-unannounced": (
        dict(raw=raw_response(b"HTTP/1.1 200 OK\nConnection: close", padded("over", SIZE_BOUND + 1))), False),
    "feed-at-the-bound": (dict(body=padded("at-bound", SIZE_BOUND)), True),
    "endless-body": (dict(body=rss("endless")[:-len(b"</rdf:RDF>\n")],
                          endless=b"<item><title>more</title></item>\n" * 64), False),
    "length-announced-beyond-4-gib": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nContent-Length: 99999999999",
                                                            rss("huge-length"))), False),
    # Redirects that go nowhere.
    "redirect-to-itself": (dict(status=302, headers=[("Location", "/redirect-to-itself")]), False),
    "redirect-ping-pong": (dict(status=301, headers=[("Location", "/pong")]), False),
    "redirect-to-a-local-file": (dict(status=302, headers=[("Location", "file:///etc/hostname")]), False),
    "redirect-without-location": (dict(status=302, body=b"moved"), False),
    # Wrong, missing and broken headers.
    "not-http-at-all": (dict(raw=b"hello, this is not HTTP\r\n" + rss("not-http")), True),
    "status-line-only": (dict(raw=b"HTTP/1.1 200 OK\r\n"), False),
    "header-line-of-1-mib": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nX-Filler: " + b"y" * MiB +
                                                   b"\nConnection: close", rss("long-header"))), True),
    "100000-headers": (dict(raw=raw_response(b"HTTP/1.1 200 OK\n" + b"X-H: v\n" * 100000 + b"Connection: close",
                                             rss("many-headers"))), True),
    "length-not-a-number": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nContent-Length: lots\nConnection: close",
                                                  rss("length-nan"))), True),
    "length-negative": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nContent-Length: -5\nConnection: close",
                                              rss("length-negative"))), True),
    "chunked-with-a-bad-size": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nTransfer-Encoding: chunked",
                                                      b"zz\r\n" + rss("bad-chunk") + b"\r\n0\r\n\r\n")), False),
    "chunked-announcing-4-gib": (dict(raw=raw_response(b"HTTP/1.1 200 OK\nTransfer-Encoding: chunked",
                                                       b"ffffffff\r\n" + rss("huge-chunk"))), True),
    "feed-as-a-png": (dict(body=rss("png"), headers=[("Content-Type", "image/png")]), True),
    "feed-with-a-500": (dict(body=rss("error-page"), status=500), True),
    # Bodies that are not XML.
    "html-page": (dict(body=b"<!DOCTYPE html><html><body><p>Gone fishing<br></body></html>"), False),
    "binary-noise": (dict(body=noise(256 * 1024, 1)), False),
    "binary-without-nul": (dict(body=bytes(b for b in noise(256 * 1024, 2) if b)), False),
    # UTF-16 is read as UTF-8 is, whatever the declaration names.
    "utf-16-feed": (dict(body=b"\xff\xfe" + rss("utf16").decode().encode("utf-16-le")), True),
    "feed-then-nul-then-noise": (dict(body=rss("nul-after") + b"\0" + noise(4096, 3)), True),
    # Documents that are malformed.
    "unclosed-elements": (dict(body=rss("unclosed")[:-len(b"</item>\n</rdf:RDF>\n")] + b"<b><i>"), False),
    "mismatched-end-tag": (dict(body=rss("mismatched", b"<b></i>")), False),
    "cut-in-a-multi-byte-character": (dict(body=rss("cut", b"<description>\xe3\x81")[:-80]), False),
    "attribute-without-quotes-and-with-a-stray-one": (dict(body=rss("stray", b'<b x=a"b/>')), False),
    # Very deep, very wide, very large inside.
    "elements-100000-deep": (dict(body=rss("deep", b"<b>" * 100000 + b"</b>" * 100000)), False),
    "elements-300-deep": (dict(body=rss("deeper", b"<b>" * 300 + b"</b>" * 300)), False),
    "elements-deep-inside-a-comment": (dict(body=rss("commented", b"<!--" + b"<b>" * 100000 + b"-->")), True),
    "elements-deep-inside-cdata": (dict(body=rss("cdata", b"<description><![CDATA[" + b"<b>" * 100000 +
                                                 b"]]></description>")), True),
    "more-empty-elements-than-the-node-bound": (dict(body=rss("wide", channel=b"<c/>" * 1100000)), False),
    "100000-attributes-on-one-element": (dict(body=rss("attributes", b"<b " + b" ".join(
        b"a%d=''" % i for i in range(100000)) + b"/>")), False),
    "attribute-value-of-4-mib": (dict(body=rss("long-attribute", b'<b x="' + b"v" * 4 * MiB + b'"/>')), True),
    "titles-of-3-mib": (dict(body=rss(b"t" * 3 * MiB)), True),
    "element-name-of-4-mib": (dict(body=rss("long-name", b"<" + b"n" * 4 * MiB + b"/>")), True),
    "entity-heavy-text": (dict(body=rss("entities", b"<description>" + b"&amp;&lt;&#x3042;&#12354;" * 100000 +
                                         b"</description>")), True),
    "numeric-entity-of-a-million-digits": (dict(body=rss("digits", b"<description>&#x" + b"f" * MiB +
                                                          b";</description>")), True),
    "unterminated-entities": (dict(body=rss("unterminated", b"<description>" + b"&#x41" * 100000 +
                                             b"</description>")), False),
    # Texts that are not what they claim to be.
    "invalid-utf-8": (dict(body=rss(b"bad \xff\xfe\xc0\x80 \xed\xa0\x80 \xf4\x90\x80\x80 utf8",
                                    b"<description>\x80\x80\xe3\x81 \xe3 cut short</description>")), True),
    # The parser takes a lead byte's followers along, markup or not.
    "utf-8-lead-byte-swallowing-an-end-tag": (dict(body=rss("swallowed", b"<description>\xe3</description>")),
                                              False),
    "invalid-euc-jp": (dict(body=rss(b"bad \x8e\xff \xa4 \x8f\xa1 euc",
                                     b"<description>\xff\xfe\xa4\xa2\xa4</description>",
                                     declaration=b'<?xml version="1.0" encoding="EUC-JP"?>\n')), True),
}


def name_of(line):
    return line.split(",")[0].rsplit("/", 1)[1]


def patrol(plugin, server, hostile, appends, timeout=120):
    """One patrol over good-0, then each hostile (name, options) followed by
    good-1, good-2, ..., waiting for `appends` messages; returns the host's
    output, the settings entries and the requests."""
    lines = [server.serve("/good-0", GOOD) + "," + DEFAULT]
    for number, (name, options) in enumerate(hostile, 1):
        lines.append(server.serve("/" + name, **options) + "," + DEFAULT)
        lines.append(server.serve("/good-%d" % number, GOOD) + "," + DEFAULT)
    plugin.write_ini(settings(*lines))
    output = run_host(plugin, "load", "wait-appends %d %d" % (appends, timeout * 1000), "status",
                      "unload", timeout=timeout + 60)
    return output, lines, server.requests()


def check_patrol(plugin, output, lines, requests, delivered, bound):
    """The checks every case shares; delivered: the hostile names that are
    feeds after all. bound: the seconds one hostile feed may hold the patrol."""
    names = [name_of(line) for line in lines]
    fed = [name for name in names if name.startswith("good-") or name in delivered]
    # The host is up and answers after the patrol.
    assert "status appends=%d manualfilter=0" % len(fed) in output, output
    assert "unload result=1" in output
    assert [subject == "good" for subject in subjects(plugin)] == [name.startswith("good-") for name in fed]
    for message in plugin.messages():
        assert message.startswith(b"Date: ") and message.endswith(b"\r\n")
    expected = [line.split(",")[0] + "," + NEWEST if name in fed else line for name, line in zip(names, lines)]
    assert plugin.read_ini() == settings(*expected).encode()
    assert download_files(plugin) == []
    arrivals = {}
    for request in requests:
        arrivals.setdefault(request.path[1:], request.arrived)
    for name, following in zip(names[1::2], names[2::2]):
        took = arrivals[following] - arrivals[name]
        assert took < bound, "%s held the patrol %.1f s" % (name, took)


@pytest.mark.parametrize("name", list(CASES))
def test_hostile_feed_between_good_ones(plugin, feed_server, name):
    options, delivered = CASES[name]
    if name == "redirect-ping-pong":
        feed_server.serve("/pong", status=301, headers=[("Location", "/redirect-ping-pong")])
    output, lines, requests = patrol(plugin, feed_server, [(name, dict(options))], 3 if delivered else 2)
    check_patrol(plugin, output, lines, requests, {name} if delivered else set(), QUICK_FEED)
    if name == "feed-at-the-bound":
        assert len(plugin.messages()[1]) > SIZE_BOUND - 1000
    if name.startswith("redirect-"):
        assert len(requests) <= 2 + 21, "a redirect loop followed %d times" % len(requests)
    if name == "endless-body":
        sent = feed_server.routes["/endless-body"].sent
        assert sent < SIZE_BOUND + 16 * MiB, "read %d bytes of an endless body" % sent


def test_silent_and_dripping_servers_share_one_patrol(plugin):
    """Cases that wait out a time bound: a server that accepts and says
    nothing, and one that sends a byte every three seconds."""
    slow = [("says-nothing", dict(body=GOOD, stall="headers")),
            ("a-byte-every-3-s", dict(body=GOOD, drip=3.0))]
    with FeedServer(max_wait=LONGEST_FEED * 3) as server:
        output, lines, requests = patrol(plugin, server, slow, len(slow) + 1, timeout=LONGEST_FEED * 4)
    check_patrol(plugin, output, lines, requests, set(), LONGEST_FEED + 5)

"""Feeds in the shapes of real sites, through the real KIV.dll and the stand-in
host's own text conversion, in one patrol: every one delivered, read as a
person reads it, with no line break or control byte where it does not belong."""
import pathlib
import re

from kivhost import run_host
from patrol_helpers import settings

FIXTURES = pathlib.Path(__file__).resolve().parents[1] / "data" / "real_feeds"

# Item link -> the item's title line as the host's code page (932) shows it.
TITLES = {
    "http://shop.example/stakes": "Link: Staking tomatoes [  ]",
    "http://shop.example/sale": "Spring sale: seeds, bulbs and tools [  ]",
    "http://shop.example/bulbs": "Bulbs [  ]",
    "http://shop.example/p/1": "Permalink [  ]",
    "http://shop.example/t": None,  # two feeds: checked by their titles below
    "http://shop.example/092": "Version 0.92 [  ]",
    "http://shop.example/none": "No version [  ]",
    "http://shop.example/dtd": "With a DTD [  ]",
    "http://shop.example/sjis": "【速報】 種まき★? [  ]",
    "http://shop.example/euc": "【速報】 [  ]",
    "http://shop.example/windows-1251": "Новости [  ]",
    "http://shop.example/koi8-r": "Погода [  ]",
    "http://shop.example/big5": "新聞 [  ]",
    "http://orchard.example/1": "Content as HTML [  ]",
    # A stylesheet instruction (or another) and comments around the root, each kind and encoding.
    "http://shop.example/ps-091": "RSS 0.91 with a stylesheet [  ]",
    "http://shop.example/ps-10": "RSS 1.0 with a stylesheet [  ]",
    "http://shop.example/ps-20": "RSS 2.0 with a stylesheet [  ]",
    "http://shop.example/ps-03": "Atom 0.3 with a stylesheet [  ]",
    "http://shop.example/ps-1": "Atom 1.0 with a stylesheet [  ]",
    "http://shop.example/ps-undeclared": "見出し [  ]",
    "http://shop.example/ps-bom": "印 [  ]",
    "http://shop.example/ps-sjis": "日記【晴】 [  ]",
    "http://shop.example/ps-euc": "日記 [  ]",
    "http://shop.example/ps-1251": "Дневник [  ]",
    "http://shop.example/ps-unknown": "Unheard of [  ]",
    "http://shop.example/ps-around": "Around the root [  ]",
    # UTF-16 and UTF-32, with a byte order mark or declared.
    "http://shop.example/utf-16le": "二重 【UTF-16】 [  ]",
    "http://shop.example/utf-16be": "大端 [  ]",
    "http://shop.example/utf-32le": "四倍 [  ]",
    # Older versions of the formats, and forms forgiving readers take, one of each kind.
    "http://shop.example/forms-10": "RSS 1.0 under a prefix [  ]",
    "http://shop.example/forms-091": "RSS 0.91 dated by dcterms [  ]",
    "http://shop.example/forms-201": "RSS 2.01 with Dublin Core [  ]",
    "http://shop.example/forms-20": "RSS 2.0 under a prefix [  ]",
    "http://shop.example/forms-03-base64": "Atom 0.3 in base64 [  ]",
    "http://shop.example/forms-03-xml": "Atom 0.3 as XML [  ]",
    "http://shop.example/forms-1": "Atom 1.0 under a prefix [  ]",
    # Where sites put the channel, the items and their texts and dates.
    "http://shop.example/sites-090": "RSS 0.90 item [  ]",
    "http://shop.example/sites-090-2": "RSS 0.90 second item [  ]",
    "http://shop.example/sites-10-channel": "RSS 1.0 declared on each element [  ]",
    "http://shop.example/sites-itunes": "Episode with iTunes notes [  ]",
    "http://shop.example/sites-media": "Clip with a media group [  ]",
    "http://shop.example/sites-html": "Note written as HTML [  ]",
    "http://shop.example/sites-atom02": "Atom 0.2 entry [  ]",
}

# Item texts that only the forms above give.
BODIES = [
    "Every element prefixed.",
    "Told by dc:description.",
    "Tea & cake at four.",
    "Seeds sown today.",
    "Harvest notes, in base64.",
    "Declared where it is used.",
    "Planting garlic in autumn.",
    "Pruning roses in a minute.",
    "A raised bed",
    "Raised beds drain well.",
    "Read as Atom 0.3 is.",
]

# Date lines of items dated in the forms other programs write.
DATES = [
    "2008/06/02 11:11:11-08:00",  # Mon, June 2 2008 11:11:11 PST
    "2008/01/21 08:56:00-08:00",  # Mon, 21 Jan 2008 8:56 am PST
    "2006/01/11 16:43:22-08:00",  # 2006-01-11 16:43:22 -0800
    "2008/07/03 09:10:11+00:00",  # Thu Jul 03 09:10:11 UTC 2008
]

# What stands beside the items and is no item: an image, a text input.
NO_ITEMS = ["Old Shop logo [  ]", "Search the old shop [  ]", "Radio Shop logo [  ]"]


def test_every_real_feed_shape_is_delivered_and_reads_right(plugin, feed_server):
    files = sorted(FIXTURES.glob("*.xml"))
    entries = [feed_server.serve("/" + f.name, f.read_bytes()) for f in files]
    plugin.write_ini(settings(*entries))
    run_host(plugin, "load", "wait-appends %d 60000" % len(files), "unload", timeout=120)
    messages = plugin.messages()
    assert len(messages) == len(files)

    lines = set()
    for message in messages:
        header, _, body = message.partition(b"\r\n\r\n")
        # Four header lines, each ending in CR LF, and no control byte in them.
        assert header.count(b"\r\n") == 3 and b"\n" not in header.replace(b"\r\n", b""), header
        assert not re.search(rb"[\x00-\x09\x0b\x0c\x0e-\x1f\x7f]", message), message
        lines.update(body.decode("cp932", "replace").split("\n"))
    for link, title in TITLES.items():
        assert link in lines
        if title:
            assert title in lines, (link, title)
    for body in BODIES:
        assert body in lines, body
    for date in DATES:
        assert date in lines, date
    for title in NO_ITEMS:
        assert title not in lines, title
    # The channel's own link, not the empty text of the <atom:link> before it.
    assert "http://shop.example/radio/" in lines
    # Valid UTF-8 with no encoding declared, with or without a declaration.
    assert "苗の植え付け [  ]" in lines and "トマト [  ]" in lines
    # Texts the host's code page lacks arrive as the host makes them, whole lines still.
    for name in ("gb2312", "euc-kr", "iso-8859-7", "windows-1255", "tis-620", "iso-8859-1", "iso-8859-9"):
        assert "http://shop.example/" + name in lines


def test_relative_links_and_escaped_titles(plugin, feed_server):
    """Links made absolute against xml:base, the response's Content-Location or
    the address after a redirect; titles escaped twice or written as markup
    read as text in the Subject and the title lines."""
    atom = (FIXTURES / "atom_xml_base.xml").read_bytes()
    rss = (FIXTURES / "rss_relative_links.xml").read_bytes()
    feed_server.serve("/moved/to/rss.xml", rss)
    entries = [
        feed_server.serve("/feeds/atom.xml", atom),
        feed_server.serve("/feeds/rss.xml", rss),
        feed_server.serve("/located/rss.xml", rss, headers=[("Content-Location", "../elsewhere/news/feed.xml")]),
        feed_server.serve("/old/rss", status=301, headers=[("Location", feed_server.url("/moved/to/rss.xml"))]),
        feed_server.serve("/titles.xml", (FIXTURES / "escaped_titles.xml").read_bytes()),
    ]
    plugin.write_ini(settings(*entries))
    run_host(plugin, "load", "wait-appends %d 60000" % len(entries), "unload", timeout=120)
    messages = [m.decode("cp932") for m in plugin.messages()]
    assert len(messages) == len(entries)
    site = feed_server.url("")

    def lines(message):
        header, _, body = message.partition("\r\n\r\n")
        return header.split("\r\n") + body.split("\n")

    atom_lines = lines(messages[0])
    for line in ("From: [%s/blog/]" % site, "Subject: Orchard & garden -Notes every week-",
                 "Grafting apples [  ]", "%s/blog/2024/grafting.html" % site, "See the tools[1] and elsewhere[2].",
                 "[1] %s/tools/#saws" % site, "[2] https://else.example/x",
                 "Plain <tags> stay, references \u2019 go [  ]", "https://mirror.example/pruning?page=2"):
        assert line in atom_lines, line

    # The same feed three ways: as it stands, with a Content-Location relative
    # to the request, and behind a redirect.
    for message, feed, photos in ((messages[1], "/feeds/rss.xml", "/img/1/"),
                                  (messages[2], "/elsewhere/news/feed.xml", "/elsewhere/img/1/"),
                                  (messages[3], "/moved/to/rss.xml", "/moved/img/1/")):
        folder = feed.rsplit("/", 1)[0]
        found = lines(message)
        for line in ("From: [%s/]" % site, "%s%s/posts/1.html" % (site, folder), "Photos here[1].",
                     "[1] %s%s" % (site, photos), "http://cdn.example/2", "%s%s?p=3&c=1" % (site, feed)):
            assert line in found, (feed, line)

    title_lines = lines(messages[4])
    for line in ("Subject: Shop & garden -Example markup unescaped-", "Tom & Jerry\u2019s [  ]",
                 "Escaped emphasis here [  ]", "Unescaped emphasis here [  ]", "Bold & linked [ tips & tricks ]"):
        assert line in title_lines, line
    assert not any("&amp;" in m or "&#" in m or "<em>" in m for m in messages[4:])

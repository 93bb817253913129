"""What podcasts and video feeds carry and the feeds that are JSON, through
the real KIV.dll under Wine: enclosure lines and embedded players read back
in both forms of message; JSON Feed 1.0 and 1.1 delivered once; JSON that is
no feed refused with its reason, the feeds around it delivered."""
import json
import re

from kivhost import PluginFolder
from patrol_helpers import DEFAULT, fresh_feed, log_lines, settings
from test_one_mail_per_item import headers_and_body, one_mail_per_item, patrol

PODCAST = """<?xml version="1.0" encoding="UTF-8"?>
<rss version="2.0" xmlns:itunes="http://www.itunes.com/dtds/podcast-1.0.dtd">
<channel><title>Radio</title><link>http://radio.example/</link><description>d</description>
<item><title>Episode 2</title><link>http://radio.example/2</link><guid>ep2</guid>
<description>Second show.</description>
<enclosure url="media/ep2.mp3" type="audio/mpeg"/>
<pubDate>Sat, 04 May 2024 09:00:00 GMT</pubDate></item>
<item><title>Episode 1</title><link>http://radio.example/1</link><guid>ep1</guid>
<description>First show.</description>
<enclosure url="http://cdn.radio.example/ep1.mp3" length="25690112" type="audio/mpeg"/>
<itunes:duration>1:02:03</itunes:duration>
<pubDate>Fri, 03 May 2024 09:00:00 GMT</pubDate></item>
</channel></rss>
"""

# Blogger's uploaded video, as its feeds write it: an escaped, self-closed
# iframe; an Atom video enclosure; Media RSS content inside a group.
VIDEO = """<?xml version="1.0" encoding="UTF-8"?>
<feed xmlns="http://www.w3.org/2005/Atom" xmlns:media="http://search.yahoo.com/mrss/">
<title>Clips</title><link href="http://clips.example/"/>
<entry><id>tag:clips,1</id><title>Blogger video</title><link href="http://clips.example/1"/>
<updated>2024-05-03T18:00:00+09:00</updated>
<content type="html">&lt;p&gt;Watch:&lt;/p&gt;&lt;iframe allowfullscreen='allowfullscreen' width='320' height='266'
 src='https://www.blogger.com/video.g?token=AD6v5dy' class='b-hbp-video b-uploaded' frameborder='0' /&gt;&lt;p&gt;Done.&lt;/p&gt;</content>
<link rel="enclosure" href="http://clips.example/1.mp4" type="video/mp4" length="3145728" title="Full clip"/>
</entry>
<entry><id>tag:clips,2</id><title>Grouped</title><link href="http://clips.example/2"/>
<updated>2024-05-02T18:00:00+09:00</updated>
<media:group><media:content url="http://clips.example/2-hd.mp4" type="video/mp4" fileSize="2048" duration="95"/>
<media:content url="http://clips.example/2.webm" medium="video"/></media:group>
</entry>
</feed>
"""

PODCAST_BLOCKS = [
    b"2024/05/04 09:00:00+00:00\nEpisode 2 [  ]\nhttp://radio.example/2\nSecond show.\n"
    b"Enclosure: %s/media/ep2.mp3 (audio/mpeg)\n\n",
    b"2024/05/03 09:00:00+00:00\nEpisode 1 [  ]\nhttp://radio.example/1\nFirst show.\n"
    b"Enclosure: http://cdn.radio.example/ep1.mp3 (audio/mpeg, 24.5 MB, 1:02:03)\n\n",
]
VIDEO_BLOCKS = [
    b"2024/05/03 18:00:00+09:00\nBlogger video [  ]\nhttp://clips.example/1\n"
    b"Watch:\n\nhttps://www.blogger.com/video.g?token=AD6v5dy\n\nDone.\n"
    b"Enclosure: http://clips.example/1.mp4 (video/mp4, 3.0 MB) Full clip\n\n",
    b"2024/05/02 18:00:00+09:00\nGrouped [  ]\nhttp://clips.example/2\n"
    b"Enclosure: http://clips.example/2-hd.mp4 (video/mp4, 2.0 KB, 1:35)\n"
    b"Enclosure: http://clips.example/2.webm (video)\n\n",
]


def test_enclosures_in_both_forms(plugin, feed_server, tmp_path):
    radio = feed_server.serve("/radio/feed.xml", PODCAST)
    clips = feed_server.serve("/clips.atom", VIDEO)
    base = radio.rsplit("/", 1)[0].encode()
    podcast_blocks = [PODCAST_BLOCKS[0] % base, PODCAST_BLOCKS[1]]
    plugin.write_ini(settings(radio + "," + DEFAULT, clips + "," + DEFAULT))
    patrol(plugin, 2)
    first, second = plugin.messages()
    assert first.endswith(b"\n---\n" + b"".join(podcast_blocks) + b"\r\n"), first
    assert second.endswith(b"\n---\n" + b"".join(VIDEO_BLOCKS) + b"\r\n"), second

    each = PluginFolder(tmp_path / "each")
    each.write_ini(settings(radio + "," + DEFAULT, clips + "," + DEFAULT))
    one_mail_per_item(each)
    patrol(each, 4)
    bodies = [headers_and_body(m)[1] for m in each.messages()]
    # Oldest first, each block then the feed's title and link.
    assert bodies == [podcast_blocks[1] + b"---\nRadio\nhttp://radio.example/\r\n",
                      podcast_blocks[0] + b"---\nRadio\nhttp://radio.example/\r\n",
                      VIDEO_BLOCKS[1] + b"---\nClips\nhttp://clips.example/\r\n",
                      VIDEO_BLOCKS[0] + b"---\nClips\nhttp://clips.example/\r\n"], bodies


JSON_11 = {
    "version": "https://jsonfeed.org/version/1.1",
    "title": "Notes \u65e5\u8a18", "home_page_url": "https://notes.example/",
    "description": "Short & sweet",
    "authors": [{"name": "Ann"}],
    "items": [
        {"id": "n3", "url": "https://notes.example/3", "title": "HTML item",
         "content_html": "<p>Some <b>bold</b> words.</p>", "tags": ["one", "two"],
         "date_published": "2024-05-03T18:00:00+09:00"},
        {"id": "n2", "url": "https://notes.example/2", "title": "Text item",
         "content_text": "Plain <text> & more", "date_published": "2024-05-02 10:00:00"},
        {"id": "n1", "content_html": "<p>\u307e\u3060 untitled note</p>", "date_modified": "2024-05-01T08:15:00Z",
         "attachments": [{"url": "https://cdn.example/n1.m4a", "mime_type": "audio/x-m4a",
                          "size_in_bytes": 1048576, "duration_in_seconds": 61}]},
    ],
}

JSON_10 = {
    "version": "https://jsonfeed.org/version/1", "title": "Old style", "home_page_url": "https://old.example/",
    "author": {"name": "Bo"},
    "items": [{"id": 7, "external_url": "https://elsewhere.example/a", "summary": "Said elsewhere.",
               "title": "Linked", "date_published": "2017-05-17T08:02:12-07:00"}],
}


def test_json_feeds_delivered_once(plugin, feed_server):
    new = feed_server.serve("/feed.json", json.dumps(JSON_11), headers=[("Content-Type", "application/feed+json")])
    # Recognised by its content, whatever the server calls it.
    old = feed_server.serve("/old", json.dumps(JSON_10), headers=[("Content-Type", "text/plain")])
    # A feed with a new item every time ends each patrol: its message tells
    # that the patrol is over.
    sentinel = feed_server.serve("/sentinel", fresh_feed("sentinel"))
    plugin.write_ini(settings(new + "," + DEFAULT, old + "," + DEFAULT, sentinel + "," + DEFAULT))
    patrol(plugin, 3)
    first, second, _ = plugin.messages()
    headers, body = headers_and_body(first)
    assert headers[b"From"] == b"[https://notes.example/]"
    assert headers[b"Subject"] == "Notes \u65e5\u8a18 -Short & sweet-".encode("cp932")
    assert headers[b"Date"] == b"03 May 24 18:00:00 +0900"
    assert body == ("https://notes.example/\n\n---\n"
                    "2024/05/03 18:00:00+09:00\nHTML item [ one, two ]\nhttps://notes.example/3\nSome bold words.\n\n"
                    "2024/05/02 10:00:00+00:00\nText item [  ]\nhttps://notes.example/2\nPlain <text> & more\n\n"
                    "2024/05/01 08:15:00+00:00\n\u307e\u3060 untitled note [  ]\n\n\u307e\u3060 untitled note\n"
                    "Enclosure: https://cdn.example/n1.m4a (audio/x-m4a, 1.0 MB, 1:01)\n\n\r\n").encode("cp932"), body
    assert headers_and_body(second)[1] == (b"https://old.example/\n\n---\n2017/05/17 08:02:12-07:00\nLinked [  ]\n"
                                           b"https://elsewhere.example/a\nSaid elsewhere.\n\n\r\n")
    assert log_lines(plugin) == [(new, "delivered 3 items"), (old, "delivered 1 item"),
                                 (sentinel, "delivered 1 item")]

    patrol(plugin, 1)
    assert len(plugin.messages()) == 4
    assert log_lines(plugin)[3:] == [(new, "no new items"), (old, "no new items"), (sentinel, "delivered 1 item")]


def test_json_that_is_no_feed_refused(plugin, feed_server):
    good = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>%s</title><item><title>i</title>" \
           "<guid>%s</guid></item></channel></rss>"
    before = feed_server.serve("/before", good % ("before", "b"))
    cases = {
        "/other.json": ('{"name": "package", "version": "1.0.2"}',
                        'not a feed: JSON of version "1.0.2", no JSON Feed'),
        "/cut.json": ('{"version": "https://jsonfeed.org/version/1.1", "items": [{"id": "1", "title": "x"',
                      "not a feed: JSON that does not parse at byte 82: Missing a comma or '}' after an object member"),
        "/deep.json": ("[" * 100000 + "]" * 100000, "a document of a shape no feed has: JSON nested too deeply"),
        "/huge.json": ('{"version": "https://jsonfeed.org/version/1.1", "items": [{"id": "1", "content_text": "%s"}]}'
                       % ("x" * (2 << 20)), "a document of a shape no feed has: a JSON string longer than 1 MiB"),
    }
    urls = [feed_server.serve(path, body) for path, (body, _) in cases.items()]
    after = feed_server.serve("/after", good % ("after", "a"))
    plugin.write_ini(settings(*[u + "," + DEFAULT for u in [before] + urls + [after]]))
    patrol(plugin, 2)
    assert [re.search(rb"^Subject: (\w+)", m, re.M).group(1) for m in plugin.messages()] == [b"before", b"after"]
    assert log_lines(plugin) == ([(before, "delivered 1 item")] +
                                 [(u, "failed: " + why) for u, (_, why) in zip(urls, cases.values())] +
                                 [(after, "delivered 1 item")])


def test_an_item_larger_than_its_download_still_comes(plugin, feed_server):
    """An untitled item's text doubles as its title, a relative link grows
    against a long address: the message outgrows its download and is made
    again with the room it needs, rather than leave the item out for ever."""
    text = "word " * 24
    tiny = feed_server.serve("/tiny.json", json.dumps({"version": "https://jsonfeed.org/version/1.1",
                                                       "items": [{"id": "1", "content_text": text}]}))
    relative = feed_server.serve("/" + "deep/" * 60 + "feed.xml",
                                 '<?xml version="1.0"?><rss version="2.0"><channel><title>r</title>'
                                 '<item><title>t</title><link>x</link></item></channel></rss>')
    sentinel = feed_server.serve("/sentinel", fresh_feed("sentinel"))
    plugin.write_ini(settings(tiny + "," + DEFAULT, relative + "," + DEFAULT, sentinel + "," + DEFAULT))
    patrol(plugin, 3)
    json_message, rss_message, _ = plugin.messages()
    lines = headers_and_body(json_message)[1].split(b"\n")
    assert text.strip().encode() in [line.strip() for line in lines]  # the body
    assert [line for line in lines if line.startswith(b"word word") and line.endswith(b"... [  ]")]  # the title
    assert (relative.rsplit("/", 1)[0] + "/x\n").encode() in rss_message
    assert log_lines(plugin) == [(tiny, "delivered 1 item"), (relative, "delivered 1 item"),
                                 (sentinel, "delivered 1 item")]
    patrol(plugin, 1)
    assert log_lines(plugin)[3:] == [(tiny, "no new items"), (relative, "no new items"),
                                     (sentinel, "delivered 1 item")]

"""The feed list in and out as OPML through the URL LIST page of the real
KIV.dll: IMPORT and EXPORT in the standard file dialogs, what the summary box
says, CANCEL rolling an import back, hostile files refused with nothing
written, and lists exchanged with two other feed readers from Debian."""
import os
import shutil
import subprocess
import xml.etree.ElementTree as ElementTree

import pytest

from kivhost import drive_dialog, file_step, sjis, windows_path

STAMP = "2000-01-01T00:00:00+09:00"
HEAD = "Inbox\\KIV\r\n1\r\n0"
# Nothing listens on port 9: the start-up patrol fails at once and changes nothing.
OLD = "http://127.0.0.1:9/old"
INI = HEAD + "\r\n%s,2024-06-06T18:30:00+00:00" % OLD
IMPORT, EXPORT = 1002, 1003

NESTED = """<?xml version="1.0" encoding="UTF-8"?>
<opml version="1.0"><head><title>mine</title></head><body>
  <outline text="News">
    <outline text="Ferry" type="rss" xmlUrl="http://127.0.0.1:9/ferry"/>
    <outline text="Local"><outline text="Town" type="rss" xmlUrl="https://127.0.0.1:9/town?a=1&amp;b=2"/></outline>
  </outline>
  <outline text="old" type="rss" xmlUrl="%s"/>
  <outline text="gopher" type="rss" xmlUrl="gopher://127.0.0.1/x"/>
  <outline text="spaced" type="rss" xmlUrl="http://127.0.0.1:9/a b"/>
  <outline text="again" type="rss" xmlUrl="http://127.0.0.1:9/ferry"/>
  <outline text="last" type="rss" xmlUrl="http://127.0.0.1:9/last"/>
</body></opml>
""" % OLD


def run_import(plugin, tmp_path, text, leave="ok"):
    """Imports text (bytes or str) as an OPML file; gives (box text, list
    items after the import, KIV.ini after the import, KIV.ini after leave)."""
    path = tmp_path / "list.opml"
    path.write_bytes(text if isinstance(text, bytes) else text.encode("utf-8"))
    lines = drive_dialog(plugin, ["press url %d" % IMPORT, "filedialog " + windows_path(path), "boxshot - ok",
                                  "dump", file_step(plugin.ini), leave])
    assert any(line.startswith("filedialog title=") for line in lines), lines[-20:]
    box = [bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")
           for line in lines if line.startswith("boxtext ")]
    items = [bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")
             for line in lines if line.startswith("list ") and not line.startswith("list count=")]
    during = [bytes.fromhex(line.rsplit(" hex=", 1)[1]) for line in lines
              if line.startswith(file_step(plugin.ini) + " hex=")]
    assert len(box) == 1 and len(during) == 1, lines[-20:]
    return box[0], items, during[0], plugin.read_ini()


def run_export(plugin, tmp_path, name="out.opml"):
    path = tmp_path / name
    lines = drive_dialog(plugin, ["press url %d" % EXPORT, "filedialog " + windows_path(path), "boxshot - ok", "ok"])
    box = [bytes.fromhex(line.rsplit(" hex=", 1)[1]).decode("cp932")
           for line in lines if line.startswith("boxtext ")]
    return box, path


def outlines(path):
    return [o.attrib for o in ElementTree.parse(path).iter("outline")]


@pytest.mark.parametrize("leave", ["ok", "cancel"])
def test_import_appends_new_feeds_in_file_order_and_cancel_rolls_it_back(plugin, tmp_path, leave):
    plugin.write_ini(INI)
    box, items, during, after = run_import(plugin, tmp_path, NESTED, leave)
    added = ["http://127.0.0.1:9/ferry", "https://127.0.0.1:9/town?a=1&b=2", "http://127.0.0.1:9/last"]
    assert during == sjis(INI + "".join("\r\n%s,%s" % (url, STAMP) for url in added))
    assert items == [OLD] + added
    assert box.splitlines()[:3] == ["3 件のフィードを追加しました。", "登録済みのもの: 2 件", "追加できないもの: 2 件"]
    assert box.splitlines()[3:] == ["・gopher://127.0.0.1/x（http/https のアドレスではありません）",
                                    "・http://127.0.0.1:9/a b（空白かカンマを含みます）"]
    assert after == (during if leave == "ok" else sjis(INI))


HOSTILE = [
    ("an HTML page", "<!DOCTYPE html><html><head><title>x</title></head><body></body></html>",
     "OPML ではありません（ルート要素 <html>）。"),
    ("billion laughs", '<?xml version="1.0"?><!DOCTYPE lolz [<!ENTITY lol "lol">'
     '<!ENTITY lol1 "&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;">'
     '<!ENTITY lol2 "&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;">]><lolz>&lol2;</lolz>',
     "OPML ではありません（ルート要素 <lolz>）。"),
    ("100,000 outlines", "<opml><body>%s</body></opml>" % ('<outline xmlUrl="http://127.0.0.1:9/x"/>' * 100000),
     "アウトラインが多すぎます（10000 個まで）。"),
    ("deep nesting", "<opml><body>%s%s</body></opml>" % ("<outline>" * 1000, "</outline>" * 1000),
     "XML として読めません: Error elements nested too deeply."),
    ("cut short", '<opml version="2.0"><body><outline xmlUrl="http://127.0.0.1:9/x"/><outl',
     "XML として読めません: "),
]


@pytest.mark.parametrize("name, text, reason", HOSTILE, ids=[h[0] for h in HOSTILE])
def test_a_file_that_is_no_list_changes_nothing_and_says_why(plugin, tmp_path, name, text, reason):
    plugin.write_ini(INI)
    box, items, during, after = run_import(plugin, tmp_path, text)
    assert box.splitlines()[0] == "OPML ファイルを読み込めませんでした。フィードは追加していません。"
    assert box.splitlines()[1].startswith(reason)
    assert during == after == sjis(INI) and items == [OLD]


def test_export_writes_every_feed_in_list_order_as_opml_2_in_utf8(plugin, tmp_path):
    feeds = ["http://127.0.0.1:9/a?x=1&y=2", "https://127.0.0.1:9/b", "http://127.0.0.1:9/日本"]
    plugin.write_ini(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in feeds))
    box, path = run_export(plugin, tmp_path)
    assert box == ["3 件のフィードを書き出しました。"]
    text = path.read_bytes()
    assert text.startswith(b'<?xml version="1.0" encoding="UTF-8"?>\n<opml version="2.0">')
    assert ElementTree.parse(path).getroot().get("version") == "2.0"
    assert [(o["type"], o["xmlUrl"], o["text"]) for o in outlines(path)] == [("rss", url, url) for url in feeds]
    assert not (tmp_path / "out.opml.new").exists()
    assert plugin.read_ini() == sjis(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in feeds))


# Other readers, each kept in a folder of its own.
def newsboat(home, *arguments):
    home.mkdir(exist_ok=True)
    (home / "config").touch()
    if not (home / "urls").exists():
        (home / "urls").write_text("")
    return subprocess.run(["newsboat", "-u", str(home / "urls"), "-c", str(home / "cache.db"),
                           "-C", str(home / "config"), *arguments],
                          env=dict(os.environ, HOME=str(home)), check=True, capture_output=True, text=True).stdout


def r2e(home, *arguments):
    home.mkdir(exist_ok=True)
    env = dict(os.environ, HOME=str(home), XDG_CONFIG_HOME=str(home), XDG_DATA_HOME=str(home))
    command = ["r2e", "-c", str(home / "r2e.cfg"), "-d", str(home / "r2e.json")]
    if not (home / "r2e.cfg").exists():
        subprocess.run(command + ["new", "reader@example.net"], env=env, check=True, capture_output=True)
    return subprocess.run(command + list(arguments), env=env, check=True, capture_output=True, text=True).stdout


PEER_FEEDS = ["http://127.0.0.1:9/ferry.xml", "https://127.0.0.1:9/town?a=1&b=2", "http://127.0.0.1:9/blog/atom"]


@pytest.mark.skipif(not shutil.which("newsboat") or not shutil.which("r2e"),
                    reason="newsboat and rss2email come from Debian (scripts/setup.sh)")
@pytest.mark.parametrize("peer", ["newsboat", "rss2email"])
def test_lists_go_both_ways_between_kiv_and_another_reader(plugin, tmp_path, peer):
    home = tmp_path / peer
    # The peer's list, exported by the peer, imported into KIV.
    if peer == "newsboat":
        home.mkdir()
        (home / "urls").write_text("".join(url + "\n" for url in PEER_FEEDS))
        exported = newsboat(home, "-e")
    else:
        for i, url in enumerate(PEER_FEEDS):
            r2e(home, "add", "feed%d" % i, url)
        r2e(home, "opmlexport", str(tmp_path / "peer.opml"))
        exported = (tmp_path / "peer.opml").read_text()
    plugin.write_ini(HEAD)
    box, items, during, after = run_import(plugin, tmp_path, exported)
    assert items == PEER_FEEDS and box.splitlines()[0] == "3 件のフィードを追加しました。"
    assert after == sjis(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in PEER_FEEDS))

    # KIV's list, with one feed more, exported by KIV, imported by a fresh peer.
    mine = PEER_FEEDS + ["http://127.0.0.1:9/more"]
    plugin.write_ini(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in mine))
    _, path = run_export(plugin, tmp_path)
    fresh = tmp_path / (peer + "-fresh")
    if peer == "newsboat":
        newsboat(fresh, "-i", str(path))
        taken = [line.split()[0] for line in (fresh / "urls").read_text().splitlines() if line.strip()]
    else:
        r2e(fresh, "opmlimport", str(path))
        listed = r2e(fresh, "list")
        taken = [line.split("(")[1].split(" ->")[0] for line in listed.splitlines() if "(" in line]
    assert taken == mine


def test_the_page_with_its_import_and_export_buttons_is_photographed(plugin, tmp_path):
    from kivhost import SCREENSHOTS
    from test_preferences import save_png
    SCREENSHOTS.mkdir(parents=True, exist_ok=True)
    plugin.write_ini(INI)
    path = tmp_path / "list.opml"
    path.write_bytes(NESTED.encode("utf-8"))
    lines = drive_dialog(plugin, ["press url %d" % IMPORT, "filedialog " + windows_path(path), "boxshot - ok",
                                  "shot " + windows_path(SCREENSHOTS / "url_list_imported.bmp"),
                                  "size 720 520", "shot " + windows_path(SCREENSHOTS / "url_list_imported_large.bmp"),
                                  "ok"])
    assert [line for line in lines if line.startswith("shot ")] and all(
        line.endswith("saved=1") for line in lines if line.startswith("shot "))
    save_png("url_list_imported")
    save_png("url_list_imported_large")


@pytest.mark.skipif(not shutil.which("r2e"), reason="rss2email comes from Debian (scripts/setup.sh)")
def test_export_names_each_feed_as_last_read_and_another_reader_takes_the_names(plugin, tmp_path, feed_server):
    import pathlib
    from kivhost import run_host
    from patrol_helpers import feed_xml
    japanese = (pathlib.Path(__file__).resolve().parents[1] / "data" / "feeds" / "japanese_shift_jis.xml").read_bytes()
    ferry = feed_server.serve("/ferry", feed_xml("Ferry times", ["2024-06-01T00:00:00+00:00"]))
    garden = feed_server.serve("/garden", japanese)
    unread = "http://127.0.0.1:9/never"
    plugin.write_ini(HEAD + "".join("\r\n%s,%s" % (url, STAMP) for url in (ferry, garden, unread)))
    run_host(plugin, "load", "wait-appends 2 60000", "sleep 300", "unload")
    box, path = run_export(plugin, tmp_path)
    assert box == ["3 件のフィードを書き出しました。"]
    assert [(o["xmlUrl"], o["text"], o["title"], o.get("htmlUrl")) for o in outlines(path)] == [
        (ferry, "Ferry times", "Ferry times", "http://example.net/Ferry times"),
        (garden, "庭の日記", "庭の日記", "http://niwa.example/"),
        (unread, unread, unread, None)]
    home = tmp_path / "r2e"
    r2e(home, "opmlimport", str(path))
    assert [line.split("] ")[1].split(" (")[0] for line in r2e(home, "list").splitlines() if "] " in line] == [
        "Ferry-times", "庭の日記", "feed-0"]

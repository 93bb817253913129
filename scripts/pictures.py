"""The README's and the reference's pictures, made with KIV's own tools (run through
scripts/pictures.sh): the bundled sample feeds served on 127.0.0.1 and
patrolled by KIV.dll in the stand-in host, then

- docs/images/preferences.png: the preferences dialog's URL LIST page with
  the Japanese sample feed selected, photographed by the host's dialog
  driver;
- docs/images/message.png: the message KIV delivered from that feed, as the
  host stored it, drawn in IPA Gothic;
- docs/images/feed-options.png: that feed's own settings dialog (SETTING),
  filled in as a person would.

docs/images/pictures.sha256 records the digests of everything the pictures
are made from and of the pictures themselves. `pictures.py --check` (run by
a plug-in test) fails when an input changed since the pictures were made, so
that the README never shows a dialog or a message KIV no longer makes.
"""
import hashlib
import pathlib
import shutil
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
IMAGES = ROOT / "docs" / "images"
MANIFEST = IMAGES / "pictures.sha256"
PICTURES = ["docs/images/preferences.png", "docs/images/message.png", "docs/images/feed-options.png"]
SAMPLES = "tests/data/samples"
SHOWN_FEED = "rss20_utf8.xml"   # Japanese title, items and categories
FOLDER = "Inbox\\KIV"
FONT = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"


def inputs():
    """What the pictures show comes from these files: the dialog templates,
    the interface texts and the version, the sample feeds, and this script."""
    fixed = ["resources/kiv.rc", "resources/dialog_ids.h", "resources/ui_strings.cpp", "resources/version.h",
             "scripts/pictures.py"]
    samples = sorted(str(p.relative_to(ROOT)) for p in (ROOT / SAMPLES).glob("*.xml"))
    return fixed + samples


def digest(relative):
    return hashlib.sha256((ROOT / relative).read_bytes()).hexdigest()


def manifest_text():
    lines = ["# scripts/pictures.sh made the pictures from these files; a changed input needs them made again"]
    lines += ["%s  %s" % (digest(path), path) for path in inputs() + PICTURES]
    return "\n".join(lines) + "\n"


def stale():
    """The inputs and pictures whose digests differ from the manifest's, or
    are missing from it; empty when the pictures are current."""
    recorded = {}
    if MANIFEST.exists():
        for line in MANIFEST.read_text().splitlines():
            if line and not line.startswith("#"):
                value, path = line.split("  ", 1)
                recorded[path] = value
    wanted = inputs() + PICTURES
    changed = [path for path in wanted
               if not (ROOT / path).exists() or recorded.get(path) != digest(path)]
    return changed + sorted(set(recorded) - set(wanted))


def draw_message(text, path):
    """A stored message drawn as a mail client's reading pane shows it: the
    header lines on grey above the body, in IPA Gothic."""
    from PIL import Image, ImageDraw, ImageFont
    font = ImageFont.truetype(FONT, 15)
    # Header lines end in CR LF, the body's lines as KIV wrote them.
    head, _, body = text.replace("\r\n", "\n").partition("\n\n")
    head_lines, body_lines = head.split("\n"), body.rstrip("\n").split("\n")
    line_height, margin = 22, 14
    width = 2 * margin + max(int(font.getlength(line)) for line in head_lines + body_lines)
    head_height = margin + line_height * len(head_lines) + margin // 2
    height = head_height + margin + line_height * len(body_lines) + margin
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)
    draw.rectangle([0, 0, width - 1, head_height], fill="#e8e8e8")
    draw.rectangle([0, 0, width - 1, height - 1], outline="#808080")
    for number, line in enumerate(head_lines):
        draw.text((margin, margin + number * line_height), line, font=font, fill="black")
    for number, line in enumerate(body_lines):
        draw.text((margin, head_height + margin + number * line_height), line, font=font, fill="black")
    image.save(path, optimize=True)


def bmp_to_png(bmp, png):
    from PIL import Image
    with Image.open(bmp) as image:
        image.convert("RGB").save(png, optimize=True)
    bmp.unlink()


def make():
    sys.path[:0] = [str(ROOT / "tests" / "support"), str(ROOT / "tests" / "plugin")]
    from feed_server import FeedServer
    from kivhost import WIN32_BUILD, PluginFolder, drive_dialog, windows_path

    for needed in (WIN32_BUILD / "KIV.dll", WIN32_BUILD / "host" / "kivhost.exe"):
        if not needed.exists():
            raise SystemExit("pictures: %s is missing; build the Windows target first" % needed)
    work = ROOT / "build" / "pictures"
    shutil.rmtree(work, ignore_errors=True)
    plugin = PluginFolder(work / "plugins")
    feeds = sorted(p.name for p in (ROOT / SAMPLES).glob("*.xml"))
    with FeedServer() as server:
        for name in feeds:
            server.serve("/" + name, (ROOT / SAMPLES / name).read_bytes())
        plugin.write_ini("\r\n".join([FOLDER, "0", "0"] + [server.url("/" + name) + ",2000-01-01T00:00:00+09:00"
                                                            for name in feeds]))
        shot = work / "preferences.bmp"
        # The start-up patrol delivers every sample before the dialog opens,
        # so the pane tells of the selected feed's patrol.
        # Wider than the template, so that the addresses and the pane's lines show whole.
        options = work / "feed-options.bmp"
        steps = ["size 450 330", "select %d" % feeds.index(SHOWN_FEED), "shot " + windows_path(shot),
                 # The feed's own settings, as a person fills them in; cancelled.
                 "press url 1005", "folder Inbox\\KIV\\図書館", "click feed 1042", "click feed 1046",
                 "text feed 1047 6", "lines feed 1049 title:*休館*\\ncategory:PR",
                 "lines feed 1050 any:*お知らせ*", "feedshot " + windows_path(options), "click feed 2", "ok"]
        lines = drive_dialog(plugin, steps, before=["wait-appends %d 60000" % len(feeds), "sleep 1500"])
    for step in ("shot ", "feedshot "):
        if not any(line.startswith(step) and line.endswith("saved=1") for line in lines):
            raise SystemExit("pictures: a dialog was not photographed: %r" % lines[-20:])
    messages = [m.decode("cp932") for m in plugin.messages(FOLDER)]
    shown = [m for m in messages if "http://toshokan.example/" in m.split("\r\n\r\n", 1)[0]]
    if len(messages) != len(feeds) or len(shown) != 1:
        raise SystemExit("pictures: expected %d messages, one of them from %s; got %d"
                         % (len(feeds), SHOWN_FEED, len(messages)))
    IMAGES.mkdir(parents=True, exist_ok=True)
    bmp_to_png(shot, ROOT / PICTURES[0])
    draw_message(shown[0], ROOT / PICTURES[1])
    bmp_to_png(options, ROOT / PICTURES[2])
    MANIFEST.write_text(manifest_text())
    for path in PICTURES:
        print("pictures: %s (%d bytes)" % (path, (ROOT / path).stat().st_size))


def main(argv):
    if argv[1:] == ["--check"]:
        changed = stale()
        if changed:
            print("pictures: made from other files than these; run scripts/pictures.sh:\n  " + "\n  ".join(changed))
            return 1
        return 0
    make()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

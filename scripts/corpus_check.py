#!/usr/bin/python3
"""The corpus stage: every feed of the real-world corpus served from
127.0.0.1 and patrolled through the real KIV.dll in one run of the stand-in
host; each appended message is read back and compared with what a reference
reader saw in the same file (tests/data/corpus/expected.json).

    corpus_check.py [--update-known]

Run with the Windows build's environment (. build/win64/wine-env) and
KIV_WIN32_BUILD naming that build, as the plug-in tests are. Each feed is one
test. A feed fails on a difference that tests/data/corpus/known_differences.tsv
does not list, or on more items affected than it lists; a listed difference
that has gone is noted. --update-known rewrites that file from this run,
keeping the reasons already written. Ends with "N passed, M failed"."""
import argparse
import calendar
import difflib
import hashlib
import json
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import time
import unicodedata
import urllib.parse

ROOT = pathlib.Path(__file__).resolve().parents[1]
DATA = ROOT / "tests" / "data" / "corpus"
ORIGINS = DATA / "ORIGINS.tsv"
EXPECTED = DATA / "expected.json"
KNOWN = DATA / "known_differences.tsv"
sys.path[:0] = [str(ROOT / "tests" / "plugin"), str(ROOT / "tests" / "support")]

# The host's code page, and KIV's bound on one text field (bytes).
CODE_PAGE = "cp932"
FIELD_BYTES = 511
MESSAGE_SLACK = 100
PATROL_SECONDS = 240


def origins():
    lines = ORIGINS.read_text(encoding="utf-8").splitlines()
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[1:] if line]


def corpus_dir():
    """Where the corpus files are: KIV_CORPUS_DIR (a person's own copy), else
    build/corpus, which scripts/setup.sh lays out; None when the first file
    is in neither."""
    first = origins()[0]["file"]
    place = pathlib.Path(os.environ.get("KIV_CORPUS_DIR") or ROOT / "build" / "corpus")
    return place if (place / first).is_file() else None


# Texts compared as a person reads them: letters and digits only, accents and
# compatibility forms folded, characters the host's code page lacks dropped
# (KIV shows them as "?"), case ignored.
def key(text):
    folded = unicodedata.normalize("NFKD", unicodedata.normalize("NFKC", text))
    kept = []
    for c in folded:
        if unicodedata.combining(c) or not c.isalnum():
            continue
        try:
            c.encode(CODE_PAGE)
        except UnicodeEncodeError:
            continue
        kept.append(c.lower())
    return "".join(kept)


def share_found(expected, seen):
    """The share of expected's characters found in seen, in order."""
    if not expected:
        return 1.0
    matcher = difflib.SequenceMatcher(None, expected, seen, autojunk=False)
    return sum(block.size for block in matcher.get_matching_blocks()) / len(expected)


def same_title(expected, seen):
    e, s = key(expected), key(seen)
    if len(expected.encode("utf-8")) > FIELD_BYTES - 32:
        e = e[:len(s)]  # KIV cuts a field at 511 bytes
    return share_found(e, s) >= 0.8 and share_found(s, e) >= 0.8


def text_found(expected, body):
    e = key(expected)[:40]
    return share_found(e, key(body)[:len(e) * 4 + 400]) >= 0.8


DATE_LINE = re.compile(r"^(\d{4})/(\d\d)/(\d\d) (\d\d):(\d\d):(\d\d)(Z|([+-])(\d\d):(\d\d))$")
TITLE_LINE = re.compile(r"^(.*) \[ (.*) \]$")


def utc_of(date_line):
    match = DATE_LINE.match(date_line)
    if not match:
        return None
    y, mo, d, h, mi, s = (int(g) for g in match.groups()[:6])
    offset = 0 if match.group(7) == "Z" else (int(match.group(9)) * 60 + int(match.group(10))) * (
        -1 if match.group(8) == "-" else 1)
    try:
        stamp = calendar.timegm((y, mo, d, h, mi, s)) - offset * 60
    except (ValueError, OverflowError):
        return None
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(stamp))


def parse_message(raw):
    """A message's channel link, Subject and items (date line, title, link, body)."""
    header, _, body = raw.partition(b"\r\n\r\n")
    fields = dict(line.split(": ", 1) for line in header.decode(CODE_PAGE, "replace").split("\r\n") if ": " in line)
    text = body.decode(CODE_PAGE, "replace")
    text = text[:-2] if text.endswith("\r\n") else text
    _, _, rest = text.partition("\n\n---\n")
    lines = rest.split("\n")

    def starts_block(at):
        return at + 2 < len(lines) and (lines[at] == "" or DATE_LINE.match(lines[at])) \
            and TITLE_LINE.match(lines[at + 1])

    items, at = [], 0
    while starts_block(at):
        end = at + 3
        while end < len(lines) and not (lines[end] == "" and (starts_block(end + 1) or end + 2 >= len(lines))):
            end += 1
        items.append({"date": lines[at], "title": TITLE_LINE.match(lines[at + 1]).group(1),
                      "link": lines[at + 2], "body": "\n".join(lines[at + 3:end])})
        at = end + 1
    link = fields.get("From", "")
    return {"link": link[1:-1] if link.startswith("[") and link.endswith("]") else link,
            "subject": fields.get("Subject", ""), "items": items, "size": len(raw)}


def compare(expected, url, capacity, message):
    """The differences of one delivered feed: {field: (items affected, example)}."""
    found = {}

    def note(field, detail):
        # The server's port changes from run to run; the file lists words that do not.
        detail = detail.replace(url.split("/", 3)[2], "127.0.0.1:PORT")
        count, example = found.get(field, (0, detail))
        found[field] = (count + 1, example)

    # The Subject is "title -description-": the title is the part it starts with.
    title = key(expected["title"])
    if title and share_found(title, key(message["subject"])[:len(title)]) < 0.8:
        note("channel-title", "%r, KIV %r" % (expected["title"][:60], message["subject"][:60]))
    wanted = urllib.parse.urljoin(url, expected["link"]) if expected["link"] else ""
    if wanted and message["link"].strip() != wanted:
        note("channel-link", "%r, KIV %r" % (wanted[:80], message["link"][:80]))
    items, seen = expected["items"], message["items"]
    if len(seen) < len(items):
        # A message that would outgrow its buffer ends at an item boundary.
        # The next block needs at least its title, link and the start of its
        # text, and most likely about as much as the blocks before it.
        following = items[len(seen)]
        texts = [t for t in (following["summary"], following["content"]) if t]
        smallest = 8 + sum(len(t.encode(CODE_PAGE, "replace")) for t in [following["title"], following["link"]] +
                           sorted(texts, key=len)[:1])
        if seen:
            smallest = max(smallest, 2 * message["size"] // len(seen))
        if message["size"] + smallest <= capacity:
            note("item-count", "%d items, KIV %d (%d bytes of %d)" % (len(items), len(seen), message["size"],
                                                                      capacity))
    elif len(seen) > len(items):
        note("item-count", "%d items, KIV %d" % (len(items), len(seen)))
    for want, got in zip(items, seen):
        if want["title"] and not same_title(want["title"], got["title"]):
            note("item-title", "%r, KIV %r" % (want["title"][:60], got["title"][:60]))
        link = urllib.parse.urljoin(url, want["link"]) if want["link"] else ""
        if link and got["link"].strip() != link:
            note("item-link", "%r, KIV %r" % (link[:80], got["link"][:80]))
        if want["dates"]:
            date = utc_of(got["date"])
            if date is None:
                note("item-date", "%s, KIV none" % want["dates"][0])
            elif date not in want["dates"]:
                note("item-date", "%s, KIV %s (%s)" % (want["dates"][0], date, got["date"]))
        texts = [t for t in (want["summary"], want["content"]) if key(t)]
        if texts and not any(text_found(t, got["body"]) for t in texts):
            note("item-text", "%r, KIV %r" % (texts[0][:50], " ".join(got["body"].split())[:50]))
    return found


def differences(expected, url, size, outcome, message):
    if outcome.startswith("failed"):
        # A document that is not well-formed may be refused.
        return {"feed": (1, outcome)} if expected["items"] and not expected["not_well_formed"] else {}
    if not expected["items"]:
        return {}
    if message is None:
        return {"feed": (1, outcome)}
    return compare(expected, url, size + MESSAGE_SLACK, message)


def cause(document, field, detail):
    """A first reason for a difference, from the document and KIV's words; the
    known-differences file keeps whatever reason a person writes instead."""
    head = document[:4096].lstrip(b"\xef\xbb\xbf")
    root = re.search(rb"<([A-Za-z_][\w.:-]*)[\s>/]", re.sub(rb"<\?.*?\?>|<!--.*?-->|<!DOCTYPE[^>]*>", b"", head, flags=re.S))
    root = root.group(1).decode("ascii", "replace") if root else ""
    kiv = detail.rsplit(", KIV ", 1)[-1]
    if field == "feed":
        if "not a feed" in detail and re.search(rb"<\?xml-stylesheet", head):
            return "a stylesheet processing instruction in the prolog"
        if "not a feed" in detail and head[:2] in (b"\xff\xfe", b"\xfe\xff"):
            return "UTF-16"
        if root in ("html", "xhtml"):
            return "a feed inside an HTML page"
        if root == "feed" and b"http://www.w3.org/2005/Atom" not in head and b"http://purl.org/atom/ns#" not in head:
            return "Atom with no namespace"
        if b"my.netscape.com/rdf/simple/0.9" in head or b"channel.netscape.com/rdf/simple/0.9" in head:
            return "RSS 0.90"
        if re.search(rb"<\w+:(channel|item|rss)[\s>]", document):
            return "RSS elements with a namespace prefix"
        if re.search(rb"<channel[^>]*\sxmlns=", document):
            return "the RSS 1.0 namespace declared on the channel, not the root"
        if "no new items" in detail:
            return "the channel is not the root's first child element"
        return detail
    if field in ("channel-link", "item-link"):
        if kiv in ("''", '""'):
            return "no link read"
        if not re.match(r"'[a-z][a-z0-9+.-]*:", kiv):
            return "a relative address left as it is"
        return "another link taken"
    if field in ("channel-title", "item-title"):
        if kiv in ("''", '""', "' --'"):
            return "no title read"
        if re.search(r"&#?\w+;|<\w|&lt;", kiv):
            return "markup or a character reference left in the title"
        return "the title read otherwise (its encoding?)"
    if field == "item-date":
        return "no date read" if kiv.endswith("none") else "another date read"
    if field == "item-text":
        return "no body read" if kiv in ("''", '""') else "the body read otherwise"
    if field == "item-count":
        wanted, got = re.findall(r"\d+", detail)[:2]
        return "elements after the items walked as items" if int(got) > int(wanted) else "items lost"
    return detail


def read_known():
    known = {}
    if KNOWN.is_file():
        for line in KNOWN.read_text(encoding="utf-8").splitlines():
            if line and not line.startswith("#") and not line.startswith("file\t"):
                name, field, count, why = (line.split("\t") + ["", ""])[:4]
                known[(name, field)] = (int(count or 1), why)
    return known


def write_known(found, known, corpus):
    lines = ["# Where today's KIV reads a corpus feed otherwise than the reference reader,",
             "# and why. Rewritten by scripts/corpus_check.py --update-known; the reasons",
             "# already written are kept.",
             "file\tfield\titems\twhy"]
    for (name, field), (count, detail) in sorted(found.items()):
        why = known.get((name, field), (0, ""))[1] or "%s: %s" % (
            cause((corpus / name).read_bytes(), field, detail), detail)
        lines.append("\t".join((name, field, str(count), " ".join(why.split()))))
    KNOWN.write_text("\n".join(lines) + "\n", encoding="utf-8")


def patrol(corpus, rows):
    """Serves every feed, patrols them all once; {file: (url, outcome, message)}."""
    from feed_server import FeedServer
    from kivhost import HostSession, PluginFolder
    from patrol_helpers import log_lines, settings

    with tempfile.TemporaryDirectory() as work, FeedServer() as server:
        urls = {row["file"]: server.serve("/" + urllib.parse.quote(row["file"]), (corpus / row["file"]).read_bytes()) for row in rows}
        plugin = PluginFolder(pathlib.Path(work) / "plugins")
        plugin.write_ini(settings(*urls.values()))
        host = HostSession(plugin)
        try:
            host.send("load")
            deadline = time.monotonic() + PATROL_SECONDS
            lines = []
            while time.monotonic() < deadline:
                log = plugin.data / "patrol.log"
                lines = log_lines(plugin) if log.is_file() else []
                if len(lines) >= len(rows):
                    break
                time.sleep(0.5)
            host.send("unload")
        finally:
            host.close()
        outcomes = dict(lines)
        messages = iter(plugin.messages())
        result = {}
        for row in rows:
            url = urls[row["file"]]
            outcome = outcomes.get(url, "not patrolled")
            message = next(messages, None) if outcome.startswith("delivered") else None
            result[row["file"]] = (url, outcome, message)
        return result


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--update-known", action="store_true")
    args = parser.parse_args()
    corpus = corpus_dir()
    if corpus is None:
        # A stage that checks nothing would pass whatever KIV lost.
        print("corpus: no corpus laid out in %s: run scripts/setup.sh (see tests/data/corpus/README.md)"
              % (os.environ.get("KIV_CORPUS_DIR") or ROOT / "build" / "corpus"))
        print("0 passed, 1 failed")
        return 1
    rows = origins()
    expected = json.loads(EXPECTED.read_text(encoding="utf-8"))
    started = time.monotonic()
    runs = patrol(corpus, rows)
    known = read_known()
    found, passed, failed, gone = {}, 0, 0, []
    delivered = refused = items_seen = 0
    for row in rows:
        name = row["file"]
        url, outcome, raw = runs[name]
        message = parse_message(raw) if raw else None
        delivered += message is not None
        refused += outcome.startswith("failed")
        items_seen += len(message["items"]) if message else 0
        document = (corpus / name).read_bytes()
        if hashlib.sha256(document).hexdigest() != row["sha256"]:
            diffs = {"file": (1, "not the file ORIGINS.tsv names (its SHA-256 differs)")}
        else:
            diffs = differences(expected[name], url, len(document), outcome, message)
        new = []
        for field, (count, detail) in sorted(diffs.items()):
            found[(name, field)] = (count, detail)
            if count > known.get((name, field), (0, ""))[0]:
                new.append("%s (%d items): %s" % (field, count, detail))
        for (known_name, field), (count, _) in known.items():
            if known_name == name and diffs.get(field, (0, ""))[0] < count:
                gone.append("%s %s: %d items, now %d" % (name, field, count, diffs.get(field, (0, ""))[0]))
        if new:
            failed += 1
            print("FAIL %s [%s]" % (name, outcome))
            for line in new:
                print("    " + line)
        else:
            passed += 1
    for name in (row["file"] for row in rows):
        if runs[name][1].startswith("failed"):
            print("refused %s: %s%s" % (name, runs[name][1][len("failed: "):],
                                        " (not well-formed)" if expected[name]["not_well_formed"] else ""))
    for line in gone:
        print("note: a known difference has shrunk or gone: " + line)
    if args.update_known:
        write_known(found, known, corpus)
        print("wrote %s: %d differences" % (KNOWN.relative_to(ROOT), len(found)))
    print("corpus: %d feeds from %s in %.0f s: %d delivered, %d refused (%d are not well-formed); "
          "items %d expected, %d delivered; %d known differences, %d gone"
          % (len(rows), corpus, time.monotonic() - started, delivered, refused,
             sum(bool(e["not_well_formed"]) for e in expected.values()), sum(len(e["items"]) for e in expected.values()),
             items_seen, len(known), len(gone)))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

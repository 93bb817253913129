#!/usr/bin/python3
"""Writes what a reference reader sees in each feed of the real-world corpus,
once, into tests/data/corpus/expected.json; the corpus stage compares KIV's
messages against it. Needs Debian's python3-feedparser, which only this
script uses. Debian's feedparser (6.0) reads no JSON Feed: a document that
is JSON is read here by Python's json module as JSON Feed 1.1's own text
maps its fields (any object with a list of items, as other readers take it).

    corpus_expectations.py [CORPUS_DIR]

Per feed: why it is not well-formed XML, if it is not (a reader may then
refuse it; the items are those the reference reader still found), the feed's
title and link, and per item its title, link, date (UTC, to the second) and
the first characters of its readable text (summary and content apart, since
readers differ in which they show)."""
import calendar
import html
import json
import pathlib
import re
import sys
import time
import xml.sax

import feedparser

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from corpus_check import EXPECTED, corpus_dir, origins  # noqa: E402

TEXT_PREFIX = 80


def readable(markup):
    """Text as a person reads it: tags dropped, references resolved, runs of
    white space made one space."""
    text = re.sub(r"(?is)<(script|style)\b.*?</\1\s*>", " ", markup or "")
    text = html.unescape(re.sub(r"(?s)<[^>]*>", " ", text))
    return " ".join(text.split())


def utc(parsed):
    return None if not parsed else "%04d-%02d-%02dT%02d:%02d:%02dZ" % tuple(parsed[:6]) \
        if calendar.timegm(parsed) is not None else None


def item_of(entry):
    content = entry.get("content") or []
    return {
        "title": readable(entry.get("title", "")),
        "link": entry.get("link", ""),
        "dates": sorted({d for d in (utc(entry.get("published_parsed")), utc(entry.get("updated_parsed")),
                                     utc(entry.get("created_parsed"))) if d}),
        "summary": readable(entry.get("summary", ""))[:TEXT_PREFIX],
        "content": readable(content[0].get("value", ""))[:TEXT_PREFIX] if content else "",
    }


def json_utc(text):
    """An RFC 3339 date as UTC to the second, or None."""
    match = re.match(r"(\d{4})-(\d\d)-(\d\d)[Tt ](\d\d):(\d\d):(\d\d)(?:\.\d+)?(Z|z|[+-]\d\d:\d\d)?$", text or "")
    if not match:
        return None
    fields = [int(g) for g in match.groups()[:6]]
    zone = match.group(7) or "Z"
    offset = 0 if zone in "Zz" else (1 if zone[0] == "+" else -1) * (int(zone[1:3]) * 60 + int(zone[4:6])) * 60
    return time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(calendar.timegm(fields + [0, 0, 0]) - offset))


def json_expectation(document):
    def text(value):
        return value if isinstance(value, str) else ""

    items = []
    for entry in document.get("items") or []:
        if not isinstance(entry, dict):
            continue
        items.append({
            "title": readable(html.escape(text(entry.get("title")))),
            "link": text(entry.get("url")) or text(entry.get("external_url")),
            "dates": sorted({d for d in (json_utc(text(entry.get("date_published"))),
                                         json_utc(text(entry.get("date_modified")))) if d}),
            "summary": readable(html.escape(text(entry.get("summary"))))[:TEXT_PREFIX],
            "content": (readable(text(entry.get("content_html"))) or
                        readable(html.escape(text(entry.get("content_text")))))[:TEXT_PREFIX],
        })
    return {"not_well_formed": "", "title": readable(html.escape(text(document.get("title")))),
            "link": text(document.get("home_page_url")), "items": items}


def expectation(data):
    if data.lstrip(b"\xef\xbb\xbf \t\r\n").startswith(b"{"):
        return json_expectation(json.loads(data.decode("utf-8-sig")))
    parsed = feedparser.parse(data, sanitize_html=False, resolve_relative_uris=True)
    error = parsed.get("bozo_exception")
    return {
        "not_well_formed": str(error) if isinstance(error, xml.sax.SAXParseException) else "",
        "title": readable(parsed.feed.get("title", "")),
        "link": parsed.feed.get("link", ""),
        "items": [item_of(e) for e in parsed.entries],
    }


def main():
    corpus = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else corpus_dir()
    if corpus is None:
        sys.exit("no corpus: see tests/data/corpus/README.md")
    expected = {row["file"]: expectation((corpus / row["file"]).read_bytes()) for row in origins()}
    EXPECTED.write_text(json.dumps(expected, ensure_ascii=False, indent=1, sort_keys=True) + "\n", encoding="utf-8")
    print("%d feeds, %d items, %d not well-formed -> %s" % (
        len(expected), sum(len(e["items"]) for e in expected.values()),
        sum(bool(e["not_well_formed"]) for e in expected.values()), EXPECTED))


if __name__ == "__main__":
    main()

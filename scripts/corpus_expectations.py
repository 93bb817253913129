#!/usr/bin/python3
"""Writes what a reference reader sees in each feed of the real-world corpus,
once, into tests/data/corpus/expected.json; the corpus stage compares KIV's
messages against it. Needs Debian's python3-feedparser, which only this
script uses.

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


def expectation(data):
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

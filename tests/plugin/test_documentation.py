"""The documentation as a reader meets it: every link between the README,
the changelog and docs/ leads to a file and a heading that exist, and the
README's pictures were made from the dialog, texts and sample feeds as they
are now (scripts/pictures.sh)."""
import pathlib
import re
import sys

import pytest

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
import pictures  # noqa: E402

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")


def documents():
    return [SOURCE_DIR / "README.md", SOURCE_DIR / "CHANGELOG.md"] + sorted((SOURCE_DIR / "docs").glob("*.md"))


def anchor(heading):
    """The anchor a heading gets: lower case, punctuation dropped, spaces as hyphens."""
    return re.sub(r"[^\w\- ]", "", heading.strip().lower()).replace(" ", "-")


def anchors(path):
    text = re.sub(r"```.*?```", "", path.read_text(encoding="utf-8"), flags=re.S)
    return {anchor(line.lstrip("#")) for line in text.splitlines() if re.match(r"#{1,6} ", line)}


def broken_links(path):
    """The links of a Markdown file that lead nowhere: a missing file, or a
    #fragment that no heading of the target has. Web addresses are not followed."""
    text = re.sub(r"```.*?```", "", path.read_text(encoding="utf-8"), flags=re.S)
    broken = []
    for target in LINK.findall(text):
        if re.match(r"[a-z]+:", target):
            continue
        file, _, fragment = target.partition("#")
        resolved = (path.parent / file).resolve() if file else path
        if not resolved.exists() or (fragment and (resolved.suffix != ".md" or fragment not in anchors(resolved))):
            broken.append(target)
    return broken


def test_link_checker_finds_a_missing_file_and_a_missing_heading(tmp_path):
    (tmp_path / "other.md").write_text("# Title\n\n## The feed's record: keys\n")
    page = tmp_path / "page.md"
    page.write_text("# Page\n\n## Here too\n\n"
                    "[ok](other.md) [ok](other.md#the-feeds-record-keys) [ok](#here-too) [web](https://x.example/)\n"
                    "[gone](missing.md) [no heading](other.md#the-record) ![no picture](images/a.png)\n"
                    "```\n[in code](ignored.md)\n```\n")
    assert broken_links(page) == ["missing.md", "other.md#the-record", "images/a.png"]


@pytest.mark.parametrize("path", documents(), ids=lambda p: str(p.relative_to(SOURCE_DIR)))
def test_every_link_of_the_documentation_leads_somewhere(path):
    assert broken_links(path) == []


def test_readme_pictures_were_made_from_todays_inputs():
    # A failure names the inputs that changed: run scripts/pictures.sh and
    # commit the new pictures with docs/images/pictures.sha256.
    assert pictures.stale() == []
    # Each is shown: in the README, or in a page of the reference.
    shown = (SOURCE_DIR / "README.md").read_text(encoding="utf-8") + "".join(
        page.read_text(encoding="utf-8").replace("](images/", "](docs/images/")
        for page in (SOURCE_DIR / "docs").glob("*.md"))
    assert [picture for picture in pictures.PICTURES if "](%s)" % picture not in shown] == []

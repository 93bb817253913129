"""The version information in KIV.dll, as Windows' file properties read it:
both builds, both languages, and the same version and name as the
information record that the host reads."""
import pathlib
import re
import sys

from kivhost import PRODUCT_BUILD, WIN32_BUILD, run_host
from pe_image import RT_VERSION, PeImage, version_info

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "scripts"))
from package import version_text  # noqa: E402  (the one source: resources/version.h)

NAME = " KIV -Feed Reader Plugin- "
COMMON = {"CompanyName": "The KIV developers", "FileDescription": NAME, "InternalName": "KIV",
          "LegalCopyright": "Copyright (C) 2026 The KIV developers", "OriginalFilename": "KIV.dll",
          "ProductName": "KIV"}
COMMENTS = {"041103a4": "Quenda 用のフィードリーダー プラグイン：RSS と Atom をメールとして読めます",
            "000904e4": "Feed reader plug-in for Quenda: read RSS and Atom feeds as mail"}


def read_version_info(build):
    resources = PeImage((build / "KIV.dll").read_bytes()).resources(RT_VERSION)
    assert list(resources) == [(1, 0x0411)]
    return version_info(resources[(1, 0x0411)])


def test_both_builds_carry_the_version_in_japanese_and_english():
    version = version_text()
    major, minor = version.split(".")
    numbers = (int(major) << 16 | int(minor[0]), int(minor[1]) << 16)
    for build in (PRODUCT_BUILD, WIN32_BUILD):
        info = read_version_info(build)
        fixed = info["fixed"]
        assert fixed["signature"] == 0xFEEF04BD, build
        assert (fixed["file_ms"], fixed["file_ls"]) == numbers == (fixed["product_ms"], fixed["product_ls"])
        assert (fixed["flags"], fixed["os"], fixed["type"]) == (0, 0x40004, 2), build  # VOS_NT_WINDOWS32, VFT_DLL
        assert info["translations"] == [(0x0411, 932), (0x0009, 1252)]
        assert info["strings"] == {table: dict(COMMON, Comments=comments, FileVersion=version,
                                               ProductVersion=version)
                                   for table, comments in COMMENTS.items()}, build


def test_information_record_shows_what_the_resource_says(plugin):
    strings = read_version_info(WIN32_BUILD)["strings"]["041103a4"]
    lines = run_host(plugin, "load", "info", "unload")
    name = next(line for line in lines if line.startswith("info name="))
    version = next(line for line in lines if line.startswith("info version="))
    assert name.startswith('info name="%s"' % strings["FileDescription"])
    assert version.startswith('info version="%s"' % strings["FileVersion"])
    assert strings["FileVersion"] == "1.08"


def test_guide_changelog_and_documents_name_the_version_of_the_resource():
    version = version_text()
    source = pathlib.Path(__file__).resolve().parents[2]
    guide = (source / "resources" / "user_guide.txt").read_text(encoding="utf-8")
    history = guide.split("■ 更新履歴", 1)[1]
    assert re.search(r"^  (\d+\.\d\d)（", history, re.M).group(1) == version
    changelog = (source / "CHANGELOG.md").read_text(encoding="utf-8")
    assert re.search(r"^## \[(\d+\.\d\d)\]", changelog, re.M).group(1) == version
    # Every version the README and the reference name (the zip, the user
    # agent, the To line) is this one.
    named = {}
    for document in [source / "README.md"] + sorted((source / "docs").glob("*.md")):
        for found in re.findall(r"(?:KIV[ v-]?|kiv)(\d+\.\d\d)\b", document.read_text(encoding="utf-8")):
            named.setdefault(found, []).append(document.name)
    assert set(named) == {version}, named
    assert "README.md" in named[version]

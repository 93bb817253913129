"""The release package as scripts/package.sh writes it: its three files, the
guide as a Windows user reads it, and the same bytes from a second run."""
import os
import pathlib
import subprocess
import sys
import zipfile

import pytest

from pe_image import RT_VERSION, PeImage, version_info

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(SOURCE_DIR / "scripts"))
from package import version_text  # noqa: E402

GUIDE_SECTIONS = ["■ KIV とは", "■ インストール", "■ 最初の起動", "■ 設定画面", "■ 届くメールの形",
                  "■ KIV が覚えていること", "■ ポッドキャスト・動画の添付と JSON Feed", "■ HTTPS",
                  "■ 変わっていないフィードは読み直さない", "■ 巡回の記録（patrol.log）",
                  "■ フィードごとの設定（feeds.ini）", "■ KIV がしないこと", "■ アンインストール", "■ 更新履歴"]


@pytest.fixture(scope="module")
def packages(tmp_path_factory):
    """The zip of two package runs of this checkout; the second builds the DLL
    afresh in a folder of its own."""
    made = []
    for run in ("first", "second"):
        dist = tmp_path_factory.mktemp(run)
        environment = dict(os.environ)
        if run == "second":
            environment["KIV_PACKAGE_BUILD"] = str(tmp_path_factory.mktemp("build"))
        result = subprocess.run(["bash", str(SOURCE_DIR / "scripts" / "package.sh"), str(dist)], cwd=SOURCE_DIR,
                                capture_output=True, text=True, env=environment)
        assert result.returncode == 0, result.stdout + result.stderr
        made.append(dist / ("KIV-%s.zip" % version_text()))
    return made


def test_two_runs_give_the_same_zip_of_three_files_in_fixed_order(packages):
    first, second = packages
    assert first.read_bytes() == second.read_bytes()
    with zipfile.ZipFile(first) as archive:
        entries = archive.infolist()
    assert [entry.filename for entry in entries] == ["KIV.dll", "KIV.ini", "KIV.txt"]
    assert len({entry.date_time for entry in entries}) == 1
    assert {(entry.external_attr >> 16, entry.compress_type) for entry in entries} == {(0o100644, zipfile.ZIP_DEFLATED)}


def test_dll_is_the_shipped_32bit_build_without_symbols(packages, tmp_path):
    with zipfile.ZipFile(packages[0]) as archive:
        dll = archive.read("KIV.dll")
    image = PeImage(dll)
    assert (image.machine, image.magic, image.timestamp) == (0x14c, 0x10b, 0)  # i386, PE32, no link time
    stripped = tmp_path / "KIV.dll"
    subprocess.run(["i686-w64-mingw32-strip", "--strip-all", "-o", str(stripped),
                    str(SOURCE_DIR / "build" / "win32" / "KIV.dll")], check=True,
                   env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
    assert dll == stripped.read_bytes()
    info = version_info(image.resources(RT_VERSION)[(1, 0x0411)])
    assert info["strings"]["041103a4"]["FileVersion"] == version_text()


def test_default_settings_and_the_guide_in_code_page_932_with_cr_lf(packages):
    with zipfile.ZipFile(packages[0]) as archive:
        settings, guide = archive.read("KIV.ini"), archive.read("KIV.txt")
    assert settings == b"0\r\n0"
    text = guide.decode("cp932")  # strict: every byte pair a code page 932 character
    assert guide.endswith(b"\r\n") and guide.count(b"\r") == guide.count(b"\r\n") == guide.count(b"\n")
    lines = text.split("\r\n")
    at = [next(i for i, line in enumerate(lines) if line.startswith(section)) for section in GUIDE_SECTIONS]
    assert at == sorted(at)
    install = "\r\n".join(lines[at[1]:at[2]])
    assert "KIV.dll と KIV.ini の 2 つのファイル" in install
    assert "バージョン %s" % version_text() in text and "[KIVv%s]" % version_text() in text
    assert "@VERSION@" not in text
    for phrase in ("patrol.log.1", "1 MB", "3 日間続けて", "変更したり削除したりすることはありません",
                   "「KIV」フォルダも削除します", "目印を覚えていない記事", "version: %s" % version_text()):
        assert phrase in text, phrase

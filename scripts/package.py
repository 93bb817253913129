"""Writes the release package KIV-<version>.zip from a built KIV.dll.

    python3 scripts/package.py BUILT_DLL DIST_DIR

The zip holds KIV.dll (stripped of its symbols and debugging sections), the
default KIV.ini and the user guide KIV.txt in code page 932 with CR LF line
ends. The same sources give the same zip bytes: the entries come in a fixed
order with fixed dates (the last commit's), permissions and compression.
"""
import datetime
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import zipfile

SOURCE_DIR = pathlib.Path(__file__).resolve().parents[1]
VERSION_HEADER = SOURCE_DIR / "resources" / "version.h"
GUIDE_SOURCE = SOURCE_DIR / "resources" / "user_guide.txt"
STRIP = "i686-w64-mingw32-strip"
# Two entries, the interval index and the auto-sort switch, as KIV itself
# writes entries: CR LF between them and nothing after the last. The folder
# prompt inserts the destination folder above them on first use.
DEFAULT_SETTINGS = b"0\r\n0"
# Dates for a checkout without history: the zip format cannot go before 1980.
FALLBACK_DATE = (2026, 1, 1, 0, 0, 0)


def version_text(header=VERSION_HEADER):
    """"1.08" from the three digits that resources/version.h defines."""
    text = header.read_text(encoding="ascii")
    digits = {}
    for name in ("MAJOR", "MINOR_TENS", "MINOR_UNITS"):
        match = re.search(r"^#define KIV_VERSION_%s (\d+)$" % name, text, re.M)
        if not match:
            raise SystemExit("package: KIV_VERSION_%s not found in %s" % (name, header))
        digits[name] = match.group(1)
    return "%s.%s%s" % (digits["MAJOR"], digits["MINOR_TENS"], digits["MINOR_UNITS"])


def guide_bytes(version):
    """The guide as a Windows user's editor reads it: code page 932, CR LF.
    A character that code page 932 lacks stops the package, with its place."""
    lines = GUIDE_SOURCE.read_text(encoding="utf-8").replace("@VERSION@", version).splitlines()
    encoded = []
    for number, line in enumerate(lines, 1):
        try:
            encoded.append(line.encode("cp932"))
        except UnicodeEncodeError as error:
            raise SystemExit("package: %s line %d: %r has no code page 932 form"
                             % (GUIDE_SOURCE.name, number, line[error.start:error.end]))
    return b"\r\n".join(encoded) + b"\r\n"


def stripped_dll(built):
    """The DLL without symbols and debugging sections (which also name the
    build's own paths); the code and resources stay as they are."""
    with tempfile.TemporaryDirectory() as work:
        copy = pathlib.Path(work) / "KIV.dll"
        # strip stamps the PE header with the time of its run unless
        # SOURCE_DATE_EPOCH names one: 0, as the linker leaves it.
        subprocess.run([STRIP, "--strip-all", "-o", str(copy), str(built)], check=True,
                       env=dict(os.environ, SOURCE_DATE_EPOCH="0"))
        return copy.read_bytes()


def package_date():
    """The last commit's time in UTC, so that one commit gives one zip."""
    try:
        seconds = subprocess.run(["git", "-C", str(SOURCE_DIR), "log", "-1", "--format=%ct"], capture_output=True,
                                 text=True, check=True).stdout.strip()
        moment = datetime.datetime.fromtimestamp(int(seconds), datetime.timezone.utc)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return FALLBACK_DATE
    return moment.timetuple()[:6]


def write_zip(path, members, date):
    """members: (name, bytes) in the order wanted. Written beside the target
    and moved over it, so a failed run leaves no half zip behind."""
    partial = path.with_name(path.name + ".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for name, data in members:
            info = zipfile.ZipInfo(name, date_time=date)
            info.create_system = 3  # permissions below are Unix ones
            info.external_attr = 0o100644 << 16
            info.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(info, data, compresslevel=9)
    os.replace(partial, path)


def main(argv):
    if len(argv) != 3:
        raise SystemExit("usage: package.py BUILT_DLL DIST_DIR")
    built, dist = pathlib.Path(argv[1]), pathlib.Path(argv[2])
    version = version_text()
    dist.mkdir(parents=True, exist_ok=True)
    target = dist / ("KIV-%s.zip" % version)
    write_zip(target, [("KIV.dll", stripped_dll(built)), ("KIV.ini", DEFAULT_SETTINGS),
                       ("KIV.txt", guide_bytes(version))], package_date())
    print(target)


if __name__ == "__main__":
    main(sys.argv)

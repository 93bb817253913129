#!/usr/bin/python3
"""Lays out the real-world feed corpus from Debian source packages: every
file of tests/data/corpus/ORIGINS.tsv, taken from the upstream tarball of
the package version it names and checked against its recorded SHA-256.

    corpus_collect.py [--cache DIR] [--out DIR]

The tarballs are fetched once with apt-get source (deb-src lines needed)
into --cache (default build/corpus-src); the files go to --out (default
build/corpus) as <source>/<name>, with ORIGINS.tsv beside them. Does
nothing when every file there already has its SHA-256. Fails, naming the
package or the file, when a pinned version cannot be had or a file is
missing or differs: a corpus that silently shrank would check less."""
import argparse
import hashlib
import pathlib
import shutil
import subprocess
import sys
import tarfile

ROOT = pathlib.Path(__file__).resolve().parents[1]
ORIGINS = ROOT / "tests" / "data" / "corpus" / "ORIGINS.tsv"


def origins():
    lines = ORIGINS.read_text(encoding="utf-8").splitlines()
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[1:] if line]


def sha256(path):
    return hashlib.sha256(path.read_bytes()).hexdigest() if path.is_file() else None


def upstream_tarball(cache, package, version):
    """The package's .orig tarball of that version, fetched when absent.
    Only the upstream tarball is needed (test data is upstream's), so a
    Debian part the archive no longer serves does not matter; apt has
    checked what it fetched against the signed source index."""
    upstream = version.split(":")[-1].rsplit("-", 1)[0]
    pattern = "%s_%s.orig.tar.*" % (package, upstream)
    found = [p for p in cache.glob(pattern) if not p.name.endswith(".asc")]
    if not found:
        cache.mkdir(parents=True, exist_ok=True)
        subprocess.run(["apt-get", "source", "--download-only", "-qq", "%s=%s" % (package, version)],
                       cwd=cache, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        found = [p for p in cache.glob(pattern) if not p.name.endswith(".asc")]
    if not found:
        sys.exit("corpus: Debian source package %s=%s cannot be fetched (deb-src lines? a version gone "
                 "from the archive?); the corpus pins it, see tests/data/corpus/README.md" % (package, version))
    return found[0]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--cache", type=pathlib.Path, default=ROOT / "build" / "corpus-src")
    parser.add_argument("--out", type=pathlib.Path, default=ROOT / "build" / "corpus")
    args = parser.parse_args()
    rows = origins()
    todo = [row for row in rows if sha256(args.out / row["file"]) != row["sha256"]]
    bad = []
    for package, version in sorted({(row["package"], row["version"]) for row in todo}):
        with tarfile.open(upstream_tarball(args.cache, package, version)) as tar:
            for row in (r for r in todo if r["package"] == package):
                try:
                    data = tar.extractfile(row["path"]).read()
                except (KeyError, AttributeError):
                    data = b""
                if hashlib.sha256(data).hexdigest() != row["sha256"]:
                    bad.append("%s (%s %s: %s)" % (row["file"], package, version, row["path"]))
                    continue
                target = args.out / row["file"]
                target.parent.mkdir(parents=True, exist_ok=True)
                target.write_bytes(data)
    if bad:
        sys.exit("corpus: missing or changed in their packages:\n  " + "\n  ".join(bad))
    args.out.mkdir(parents=True, exist_ok=True)
    shutil.copyfile(ORIGINS, args.out / "ORIGINS.tsv")
    print("corpus: %d files in %s (%d laid out now)" % (len(rows), args.out, len(todo)))


if __name__ == "__main__":
    main()

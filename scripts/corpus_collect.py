#!/usr/bin/python3
"""Lays out the real-world feed corpus from git copies of its origin
repositories: every file of tests/data/corpus/ORIGINS.tsv, taken at its
recorded commit and checked against its recorded SHA-256.

    corpus_collect.py --repos DIR [--out DIR]

DIR holds one bare or ordinary git directory per repository, named
owner+name (owner+name/repo also serves). The files go to --out (default
build/corpus), as <source>/<name>, with ORIGINS.tsv beside them."""
import argparse
import hashlib
import pathlib
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[1]
ORIGINS = ROOT / "tests" / "data" / "corpus" / "ORIGINS.tsv"


def origins():
    lines = ORIGINS.read_text(encoding="utf-8").splitlines()
    names = lines[0].split("\t")
    return [dict(zip(names, line.split("\t"))) for line in lines[1:] if line]


def git_dir(repos, repository):
    base = repos / repository.replace("/", "+")
    return base / "repo" if (base / "repo").is_dir() else base


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repos", type=pathlib.Path, required=True)
    parser.add_argument("--out", type=pathlib.Path, default=ROOT / "build" / "corpus")
    args = parser.parse_args()
    bad = 0
    for row in origins():
        data = subprocess.run(["git", "--git-dir", str(git_dir(args.repos, row["repository"])), "show",
                               "%s:%s" % (row["commit"], row["path"])], capture_output=True).stdout
        if hashlib.sha256(data).hexdigest() != row["sha256"]:
            print("missing or changed: %s (%s %s)" % (row["file"], row["repository"], row["path"]), file=sys.stderr)
            bad += 1
            continue
        target = args.out / row["file"]
        target.parent.mkdir(parents=True, exist_ok=True)
        target.write_bytes(data)
    shutil.copyfile(ORIGINS, args.out / "ORIGINS.tsv")
    print("%d files in %s, %d missing" % (len(origins()) - bad, args.out, bad))
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())

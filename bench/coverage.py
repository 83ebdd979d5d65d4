"""Dictionary coverage of real running Ukrainian text, first image against
the shipped one.

Text: the Ukrainian manual pages of Debian's package manpages-uk (235 pages,
translated documentation of coreutils, util-linux, shadow and others),
installed by this script. roff markup is stripped; every maximal run of
Ukrainian letters (with apostrophes and hyphens inside) is a word token.
For each image the share of tokens with at least one reading is counted
over all Cyrillic tokens and over the multi-vowel ones (a one-vowel word
always gets a reading, so those are the ones the dictionary decides).

The first image is the file data/lexovia.dict.bz2 as it was first committed
(Wiktionary only); the shipped one is the current file. Modules embedding
each are built in bench/work/.

Usage: bench/run coverage.py [--show N]
"""
import argparse
import collections
import gzip
import json
import os
import re
import subprocess

from common import PYTHON, REPO, WORK_DIR, build_module, ensure_debian_packages

MAN_DIR = "/usr/share/man/uk"
IMAGE = os.path.join(REPO, "data", "lexovia.dict.bz2")

LETTERS = "а-щьюяґєіїА-ЩЬЮЯҐЄІЇ"
WORD = re.compile(rf"[{LETTERS}]+(?:['’ʼ`-][{LETTERS}]+)*")
VOWELS = set("аеєиіїоуюяАЕЄИІЇОУЮЯ")
ROFF_ESCAPE = re.compile(r"\\(?:f(?:\[[^]]*\]|\(..|.)|\(..|\[[^]]*\]|s[-+]?\d|[*n]\(?..|.)")

CHILD = r"""
import json, sys, lexovia
words = json.load(sys.stdin)
found = [bool(r["readings"]) for r in lexovia.lookup_many(words)]
json.dump({"module": lexovia.__file__, "entries": lexovia.word_count(), "found": found}, sys.stdout)
"""


def man_text():
    """Plain text of every Ukrainian manual page."""
    ensure_debian_packages("manpages-uk")
    out = []
    for root, _, files in os.walk(MAN_DIR):
        for name in sorted(files):
            path = os.path.join(root, name)
            opener = gzip.open if name.endswith(".gz") else open
            with opener(path, "rt", encoding="utf-8", errors="replace") as f:
                for line in f:
                    if line.startswith(('.\\"', "'\\\"")):
                        continue
                    if line.startswith("."):
                        # A macro line: keep its arguments (headings, tags).
                        line = line.split(None, 1)[1] if " " in line.strip() else ""
                    out.append(ROFF_ESCAPE.sub(" ", line))
    return "".join(out)


def first_image():
    """The first committed data/lexovia.dict.bz2, extracted into bench/work."""
    first = subprocess.run(["git", "-C", REPO, "log", "--diff-filter=A", "--format=%H", "--",
                            "data/lexovia.dict.bz2"], check=True, capture_output=True,
                           text=True).stdout.split()[-1]
    path = os.path.join(WORK_DIR, f"first-image-{first[:10]}.bz2")
    if not os.path.exists(path):
        os.makedirs(WORK_DIR, exist_ok=True)
        data = subprocess.run(["git", "-C", REPO, "show", f"{first}:data/lexovia.dict.bz2"],
                              check=True, capture_output=True).stdout
        with open(path, "wb") as f:
            f.write(data)
    return path, first


def found_with(image, build, words):
    build_module(image, build)
    proc = subprocess.run([PYTHON, "-c", CHILD], input=json.dumps(words), check=True,
                          capture_output=True, text=True, env=dict(os.environ, PYTHONPATH=build))
    result = json.loads(proc.stdout)
    return result["entries"], result["found"]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--show", type=int, default=25,
                        help="how many of the most frequent multi-vowel words still without a reading to list")
    args = parser.parse_args()

    tokens = WORD.findall(man_text())
    counts = collections.Counter(tokens)
    words = sorted(counts)
    multi = {w for w in words if sum(ch in VOWELS for ch in w) >= 2}
    first_path, first_commit = first_image()
    images = [("first image", first_path, os.path.join(WORK_DIR, "build-first")),
              ("shipped image", IMAGE, os.path.join(WORK_DIR, "build-shipped"))]

    print("reproduce: bench/run coverage.py    (from the repository root)")
    print(f"text: {MAN_DIR} (Debian manpages-uk), {len(tokens):,} Cyrillic word tokens, "
          f"{len(words):,} distinct; multi-vowel: {sum(counts[w] for w in multi):,} tokens, "
          f"{len(multi):,} distinct\n")
    missing = None
    for label, image, build in images:
        entries, found = found_with(image, build, words)
        known = {w for w, ok in zip(words, found) if ok}
        all_share = sum(counts[w] for w in known) / len(tokens)
        multi_tokens = sum(counts[w] for w in multi)
        multi_share = sum(counts[w] for w in multi & known) / multi_tokens
        name = f"{label} ({entries:,} entries)"
        if label == "first image":
            name += f", commit {first_commit[:10]}"
        print(f"{name}:")
        print(f"  Cyrillic tokens with a reading            {all_share:8.2%}")
        print(f"  multi-vowel Cyrillic tokens with a reading {multi_share:7.2%}")
        missing = sorted(multi - known, key=lambda w: -counts[w])
    print("\nmost frequent multi-vowel words without a reading in the shipped image:")
    print("  " + ", ".join(f"{w} ({counts[w]})" for w in missing[:args.show]))


if __name__ == "__main__":
    main()

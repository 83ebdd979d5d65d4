"""Command line: python -m tools.fullscale --stress TRIE [--wiktionary DICT] -o WORDS.tsv

Run from the repository root with an interpreter that has marisa-trie and
pymorphy3 with pymorphy3-dicts-uk (see data/README.md for the pinned
versions). Progress goes to stderr, the report to stdout.
"""
from __future__ import annotations

import argparse
import sys

from .build import DEFAULT_REPAIRS, run


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(prog="python -m tools.fullscale",
                                 description="Join the stress dictionary, pymorphy3 and "
                                             "Wiktionary into lexovia word data.")
    ap.add_argument("--stress", required=True,
                    help="stress.trie from the ukrainian-word-stress wheel")
    ap.add_argument("--wiktionary",
                    help="the Wiktionary StarDict (.tar.gz, directory or one of its files)")
    ap.add_argument("-o", "--output", required=True, help="word data file to write")
    ap.add_argument("--sample", type=int, default=40,
                    help="how many cross-check disagreements to list (default 40)")
    ap.add_argument("--repairs", default=DEFAULT_REPAIRS,
                    help="hand-checked repairs of source errors (default: tools/fullscale/repairs.tsv)")
    ap.add_argument("--morph-cache",
                    help="pickle of pymorphy3's analyses of the keys: written when missing, "
                         "read when present (for trying rules; leave out for a release build)")
    ap.add_argument("--decisions",
                    help="file to list every decision of the frequency rules in (for review)")
    args = ap.parse_args(argv)
    run(args.stress, args.wiktionary, args.output, sample_size=args.sample,
        repairs_path=args.repairs, morph_cache=args.morph_cache,
        decisions=args.decisions)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""How often `mark` stresses the most frequent words as Wiktionary does.

Takes the N most frequent word forms of wordfreq's Ukrainian list (default
20,000), keeps those that the English Wiktionary (its Ukrainian StarDict,
read with tools/wiktionary_to_words.py) stresses in exactly one way (all its
stressed forms of that spelling give the same stress positions), and prints
the share of them, weighted by frequency, where `mark` puts its stress on a
vowel Wiktionary stresses; unweighted and one-vowel-free figures follow, and
the disagreements among the first 2,000 forms are listed.

A form of one vowel is always marked right, so the main figure counts forms
of two or more vowels; the figure over all forms is printed beside it.
Forms the module does not know count as disagreements and are counted apart.

With --weights K it also lists the K disagreements (over all N forms) that
cost the weighted figure most, each with the percentage points it costs:
which repairs can move the figure, and how far it can go.

Usage: bench/run wiktionary_agreement.py [--top N] [--list M] [--weights K] [--wiktionary PATH]
"""
import argparse
import os
import sys

import lexovia
import wordfreq

from common import REPO
from ud_gold import _shared_dir

# The tools are a package of the repository root.
sys.path.insert(0, REPO)
from tools import wiktionary_to_words as wtw  # noqa: E402
from tools.spelling import ACUTE, VOWELS, key_of, mark_stress, normalize_word  # noqa: E402

# wordfreq 3.1.1, the list the converter reads (tools/fullscale/sources.py)
WORDFREQ_LIST = "large"
DEFAULT_WIKTIONARY = os.path.join(_shared_dir(), "data", "wiktionary-uk-en",
                                  "ukrainian-english-wiktionary-stardict.tar.gz")


def positions(form):
    """Vowel ordinals followed by U+0301 in a stressed form."""
    out, n = set(), -1
    for ch in form:
        if ch in VOWELS:
            n += 1
        elif ch == ACUTE and n >= 0:
            out.add(n)
    return frozenset(out)


def wiktionary_stresses(path):
    """Normalised key -> the set of stress-position sets Wiktionary gives it."""
    rows = wtw.convert(wtw.load_stardict(path), wtw.Stats())
    out = {}
    for form, *_rest in rows:
        key = key_of(form)
        out.setdefault(key, set()).add(positions(form))
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--top", type=int, default=20000)
    ap.add_argument("--list", type=int, default=2000, help="list disagreements among the first M forms")
    ap.add_argument("--weights", type=int, default=0,
                    help="list the K disagreements that cost the weighted figure most")
    ap.add_argument("--wiktionary", default=DEFAULT_WIKTIONARY)
    args = ap.parse_args()

    wikt = wiktionary_stresses(args.wiktionary)
    words = wordfreq.top_n_list("uk", args.top, WORDFREQ_LIST)
    rows = []
    for rank, word in enumerate(words):
        key = normalize_word(word)
        stresses = wikt.get(key)
        if stresses is None or len(stresses) != 1:
            continue
        rows.append((rank, key, next(iter(stresses)), wordfreq.word_frequency(word, "uk", WORDFREQ_LIST)))
    marks = lexovia.mark_many([k for _r, k, _s, _f in rows])

    total = {True: [0, 0.0, 0, 0.0], False: [0, 0.0, 0, 0.0]}  # multi-vowel? -> n, weight, right n, right weight
    unknown = 0
    listed = []
    missed = []  # (frequency, rank, key, marked, wanted) of every multi-vowel disagreement
    for (rank, key, wanted, freq), marked in zip(rows, marks):
        multi = sum(ch in VOWELS for ch in key) >= 2
        got = positions(marked)
        ok = bool(got) and got <= wanted
        t = total[multi]
        t[0] += 1
        t[1] += freq
        if ok:
            t[2] += 1
            t[3] += freq
        elif multi:
            if not got:
                unknown += 1
            missed.append((freq, rank + 1, key, marked, wanted))
            if rank < args.list:
                listed.append((rank + 1, key, marked, wanted))

    m, o = total[True], total[False]
    print(f"module: {lexovia.__file__}, {lexovia.word_count():,} entries")
    print(f"top {args.top:,} wordfreq forms that Wiktionary stresses in one way: {m[0] + o[0]:,} "
          f"({m[0]:,} of two or more vowels)")
    print(f"mark agrees, frequency-weighted, forms of 2+ vowels: {100 * m[3] / m[1]:.2f} %; "
          f"all forms: {100 * (m[3] + o[3]) / (m[1] + o[1]):.2f} %")
    print(f"mark agrees, unweighted, forms of 2+ vowels: {m[2]:,} of {m[0]:,} ({100 * m[2] / m[0]:.2f} %); "
          f"unknown to the module: {unknown:,}")
    print(f"disagreements among the first {args.list:,} forms ({len(listed)}): rank, mark, Wiktionary")
    for rank, key, marked, wanted in listed:
        print(f"  {rank:5d} {marked} {mark_stress(key, wanted)}")
    if args.weights:
        print_weights(sorted(missed, key=lambda m: (-m[0], m[1])), m[1], args.weights)


def print_weights(missed, weight, k):
    """The first `k` of `missed` (heaviest first) with the percentage points
    of the weighted figure each costs, and the running total."""
    print(f"heaviest {min(k, len(missed))} of {len(missed):,} disagreements: percentage points, "
          f"running total, rank, mark, Wiktionary")
    total = 0.0
    for freq, rank, key, marked, wanted in missed[:k]:
        cost = 100 * freq / weight
        total += cost
        print(f"  {cost:6.3f} {total:6.2f} {rank:6d} {marked} {mark_stress(key, wanted)}")


if __name__ == "__main__":
    main()

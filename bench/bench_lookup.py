"""lookup / mark throughput from Python against pymorphy3's parse.

pymorphy3 (`MorphAnalyzer(lang="uk").parse`) is what a Python user would
otherwise reach for to analyse a Ukrainian word; lexovia's lookup returns
every stress variant with its morphology and full phonetics. Both run on the
same words of Debian's Ukrainian word list, in the same process: the whole
list, and the known words (those lexovia has readings for). The dictionary
is loaded before timing starts. Every timing includes freeing what the
call returned. lookup_many runs on the whole set at once, and on batches of
20, 100 and 1,000 words (a sentence, a paragraph, a page) as a text pipeline
would call it. "lookup, kept"
keeps each result in a list, as lookup_many must: it is the loop that
lookup_many replaces. "pickle.loads of results" has the interpreter's C
unpickler build (and free) the same dicts and lists that lookup returns,
from bytes made before timing: what the result objects alone cost when the
interpreter's own C code builds them. It is a reference, not a strict
floor: the unpickler also makes every str anew, where lookup takes most of
them from its caches.

Usage: bench/run bench_lookup.py [--sample N] [--repeat R]
"""
import argparse
import gc
import pickle
import time

import pymorphy3

import lexovia
from common import sample, ukrainian_words


def rate(fn, words, repeat):
    """Best words per second of fn(words) over repeat runs."""
    best = float("inf")
    for _ in range(repeat):
        gc.collect()
        start = time.perf_counter()
        fn(words)
        best = min(best, time.perf_counter() - start)
    return len(words) / best


def single(fn):
    def run(words):
        for w in words:
            fn(w)
    return run


def kept(fn):
    # What a caller without the batch function writes: every result stays
    # alive until the list goes, as lookup_many's do. A loop that drops each
    # result at once reuses the same hot memory for the next one, which a
    # list of 100,000 results (about 5 KB each) cannot.
    def run(words):
        return [fn(w) for w in words]
    return run


def batches(fn, size):
    # A pipeline that hands over a sentence or a page at a time, each
    # batch's results dropped before the next: the batch function's own
    # overhead shows, and so does how the allocator reuses the memory of
    # the batch before.
    def run(words):
        for i in range(0, len(words), size):
            fn(words[i:i + size])
    return run


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sample", type=int, default=100_000,
                        help="words per measured set (pymorphy3 and single calls)")
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    words = ukrainian_words()
    lexovia.word_count()  # load the dictionary outside the timings
    marked = lexovia.mark_many(words)
    known_all = [w for w, m in zip(words, marked) if m != w]
    every = sample(words, args.sample)
    known = sample(known_all, args.sample)
    analyzer = pymorphy3.MorphAnalyzer(lang="uk")

    print(f"dictionary: {lexovia.word_count():,} entries; word list: {len(words):,} forms, "
          f"{len(known_all):,} known ({len(known_all) / len(words):.1%})")
    print(f"sets: {len(every):,} words of the list, {len(known):,} known words\n")
    rows = []
    for label, ws in (("whole list", every), ("known words", known)):
        ref = rate(single(analyzer.parse), ws, 1)
        pickled = [pickle.dumps(lexovia.lookup(w), protocol=pickle.HIGHEST_PROTOCOL) for w in ws]
        measured = {
            "pymorphy3 parse": ref,
            "lexovia.lookup": rate(single(lexovia.lookup), ws, args.repeat),
            "lexovia.lookup, kept": rate(kept(lexovia.lookup), ws, args.repeat),
            "pickle.loads of results": rate(single(pickle.loads), pickled, args.repeat),
            "lexovia.lookup_many": rate(lexovia.lookup_many, ws, args.repeat),
            "lookup_many, by 20": rate(batches(lexovia.lookup_many, 20), ws, args.repeat),
            "lookup_many, by 100": rate(batches(lexovia.lookup_many, 100), ws, args.repeat),
            "lookup_many, by 1,000": rate(batches(lexovia.lookup_many, 1000), ws, args.repeat),
            "lexovia.mark": rate(single(lexovia.mark), ws, args.repeat),
            "lexovia.mark_many": rate(lexovia.mark_many, ws, args.repeat),
        }
        del pickled
        print(f"{label}:")
        for name, value in measured.items():
            print(f"  {name:24s} {value:12,.0f} words/s   {value / ref:7.1f} x pymorphy3")
        rows.append(measured)
    all_known = rate(lexovia.mark_many, known_all, args.repeat)
    print(f"\nmark_many over all {len(known_all):,} known words: {all_known:,.0f} words/s")


if __name__ == "__main__":
    main()

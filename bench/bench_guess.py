"""Throughput of the stress model for words the dictionary lacks.

Words: the distinct tokens of two or more vowels of the UA-GEC corpus's
sentences (shared data folder), repeated to --words. Figures, best of
--repeat, in one interpreter:

- the model in a batch: lexovia_text._guess.guess_many over the list;
- the model word by word: _guess.guess in a Python loop;
- reference in the same run: lexovia.lookup_many over the same list, the
  dictionary's own batch look-up, which the ratios are taken against.

It also prints the model's size on disk and the time to read it.

Usage: bench/run bench_guess.py [--words N] [--repeat N]
"""
import argparse
import gzip
import os
import time

import lexovia
from lexovia_text import _guess, _tokens

from ud_gold import _shared_dir

UA_GEC = os.path.join(_shared_dir(), "data", "ua-gec-text", "sentences.txt.gz")


def corpus_words(n: int) -> list[str]:
    with gzip.open(UA_GEC, "rt", encoding="utf-8") as f:
        text = f.read()
    distinct = list(dict.fromkeys(m.group().lower() for m in _tokens.words(text)
                                  if _tokens.is_ukrainian(m.group()) and _tokens.vowel_count(m.group()) >= 2))
    return (distinct * (n // len(distinct) + 1))[:n]


def best(repeat: int, run) -> float:
    times = []
    for _ in range(repeat):
        t = time.perf_counter()
        run()
        times.append(time.perf_counter() - t)
    return min(times)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--words", type=int, default=200_000)
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()
    words = corpus_words(args.words)
    t = time.perf_counter()
    size = len(_guess.model())
    load = time.perf_counter() - t
    batch = best(args.repeat, lambda: _guess.guess_many(words))
    loop = best(args.repeat, lambda: [_guess.guess(w) for w in words])
    keys = [_tokens.lookup_key(w) for w in words]
    reference = best(args.repeat, lambda: lexovia.lookup_many(keys))
    n = len(words)
    print(f"model: {size / 2**20:.1f} MiB, read in {1000 * load:.0f} ms; {n:,} words")
    print(f"{'':<28}{'words/s':>12}{'ratio to lookup_many':>24}")
    for name, secs in [("guess_many (batch)", batch), ("guess (Python loop)", loop),
                       ("reference: lookup_many", reference)]:
        print(f"{name:<28}{n / secs:>12,.0f}{reference / secs:>24.2f}")


if __name__ == "__main__":
    main()

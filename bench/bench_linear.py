"""Time against word length: every call should cost time in proportion to
the length of its word.

For words made of one repeated unit (soft signs after vowels or apostrophes,
chains of soft dentals, iotated vowels after hyphens, ...) the script times
`transcribe` and `mark` at doubling lengths and prints, per unit, the factor
by which the time grows from one length to the next. A linear cost grows by
about 2 per doubling, a quadratic one by about 4. The reference in the same
run is the plain unit "ма"; the last column is each unit's growth divided by
the reference's, which stays near 1 for a linear cost whatever the machine
is doing.

Usage: bench/run bench_linear.py [--start N] [--doublings K]
"""
import argparse
import statistics
import time

import lexovia

REFERENCE = "ма"
UNITS = ["оь", "'ь", "-я", "нь", "тьс", "дьз", "ьо", "льо", "ьоб", "ав", "ія", "лл", "щ", "зж"]


def best_time(call, repeats=3):
    best = float("inf")
    for _ in range(repeats):
        start = time.perf_counter()
        call()
        best = min(best, time.perf_counter() - start)
    return best


def growth(unit, function, start, doublings):
    """Median factor of time growth per doubling of the word's length."""
    times = []
    for k in range(doublings + 1):
        word = unit * (start * 2 ** k // len(unit))
        if function == "mark":
            word += "а"
            times.append(best_time(lambda: lexovia.mark(word)))
        else:
            times.append(best_time(lambda: lexovia.transcribe(word, 0)))
    return statistics.median(b / a for a, b in zip(times, times[1:])), times[-1]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--start", type=int, default=25_000, help="length of the shortest word, in characters")
    parser.add_argument("--doublings", type=int, default=3)
    args = parser.parse_args()
    lexovia.word_count()  # load the dictionary outside the timings

    print(f"words of {args.start:,} to {args.start * 2 ** args.doublings:,} characters")
    print(f"{'unit':8} {'function':10} {'growth/doubling':>16} {'longest':>10} {'vs reference':>13}")
    for function in ("transcribe", "mark"):
        ref, ref_time = growth(REFERENCE, function, args.start, args.doublings)
        print(f"{REFERENCE!r:8} {function:10} {ref:16.2f} {ref_time * 1e3:8.1f} ms {1:13.2f}")
        for unit in UNITS:
            g, longest = growth(unit, function, args.start, args.doublings)
            print(f"{unit!r:8} {function:10} {g:16.2f} {longest * 1e3:8.1f} ms {g / ref:13.2f}")


if __name__ == "__main__":
    main()

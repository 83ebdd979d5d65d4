"""transcribe() throughput from Python against espeak-ng on the same words.

Both sides turn a Ukrainian word into IPA. lexovia is called once per word
from a Python loop (stress index 0; the index does not change the work
done); espeak-ng gets all words of the sample in one process
(`espeak-ng -q --ipa -v uk -f FILE`), which is its fastest mode. The
reference runs in the same command, on the same sample, so the ratio holds
across machines.

Usage: bench/run bench_transcribe.py [--sample N]
"""
import argparse
import os
import subprocess
import tempfile
import time

import lexovia
from common import require, sample, ukrainian_words


def lexovia_rate(words, repeat=3):
    transcribe = lexovia.transcribe
    best = float("inf")
    for _ in range(repeat):
        start = time.perf_counter()
        for w in words:
            transcribe(w, 0)
        best = min(best, time.perf_counter() - start)
    return len(words) / best


def espeak_rate(words):
    require("espeak-ng", "espeak-ng")
    with tempfile.NamedTemporaryFile("w", suffix=".txt", delete=False, encoding="utf-8") as f:
        f.write("\n".join(words) + "\n")
        path = f.name
    try:
        start = time.perf_counter()
        subprocess.run(["espeak-ng", "-q", "--ipa", "-v", "uk", "-f", path],
                       check=True, stdout=subprocess.DEVNULL)
        return len(words) / (time.perf_counter() - start)
    finally:
        os.unlink(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sample", type=int, default=20000,
                        help="words given to espeak-ng (and to lexovia for the ratio)")
    args = parser.parse_args()

    words = ukrainian_words()
    chosen = sample(words, args.sample)
    whole = lexovia_rate(words, repeat=1)
    ours = lexovia_rate(chosen)
    theirs = espeak_rate(chosen)
    print(f"word list: {len(words):,} forms; sample: {len(chosen):,}")
    print(f"lexovia.transcribe, whole list : {whole:12,.0f} words/s")
    print(f"lexovia.transcribe, sample     : {ours:12,.0f} words/s")
    print(f"espeak-ng -q --ipa -v uk       : {theirs:12,.0f} words/s")
    print(f"ratio lexovia / espeak-ng      : {ours / theirs:12.1f} x")


if __name__ == "__main__":
    main()

"""Throughput of lexovia_text.stress_text on long real text.

Text: the Ukrainian manual pages of Debian's manpages-uk (see coverage.py,
whose reader this uses), joined into one text; tokens are the words of
lexovia_text's tokenizer. Each figure comes from a fresh interpreter:

- cold, first call: stress_text over the whole text straight after import,
  so the dictionary load is included;
- cold, first pass: the dictionary loaded beforehand, stress_text over the
  whole text once with an empty word cache;
- warm: the same call again (every word cached), best of --repeat;
- warm, line by line: one call per line, as the lexovia command does;
- reference in the same interpreter: lexovia.mark_many over the same
  tokens, warm, which the ratios are taken against.

Usage: bench/run bench_text.py [--repeat N]
"""
import argparse
import json
import subprocess
import sys

from common import PYTHON
from coverage import man_text

CHILD = r"""
import json, sys, time
text = sys.stdin.read()
mode = sys.argv[1]
repeat = int(sys.argv[2])
import lexovia, lexovia_text
from lexovia_text import _tokens
words = [m.group() for m in _tokens.words(text)]
out = {"tokens": len(words)}
if mode == "cold":
    t = time.perf_counter(); lexovia_text.stress_text(text); out["first_call"] = time.perf_counter() - t
else:
    lexovia.lookup("мама")
    t = time.perf_counter(); lexovia_text.stress_text(text); out["first_pass"] = time.perf_counter() - t
    best = min_lines = min_ref = float("inf")
    lines = text.splitlines(keepends=True)
    for _ in range(repeat):
        t = time.perf_counter(); lexovia_text.stress_text(text); best = min(best, time.perf_counter() - t)
        t = time.perf_counter()
        for line in lines:
            lexovia_text.stress_text(line)
        min_lines = min(min_lines, time.perf_counter() - t)
        t = time.perf_counter(); lexovia.mark_many(words); min_ref = min(min_ref, time.perf_counter() - t)
    out.update(warm=best, warm_lines=min_lines, reference=min_ref)
json.dump(out, sys.stdout)
"""


def child(mode, text, repeat):
    proc = subprocess.run([PYTHON, "-c", CHILD, mode, str(repeat)], input=text, capture_output=True, text=True,
                          check=True)
    return json.loads(proc.stdout)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--repeat", type=int, default=3, help="warm runs, the best counts")
    args = parser.parse_args()
    text = man_text()
    cold = child("cold", text, args.repeat)
    warm = child("warm", text, args.repeat)
    n = warm["tokens"]
    ref = n / warm["reference"]

    def line(label, seconds):
        rate = n / seconds
        print(f"{label:<34} {seconds:8.3f} s {rate:12,.0f} tokens/s  {rate / ref:6.2f} x reference")
    print(f"text: Debian manpages-uk, {len(text):,} characters, {n:,} word tokens")
    line("cold, first call (with load)", cold["first_call"])
    line("cold, first pass (dictionary loaded)", warm["first_pass"])
    line("warm, whole text", warm["warm"])
    line("warm, line by line", warm["warm_lines"])
    line("reference: lexovia.mark_many", warm["reference"])


if __name__ == "__main__":
    sys.exit(main())

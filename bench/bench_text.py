"""Throughput of lexovia_text.stress_text on long real text.

Text (`--text`): the UA-GEC corpus's corrected sentences from the shared
data folder (default; 33,718 lines of present-day prose), or the Ukrainian
manual pages of Debian's manpages-uk (see coverage.py, whose reader this
uses), joined into one text. Tokens are the words of lexovia_text's
tokenizer. Each figure comes from a fresh interpreter:

- cold, first call: stress_text over the whole text straight after import,
  so the dictionary load is included;
- cold, first pass: the dictionary loaded beforehand, stress_text over the
  whole text once with an empty word cache;
- warm: the same call again (every word cached), best of --repeat;
- warm, line by line: one call per line, as the lexovia command does;
- reference in the same interpreter: lexovia.mark_many over the same
  tokens, warm, which the ratios are taken against.

`--against REV` measures the lexovia_text of another git revision the same
way in the same run (its package extracted into bench/work/, the installed
lexovia module shared), and prints the ratio of each figure.

Usage: bench/run bench_text.py [--text ua-gec|manpages] [--repeat N] [--against REV]
"""
import argparse
import gzip
import json
import os
import subprocess
import sys

from common import PYTHON, REPO, WORK_DIR
from coverage import man_text
from ud_gold import _shared_dir

UA_GEC = os.path.join(_shared_dir(), "data", "ua-gec-text", "sentences.txt.gz")

CHILD = r"""
import json, sys, time
text = sys.stdin.read()
mode = sys.argv[1]
repeat = int(sys.argv[2])
import lexovia, lexovia_text
from lexovia_text import _tokens
words = [m.group() for m in _tokens.words(text)]
out = {"tokens": len(words), "package": lexovia_text.__file__}
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


def child(mode, text, repeat, path=None):
    env = dict(os.environ)
    if path is not None:
        env["PYTHONPATH"] = path
    proc = subprocess.run([PYTHON, "-c", CHILD, mode, str(repeat)], input=text, capture_output=True, text=True,
                          check=True, env=env, cwd="/")
    return json.loads(proc.stdout)


def extract(rev):
    """The lexovia_text package of git revision `rev`, in a folder of its own."""
    target = os.path.join(WORK_DIR, f"lexovia_text-{rev}")
    if not os.path.isdir(os.path.join(target, "lexovia_text")):
        os.makedirs(target, exist_ok=True)
        archive = subprocess.run(["git", "-C", REPO, "archive", rev, "python/lexovia_text"],
                                 capture_output=True, check=True).stdout
        subprocess.run(["tar", "-x", "-C", target, "--strip-components=1"], input=archive, check=True)
    return target


def measure(text, repeat, path=None):
    cold = child("cold", text, repeat, path)
    warm = child("warm", text, repeat, path)
    n = warm["tokens"]
    return {"package": warm["package"], "tokens": n, "first_call": cold["first_call"],
            "first_pass": warm["first_pass"], "warm": warm["warm"], "warm_lines": warm["warm_lines"],
            "reference": warm["reference"]}


LABELS = [("first_call", "cold, first call (with load)"), ("first_pass", "cold, first pass (dictionary loaded)"),
          ("warm", "warm, whole text"), ("warm_lines", "warm, line by line"),
          ("reference", "reference: lexovia.mark_many")]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--text", choices=["ua-gec", "manpages"], default="ua-gec")
    parser.add_argument("--repeat", type=int, default=3, help="warm runs, the best counts")
    parser.add_argument("--against", metavar="REV", help="also measure lexovia_text of this git revision")
    args = parser.parse_args()
    if args.text == "ua-gec":
        if not os.path.exists(UA_GEC):
            raise SystemExit(f"{UA_GEC}: not found (this text needs the shared data folder beside the project)")
        with gzip.open(UA_GEC, "rt", encoding="utf-8") as f:
            text = f.read()
        name = "UA-GEC corrected sentences"
    else:
        text = man_text()
        name = "Debian manpages-uk"
    runs = [("this tree", measure(text, args.repeat))]
    if args.against:
        runs.append((args.against, measure(text, args.repeat, extract(args.against))))
    n = runs[0][1]["tokens"]
    print(f"text: {name}, {len(text):,} characters, {n:,} word tokens")
    for label, run in runs:
        print(f"-- {label}: {run['package']}")
        ref = n / run["reference"]
        for key, title in LABELS:
            rate = n / run[key]
            print(f"{title:<38} {run[key]:8.3f} s {rate:12,.0f} tokens/s  {rate / ref:6.2f} x reference")
    if len(runs) == 2:
        print(f"-- this tree against {args.against} (tokens/s ratio, above 1 is faster)")
        for key, title in LABELS[:4]:
            print(f"{title:<38} {runs[1][1][key] / runs[0][1][key]:6.2f}")


if __name__ == "__main__":
    sys.exit(main())

"""Builds the data that lexovia_text ships.

Sources, all openly licensed, and nothing else:

- the Ukrainian word list of `wordfreq` (pinned in requirements.txt beside
  this file; its data is CC BY-SA 4.0): how often each lower-case form
  occurs in running text;
- the dictionary of the installed `lexovia` module, through its public
  `lookup_many`: the readings of each of those forms with their stress and
  morphology;
- pymorphy3's Ukrainian dictionary (CC BY-SA 3.0 data, the image's source
  of morphology): the analyses of one-vowel forms, the forms of a lexeme;
- the English Wiktionary's Ukrainian StarDict (CC BY-SA 3.0), as the
  image reads it;
- the UA-GEC corpus (CC BY 4.0), plain running text for the context
  statistics.

Outputs (written into python/lexovia_text/; attributions in data/NOTICE):

- `prior.tsv.gz`: lines `L<TAB>pos<TAB>lemma<TAB>weight` give a lexeme's
  frequency, the summed wordfreq frequency of the forms whose every reading
  belongs to that lexeme only (a form shared by two lexemes says nothing
  about either); lines `W<TAB>form<TAB>weight` give the frequency of each
  form (normalised as lexovia does) that has two or more stresses. Weights
  are integers, frequency times WEIGHT_SCALE, rounded; zero weights are
  left out.
- `short.tsv.gz`: the analyses of one-vowel forms (short_words.py).
- `context.tsv.gz`: the context statistics (context.py).
- `variants.tsv.gz`: the usual one of tied stresses (variants.py).

The stress model for unknown words, `stress_model.bin`, has a trainer of its
own (stress_model.py beside this file), from the dictionary image alone.

Run from the repository root, with the shared data folder beside it:
.venv/bin/pip install -r tools/text_data/requirements.txt
&& .venv/bin/python -m tools.text_data.build
The builders read with the installed package's own code (lexovia_text's
tokenizer and analyses, which the tables must match), so install this tree
first (`.venv/bin/pip install .`); its modules include compiled ones that
the source folder lacks.
"""
import argparse
import collections
import gzip
import os

import lexovia
import importlib.metadata

import wordfreq

from ..spelling import vowel_count

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(REPO, "python", "lexovia_text")
SHARED = os.path.join(os.path.dirname(REPO), "shared", "data")
WIKTIONARY = os.path.join("wiktionary-uk-en", "ukrainian-english-wiktionary-stardict.tar.gz")
from . import context, short_words, variants

# Frequencies are fractions of all tokens; 1e9 keeps forms seen once per
# billion tokens distinct from zero while fitting the integers in a few digits.
WEIGHT_SCALE = 1e9
BATCH = 20000


def batches(words):
    for i in range(0, len(words), BATCH):
        chunk = words[i:i + BATCH]
        yield chunk, lexovia.lookup_many(chunk)


def build_prior():
    freqs = wordfreq.get_frequency_dict("uk")
    words = [w for w in freqs if vowel_count(w) >= 2]
    lexemes = collections.Counter()
    heteronyms = collections.Counter()
    for chunk, results in batches(words):
        for word, result in zip(chunk, results):
            analyses = [a for r in result["readings"] for a in r["morph"]]
            if not analyses:
                continue
            f = freqs[word]
            if len({r["stress_from_end"] for r in result["readings"]}) > 1:
                heteronyms[result["form"]] += f
            keys = {("+".join(a["pos"]), a["lemma"] or "") for a in analyses}
            if len(keys) == 1:
                (key,) = keys
                if key[1]:
                    lexemes[key] += f
    lines = []
    for (pos, lemma), f in sorted(lexemes.items()):
        w = round(f * WEIGHT_SCALE)
        if w and "\t" not in lemma and "\n" not in lemma:
            lines.append(f"L\t{pos}\t{lemma}\t{w}\n")
    for form, f in sorted(heteronyms.items()):
        w = round(f * WEIGHT_SCALE)
        if w:
            lines.append(f"W\t{form}\t{w}\n")
    write(os.path.join(OUT, "prior.tsv.gz"), lines)
    print(f"prior: {sum(1 for l in lines if l[0] == 'L'):,} lexemes, "
          f"{sum(1 for l in lines if l[0] == 'W'):,} heteronym forms")


def write(path, lines):
    # mtime=0: the same data gives the same bytes.
    with open(path, "wb") as raw, gzip.GzipFile(fileobj=raw, mode="wb", compresslevel=9, mtime=0) as f:
        f.write("".join(lines).encode("utf-8"))


def build_short():
    lines = short_words.build_lines()
    write(os.path.join(OUT, "short.tsv.gz"), lines)
    print(f"short words: {len({l.split(chr(9))[0] for l in lines}):,} forms, {len(lines):,} analyses")


def build_context(shared):
    lines = context.build_lines(shared)
    write(os.path.join(OUT, "context.tsv.gz"), lines)
    kinds = collections.Counter(l[0] for l in lines)
    print(f"context: {kinds['V']:,} spellings, {kinds['C']:,} classes, {kinds['F']:,} (slot, value, class) counts")


def build_variants(wiktionary):
    lines, counts = variants.build_lines(wiktionary)
    write(os.path.join(OUT, "variants.tsv.gz"), lines)
    print("variants: " + ", ".join(f"{k} {v:,}" for k, v in sorted(counts.items())))


PARTS = ("prior", "short", "context", "variants")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--only", choices=PARTS, action="append", help="build this file only (repeatable)")
    parser.add_argument("--shared", default=SHARED, help="the shared data folder (default: %(default)s)")
    args = parser.parse_args()
    print(f"lexovia {lexovia.__file__}, {lexovia.word_count():,} entries; wordfreq {importlib.metadata.version("wordfreq")}")
    only = set(args.only or PARTS)
    if "prior" in only:
        build_prior()
    if "short" in only:
        build_short()
    if "context" in only:
        build_context(args.shared)
    if "variants" in only:
        build_variants(os.path.join(args.shared, WIKTIONARY))


if __name__ == "__main__":
    main()

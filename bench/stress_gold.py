"""Scores stressifiers on human-stressed sentences.

Text: the development half of a Ukrainian lexical-stress benchmark, read at
run time from the shared data folder (`stress-gold-dev`, see its
SOURCE.md). It is measurement data only: nothing computed here is written
into the project, and no rule may name a word because this file holds it.

Each system is given the sentences with their stress marks removed and
returns them stressed (U+0301 after the stressed vowel). The words are the
tokens of lexovia_text's tokenizer, which split the file's sentences exactly
as its `words.tsv` numbers them. Scoring follows the file's convention:

- a word counts when it has two or more vowels and at least one gold mark;
- it is right when the output puts exactly one mark on it, on a vowel the
  gold marks (a gold word with two marks accepts either), or when the
  output's marks are exactly the gold's (a hyphenated compound stressed on
  each part);
- a sentence is right when every counted word of it is.

Printed: words right overall, per `annotation_origin` and per `source`,
sentences right, and for lexovia_text the rule (from `annotate`) that
decided each counted word with how many of its words are right.

Systems (`--system`, repeatable; default: lexovia_text with and without
guessing):
  lexovia_text          lexovia_text.stress_text(text) (guessing, the default)
  lexovia_text-noguess  lexovia_text.stress_text(text, guess=False)
  mark                lexovia.mark on every word (the dictionary's first stress)
  luscinia            the luscinia package's model on every Cyrillic word
                      (LightGBM over one word's letters; a peer, bench only)
  uws                 ukrainian-word-stress in its dictionary mode, variants
                      and heteronyms left unmarked (a peer, bench only)
  uws-first           the same, heteronyms given their first reading

Usage: bench/run stress_gold.py [--system NAME ...] [--show N] [--origin O]
"""
import argparse
import collections
import csv
import os
import sys
import time
from dataclasses import dataclass, field

import lexovia
import lexovia_text
from lexovia_text import _tokens

from ud_gold import _shared_dir

GOLD_DIR = os.path.join(_shared_dir(), "data", "stress-gold-dev")
ACUTE = "\u0301"
ORIGINS = ("dict_ambiguous", "dict_unknown", "other")


@dataclass
class Token:
    sent_id: str
    source: str
    index: int          # among the sentence's words
    gold: str           # as the annotators stressed it
    origin: str


@dataclass
class Sentence:
    id: str
    source: str
    gold: str
    plain: str
    tokens: list[Token] = field(default_factory=list)


def load():
    sentences = {}
    with open(os.path.join(GOLD_DIR, "sentences.tsv"), encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE):
            gold = row["sentence"]
            sentences[row["id"]] = Sentence(row["id"], row["source"], gold, gold.replace(ACUTE, ""))
    with open(os.path.join(GOLD_DIR, "words.tsv"), encoding="utf-8", newline="") as f:
        for row in csv.DictReader(f, delimiter="\t", quoting=csv.QUOTE_NONE):
            if int(row["n_vowels"]) >= 2 and int(row["n_marks"]) >= 1:
                s = sentences[row["sent_id"]]
                s.tokens.append(Token(s.id, s.source, int(row["token_no"]), row["word"], row["annotation_origin"]))
    return list(sentences.values())


def marks(word):
    """The 0-based vowels of `word` that carry a mark."""
    out, vowel = set(), -1
    for c in word:
        if c in _tokens.VOWELS:
            vowel += 1
        elif c == ACUTE and vowel >= 0:
            out.add(vowel)
    return out


def is_right(output, gold):
    got, want = marks(output), marks(gold)
    return (len(got) == 1 and got <= want) or (bool(got) and got == want)


def words(text):
    return [m.group() for m in _tokens.words(text)]


# --- the systems: plain sentence -> stressed sentence -------------------------

def _per_word(text, stress_of):
    """`text` with each Cyrillic word of two or more vowels marked at the
    vowel stress_of(word) gives (None: left unmarked)."""
    out, pos = [], 0
    for m in _tokens.words(text):
        w = m.group()
        if _tokens.is_ukrainian(w) and _tokens.vowel_count(w) >= 2:
            s = stress_of(w)
            if s is not None:
                out.append(text[pos:m.start()])
                out.append(_tokens.mark_vowel(w, s))
                pos = m.end()
    out.append(text[pos:])
    return "".join(out)


def _mark_system():
    def stressify(text):
        return _per_word(text, lambda w: _first_mark(lexovia.mark(w)))
    return stressify


def _first_mark(stressed):
    got = marks(stressed)
    return min(got) if got else None


def _luscinia_system():
    from luscinia import LusciniaPredictor
    predictor = LusciniaPredictor()

    def stress_of(word):
        try:
            return predictor.predict(word.lower())
        except Exception:   # the peer's own failure on a word is its miss, not ours
            return None
    return lambda text: _per_word(text, stress_of)


def _uws_system(on_ambiguity):
    from ukrainian_word_stress import Disambiguation, OnAmbiguity, Stressifier, StressSymbol
    stressify = Stressifier(disambiguation=Disambiguation.Dictionary,
                            stress_symbol=StressSymbol.CombiningAcuteAccent,
                            on_ambiguity=getattr(OnAmbiguity, on_ambiguity))
    return stressify


SYSTEMS = {
    "lexovia_text": lambda: lexovia_text.stress_text,
    "lexovia_text-noguess": lambda: (lambda text: lexovia_text.stress_text(text, guess=False)),
    "mark": _mark_system,
    "luscinia": _luscinia_system,
    "uws": lambda: _uws_system("Skip"),
    "uws-first": lambda: _uws_system("First"),
}


# --- scoring -----------------------------------------------------------------

class Tally:
    def __init__(self):
        self.counts = collections.defaultdict(lambda: [0, 0])

    def add(self, key, ok):
        c = self.counts[key]
        c[0] += 1
        c[1] += ok

    def share(self, key):
        n, ok = self.counts.get(key, (0, 0))
        return f"{100 * ok / n:6.2f} % ({ok:,}/{n:,})" if n else "      - (0)"


def rules_by_token(sentence, guess):
    """The rule annotate names for each word of the sentence (parts of a
    hyphenated word joined with '+')."""
    spans = [(m.start(), m.end()) for m in _tokens.words(sentence.plain)]
    found = collections.defaultdict(list)
    for w in lexovia_text.annotate(sentence.plain, guess=guess):
        for k, (start, end) in enumerate(spans):
            if start <= w.start < end:
                if w.rule is not None:
                    found[k].append(w.rule)
                break
    return {k: "+".join(dict.fromkeys(v)) for k, v in found.items()}


def score(name, sentences, show, origin_filter):
    stressify = SYSTEMS[name]()
    t0 = time.perf_counter()
    outputs = [stressify(s.plain) for s in sentences]
    elapsed = time.perf_counter() - t0
    tally = Tally()
    rules = Tally()
    sentences_right = 0
    wrong = []
    altered = 0
    is_lexovia = name.startswith("lexovia_text")
    for s, out in zip(sentences, outputs):
        if out.replace(ACUTE, "") != s.plain:
            altered += 1
        got = words(out)
        rule_of = rules_by_token(s, not name.endswith("-noguess")) if is_lexovia else {}
        all_right = True
        for t in s.tokens:
            w = got[t.index] if t.index < len(got) else ""
            ok = is_right(w, t.gold)
            all_right &= ok
            tally.add("all", ok)
            tally.add(("origin", t.origin), ok)
            tally.add(("source", t.source), ok)
            if is_lexovia:
                rules.add((t.origin, rule_of.get(t.index) or "(unmarked)"), ok)
            if not ok and (origin_filter is None or t.origin == origin_filter):
                wrong.append((t, w, rule_of.get(t.index)))
        sentences_right += all_right

    print(f"\n== {name}  ({elapsed:.2f} s for {len(sentences)} sentences)")
    if altered:
        print(f"   !! {altered} outputs differ from their input beyond the stress marks")
    print(f"words right                {tally.share('all')}")
    for origin in ORIGINS:
        print(f"  {origin:<24} {tally.share(('origin', origin))}")
    for source in sorted({s.source for s in sentences}):
        print(f"  source {source:<17} {tally.share(('source', source))}")
    n = len(sentences)
    print(f"sentences with every word right  {100 * sentences_right / n:6.2f} % ({sentences_right}/{n})")
    if is_lexovia:
        print("rule that decided the word (origin: right/decided):")
        for origin in ORIGINS:
            row = sorted(((k[1], v) for k, v in rules.counts.items() if k[0] == origin), key=lambda kv: -kv[1][0])
            print(f"  {origin}: " + ", ".join(f"{rule} {ok}/{n}" for rule, (n, ok) in row))
    if show:
        print(f"wrong words (first {show}):")
        for t, w, rule in wrong[:show]:
            print(f"  {t.sent_id} {t.origin:<15} gold {t.gold:<20} got {w:<20} {rule or ''}")
    return tally


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--system", action="append", choices=sorted(SYSTEMS), help="system to score (repeatable)")
    parser.add_argument("--show", type=int, default=0, help="list the first N wrong words of each system")
    parser.add_argument("--origin", choices=ORIGINS, help="list only wrong words of this annotation_origin")
    args = parser.parse_args()
    if not os.path.isdir(GOLD_DIR):
        raise SystemExit(f"{GOLD_DIR}: not found (this benchmark needs the shared data folder beside the project)")
    sentences = load()
    print(f"module: {lexovia.__file__}; {len(sentences)} sentences, "
          f"{sum(len(s.tokens) for s in sentences):,} scored words")
    for name in args.system or ["lexovia_text", "lexovia_text-noguess"]:
        score(name, sentences, args.show, args.origin)


if __name__ == "__main__":
    sys.exit(main())

"""How well each grounded method (grounded.py) finds lemmas: run it on forms
pymorphy3's dictionary does hold, hiding the dictionary's own entry of the
form, and compare with that entry.

    python -m tools.fullscale.holdout --stress stress.trie [--sample 300] [--seed 1]
        [--min-remainder 6 8] [--raw]

The forms are keys of the stress dictionary that the pymorphy3 dictionary
holds (single words; hyphenated words for the hyphen methods), in a seeded
random order. Each method is scored alone, then the adopted methods together
in the converter's order (grounded.ADOPTED_METHODS), on the first `sample`
keys it gives analyses for. As in the converter, an analysis counts only
when its lemma is a form of the stress dictionary, and a key's analyses only
when they give one lemma (grounded.unambiguous); --unattested and --raw also
score without either rule. A key's analyses are turned into
records as the converter does (distinct UD part of speech, features and
lemma). A record's lemma is right when it is one of the dictionary's lemmas
of the form; its part of speech when the dictionary has an analysis of the
form with that lemma and part of speech (NOUN and PROPN taken as one).
Precision is over records, and over keys (every record of the key right).
"""
from __future__ import annotations

import argparse
import random
import sys
from dataclasses import dataclass, field

from .grounded import (ADOPTED_METHODS, UNKNOWN_PREFIX_MIN_REMAINDER, analyse,
                       fixed_left_checker, unambiguous)
from ..spelling import APOSTROPHE, normalize_word
from .udmap import map_tag

# Methods measured one by one, then combinations. Hyphenated keys are the
# population of the hyphen methods, the others single words.
SINGLE = {
    "substitution": ({"substitution"}, "word"),
    "known_prefix": ({"known_prefix"}, "word"),
    "unknown_prefix": ({"unknown_prefix"}, "word"),
    "hyphen": ({"hyphen"}, "hyphen"),
    "hyphen_left": ({"hyphen_left"}, "hyphen"),
    "particle": ({"particle"}, "hyphen"),
}


@dataclass
class Score:
    keys: int = 0
    keys_all_right: int = 0
    records: int = 0
    lemma_right: int = 0
    upos_right: int = 0
    wrong: list = field(default_factory=list)

    def line(self, name: str) -> str:
        pct = lambda a, b: f"{100.0 * a / b:6.2f} %" if b else "     -"  # noqa: E731
        return (f"{name:50s} keys {self.keys:4d}  records {self.records:5d}  "
                f"lemma {pct(self.lemma_right, self.records)}  "
                f"lemma+UPOS {pct(self.upos_right, self.records)}  "
                f"keys all right {pct(self.keys_all_right, self.keys)}")


def records_of(analyses) -> set[tuple[str, tuple, str]]:
    """Distinct (UPOS, features, lemma key) of (method, tag, normal form) items."""
    out = set()
    for _method, tag, normal_form in analyses:
        upos, feats, _ = map_tag(tag)
        out.add((upos, feats, normalize_word(normal_form)))
    return out


def truth_of(units, word: str) -> set[tuple[str, str]]:
    """(lemma key, UPOS) of the dictionary's own analyses of `word`."""
    dictionary = next(u for u in (getattr(u, "analyzer", u) for u in units)
                      if type(u).__name__ == "DictionaryAnalyzer")
    text = word.replace(APOSTROPHE, "'")
    out = set()
    for fixed_word, tag, normal_form, _score, _stack in dictionary.parse(text, text, set()):
        if fixed_word == text:
            out.add((normalize_word(normal_form), map_tag(str(tag))[0]))
    return out


def fold_g(text: str) -> str:
    return text.replace("ґ", "г")


def score_key(score: Score, word: str, records, truth, keep_wrong: int = 30) -> None:
    lemmas = {lemma for lemma, _ in truth}
    score.keys += 1
    all_right = True
    for upos, _feats, lemma in sorted(records):
        score.records += 1
        if lemma in lemmas:
            score.lemma_right += 1
            if any(lemma == l and (upos == u or {upos, u} <= {"NOUN", "PROPN"}) for l, u in truth):
                score.upos_right += 1
        else:
            all_right = False
            if len(score.wrong) < keep_wrong:
                score.wrong.append((word, lemma, upos, sorted(lemmas)))
    score.keys_all_right += all_right


def measure(units, keys, methods, sample: int, left_ok, choose=unambiguous,
            min_remainder: int = UNKNOWN_PREFIX_MIN_REMAINDER, lemma_ok=None) -> dict[str, Score]:
    """Scores `methods` on the first `sample` of `keys` they analyse: the
    whole ("all") and by the method that gave each key its analyses.

    Letter substitution cannot be measured by hiding the form (it reads the
    form as another one). It is scored on forms with г that the dictionary
    holds both as they are and, read with ґ, as another form ("гудзик" and
    "ґудзик"): its lemmas are right when they are the dictionary's own lemmas
    of the form, г and ґ taken as one letter."""
    scores: dict[str, Score] = {"all": Score()}
    substitution = set(methods) == {"substitution"}
    for word in keys:
        if substitution and "г" not in word:
            continue
        found = analyse(units, word, methods, left_ok, hide=not substitution,
                        min_remainder=min_remainder, lemma_ok=lemma_ok)
        if choose is not None:
            found = choose(found)
        if not found:
            continue
        records, truth = records_of(found), truth_of(units, word)
        if substitution:
            records = {(u, f, fold_g(l)) for u, f, l in records}
            truth = {(fold_g(l), u) for l, u in truth}
        score_key(scores["all"], word, records, truth)
        score_key(scores.setdefault(found[0][0], Score()), word, records, truth)
        if scores["all"].keys >= sample:
            break
    return scores


def population(stress_keys, is_known):
    words, hyphenated = [], []
    for key in stress_keys:
        if " " in key or "," in key or "(" in key:
            continue
        if not is_known(key.replace(APOSTROPHE, "'")):
            continue
        if "-" in key:
            if key.count("-") == 1 and not key.startswith("-") and not key.endswith("-"):
                hyphenated.append(key)
        else:
            words.append(key)
    return {"word": words, "hyphen": hyphenated}


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(prog="python -m tools.fullscale.holdout")
    ap.add_argument("--stress", required=True, help="stress.trie of ukrainian-word-stress")
    ap.add_argument("--sample", type=int, default=300)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--wrong", type=int, default=15, help="wrong lemmas to list per method")
    ap.add_argument("--min-remainder", type=int, nargs="*", default=[],
                    help="also score the adopted methods with unknown prefixes before "
                         "dictionary forms this long")
    ap.add_argument("--raw", action="store_true",
                    help="also score every analysis found, before the one-lemma rule")
    ap.add_argument("--unattested", action="store_true",
                    help="also score analyses whose lemma the stress dictionary lacks")
    ap.add_argument("--methods", nargs="*", default=[],
                    help="other combinations to score, e.g. known_prefix,hyphen,hyphen_left")
    args = ap.parse_args(argv)

    import marisa_trie  # noqa: PLC0415
    import pymorphy3  # noqa: PLC0415

    analyzer = pymorphy3.MorphAnalyzer(lang="uk")
    is_known = analyzer.dictionary.word_is_known
    trie = marisa_trie.BytesTrie()
    trie.load(args.stress)
    keys = sorted({normalize_word(k) for k in trie.keys()})
    pops = population(keys, is_known)
    left_ok = fixed_left_checker(analyzer._units)
    rng = random.Random(args.seed)
    for pop in pops.values():
        rng.shuffle(pop)
    print(f"keys the dictionary holds: {len(pops['word'])} single words, "
          f"{len(pops['hyphen'])} hyphenated; sample {args.sample}, seed {args.seed}")
    stress_keys = set(keys)

    def attested(normal_form: str) -> bool:
        return normalize_word(normal_form) in stress_keys

    default = UNKNOWN_PREFIX_MIN_REMAINDER
    adopted = ",".join(sorted(ADOPTED_METHODS))
    runs = [(name, methods, pops[pop], default) for name, (methods, pop) in SINGLE.items()]
    runs += [(f"adopted ({adopted})", ADOPTED_METHODS, pops["word"], default),
             ("adopted, hyphenated words", ADOPTED_METHODS, pops["hyphen"], default)]
    for n in args.min_remainder:
        runs.append((f"adopted, unknown prefix before {n}+ letters", ADOPTED_METHODS,
                     pops["word"], n))
    for combo in args.methods:
        runs.append((combo, set(combo.split(",")), pops["word"], default))
    variants = [(unambiguous, attested, "")]
    if args.unattested:
        variants.append((unambiguous, None, "lemma not checked"))
    if args.raw:
        variants.append((None, attested, "every analysis"))
    for name, methods, pop, min_remainder in runs:
        for choose, lemma_ok, label in variants:
            scores = measure(analyzer._units, pop, methods, args.sample, left_ok, choose,
                             min_remainder, lemma_ok)
            print(scores["all"].line(f"{name}{', ' + label if label else ''}"))
            if len(scores) > 2:
                for method, score in sorted(scores.items()):
                    if method != "all":
                        print(score.line(f"  of which {method}"))
            for word, lemma, upos, right in scores["all"].wrong[:args.wrong]:
                print(f"    {word}: {lemma} {upos} (dictionary: {', '.join(right)})")
            sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Which of a spelling's tied stresses is the usual one (variants.tsv.gz).

A spelling's readings are tied when two or more stresses carry the very
same analyses (наро́ду and на́роду: both the genitive and dative singular of
народ). For each tied spelling of wordfreq's Ukrainian list this builder
looks for evidence, in this order, and writes the first it finds:

- `wiktionary`: the English Wiktionary (its StarDict build, as the image
  reads it: tools/wiktionary_to_words.py) lists the spelling under the
  readings' lemma with exactly one of the tied stresses;
- `paradigm`: among the other forms of the readings' lexeme in pymorphy3's
  dictionary, those the dictionary gives a single stress put it on a letter
  of the stem they share with the spelling; the tied stress on that letter
  wins when more forms support it than any other tied stress. Only forms of
  the same number count for a noun, whose singular and plural often
  stress differently (ро́ку, рока́х).

Lines `form<TAB>stress<TAB>signal`, stress the 0-based vowel. Sources: the
installed lexovia (stresses and analyses), wordfreq (which forms),
Wiktionary (CC BY-SA 3.0) and pymorphy3-dicts-uk (CC BY-SA 3.0): the
table is CC BY-SA 4.0 data like the image.
"""
from __future__ import annotations

import collections
from collections.abc import Iterable

from ..spelling import VOWELS, key_of, stressed_positions, vowel_count
from ..stardict import load_stardict
from ..wiktionary_to_words import convert

BATCH = 20000


def reading_signature(reading) -> frozenset:
    return frozenset(("+".join(m["pos"]), m["lemma"] or "", tuple(sorted((k, tuple(v)) for k, v in m["feats"].items())))
                     for m in reading["morph"])


def tied_stresses(readings) -> tuple[list[int], set[str], set[str]]:
    """The stresses of the largest group of readings with equal analyses
    (empty when no two readings are equal), their lemmas and numbers."""
    groups: dict[frozenset, list[int]] = collections.defaultdict(list)
    for r in readings:
        if r["morph"]:
            groups[reading_signature(r)].append(r["syllable_index"])
    best = max(groups.items(), key=lambda kv: len(kv[1]), default=(frozenset(), []))
    if len(best[1]) < 2:
        return [], set(), set()
    lemmas = {lemma for _, lemma, _ in best[0] if lemma}
    numbers = {v for _, _, feats in best[0] for name, values in feats if name == "Number" for v in values}
    return sorted(best[1]), lemmas, numbers


def wiktionary_stresses(path: str) -> dict[str, dict[str, set[int]]]:
    """key -> lemma -> the stresses Wiktionary gives that spelling under it."""
    out: dict[str, dict[str, set[int]]] = collections.defaultdict(lambda: collections.defaultdict(set))
    for form, _, _, lemma, _ in convert(load_stardict(path)):
        positions = stressed_positions(form)
        if positions and " " not in form:
            out[key_of(form)][lemma].update(positions)
    return out


def vowel_char(word: str, ordinal: int) -> int:
    seen = -1
    for i, c in enumerate(word):
        if c in VOWELS:
            seen += 1
            if seen == ordinal:
                return i
    return -1


def common_prefix(a: str, b: str) -> int:
    n = 0
    while n < min(len(a), len(b)) and a[n] == b[n]:
        n += 1
    return n


class Paradigms:
    """The forms of a lexeme and their single stresses, from pymorphy3's
    dictionary and lexovia."""

    def __init__(self, analyzer=None) -> None:
        self.analyzer = analyzer
        self.stress: dict[str, dict[str, set[int]]] = {}

    def forms(self, key: str, lemma: str, numbers: set[str]) -> set[str]:
        out = set()
        for p in self.analyzer.parse(key.replace("\u02bc", "'")):
            if p.normal_form != lemma.lower() or type(p.methods_stack[0][0]).__name__ != "DictionaryAnalyzer":
                continue
            for f in p.lexeme:
                if not numbers or "NOUN" not in f.tag or self._number(f.tag) in numbers | {None}:
                    out.add(key_of(f.word))
        out.discard(key)
        return out

    @staticmethod
    def _number(tag) -> str | None:
        return {"sing": "Sing", "plur": "Plur"}.get(tag.number)

    def fill(self, forms: Iterable[str]) -> None:
        import lexovia
        missing = sorted({f for f in forms if f not in self.stress})
        for i in range(0, len(missing), BATCH):
            chunk = missing[i:i + BATCH]
            for form, result in zip(chunk, lexovia.lookup_many(chunk)):
                by_lemma: dict[str, set[int]] = collections.defaultdict(set)
                for r in result["readings"]:
                    for m in r["morph"]:
                        by_lemma[(m["lemma"] or "").lower()].add(r["syllable_index"])
                self.stress[form] = by_lemma

    def support(self, key: str, lemma: str, forms: set[str], tied: list[int]) -> collections.Counter:
        votes: collections.Counter = collections.Counter()
        chars = {vowel_char(key, s): s for s in tied}
        for form in forms:
            stresses = self.stress.get(form, {}).get(lemma.lower(), set())
            if len(stresses) != 1:
                continue
            char = vowel_char(form, next(iter(stresses)))
            if char < common_prefix(form, key) and char in chars:
                votes[chars[char]] += 1
        return votes


def build_lines(wiktionary_path: str) -> tuple[list[str], collections.Counter]:
    import lexovia
    import pymorphy3
    import wordfreq
    words = sorted({key_of(w) for w in wordfreq.get_frequency_dict("uk") if vowel_count(w) >= 2})
    wiktionary = wiktionary_stresses(wiktionary_path)
    paradigms = Paradigms(pymorphy3.MorphAnalyzer(lang="uk"))
    tied: dict[str, tuple[list[int], set[str], set[str]]] = {}
    for i in range(0, len(words), BATCH):
        chunk = words[i:i + BATCH]
        for word, result in zip(chunk, lexovia.lookup_many(chunk)):
            stresses, lemmas, numbers = tied_stresses(result["readings"])
            if stresses:
                tied[result["form"]] = (stresses, lemmas, numbers)
    wanted: dict[tuple[str, str], set[str]] = {}
    for key, (_, lemmas, numbers) in tied.items():
        for lemma in lemmas:
            wanted[(key, lemma)] = paradigms.forms(key, lemma, numbers)
    paradigms.fill(f for forms in wanted.values() for f in forms)
    lines, counts = [], collections.Counter()
    for key, (stresses, lemmas, _) in sorted(tied.items()):
        listed = set().union(*(wiktionary.get(key, {}).get(lemma, set()) for lemma in lemmas)) & set(stresses)
        votes: collections.Counter = collections.Counter()
        for lemma in lemmas:
            votes.update(paradigms.support(key, lemma, wanted[(key, lemma)], stresses))
        ranked = votes.most_common(2)
        paradigm = ranked[0][0] if ranked and (len(ranked) == 1 or ranked[0][1] > ranked[1][1]) else None
        if len(listed) == 1:
            (stress,) = listed
            lines.append(f"{key}\t{stress}\twiktionary\n")
            counts["wiktionary"] += 1
            # Wiktionary as the judge of the signal that stands in for it
            # elsewhere, and of the lowest stress that would stand otherwise.
            if paradigm is not None:
                counts["check: paradigm decides"] += 1
                counts["check: paradigm agrees with wiktionary"] += paradigm == stress
                counts["check: lowest stress agrees there"] += min(stresses) == stress
        elif paradigm is not None:
            lines.append(f"{key}\t{paradigm}\tparadigm\n")
            counts["paradigm"] += 1
        else:
            counts["none"] += 1
    return lines, counts

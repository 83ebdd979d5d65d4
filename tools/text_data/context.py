"""Learns lexovia_text's context statistics (context.tsv.gz) from running text.

Source: the UA-GEC corpus's corrected sentences (CC BY 4.0; Grammarly;
Syvokon, Nahorna, Kuchmiichuk, Osidach, UNLP 2023), a plain text with no
annotation, read from the shared data folder. No hand annotation is used:
every token whose dictionary readings allow k classes (see
lexovia_text/_entries.Analysis) adds 1/k count to each of them, for the
class alone and for the value of each of its four neighbour slots
(lexovia_text/_statistics.features, the same code the package runs). The
frequent words whose spelling is a slot value are the VOCABULARY_SIZE most
frequent lower-case spellings of the text.

Output lines (counts in hundredths, integers):
  V<TAB>spelling               a spelling that is its own slot value
  C<TAB>class<TAB>count        how often a class occurs
  F<TAB>slot<TAB>value<TAB>class<TAB>count
Pairs seen less than MIN_COUNT times are left out: they would add size, not
evidence, and the smoothing treats them as unseen.
"""
from __future__ import annotations

import collections
import gzip
import os
from collections.abc import Iterable

# Spellings kept as their own slot values. Beyond about three thousand the
# words are mostly content words, which their classes describe as well.
VOCABULARY_SIZE = 3000
MIN_COUNT = 1.0
UA_GEC = os.path.join("ua-gec-text", "sentences.txt.gz")


class Line:
    """One line of text as the statistics read it (see _statistics.Neighbours)."""

    def __init__(self, text: str, cache) -> None:
        from lexovia_text import _tokens
        matches = list(_tokens.words(text))
        spellings = [m.group() for m in matches]
        entries = cache.fill(spellings)
        self.entries = [entries[w] for w in spellings]
        self.lower = [w.lower() for w in spellings]
        ends = [0] + [m.end() for m in matches]
        starts = [m.start() for m in matches] + [len(text)]
        self.gaps = [text[a:b] for a, b in zip(ends, starts)]


def read_lines(shared: str) -> list[str]:
    with gzip.open(os.path.join(shared, UA_GEC), "rt", encoding="utf-8") as f:
        return f.read().splitlines()


def learn(texts: list[str]) -> tuple[list[str], dict[str, float], dict[tuple[str, str, str], float]]:
    from lexovia_text import _entries, _statistics
    cache = _entries.Cache()
    lines = [Line(t, cache) for t in texts]
    frequency = collections.Counter(w for line in lines for w in line.lower)
    vocabulary = frozenset(w for w, _ in frequency.most_common(VOCABULARY_SIZE))
    weight = class_weights([a.cls for a in entry.all_analyses] for line in lines for entry in line.entries)
    classes: dict[str, float] = collections.defaultdict(float)
    counts: dict[tuple[str, str, str], float] = collections.defaultdict(float)
    for line in lines:
        for i, entry in enumerate(line.entries):
            shares = spread([a.cls for a in entry.all_analyses], weight)
            if not shares:
                continue
            values = _statistics.features(vocabulary, line, i)
            for cls, share in shares.items():
                classes[cls] += share
                for slot, value in zip(_statistics.SLOTS, values):
                    counts[(slot, value, cls)] += share
    return sorted(vocabulary), dict(classes), dict(counts)


def _fields(cls: str) -> list[str]:
    """A class's fields; a word that declines has three (part of speech,
    case, number), see lexovia_text/_entries.Analysis."""
    return cls.split("|")


def class_weights(tokens: Iterable[list[str]]) -> dict[str, float]:
    """How likely each class of a declining word is before its context is
    seen, from each token's list of classes: the share of its case among
    the tokens of its part of speech whose case is certain, times that of
    its number among those whose number is certain; 1 for the classes of
    other words. Syncretic forms spread over their classes by these
    weights, not evenly, so that the vocative, which a noun's nominative
    plural always allows but text seldom uses, gets the small share the
    unambiguous vocatives show."""
    cases: collections.Counter[tuple[str, str]] = collections.Counter()
    numbers: collections.Counter[tuple[str, str]] = collections.Counter()
    allowed: set[str] = set()
    for classes in tokens:
        allowed.update(classes)
        fields = {tuple(_fields(c)) for c in classes}
        if len({f[0] for f in fields}) != 1 or any(len(f) != 3 for f in fields):
            continue
        pos = next(iter(fields))[0]
        if len({f[1] for f in fields}) == 1:
            cases[(pos, next(iter(fields))[1])] += 1
        if len({f[2] for f in fields}) == 1:
            numbers[(pos, next(iter(fields))[2])] += 1
    case_totals: collections.Counter[str] = collections.Counter()
    number_totals: collections.Counter[str] = collections.Counter()
    for (pos, _), n in cases.items():
        case_totals[pos] += n
    for (pos, _), n in numbers.items():
        number_totals[pos] += n
    weight = {}
    for cls in allowed:
        fields = _fields(cls)
        if len(fields) == 3:
            pos, case, number = fields
            weight[cls] = ((cases[(pos, case)] + 1) / (case_totals[pos] + 1)
                           * (numbers[(pos, number)] + 1) / (number_totals[pos] + 1))
        else:
            weight[cls] = 1.0
    return weight


def spread(classes: list[str], weight: dict[str, float]) -> dict[str, float]:
    """One token's count shared out over the classes its readings allow:
    evenly over its parts of speech, and within a part of speech by the
    classes' weights."""
    by_pos: dict[str, set[str]] = collections.defaultdict(set)
    for cls in classes:
        by_pos[_fields(cls)[0]].add(cls)
    out = {}
    for group in by_pos.values():
        total = sum(weight[c] for c in group)
        for cls in group:
            out[cls] = weight[cls] / total / len(by_pos)
    return out


def build_lines(shared: str) -> list[str]:
    from lexovia_text import _statistics
    vocabulary, classes, counts = learn(read_lines(shared))
    scale = _statistics.COUNT_SCALE
    out = [f"V\t{w}\n" for w in vocabulary]
    out += [f"C\t{cls}\t{round(n * scale)}\n" for cls, n in sorted(classes.items())]
    out += [f"F\t{slot}\t{value}\t{cls}\t{round(n * scale)}\n"
            for (slot, value, cls), n in sorted(counts.items()) if n >= MIN_COUNT]
    return out

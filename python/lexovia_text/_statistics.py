"""Which class of word fits a position: statistics learned from running text.

The rules decide where grammar leaves no choice; what they leave open is
decided here by how the classes of words (part of speech with case and
number, or a verb's form and number) are distributed around their
neighbours in real text. The model is naive Bayes over four neighbours:
the words before and after and the ones beyond them. A neighbour is seen as
the punctuation between it and the word when there is some, else as its
spelling when it is one of the text's frequent words (prepositions,
conjunctions, pronouns, common verbs), else as the set of coarse classes its
dictionary readings allow ("NOUN|Gen/NOUN|Nom" ...), so the statistics
generalise from seen words to any word of the same grammatical kind.

Learned without hand annotation (tools/text_data/context.py) from the
UA-GEC corpus (CC BY 4.0, see data/NOTICE): each token spreads one count
evenly over the classes its readings allow, so a word that is always
unambiguous teaches its contexts in full and a syncretic one (Nom/Acc) a
share to each. The chooser weighs each reading's classes by these
likelihoods times the frequency of the reading's lexeme and of the class
within its part of speech.
"""
from __future__ import annotations

import functools
import gzip
import math
from collections.abc import Callable, Sequence
from importlib import resources
from typing import Protocol

from ._entries import DECLINING, VERBAL, Analysis, Entry

# Punctuation that separates a word from its neighbour as far as the
# statistics go: a neighbour behind a comma is a clause away.
PUNCTUATION = frozenset(",.;:!?…—–()\"«»")
BEGIN, END, UNKNOWN = "BOS", "EOS", "U"
SLOTS = ("L", "R", "LL", "RR")
# Additive smoothing of the feature counts: half a count keeps an unseen
# (feature, class) pair possible without letting it outweigh seen ones.
SMOOTHING = 0.5
# Lexeme weights are frequencies times 1e9 (see _prior); a lexeme wordfreq
# never saw counts as one seen once in a billion tokens, times this: rare
# but not impossible, so that context can still choose it.
LEXEME_FLOOR = 1000


def coarse(cls: str) -> str:
    """What a neighbour's class tells: part of speech and case for a word
    that declines, verb form and number for a verb."""
    parts = cls.split("|")
    if parts[0] in VERBAL:
        return f"{parts[0]}|{parts[1]}|{parts[-1]}"
    if parts[0] in DECLINING:
        return f"{parts[0]}|{parts[1]}"
    return parts[0]


def signature(entry: Entry) -> str:
    if entry.signature is None:
        classes = {coarse(a.cls) for a in entry.all_analyses}
        entry.signature = "C" + "/".join(sorted(classes)) if classes else UNKNOWN
    return entry.signature


class Neighbours(Protocol):
    """The words of a text as the statistics read them: `entries` (None for
    a word the dictionary is not asked about), `lower` spellings, and
    `gaps[k]`, the text between word k-1 and word k (gaps[0] before the
    first word, gaps[len] after the last)."""
    entries: Sequence[Entry | None]
    lower: Sequence[str]
    gaps: Sequence[str]


def _punctuation(gap: str, last: bool) -> str | None:
    found = [c for c in gap if c in PUNCTUATION]
    if not found:
        return None
    return "P" + (found[-1] if last else found[0])


def _word(vocabulary: frozenset[str], words: Neighbours, k: int) -> str:
    lower = words.lower[k]
    if lower in vocabulary:
        return "W" + lower
    entry = words.entries[k]
    return signature(entry) if entry is not None else UNKNOWN


def features(vocabulary: frozenset[str], words: Neighbours, i: int) -> tuple[str, str, str, str]:
    """The values of the four slots L, R, LL, RR for word i."""
    n = len(words.lower)
    if i == 0:
        left = left2 = BEGIN
    else:
        left = _punctuation(words.gaps[i], last=True) or _word(vocabulary, words, i - 1)
        if i == 1:
            left2 = BEGIN
        else:
            left2 = _punctuation(words.gaps[i - 1], last=True) or _word(vocabulary, words, i - 2)
    if i + 1 >= n:
        right = _punctuation(words.gaps[n], last=False) or END
        right2 = END
    else:
        right = _punctuation(words.gaps[i + 1], last=False) or _word(vocabulary, words, i + 1)
        if i + 2 >= n:
            right2 = _punctuation(words.gaps[n], last=False) or END
        else:
            right2 = _punctuation(words.gaps[i + 2], last=False) or _word(vocabulary, words, i + 2)
    return left, right, left2, right2


class ContextModel:
    """Log-likelihoods of each slot's value given a class, and the share of
    each class within its part of speech."""

    def __init__(self, vocabulary: frozenset[str], classes: dict[str, float],
                 counts: dict[tuple[str, str, str], float]) -> None:
        self.vocabulary = vocabulary
        values: dict[str, set[str]] = {slot: set() for slot in SLOTS}
        for slot, value, _ in counts:
            values[slot].add(value)
        # log P(value | class) for seen pairs, per (slot, value); the unseen
        # default per (slot, class).
        self._seen: dict[tuple[str, str], dict[str, float]] = {}
        for (slot, value, cls), n in counts.items():
            denominator = classes[cls] + SMOOTHING * (len(values[slot]) + 1)
            self._seen.setdefault((slot, value), {})[cls] = math.log((n + SMOOTHING) / denominator)
        self._unseen = {(slot, cls): math.log(SMOOTHING / (total + SMOOTHING * (len(values[slot]) + 1)))
                        for slot in SLOTS for cls, total in classes.items()}
        by_pos: dict[str, float] = {}
        for cls, total in classes.items():
            by_pos[cls.split("|")[0]] = by_pos.get(cls.split("|")[0], 0.0) + total
        self._share = {cls: math.log(total / by_pos[cls.split("|")[0]]) for cls, total in classes.items()}

    @classmethod
    def shipped(cls) -> ContextModel:
        data = resources.files(__package__).joinpath("context.tsv.gz").read_bytes()
        vocabulary: set[str] = set()
        classes: dict[str, float] = {}
        counts: dict[tuple[str, str, str], float] = {}
        for line in gzip.decompress(data).decode("utf-8").splitlines():
            f = line.split("\t")
            if f[0] == "F":
                counts[(f[1], f[2], f[3])] = int(f[4]) / COUNT_SCALE
            elif f[0] == "C" and int(f[2]) > 0:
                classes[f[1]] = int(f[2]) / COUNT_SCALE
            elif f[0] == "V":
                vocabulary.add(f[1])
        counts = {k: n for k, n in counts.items() if k[2] in classes}
        return cls(frozenset(vocabulary), classes, counts)

    def knows(self, cls: str) -> bool:
        return cls in self._share

    def log_likelihood(self, cls: str, values: Sequence[str]) -> float:
        """log P(values | cls) + log P(cls | its part of speech)."""
        total = self._share[cls]
        for slot, value in zip(SLOTS, values):
            seen = self._seen.get((slot, value))
            total += seen[cls] if seen is not None and cls in seen else self._unseen[(slot, cls)]
        return total

    def score(self, analyses: Sequence[Analysis], values: Sequence[str],
              lexeme_weight: Callable[[Analysis], int]) -> float | None:
        """log of the weight of one reading: the sum over its analyses of the
        lexeme's weight times the likelihood of the context for the
        analysis's class; None when no analysis has a class the statistics
        know."""
        terms = [math.log(lexeme_weight(a) + LEXEME_FLOOR) + self.log_likelihood(a.cls, values)
                 for a in analyses if self.knows(a.cls)]
        if not terms:
            return None
        top = max(terms)
        return top + math.log(sum(math.exp(t - top) for t in terms))


# Counts are stored as integers in hundredths: spreading a token over its
# classes makes fractions, and a hundredth keeps them apart. A class whose
# total rounds to nothing is not known.
COUNT_SCALE = 100


# Read on first use, so that importing the package stays cheap.
@functools.cache
def model() -> ContextModel:
    return ContextModel.shipped()

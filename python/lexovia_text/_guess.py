"""Stress guesses for words the dictionary does not know, by analogy.

A word is stressed like the dictionary words that end the same way and have
as many syllables: the table maps (ending, syllable count) to the stress
counted from the end (1 = last syllable), or to NO_GUESS where the
dictionary words with that ending disagree too much. A guess uses the
longest ending of the word that the table holds, so a specific ending
overrides a general one. The table is built by tools/text_data/build.py
from the dictionary itself (build_table below) and shipped as
endings.tsv.gz.
"""
from __future__ import annotations

import collections
import gzip
from collections.abc import Iterable
from importlib import resources

# Longer endings rarely add anything that the word's syllable count does not
# already tell, and they multiply the table's size.
MAX_ENDING = 6
# An ending decides only when this share of its dictionary words agree: the
# guesser is meant to be right when it speaks, not to always speak.
MIN_AGREEMENT = 0.9
# Endings seen on fewer words are too weak to overrule a shorter one.
MIN_WORDS = 3
NO_GUESS = 0
VOWELS = frozenset("аеєиіїоуюя")


def syllables(form: str) -> int:
    return sum(1 for c in form if c in VOWELS)


def build_table(entries: Iterable[tuple[str, int, int]]) -> dict[tuple[str, int], int]:
    """(ending, syllables) -> stress from end (or NO_GUESS), from
    (normalised form, syllable count, stress from end) triples; rows that a
    shorter ending already answers the same way are left out."""
    counts: dict[tuple[str, int], collections.Counter[int]] = collections.defaultdict(collections.Counter)
    for form, count, from_end in entries:
        for k in range(1, min(MAX_ENDING, len(form)) + 1):
            counts[(form[-k:], count)][from_end] += 1
    decided: dict[tuple[str, int], int] = {}
    for key, c in counts.items():
        (best, n), total = c.most_common(1)[0], c.total()
        if total >= MIN_WORDS:
            decided[key] = best if n >= MIN_AGREEMENT * total else NO_GUESS
    table: dict[tuple[str, int], int] = {}
    for (ending, count), answer in decided.items():
        if _inherited(decided, ending, count) != answer:
            table[(ending, count)] = answer
    return table


def _inherited(rows: dict[tuple[str, int], int], ending: str, count: int) -> int:
    for k in range(len(ending) - 1, 0, -1):
        answer = rows.get((ending[-k:], count))
        if answer is not None:
            return answer
    return NO_GUESS


class EndingTable:
    def __init__(self, rows: dict[tuple[str, int], int]) -> None:
        self._rows = rows

    @classmethod
    def shipped(cls) -> EndingTable:
        data = resources.files(__package__).joinpath("endings.tsv.gz").read_bytes()
        rows: dict[tuple[str, int], int] = {}
        for line in gzip.decompress(data).decode("utf-8").splitlines():
            ending, count, from_end = line.split("\t")
            rows[(ending, int(count))] = int(from_end)
        return cls(rows)

    def guess(self, form: str) -> int | None:
        """The stress from the end (1 = last syllable) of a normalised
        (lower-case) form, or None when the table has no confident answer."""
        count = syllables(form)
        if count < 2:
            return None
        for k in range(min(MAX_ENDING, len(form)), 0, -1):
            answer = self._rows.get((form[-k:], count))
            if answer is not None:
                return answer if answer != NO_GUESS and answer <= count else None
        return None

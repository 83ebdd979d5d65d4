"""Splits Ukrainian text into words and the text between them.

A word is a run of letters that may hold apostrophes (every variant lexovia
normalises: ' ʼ ’ ‘ `) and hyphens between two letters, and combining marks
after a letter (so an existing stress mark, or a decomposed й, stays inside
its word). Digits, underscores, punctuation, spaces and lone surrogates are
never part of a word. Everything that is not a word is a gap and is copied
through untouched, which is what keeps the text intact.
"""
from __future__ import annotations

import re
from collections.abc import Iterator

# Every apostrophe lexovia's normalisation writes as U+02BC, the same set;
# the rest of the package takes it from here.
APOSTROPHES = "'\u02bc\u2019\u2018`"
# U+2010 HYPHEN and U+2011 NON-BREAKING HYPHEN join words as the ASCII one does.
HYPHENS = "-\u2010\u2011"
# A letter, and the combining marks that may follow one (as patterns; the
# stress-mark formats of _marks build their words from them too).
LETTER = r"[^\W\d_]"
MARKS = r"[\u0300-\u036f]*"
WORD = re.compile(rf"{LETTER}{MARKS}(?:[{re.escape(APOSTROPHES + HYPHENS)}]?{LETTER}{MARKS})*")
_SPLIT_HYPHENS = re.compile(f"[{HYPHENS}]")

VOWELS = frozenset("аеєиіїоуюяАЕЄИІЇОУЮЯ")
ACUTE = "\u0301"
# Sentence ends: a capital after one of these (or at the start of a line) is
# not evidence of a name.
SENTENCE_END = frozenset(".!?…\n")


def words(text: str) -> Iterator[re.Match[str]]:
    return WORD.finditer(text)


UKRAINIAN = frozenset("абвгґдеєжзиіїйклмнопрстуфхцчшщьюяАБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ" + APOSTROPHES + HYPHENS)


def is_ukrainian(word: str) -> bool:
    """Whether the word is written in Ukrainian letters only (apostrophes and
    hyphens aside): only such words are looked up, stressed or transcribed,
    so that a Latin or Russian word, or one with marks the dictionary does
    not spell with, is left as it is."""
    return all(c in UKRAINIAN for c in word)


def vowel_count(word: str) -> int:
    return sum(1 for c in word if c in VOWELS)


def hyphen_parts(word: str) -> list[tuple[int, str]]:
    """(offset, part) of each hyphen-separated part of a word."""
    out, start = [], 0
    for m in _SPLIT_HYPHENS.finditer(word):
        out.append((start, word[start:m.start()]))
        start = m.end()
    out.append((start, word[start:]))
    return out


def part_vowel_starts(word: str) -> list[int]:
    """For each hyphen-separated part of a word, the ordinal of its first
    vowel among the word's vowels (a part without vowels starts where the
    next would)."""
    starts, seen = [], 0
    for _, part in hyphen_parts(word):
        starts.append(seen)
        seen += vowel_count(part)
    return starts


def part_of(starts: list[int], ordinal: int) -> int:
    """The part (see part_vowel_starts) that vowel `ordinal` belongs to."""
    return max(k for k, start in enumerate(starts) if start <= ordinal)


def mark_vowels(word: str, ordinals: tuple[int, ...] | list[int]) -> str:
    """word with U+0301 after each of its vowels numbered in `ordinals`."""
    wanted = set(ordinals)
    out, seen = [], 0
    for c in word:
        out.append(c)
        if c in VOWELS:
            if seen in wanted:
                out.append(ACUTE)
            seen += 1
    return "".join(out)


def mark_vowel(word: str, ordinal: int) -> str:
    """word with U+0301 after its vowel number `ordinal` (0-based); unchanged
    when it has fewer vowels."""
    seen = 0
    for i, c in enumerate(word):
        if c in VOWELS:
            if seen == ordinal:
                return word[:i + 1] + ACUTE + word[i + 1:]
            seen += 1
    return word


def lookup_key(word: str) -> str:
    """The form lexovia is asked for: the Unicode hyphens become ASCII ones,
    as the dictionary writes them."""
    return word.replace("\u2010", "-").replace("\u2011", "-")


_TO_KEY = str.maketrans({a: "\u02bc" for a in APOSTROPHES} | {"\u2010": "-", "\u2011": "-"})


def normalise_key(word: str) -> str:
    """The spelling the shipped tables key a lower-case word by: every
    apostrophe as U+02BC, the Unicode hyphens as ASCII ones."""
    return word.translate(_TO_KEY)

"""Stress-mark formats: writing a word's stresses in one, and reading the
marks a user has already put into a text.

The formats (FORMATS), each a mark beside the stressed vowel letter:

- `acute`: U+0301 COMBINING ACUTE ACCENT after it (за́мок), Unicode's way
  and the default;
- `plus-after`: + after it (за+мок);
- `plus-before`: + before it (з+амок).

The two plus formats are what Ukrainian speech-synthesis corpora and models
are written in.

In input, a mark is the user's decision about the word that carries it.
U+0301 right after a vowel letter is a mark whatever the format, since it
can mean nothing else; a + is one only in the plus format chosen, where
every + that touches a vowel letter on that format's side is taken into the
word as its mark (за+мок is one word, and so is за+ at the end of one). A +
anywhere else (1+1, C++, a + before a consonant in plus-before) stays text
between words. A word whose U+0301 does not follow a vowel letter is no
one's decision and is left alone, as every word with a combining mark the
dictionary does not spell with is.

Writing and reading are inverse: read(write(word, S, f), f) gives back the
word and S for a word of Ukrainian letters and any non-empty set S of its
vowels, and what write adds is always read back as a mark in its text.
"""
from __future__ import annotations

import re
from collections.abc import Iterable, Iterator
from typing import Literal

from ._tokens import ACUTE, APOSTROPHES, HYPHENS, LETTER, MARKS, VOWELS, WORD, mark_vowels

MarkFormat = Literal["acute", "plus-after", "plus-before"]
FORMATS: tuple[MarkFormat, ...] = ("acute", "plus-after", "plus-before")
DEFAULT: MarkFormat = "acute"
PLUS = "+"

_VOWEL = "[" + "".join(sorted(VOWELS)) + "]"
_JOINERS = "[" + re.escape(APOSTROPHES + HYPHENS) + "]"


def _word_pattern(unit: str) -> re.Pattern[str]:
    return re.compile(rf"{unit}(?:{_JOINERS}?{unit})*")


# A word is the tokenizer's (_tokens.WORD) with the format's + taken in
# beside its vowel letter.
_WORDS: dict[str, re.Pattern[str]] = {
    "acute": WORD,
    "plus-after": _word_pattern(rf"(?:{_VOWEL}{MARKS}\+|{LETTER}{MARKS})"),
    "plus-before": _word_pattern(rf"(?:\+{_VOWEL}{MARKS}|{LETTER}{MARKS})"),
}


def check(fmt: str) -> None:
    """Raises ValueError unless fmt is one of FORMATS."""
    if fmt not in FORMATS:
        raise ValueError(f"mark must be one of {', '.join(FORMATS)}, not {fmt!r}")


def words(text: str, fmt: str) -> Iterator[re.Match[str]]:
    """The words of text (see _tokens), marks of the format included."""
    return _WORDS[fmt].finditer(text)


def write(word: str, ordinals: Iterable[int], fmt: str) -> str:
    """word with the format's mark on each of its vowels numbered in
    `ordinals` (0-based)."""
    if fmt == "acute":
        return mark_vowels(word, tuple(ordinals))
    wanted = set(ordinals)
    before = fmt == "plus-before"
    out: list[str] = []
    seen = 0
    for c in word:
        if c in VOWELS:
            marked = seen in wanted
            seen += 1
            if marked:
                out.append(PLUS + c if before else c + PLUS)
                continue
        out.append(c)
    return "".join(out)


def read(word: str, fmt: str) -> tuple[str, tuple[int, ...]] | None:
    """(the word without its marks, the vowels they mark) for a word that
    carries stress marks (U+0301, or the format's +), or None when it
    carries none or one that is out of place."""
    plus = fmt != "acute" and PLUS in word
    if not plus and ACUTE not in word:
        return None
    after = fmt == "plus-after"
    out: list[str] = []
    stresses: set[int] = set()
    seen = 0
    # The vowel a mark at this point would stress: the last vowel letter,
    # while nothing but marks has followed it.
    target: int | None = None
    waiting = False   # a plus-before mark waits for its vowel
    for c in word:
        if c == ACUTE or (c == PLUS and after):
            if target is None:
                return None
            stresses.add(target)
            continue
        if c == PLUS and plus:
            waiting = True
            continue
        if c in VOWELS:
            if waiting:
                stresses.add(seen)
            target = seen
            seen += 1
        elif waiting:
            return None
        else:
            target = None
        waiting = False
        out.append(c)
    if waiting or not stresses:
        return None
    return "".join(out), tuple(sorted(stresses))

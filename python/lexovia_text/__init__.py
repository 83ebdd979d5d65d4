"""Stress and transcribe running Ukrainian text with lexovia's dictionary.

`stress_text(text)` returns the text with U+0301 after the stressed vowel
of every word of two or more vowels whose stress it knows, and nothing else
changed: removing the marks it added gives back the input exactly, whatever
the input (capitals, apostrophes, hyphens, punctuation, Latin words,
numbers, stress marks already there, lone surrogates). Where the dictionary
gives a word several stresses, the reading is chosen from the sentence: the
case a preposition governs, agreement of modifiers with their noun and of
a verb with its subject pronoun, function words over rare nouns, and a
frequency prior where those say nothing. `annotate(text)` shows the choice
word by word; `transcribe_text(text)` gives the IPA of each word with the
chosen stress.
"""
from __future__ import annotations

import functools
from collections.abc import Iterator
from dataclasses import dataclass

import lexovia

from . import _choose, _tokens
from ._entries import Cache, Entry
from ._guess import EndingTable

__all__ = ["Word", "annotate", "stress_text", "transcribe_text", "RULE_NAMES"]

RULE_NAMES = _choose.RULE_NAMES + ("only-reading", "guess")

_cache = Cache()
# Read on first use, so that importing the package stays cheap.
@functools.cache
def _ending_table() -> EndingTable:
    return EndingTable.shipped()


@dataclass(frozen=True)
class Word:
    """One word of an annotated text. `start`/`end` index the text;
    `readings` are lexovia.lookup's readings of the word; `chosen` is the
    index of the chosen one (None when there is none), `rule` the name of
    the rule that chose it (one of RULE_NAMES), `stress` the 0-based vowel
    that gets the mark (None when the word is left as it is) and `guess`
    whether the stress is a guess for a word the dictionary lacks."""
    start: int
    end: int
    text: str
    readings: list[lexovia.ReadingDict]
    chosen: int | None
    rule: str | None
    stress: int | None
    guess: bool


@dataclass(frozen=True)
class _Choice:
    start: int
    entry: Entry
    reading: int | None
    rule: str | None
    stress: int | None
    guess: bool


def _is_initial(text: str, previous_end: int, start: int) -> bool:
    if previous_end < 0:
        return True
    return any(c in _tokens.SENTENCE_END for c in text[previous_end:start])


def _guess_entry(entry: Entry) -> int | None:
    if entry.guess is None and entry.vowels >= 2:
        from_end = _ending_table().guess(_choose.normalise_key(entry.word.lower()))
        entry.guess = -1 if from_end is None else entry.vowels - from_end
    return entry.guess if entry.guess is not None and entry.guess >= 0 else None


def _choices(text: str, *, guess: bool) -> Iterator[_Choice]:
    """Every word unit of the text (the parts of an unknown hyphenated word
    count one by one) with its reading and stress."""
    matches = list(_tokens.words(text))
    spellings = [m.group() for m in matches]
    entries = _cache.fill(spellings)
    row = [entries[w] for w in spellings]
    ctx = _choose.Context(row, [w.lower() for w in spellings],
                          [_is_initial(text, matches[k - 1].end() if k else -1, m.start())
                           for k, m in enumerate(matches)])
    for i, (m, entry) in enumerate(zip(matches, row)):
        if entry.parts:
            for offset, part in entry.parts:
                yield _alone(m.start() + offset, part, guess)
        else:
            yield _choice(m.start(), entry, guess, ctx, i)


def _alone(start: int, entry: Entry, guess: bool) -> _Choice:
    """A part of a hyphenated word, chosen without context."""
    return _choice(start, entry, guess, _choose.Context([entry], [entry.word.lower()], [True]), 0)


def _choice(start: int, entry: Entry, guess: bool, ctx: _choose.Context, i: int) -> _Choice:
    """The reading and stress of `entry`, word i of `ctx`."""
    n = len(entry.stress)
    if n == 1:
        return _Choice(start, entry, 0, "only-reading", entry.stress[0], False)
    if n > 1:
        reading, rule = _choose.choose(ctx, i)
        return _Choice(start, entry, reading, rule, entry.stress[reading], False)
    g = _guess_entry(entry) if guess and _tokens.is_ukrainian(entry.word) else None
    return _Choice(start, entry, None, "guess" if g is not None else None, g, g is not None)


def _marks(choice: _Choice, single: bool) -> bool:
    return choice.stress is not None and (choice.entry.vowels >= 2 or (single and choice.entry.vowels == 1))


def stress_text(text: str, *, single: bool = False, guess: bool = False) -> str:
    """`text` with U+0301 after the stressed vowel of each word it can
    stress; words of one vowel are marked only with single=True, and words
    the dictionary lacks get a guessed stress only with guess=True."""
    out: list[str] = []
    pos = 0
    for c in _choices(text, guess=guess):
        if not _marks(c, single):
            continue
        entry = c.entry
        assert c.stress is not None
        marked = entry.marked[c.reading] if c.reading is not None else _tokens.mark_vowel(entry.word, c.stress)
        out.append(text[pos:c.start])
        out.append(marked)
        pos = c.start + len(entry.word)
    if not out:
        return text
    out.append(text[pos:])
    return "".join(out)


def annotate(text: str, *, guess: bool = False) -> Iterator[Word]:
    """Each word of `text` in order, with its readings and the choice made
    (see Word). Words of an unknown hyphenated word come part by part."""
    choices = list(_choices(text, guess=guess))
    known = [c for c in choices if c.entry.stress]
    readings = {id(c): r["readings"] for c, r in
                zip(known, lexovia.lookup_many([_tokens.lookup_key(c.entry.word) for c in known]) if known else [])}
    for c in choices:
        yield Word(c.start, c.start + len(c.entry.word), c.entry.word, readings.get(id(c), []),
                   c.reading, c.rule, c.stress, c.guess)


def transcribe_text(text: str, *, guess: bool = True) -> str:
    """`text` with each Cyrillic word replaced by its IPA (the syllables of
    lexovia.transcribe with the chosen stress, ˈ before the stressed one as
    in lookup's `ipa_syllables`) and everything between words kept as it
    is. A word the dictionary lacks gets its guessed stress (guess=True),
    or else is transcribed from its first vowel with no stress mark."""
    out: list[str] = []
    pos = 0
    for c in _choices(text, guess=guess):
        word = c.entry.word
        if not _tokens.is_ukrainian(word):
            continue
        out.append(text[pos:c.start])
        out.append(_ipa(word, c.stress))
        pos = c.start + len(word)
    out.append(text[pos:])
    return "".join(out)


# Transcriptions per (spelling, stress); bounded like the word cache.
IPA_CACHE_LIMIT = 200_000
_ipa_cache: dict[tuple[str, int | None], str] = {}


def _ipa(word: str, stress: int | None) -> str:
    key = (word, stress)
    ipa = _ipa_cache.get(key)
    if ipa is None:
        if len(_ipa_cache) >= IPA_CACHE_LIMIT:
            _ipa_cache.clear()
        t = lexovia.transcribe(_tokens.lookup_key(word), stress or 0)
        if stress is None:
            ipa = t["ipa"]
        else:
            ipa = "".join(("ˈ" if s["stressed"] else "") + s["ipa"] for s in t["syllables"])
        _ipa_cache[key] = ipa
    return ipa

"""Stress and transcribe running Ukrainian text with lexovia's dictionary.

`stress_text(text)` returns the text with U+0301 after the stressed vowel
of every word of two or more vowels whose stress it knows, and nothing else
changed: removing the marks it added gives back the input exactly, whatever
the input (capitals, apostrophes, hyphens, punctuation, Latin words,
numbers, stress marks already there, lone surrogates). Where the dictionary
gives a word several stresses, the reading is chosen from the sentence: by
grammar (the case a preposition or a numeral governs, agreement of
modifiers with their noun, of a verb with its subject, of coordinated
nouns), then by how well each reading's case and number fit the
neighbours in real text, then by the frequency of its lexeme, and between
variants with the same grammar by dictionary evidence of the usual one.
A hyphenated compound whose parts each carry a stress gets a mark on
each part. `annotate(text)` shows the choice word by word;
`transcribe_text(text)` gives the IPA of each word with the chosen stress.
`stress_batch(texts)` and `transcribe_batch(texts)` do the same for a list
of texts, for dataframes and worker processes (_batch).
"""
from __future__ import annotations

import functools
from collections.abc import Iterator
from dataclasses import dataclass
from typing import NamedTuple

import lexovia

from . import _choose, _rules, _tokens
from ._batch import stress_batch, transcribe_batch, warm_up
from ._entries import Cache, Entry
from ._guess import EndingTable

__all__ = ["Word", "annotate", "stress_text", "transcribe_text", "stress_batch", "transcribe_batch", "warm_up",
           "RULE_NAMES"]

RULE_NAMES = _choose.RULE_NAMES + (_choose.ONLY, "guess")

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
    whether the stress is a guess for a word the dictionary lacks.
    `stresses` are all the vowels that get a mark: `stress` alone, or for a
    hyphenated compound one on each part (`stress` is then the last part's,
    the primary stress)."""
    start: int
    end: int
    text: str
    readings: list[lexovia.ReadingDict]
    chosen: int | None
    rule: str | None
    stress: int | None
    guess: bool
    stresses: tuple[int, ...] = ()


class _Choice(NamedTuple):
    start: int
    entry: Entry
    reading: int | None
    rule: str | None
    stress: int | None
    guess: bool
    stresses: tuple[int, ...]


def _guess_entry(entry: Entry) -> int | None:
    if entry.guess is None and entry.vowels >= 2:
        from_end = _ending_table().guess(_tokens.normalise_key(entry.word.lower()))
        entry.guess = -1 if from_end is None else entry.vowels - from_end
    return entry.guess if entry.guess is not None and entry.guess >= 0 else None


def _choices(text: str, *, guess: bool) -> Iterator[_Choice]:
    """Every word unit of the text (the parts of an unknown hyphenated word
    count one by one) with its reading and stress."""
    matches = list(_tokens.words(text))
    spellings = [m.group() for m in matches]
    entries = _cache.fill(spellings)
    row = [entries[w] for w in spellings]
    ends = [0] + [m.end() for m in matches]
    starts = [m.start() for m in matches] + [len(text)]
    gaps = [text[a:b] for a, b in zip(ends, starts)]
    ctx = _rules.Context(row, [w.lower() for w in spellings], gaps)
    for i, (m, entry) in enumerate(zip(matches, row)):
        fixed = entry.fixed
        if fixed is not None:
            # One reading, no compound, no stress that the words around
            # could move: nothing to choose.
            yield _Choice(m.start(), entry, 0, _choose.ONLY, fixed, False, (fixed,))
        elif entry.parts:
            for offset, part in entry.parts:
                yield _alone(m.start() + offset, part, guess)
        else:
            yield _choice(m.start(), entry, guess, ctx, i)


def _alone(start: int, entry: Entry, guess: bool) -> _Choice:
    """A part of a hyphenated word, chosen without context."""
    return _choice(start, entry, guess, _rules.Context([entry], [entry.word.lower()], ["", ""]), 0)


def _choice(start: int, entry: Entry, guess: bool, ctx: _rules.Context, i: int) -> _Choice:
    """The reading and stress of `entry`, word i of `ctx`."""
    if entry.stress:
        reading, stress, rule = _choose.decide(ctx, i)
        stresses = _compound(entry, reading, stress) if entry.hyphenated else (stress,)
        return _Choice(start, entry, reading, rule, stress, False, stresses)
    g = _guess_entry(entry) if guess and _tokens.is_ukrainian(entry.word) else None
    return _Choice(start, entry, None, "guess" if g is not None else None, g, g is not None,
                   () if g is None else (g,))


def _compound(entry: Entry, reading: int, stress: int) -> tuple[int, ...]:
    """Every stressed vowel of the word: the chosen one and, for a
    hyphenated word whose readings stress different parts
    (торго́во-промисло́вою), one in each other part, as readers stress each
    part: that of the reading sharing most analyses with the chosen one
    (the lowest stress on a tie)."""
    bounds = _tokens.part_vowel_starts(entry.word)
    if len(bounds) < 2:
        return (stress,)
    own = _tokens.part_of(bounds, stress)
    chosen = set(entry.analyses[reading])
    best: dict[int, tuple[int, int]] = {}
    for k, s in enumerate(entry.stress):
        part = _tokens.part_of(bounds, s)
        if part == own:
            continue
        rank = (-len(chosen & set(entry.analyses[k])), s)
        if part not in best or rank < best[part]:
            best[part] = rank
    return tuple(sorted({stress} | {s for _, s in best.values()}))


def stress_text(text: str, *, single: bool = False, guess: bool = False) -> str:
    """`text` with U+0301 after the stressed vowel of each word it can
    stress; words of one vowel are marked only with single=True, and words
    the dictionary lacks get a guessed stress only with guess=True."""
    out: list[str] = []
    pos = 0
    for c in _choices(text, guess=guess):
        if c.stress is None or (c.entry.vowels < 2 and not (single and c.entry.vowels == 1)):
            continue
        entry = c.entry
        if c.reading is not None and c.stresses == (entry.stress[c.reading],):
            marked = entry.marked[c.reading]
        else:
            marked = _tokens.mark_vowels(entry.word, c.stresses)
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
                   c.reading, c.rule, c.stress, c.guess, c.stresses)


def transcribe_text(text: str, *, guess: bool = True) -> str:
    """`text` with each Cyrillic word replaced by its IPA (the syllables of
    lexovia.transcribe with the chosen stress, ˈ before the stressed one as
    in lookup's `ipa_syllables`) and everything between words kept as it
    is. A word the dictionary lacks gets its guessed stress (guess=True),
    or else is transcribed from its first vowel with no stress mark. A
    compound stressed on each part is transcribed part by part, hyphen
    kept, with ˈ on the last part's stress and ˌ on the others'."""
    out: list[str] = []
    pos = 0
    for c in _choices(text, guess=guess):
        word = c.entry.word
        if not _tokens.is_ukrainian(word):
            continue
        out.append(text[pos:c.start])
        out.append(_compound_ipa(word, c.stresses) if len(c.stresses) > 1 else _ipa(word, c.stress))
        pos = c.start + len(word)
    out.append(text[pos:])
    return "".join(out)


# Transcriptions per (spelling, stress); bounded like the word cache.
IPA_CACHE_LIMIT = 200_000
_ipa_cache: dict[tuple[str, int | None], str] = {}
PRIMARY, SECONDARY = "ˈ", "ˌ"


def _ipa(word: str, stress: int | None, mark: str = PRIMARY) -> str:
    key = (word, stress) if mark == PRIMARY else (word + mark, stress)
    ipa = _ipa_cache.get(key)
    if ipa is None:
        if len(_ipa_cache) >= IPA_CACHE_LIMIT:
            _ipa_cache.clear()
        t = lexovia.transcribe(_tokens.lookup_key(word), stress or 0)
        if stress is None:
            ipa = t["ipa"]
        else:
            ipa = "".join((mark if s["stressed"] else "") + s["ipa"] for s in t["syllables"])
        _ipa_cache[key] = ipa
    return ipa


def _compound_ipa(word: str, stresses: tuple[int, ...]) -> str:
    """Each hyphen-separated part transcribed with its own stress, the
    last stressed part's primary and the others secondary; the hyphens
    stay."""
    starts = _tokens.part_vowel_starts(word)
    last = _tokens.part_of(starts, max(stresses))
    out, end = [], 0
    for k, (offset, part) in enumerate(_tokens.hyphen_parts(word)):
        out.append(word[end:offset])
        end = offset + len(part)
        own = [s - starts[k] for s in stresses if _tokens.part_of(starts, s) == k]
        if part:
            out.append(_ipa(part, own[0] if own else None, PRIMARY if k == last else SECONDARY))
    return "".join(out)

"""Stress and transcribe running Ukrainian text with lexovia's dictionary.

`stress_text(text)` returns the text with U+0301 after the stressed vowel
of every word of two or more vowels, and nothing else
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
each part. A word the dictionary lacks is looked up in its modern spelling
when it is written in an older one, or else stressed by the stress model
(_guess), a guess that annotate flags with its confidence; guess=False
leaves such words unmarked. `annotate(text)` shows the choice word by word;
`transcribe_text(text)` gives the IPA of each word with the chosen stress,
as the text is said (see _ipa).

Every function takes `mark`, the stress-mark format (one of MARK_FORMATS:
U+0301 after the stressed vowel, or + after or before it; see _marks): it
is what stress_text and annotate write, and what is read in the input. A
word that already carries a mark is the user's decision: it keeps its
marks, is not marked again, and is stressed and transcribed where they say.
`stress_batch(texts)` and `transcribe_batch(texts)` do the same for a list
of texts, for dataframes and worker processes (_batch).
"""
from __future__ import annotations

import functools
from collections.abc import Iterator
from dataclasses import dataclass
from typing import NamedTuple

import lexovia

from . import _choose, _guess, _ipa, _marks, _rules, _tokens
from ._batch import stress_batch, transcribe_batch, warm_up
from ._entries import Cache, Entry
from ._marks import MarkFormat

__all__ = ["Word", "annotate", "stress_text", "transcribe_text", "stress_batch", "transcribe_batch", "warm_up",
           "RULE_NAMES", "MARK_FORMATS", "MarkFormat"]

# The rule name of a word whose stress the user marked in the text.
USER = "user-mark"
# The rule names of the guesses for a word the dictionary lacks: the stress
# model's, and the dictionary's stress of the word's modern spelling.
GUESS = "guess"
RESPELLING = "respelling"
RULE_NAMES = _choose.RULE_NAMES + (_choose.ONLY, GUESS, RESPELLING, USER)
MARK_FORMATS = _marks.FORMATS

_cache = Cache()


@dataclass(frozen=True)
class Word:
    """One word of an annotated text. `start`/`end` index the text;
    `readings` are lexovia.lookup's readings of the word; `chosen` is the
    index of the chosen one (None when there is none), `rule` the name of
    the rule that chose it (one of RULE_NAMES), `stress` the 0-based vowel
    that gets the mark (None when the word is left as it is) and `guess`
    whether the stress is a guess for a word the dictionary lacks.
    `stresses` are all the vowels that get a mark: `stress` alone, or for a
    hyphenated compound one on each part, `stress` (the chosen reading's)
    among them; transcribe_text makes the last of them the primary
    stress. A word the user marked has the rule USER, its marks as
    `stresses` and `text` as written, marks included. `marked` is the word
    with a mark on each of `stresses` in the format asked for (the user's
    own marks as they are). `confidence` is the stress model's confidence
    in a guess (rule GUESS), from 0 to 1, and None for any other word."""
    start: int
    end: int
    text: str
    readings: list[lexovia.ReadingDict]
    chosen: int | None
    rule: str | None
    stress: int | None
    guess: bool
    stresses: tuple[int, ...] = ()
    marked: str = ""
    confidence: float | None = None


class _Choice(NamedTuple):
    start: int
    entry: Entry
    reading: int | None
    rule: str | None
    stress: int | None
    guess: bool
    stresses: tuple[int, ...]
    # The word as the text spells it, when the user's marks make that
    # differ from entry.word.
    spelled: str | None = None
    # The stress model's confidence, for its guesses.
    confidence: float | None = None

    @property
    def text(self) -> str:
        return self.entry.word if self.spelled is None else self.spelled


# The tuple's own constructor: for the words that need no choice, which are
# most words of a text, without the keyword handling of _Choice(...).
_new_choice = tuple.__new__


def _guess_entry(entry: Entry) -> tuple[int, str, float | None] | None:
    """The guessed stress of a word the dictionary lacks, the rule that
    gave it and the model's confidence; None for a word of fewer than two
    vowels. Kept on the entry: the same word is guessed once."""
    if entry.guess is None and entry.vowels >= 2:
        entry.guess = _respelled(entry.word) or _modelled(entry.word)
    return entry.guess


def _respelled(word: str) -> tuple[int, str, None] | None:
    """The stress of the first modern spelling of `word` that the dictionary
    has, chosen as for the word alone."""
    lower = word.lower()
    modern = _guess.respellings(lower)
    if not modern:
        return None
    entries = _cache.fill(modern)
    for m in modern:
        if entries[m].stress:
            _, stress, _ = _choose.decide(_rules.Context([entries[m]], [m], ["", ""]), 0)
            return stress, RESPELLING, None
    return None


def _modelled(word: str) -> tuple[int, str, float] | None:
    found = _guess.guess(word)
    return None if found is None else (found[0], GUESS, found[1])


def _choices(text: str, *, guess: bool, mark: str = _marks.DEFAULT) -> Iterator[_Choice]:
    """Every word unit of the text (the parts of an unknown hyphenated word
    count one by one) with its reading and stress; a word the user marked
    (in the format `mark`) is one unit, stressed as marked."""
    matches = list(_marks.words(text, mark))
    spellings = [m.group() for m in matches]
    # A text without a mark character has no word the user marked.
    users = _user_marks(spellings, mark) if _tokens.ACUTE in text or _marks.PLUS in text else {}
    if users:
        spellings = [users[i][0] if i in users else w for i, w in enumerate(spellings)]
    entries = _cache.fill(spellings)
    row = [entries[w] for w in spellings]
    ends = [0] + [m.end() for m in matches]
    starts = [m.start() for m in matches] + [len(text)]
    gaps = [text[a:b] for a, b in zip(ends, starts)]
    ctx = _rules.Context(row, [w.lower() for w in spellings], gaps)
    only = _choose.ONLY
    for i, entry in enumerate(row):
        start = starts[i]
        if users and i in users:
            yield _user_choice(start, matches[i].group(), entry, users[i][1], ctx, i)
            continue
        fixed = entry.fixed
        if fixed is not None:
            # One reading, no compound, no stress that the words around
            # could move: nothing to choose.
            yield _new_choice(_Choice, (start, entry, 0, only, fixed, False, entry.stress, None, None))
        elif entry.parts:
            for offset, part in entry.parts:
                yield _alone(start + offset, part, guess)
        else:
            yield _choice(start, entry, guess, ctx, i)


def _user_marks(spellings: list[str], mark: str) -> dict[int, tuple[str, tuple[int, ...]]]:
    """By position, the words the user marked: the spelling without the
    marks (one of Ukrainian letters: a word in another script stays as it
    is written) and the vowels marked."""
    out = {}
    for i, w in enumerate(spellings):
        if _tokens.ACUTE in w or _marks.PLUS in w:
            found = _marks.read(w, mark)
            if found is not None and _tokens.is_ukrainian(found[0]):
                out[i] = found
    return out


def _user_choice(start: int, spelled: str, entry: Entry, stresses: tuple[int, ...], ctx: _rules.Context,
                 i: int) -> _Choice:
    """A word the user stressed: the stress is theirs (a hyphenated word's
    last mark, another word's first), the reading the dictionary's with that
    stress if it has one, which the words after it then read as decided."""
    stress = stresses[-1] if entry.hyphenated else stresses[0]
    reading = entry.stress.index(stress) if stress in entry.stress else None
    if reading is not None:
        ctx.decided[i] = entry.analyses[reading]
    return _Choice(start, entry, reading, USER, stress, False, stresses, spelled)


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
    if g is None:
        return _Choice(start, entry, None, None, None, False, ())
    stress, rule, confidence = g
    return _Choice(start, entry, None, rule, stress, True, (stress,), confidence=confidence)


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


def stress_text(text: str, *, single: bool = False, guess: bool = True, mark: MarkFormat = _marks.DEFAULT) -> str:
    """`text` with a stress mark (U+0301 after the stressed vowel, or the
    format `mark`) on each word it can stress; words of one vowel are
    marked only with single=True. A word the dictionary lacks gets a
    guessed stress (see _guess; annotate flags it), or none with
    guess=False. Words that already carry a mark stay as they are."""
    _marks.check(mark)
    acute = mark == "acute"
    out: list[str] = []
    pos = 0
    # Unpacked rather than read by name: this loop runs for every word.
    for start, entry, reading, rule, stress, _, stresses, _, _ in _choices(text, guess=guess, mark=mark):
        if stress is None or rule == USER or (entry.vowels < 2 and not (single and entry.vowels == 1)):
            continue
        if acute and reading is not None and stresses == (entry.stress[reading],):
            marked = entry.marked[reading]
        else:
            marked = _marks.write(entry.word, stresses, mark)
        out.append(text[pos:start])
        out.append(marked)
        pos = start + len(entry.word)
    if not out:
        return text
    out.append(text[pos:])
    return "".join(out)


def annotate(text: str, *, guess: bool = True, mark: MarkFormat = _marks.DEFAULT) -> Iterator[Word]:
    """Each word of `text` in order, with its readings and the choice made
    (see Word), `marked` in the format `mark`. Words of an unknown
    hyphenated word come part by part."""
    _marks.check(mark)
    choices = list(_choices(text, guess=guess, mark=mark))
    known = [c for c in choices if c.entry.stress]
    readings = {id(c): r["readings"] for c, r in
                zip(known, lexovia.lookup_many([_tokens.lookup_key(c.entry.word) for c in known]) if known else [])}
    for c in choices:
        spelled = c.text
        marked = spelled if c.rule == USER else _marks.write(spelled, c.stresses, mark)
        yield Word(c.start, c.start + len(spelled), spelled, readings.get(id(c), []),
                   c.reading, c.rule, c.stress, c.guess, c.stresses, marked, c.confidence)


def transcribe_text(text: str, *, guess: bool = True, mark: MarkFormat = _marks.DEFAULT,
                    syllable_separator: str = "", word_separator: str | None = None) -> str:
    """`text` with each word in Ukrainian letters replaced by its IPA as
    the text is said (see _ipa: в before a vowel is ʋ, a function word of
    one vowel is unstressed) with the chosen stress, ˈ before the stressed
    syllable, and everything between words kept as it is. A word the
    dictionary lacks gets its guessed stress (guess=True), or else none. A
    hyphenated word is transcribed part by part, hyphens kept, with ˈ on the
    last stressed part and ˌ on the others. A word the user marked (U+0301,
    or + in the format `mark`) is stressed where the marks say.

    syllable_separator goes between the syllables of each word; with a
    word_separator, the words of each line alone are written, joined by it
    (words not in Ukrainian letters as they are), each line keeping its
    line break: a pronunciation dictionary's form."""
    _marks.check(mark)
    spoken = []
    for c in _choices(text, guess=guess, mark=mark):
        word = c.entry.word
        end = c.start + len(c.text)
        if not _tokens.is_ukrainian(word):
            spoken.append(_ipa.Spoken(c.start, end, word, None))
        elif c.stress is None or (c.rule != USER and c.entry.vowels == 1 and _ipa.is_function_word(c.entry)):
            spoken.append(_ipa.Spoken(c.start, end, word, ()))
        else:
            spoken.append(_ipa.Spoken(c.start, end, word, c.stresses))
    return _ipa.render(text, spoken, syllable_separator, word_separator)

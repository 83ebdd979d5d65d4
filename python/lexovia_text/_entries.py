"""The compact facts about a word that choosing its stress needs, cached.

`lexovia.lookup` gives every reading with its full phonetics; running text
needs far less: the stress of each reading (already written into the word
as it stands in the text) and each reading's analyses as (part of speech,
case, number, gender, person, verb form, lemma). Entries are built from
`lexovia.lookup_many` in batches of words not seen before and kept per
spelling in a cache of bounded size, so a long text costs one dictionary
query per distinct word and constant memory.

A word of one vowel has one reading and no morphology in lookup; its
analyses, which the words around a heteronym need (той, ці, мій, два),
come from the shipped table short.tsv.gz (tools/text_data/short_words.py).
"""
from __future__ import annotations

import functools
import gzip
from collections.abc import Iterable, Mapping, Sequence
from importlib import resources
from typing import TYPE_CHECKING

import lexovia

from . import _tokens

if TYPE_CHECKING:
    from lexovia import MorphDict

# Distinct spellings kept at once: a few hundred MB at most, and large
# enough that real texts (whose vocabulary grows slowly) rarely refill it.
CACHE_LIMIT = 400_000
# Words asked of the dictionary at once (see _look_up).
LOOKUP_CHUNK = 1024
EMPTY: frozenset[str] = frozenset()
# Parts of speech of closed classes: words a sentence cannot do without,
# far more frequent than the nouns and names spelled like them.
CLOSED_CLASS = frozenset({"PRON", "DET", "ADV", "SCONJ", "CCONJ", "ADP", "PART", "AUX", "NUM", "INTJ"})
NOMINAL = frozenset({"NOUN", "PROPN"})
MODIFIER = frozenset({"ADJ", "DET", "NUM"})
VERBAL = frozenset({"VERB", "AUX"})
# Parts of speech that decline: their class for the context statistics is
# (part of speech, case, number).
DECLINING = frozenset({"NOUN", "PROPN", "ADJ", "PRON", "DET", "NUM"})


# The grammatical part of an analysis, in Analysis's slot order from pos to
# cls (the lemma aside).
Shape = tuple[str, frozenset[str], frozenset[str], frozenset[str], frozenset[str], frozenset[str],
              frozenset[str], frozenset[str], str]


def _joined(values: Iterable[str]) -> str:
    return ",".join(sorted(values))


class Analysis:
    """One morphological analysis of a reading, reduced to what the rules
    read. `cls` is its class for the context statistics: part of speech with
    case and number for words that decline, with verb form, mood, tense and
    number for verbs, the part of speech alone for the rest."""
    __slots__ = ("pos", "case", "number", "gender", "person", "lemma", "prontype", "verbform", "nametype", "cls")

    def __init__(self, pos: str, feats: Mapping[str, Sequence[str]], lemma: str) -> None:
        self._set_shape(_shape(pos, feats))
        self.lemma = lemma

    def _set_shape(self, shape: Shape) -> None:
        (self.pos, self.case, self.number, self.gender, self.person, self.prontype, self.verbform,
         self.nametype, self.cls) = shape

    @classmethod
    def of(cls, morph: MorphDict) -> Analysis:
        pos = "+".join(morph["pos"])
        feats = morph["feats"]
        key = (pos, str(feats))
        shape = _shapes.get(key)
        if shape is None:
            shape = _shapes[key] = _shape(pos, feats)
        a = cls.__new__(cls)
        a._set_shape(shape)
        a.lemma = morph["lemma"] or ""
        return a

    @property
    def is_modifier(self) -> bool:
        """Agrees with a noun in case, number and gender: adjectives,
        determiners, numerals and the pronouns that are not personal."""
        return self.pos in MODIFIER or (self.pos == "PRON" and bool(self.case) and "Prs" not in self.prontype
                                        and self.lemma not in PERSONAL)

    @property
    def is_finite_verb(self) -> bool:
        return self.pos in VERBAL and "Fin" in self.verbform

    def agrees_with(self, other: Analysis) -> bool:
        if self.case and other.case and not self.case & other.case:
            return False
        if self.number and other.number and not self.number & other.number:
            return False
        singular = "Sing" in self.number and "Sing" in other.number
        if singular and self.gender and other.gender and not self.gender & other.gender:
            return False
        return True


def _shape(pos: str, feats: Mapping[str, Sequence[str]]) -> Shape:
    """The grammatical part of an analysis, in Analysis's slot order."""
    case = frozenset(feats.get("Case", ()))
    number = frozenset(feats.get("Number", ()))
    verbform = frozenset(feats.get("VerbForm", ()))
    if pos in DECLINING:
        cls = f"{pos}|{_joined(case)}|{_joined(number)}"
    elif pos in VERBAL:
        cls = "|".join((pos, _joined(verbform), _joined(feats.get("Mood", ())), _joined(feats.get("Tense", ())),
                        _joined(number)))
    else:
        cls = pos
    return (pos, case, number, frozenset(feats.get("Gender", ())), frozenset(feats.get("Person", ())),
            frozenset(feats.get("PronType", ())), verbform, frozenset(feats.get("NameType", ())), cls)


# The shapes met so far, by part of speech and the text of the features:
# a few thousand, shared by every analysis that has one, so that an
# analysis costs one small object.
_shapes: dict[tuple[str, str], Shape] = {}


# Spellings of one reading whose stress the preposition before them moves
# (_rules.preposition_stress_shift, which refers here).
MOVABLE = frozenset({"мене", "тебе", "себе", "того"})


# Personal pronouns by lemma: they never agree with a noun as a modifier does.
PERSONAL = frozenset({"я", "ти", "він", "вона", "воно", "ми", "ви", "вони", "себе"})


class Entry:
    """A spelling's readings: `marked[i]` is the spelling with reading i's
    stress mark, `stress[i]` the vowel it stresses (0-based) and
    `analyses[i]` its analyses. `parts` is set instead when the whole word
    is unknown and hyphenated: (offset, part entry) for each part.
    `classes[i]` are the classes of reading i's analyses (see Analysis)."""
    __slots__ = ("word", "vowels", "marked", "stress", "analyses", "all_analyses", "parts", "guess",
                 "classes", "signature", "hyphenated", "fixed")

    def __init__(self, word: str, vowels: int, stresses: Sequence[int],
                 analyses: Sequence[tuple[Analysis, ...]]) -> None:
        self.word = word
        self.vowels = vowels
        self.stress = tuple(stresses)
        self.marked = tuple(_tokens.mark_vowel(word, s) for s in stresses)
        self.analyses = tuple(analyses)
        self.all_analyses = tuple(a for group in analyses for a in group)
        self.parts: tuple[tuple[int, Entry], ...] = ()
        self.hyphenated = any(h in word for h in _tokens.HYPHENS)
        # The stress of a word whose one reading no context can change (see
        # _rules.MOVABLE), else None.
        self.fixed = (self.stress[0] if len(self.stress) == 1 and not self.hyphenated
                      and word.lower() not in MOVABLE else None)
        # The guess for a word the dictionary lacks (see lexovia_text._guess_entry).
        self.guess: tuple[int, str, float | None] | None = None
        self.classes = tuple(frozenset(a.cls for a in group) for group in analyses)
        # What the word says to its neighbours' statistics (see _statistics),
        # computed when first asked for.
        self.signature: str | None = None


def _entry(word: str, readings: Sequence[lexovia.ReadingDict]) -> Entry:
    stresses = [r["syllable_index"] for r in readings]
    analyses = [tuple(Analysis.of(m) for m in r["morph"]) for r in readings]
    if len(readings) == 1 and not analyses[0]:
        short = short_analyses().get(_tokens.normalise_key(word.lower()))
        if short:
            analyses = [short]
    return Entry(word, _tokens.vowel_count(word), stresses, analyses)


@functools.cache
def short_analyses() -> dict[str, tuple[Analysis, ...]]:
    """The analyses of one-vowel forms (short.tsv.gz), by normalised form."""
    data = resources.files(__package__).joinpath("short.tsv.gz").read_bytes()
    out: dict[str, list[Analysis]] = {}
    for line in gzip.decompress(data).decode("utf-8").splitlines():
        form, pos, feats, lemma = line.split("\t")
        parsed: dict[str, tuple[str, ...]] = {}
        for pair in feats.split("|") if feats else ():
            name, _, value = pair.partition("=")
            parsed[name] = tuple(value.split(","))
        out.setdefault(form, []).append(Analysis(pos, parsed, lemma))
    return {form: tuple(group) for form, group in out.items()}


class Cache:
    def __init__(self) -> None:
        self._entries: dict[str, Entry] = {}

    def fill(self, words: Iterable[str]) -> dict[str, Entry]:
        """Makes sure every word has an entry; returns the mapping to read
        them from (valid until the next fill)."""
        entries = self._entries
        distinct = list(dict.fromkeys(words))
        missing = [w for w in distinct if w not in entries]
        if not missing:
            return entries
        if len(entries) + len(missing) > CACHE_LIMIT:
            # Start afresh, but with every word of this text.
            entries.clear()
            missing = distinct
        wanted = _look_up(entries, missing)
        # Hyphenated words the dictionary lacks as a whole: their parts.
        split: dict[str, list[tuple[int, str]]] = {}
        for w in wanted:
            if not entries[w].stress:
                parts = _tokens.hyphen_parts(w)
                if len(parts) > 1:
                    split[w] = [(off, p) for off, p in parts if p]
        if split:
            parts_wanted = {p for parts in split.values() for _, p in parts}
            _look_up(entries, [p for p in parts_wanted if p not in entries])
            for w, parts in split.items():
                entries[w].parts = tuple((off, entries[p]) for off, p in parts)
        return entries


def _look_up(entries: dict[str, Entry], words: list[str]) -> list[str]:
    """Adds an entry for each of `words` (none of which has one yet), asking
    the dictionary about the Ukrainian ones; returns those."""
    wanted = [w for w in words if _tokens.is_ukrainian(w)]
    # In chunks: a lookup result is large and only its stresses and
    # analyses are kept, so a chunk's results are freed before the next
    # is asked for, and the interpreter's cyclic garbage collector, which
    # runs as objects are allocated, never has all of them to scan at once.
    for k in range(0, len(wanted), LOOKUP_CHUNK):
        chunk = wanted[k:k + LOOKUP_CHUNK]
        for word, result in zip(chunk, lexovia.lookup_many([_tokens.lookup_key(w) for w in chunk])):
            entries[word] = _entry(word, result["readings"])
    for word in words:
        if word not in entries:
            entries[word] = Entry(word, _tokens.vowel_count(word), (), ())
    return wanted

"""The compact facts about a word that choosing its stress needs, cached.

`lexovia.lookup` gives every reading with its full phonetics; running text
needs far less: the stress of each reading (already written into the word
as it stands in the text) and each reading's analyses as (part of speech,
case, number, gender, person, lemma). Entries are built from
`lexovia.lookup_many` in batches of words not seen before and kept per
spelling in a cache of bounded size, so a long text costs one dictionary
query per distinct word and constant memory.
"""
from __future__ import annotations

from collections.abc import Iterable, Sequence
from typing import TYPE_CHECKING

import lexovia

from . import _tokens

if TYPE_CHECKING:
    from lexovia import MorphDict

# Distinct spellings kept at once: a few hundred MB at most, and large
# enough that real texts (whose vocabulary grows slowly) rarely refill it.
CACHE_LIMIT = 400_000
EMPTY: frozenset[str] = frozenset()
# Parts of speech of closed classes: words a sentence cannot do without,
# far more frequent than the nouns and names spelled like them.
CLOSED_CLASS = frozenset({"PRON", "DET", "ADV", "SCONJ", "CCONJ", "ADP", "PART", "AUX", "NUM", "INTJ"})
NOMINAL = frozenset({"NOUN", "PROPN"})
MODIFIER = frozenset({"ADJ", "DET", "NUM"})


class Analysis:
    """One morphological analysis of a reading, reduced to what the rules read."""
    __slots__ = ("pos", "case", "number", "gender", "person", "lemma", "prontype")

    def __init__(self, morph: MorphDict) -> None:
        feats = morph["feats"]
        self.pos = "+".join(morph["pos"])
        self.case = frozenset(feats.get("Case", ()))
        self.number = frozenset(feats.get("Number", ()))
        self.gender = frozenset(feats.get("Gender", ()))
        self.person = frozenset(feats.get("Person", ()))
        self.prontype = frozenset(feats.get("PronType", ()))
        self.lemma = morph["lemma"] or ""

    @property
    def is_modifier(self) -> bool:
        """Agrees with a noun in case, number and gender: adjectives,
        determiners, numerals and the pronouns that are not personal."""
        return self.pos in MODIFIER or (self.pos == "PRON" and bool(self.case) and "Prs" not in self.prontype
                                        and self.lemma not in PERSONAL)

    def agrees_with(self, other: Analysis) -> bool:
        if self.case and other.case and not self.case & other.case:
            return False
        if self.number and other.number and not self.number & other.number:
            return False
        singular = "Sing" in self.number and "Sing" in other.number
        if singular and self.gender and other.gender and not self.gender & other.gender:
            return False
        return True


# Personal pronouns by lemma: they never agree with a noun as a modifier does.
PERSONAL = frozenset({"я", "ти", "він", "вона", "воно", "ми", "ви", "вони", "себе"})


class Entry:
    """A spelling's readings: `marked[i]` is the spelling with reading i's
    stress mark, `stress[i]` the vowel it stresses (0-based) and
    `analyses[i]` its analyses. `parts` is set instead when the whole word
    is unknown and hyphenated: (offset, part entry) for each part."""
    __slots__ = ("word", "vowels", "marked", "stress", "analyses", "all_analyses", "parts", "guess")

    def __init__(self, word: str, vowels: int, stresses: Sequence[int],
                 analyses: Sequence[tuple[Analysis, ...]]) -> None:
        self.word = word
        self.vowels = vowels
        self.stress = tuple(stresses)
        self.marked = tuple(_tokens.mark_vowel(word, s) for s in stresses)
        self.analyses = tuple(analyses)
        self.all_analyses = tuple(a for group in analyses for a in group)
        self.parts: tuple[tuple[int, Entry], ...] = ()
        self.guess: int | None = None


def _entry(word: str, readings: Sequence[lexovia.ReadingDict]) -> Entry:
    stresses = [r["syllable_index"] for r in readings]
    analyses = [tuple(Analysis(m) for m in r["morph"]) for r in readings]
    return Entry(word, _tokens.vowel_count(word), stresses, analyses)


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
    # No query without a word to ask about: an empty one would still load the dictionary.
    results = lexovia.lookup_many([_tokens.lookup_key(w) for w in wanted]) if wanted else []
    for word, result in zip(wanted, results):
        entries[word] = _entry(word, result["readings"])
    for word in words:
        if word not in entries:
            entries[word] = Entry(word, _tokens.vowel_count(word), (), ())
    return wanted

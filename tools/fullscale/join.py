"""Joining the sources key by key into records, and writing them as word data.

A Joiner holds what the sources gave (sources.py) and makes the records of
one key: the analyses of the key paired with its stresses (pairing.py), the
repairs of source errors (repairs.py) and the frequency rules
(frequency.py) applied. write_words writes the records of every key, and
the extra keys of respell.py, as word data lines, counting what it writes.
"""
from __future__ import annotations

import collections

from ..spelling import APOSTROPHE, mark_stress, normalize_word
from .counters import Count, Family, Stats, entries_from, extra_list, without_morph
from .frequency import UNINFLECTED_UPOS, Evidence, name_wins, rare_first
from .pairing import COMPATIBLE_UPOS, Analysis, Record, Spelling, pair_key
from .repairs import Repair, apply_repairs
from .respell import first_parts, old_spellings
from .sources import Morph, Wiktionary, wiktionary_spellings
from .udmap import feats_string, map_tag


class Joiner:
    def __init__(self, stress, wikt: Wiktionary | None, morph: Morph, stats: Stats,
                 evidence: Evidence | None = None, repairs: dict[str, list[Repair]] | None = None):
        self.stress = stress
        self.wikt = wikt
        self.morph = morph
        self.stats = stats
        self.evidence = evidence
        self.repairs = repairs or {}
        self._analysis_cache: dict[tuple[str, str, int], Analysis] = {}
        self._lemma_cache: dict[tuple[str, bool], str] = {}

    def display_lemma(self, lemma: str, proper: bool, named: bool) -> str:
        cached = self._lemma_cache.get((lemma, proper))
        if cached is not None:
            return cached
        text = lemma.replace("'", APOSTROPHE)
        if proper:
            key = normalize_word(text)
            capitals = sorted({s.text for s in self.stress.get(key, ()) if s.kind == "upper"})
            if len(capitals) == 1:
                text = capitals[0].replace("'", APOSTROPHE)
            elif self.wikt is not None and key in self.wikt.headwords:
                text = self.wikt.headwords[key]
            elif named:
                text = text[:1].upper() + text[1:]
        self._lemma_cache[(lemma, proper)] = text
        return text

    def analysis(self, tag: str, lemma: str, lex: int, method: str = "dictionary") -> Analysis:
        """The Analysis of a dictionary item (lexeme id `lex`), or of a
        grounded analysis (`method`, lex -1: proper only when a name)."""
        cached = self._analysis_cache.get((tag, lemma, lex, method))
        if cached is not None:
            return cached
        upos, feats, unmapped = map_tag(tag)
        for g in unmapped:
            self.stats.note(Family.UNMAPPED_GRAMMEME + g, tag)
        named = any(name == "NameType" for name, _ in feats)
        proper = named or lex in self.morph.proper_lexemes
        if proper and upos == "NOUN":
            upos = "PROPN"
        a = Analysis(upos, feats, self.display_lemma(lemma, proper, named), proper, method)
        self._analysis_cache[(tag, lemma, lex, method)] = a
        return a

    def gloss(self, lemma: str | None, upos: str) -> str:
        """The Wiktionary senses of (lemma, part of speech). A headword matches
        a lemma spelled the same up to case and apostrophes, but capitalised
        only if the lemma is: the surname Колос gets no senses of колос. Failing
        the exact part of speech, a compatible one is tried (NOUN/PROPN, ...)."""
        if lemma is None or self.wikt is None:
            return ""
        lkey = normalize_word(lemma)
        capital = lemma != lkey
        g = self.wikt.glosses.get((lkey, upos, capital))
        if g is None:
            for group in COMPATIBLE_UPOS:
                if upos in group:
                    for other in sorted(group - {upos}):
                        g = self.wikt.glosses.get((lkey, other, capital))
                        if g is not None:
                            break
        return g or ""

    def records(self, key: str) -> tuple[list[Record], str]:
        """The records of `key` and where its stresses come from."""
        st = self.stats
        spellings = self.stress.get(key)
        links = self.wikt.links.get(key, []) if self.wikt else []
        origin = "stress"
        if spellings is None:
            origin = "wiktionary"
            spellings = wiktionary_spellings(self.wikt.forms[key], links)
        items = self.morph.items.get(key, ())
        analyses = [self.analysis(*item) for item in items]
        lexemes: dict[tuple, set[int]] = collections.defaultdict(set)
        flat = set()
        for item, a in zip(items, analyses):
            lexemes[(a.upos, a.feats, a.lemma)].add(item[2])
            if a.upos in UNINFLECTED_UPOS:
                flat.add(item[2])
        if not analyses:
            st.counts[without_morph(origin)] += 1
            analyses = [self.analysis(tag, lemma, -1, method)
                        for tag, lemma, method in self.morph.grounded.get(key, ())]
        if key in self.repairs:
            spellings = apply_repairs(spellings, self.repairs[key], analyses)
            st.note(Count.REPAIRED, key, keep=50)
        if self.evidence is not None:
            spellings = self.capitals(key, spellings, items, analyses, flat)
        records = pair_key(spellings, analyses, links, st.counts)
        if self.evidence is not None:
            records, dropped = rare_first(records, lambda r: self.lexemes_of(r, lexemes),
                                          self.evidence, key, flat)
            if dropped:
                st.note(Count.RARE_FIRST_DROPPED, (key, sorted({mark_stress(key, r.positions)
                                                            for r in dropped}),
                                               self.evidence.freq.get(key, 0.0)), keep=1000000)
        return records, origin

    def lexemes_of(self, record: Record, by_identity: dict[tuple, set[int]]) -> set[int]:
        """The lexemes of a record: those of its analyses, or for a record
        no analysis made (a variant's own tags with a lemma from Wiktionary)
        the dictionary's lexemes of its lemma."""
        found = by_identity.get(record.identity)
        if found:
            return found
        if record.lemma:
            return set(self.morph.lemma_lexemes.get(normalize_word(record.lemma), ()))
        return set()

    def capitals(self, key: str, spellings: list[Spelling], items, analyses,
                 flat=frozenset()) -> list[Spelling]:
        """The capitalised-spelling rule (frequency.name_wins): the stresses
        that only capitalised spellings give stay under a key whose lower-case
        spelling has other stresses only when the name is the more frequent
        word."""
        lower = [s for s in spellings if s.kind == "lower"]
        if not lower or len(lower) == len(spellings):
            return spellings
        lower_positions = {v.positions for s in lower for v in s.variants}

        def shared(positions) -> bool:
            # the lower case gives the same stress, or gives it together with another
            return any(set(positions) <= set(p) for p in lower_positions)

        if all(shared(v.positions) for s in spellings for v in s.variants):
            return spellings
        names = {item[2] for item, a in zip(items, analyses) if a.proper}
        common = {item[2] for item, a in zip(items, analyses) if not a.proper}
        if name_wins(self.evidence, key, names, common, flat):
            self.stats.note(Count.CAPITALS_KEPT, key, keep=1000000)
            return spellings
        out = list(lower)
        gone = []
        for s in spellings:
            if s.kind == "lower":
                continue
            kept = [v for v in s.variants if shared(v.positions)]
            gone += [v.positions for v in s.variants if not shared(v.positions)]
            if kept:
                out.append(Spelling(s.text, kept))
        self.stats.note(Count.CAPITALS_DROPPED, (key, sorted({mark_stress(key, p) for p in gone}),
                                             self.evidence.freq.get(key, 0.0)), keep=1000000)
        return out


def write_words(joiner: Joiner, keys, f, respell: bool = False) -> None:
    """Writes the word data lines of `keys` (in that order) to `f` and counts
    entries, records, lemmas, glosses... into the joiner's stats. With
    `respell`, the extra keys of respell.py follow, in key order."""
    c = joiner.stats.counts
    lemmas: set[str] = set()
    glosses: set[str] = set()
    keys = list(keys)
    known = set(keys)
    extra: dict[str, tuple[str, list[Record]]] = {}
    if respell:
        for part, sets in first_parts(joiner.stress).items():
            if part not in known:
                extra[part] = ("first_part", [Record("X", (), None, [p for ps in sets for p in ps],
                                                     "first_part")])
    for key in keys:
        records, origin = joiner.records(key)
        if respell:
            for old, carried in old_spellings(key, records, known):
                if old not in known:
                    kind, have = extra.setdefault(old, ("old_spelling", []))
                    have.extend(r for r in carried if r not in have)
        if not records:
            c[Count.KEYS_WITHOUT_RECORDS] += 1
            continue
        _write_entry(joiner, key, records, origin, f, lemmas, glosses)
    for key in sorted(extra):
        origin, records = extra[key]
        _write_entry(joiner, key, records, origin, f, lemmas, glosses)
        joiner.stats.note(extra_list(origin), key, keep=30)
    c[Count.LEMMAS] = len(lemmas)
    c[Count.DEFINITIONS] = len(glosses)


def _write_entry(joiner: Joiner, key: str, records: list[Record], origin: str, f,
                 lemmas: set[str], glosses: set[str]) -> None:
    c = joiner.stats.counts
    c[Count.ENTRIES] += 1
    c[entries_from(origin)] += 1
    positions = set()
    for rec in records:
        gloss = joiner.gloss(rec.lemma, rec.upos)
        feats = feats_string(rec.feats)
        form = mark_stress(key, rec.positions)
        f.write(f"{form}\t{rec.upos}\t{feats}\t{rec.lemma or ''}\t{gloss}\n")
        c[Count.RECORDS] += 1
        c[Family.RECORDS + rec.origin] += 1
        positions.update(rec.positions)
        if rec.lemma:
            c[Count.RECORDS_WITH_LEMMA] += 1
            lemmas.add(rec.lemma)
        if feats:
            c[Count.RECORDS_WITH_FEATS] += 1
        if gloss:
            c[Count.RECORDS_WITH_GLOSS] += 1
            glosses.add(gloss)
    if len(positions) > 1:
        c[Count.ENTRIES_SEVERAL_POSITIONS] += 1

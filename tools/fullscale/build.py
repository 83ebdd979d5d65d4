"""Reading the three sources, joining them key by key, and writing word data.

The heavy imports (marisa_trie, pymorphy3, the Wiktionary reader) happen
inside the reader functions.

pymorphy3 is read by walking its whole dictionary once
(MorphAnalyzer.dictionary.iter_known_words(): 6.5 M (form, tag, lemma)
items in about two minutes) and keeping the forms that a source needs,
rather than calling parse() per key (about 7 minutes for the 2.9 M keys,
measured on a sample). Walking the dictionary also gives each lexeme's full
set of forms, which is what tells proper-noun lexemes apart (below). The keys
the dictionary lacks are then given to the analyzer one by one, and only its
analyses built from dictionary words are kept (grounded.py); its guesses
from word endings never enter.

Proper nouns: the Ukrainian pymorphy3 dictionary lowercases everything and
tags given names, surnames and patronymics (Name/Surn/Patr) but not place
names. A lexeme is taken as proper when it is tagged so, or when more of its
forms appear in the stress source only with a capital than in lower case
("Києва", "Києву", ... against the lower-case "київ" of кий). Proper
analyses are PROPN (for nouns) and pair with capitalised spellings (see
pairing.py); their lemma is written as the stress source (or Wiktionary)
spells it ("Київ"), or, for names, with a capital initial.
"""
from __future__ import annotations

import collections
import os
import resource
import sys
import time
from dataclasses import dataclass, field

from .frequency import UNINFLECTED_UPOS, Evidence, name_wins, rare_first
from .grounded import ADOPTED_METHODS, analyse, fixed_left_checker, unambiguous
from ..spelling import (APOSTROPHE, is_form_text, mark_stress, normalize_word,
                        spelling_kind, stressed_positions, strip_stress, vowel_count)
from .pairing import COMPATIBLE_UPOS, Analysis, Link, Record, Spelling, pair_key
from .respell import first_parts, old_spellings
from .repairs import Repair, apply_repairs, read_repairs
from .stress import PROBLEMS, Variant, decode_value
from .udmap import feats_string, map_tag

REPO = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


@dataclass
class Stats:
    counts: collections.Counter = field(default_factory=collections.Counter)
    examples: dict = field(default_factory=dict)
    lists: dict = field(default_factory=lambda: collections.defaultdict(list))

    def note(self, what: str, example=None, keep: int = 0) -> None:
        self.counts[what] += 1
        if example is not None:
            self.examples.setdefault(what, example)
            if keep and len(self.lists[what]) < keep:
                self.lists[what].append(example)


# ---------------------------------------------------------------- stress source

_plain_variants: dict[tuple[int, ...], Variant] = {}


def _plain(positions: tuple[int, ...]) -> Variant:
    v = _plain_variants.get(positions)
    if v is None:
        v = _plain_variants[positions] = Variant(positions)
    return v


def stress_spelling(text: str, value: bytes, stats: Stats) -> Spelling | None:
    """The Spelling of one trie item, or None when it gives nothing usable
    (the reason is counted)."""
    if not is_form_text(text):
        stats.note("stress_key_bad_character", text, keep=200)
        return None
    variants, problems = decode_value(text, value)
    for p in problems:
        stats.note(f"stress_problem_{p}", (text, value), keep=50)
    if variants and all(not v.upos and not v.feats for v in variants):
        variants = [_plain(v.positions) for v in variants]
    if not variants:
        if problems:
            stats.note("stress_key_undecodable", text)
            return None
        vowels = vowel_count(text)
        if vowels == 0:
            stats.note("stress_key_no_vowel", text)
            variants = [_plain(())]
        elif vowels == 1:
            stats.note("stress_key_one_vowel_marked", text)
            variants = [_plain((0,))]
        else:
            stats.note("stress_key_no_position", text, keep=50)
            return None
    return Spelling(text, variants)


def group_stress(items, stats: Stats) -> dict[str, list[Spelling]]:
    """(text, value) items of the stress dictionary -> normalised key -> its
    spellings, in the order read."""
    groups: dict[str, list[Spelling]] = {}
    for text, value in items:
        stats.counts["stress_items"] += 1
        spelling = stress_spelling(text, value, stats)
        if spelling is None:
            continue
        key = normalize_word(text)
        if key == text:
            key = text
        groups.setdefault(key, []).append(spelling)
    for spellings in groups.values():
        if len(spellings) > 1:
            stats.counts["stress_keys_colliding"] += 1
            if len({tuple(s.variants) for s in spellings}) > 1:
                stats.counts["stress_keys_colliding_differing"] += 1
    stats.counts["stress_keys"] = len(groups)
    return groups


def read_stress(path: str, stats: Stats) -> dict[str, list[Spelling]]:
    import marisa_trie  # noqa: PLC0415

    trie = marisa_trie.BytesTrie()
    trie.load(path)
    return group_stress(trie.iteritems(), stats)


# ---------------------------------------------------------------- Wiktionary

@dataclass
class Wiktionary:
    links: dict[str, list[Link]]                 # key -> links of its stressed forms
    forms: dict[str, list[tuple[str, str, str]]]  # key -> (stressed form, UPOS, lemma)
    glosses: dict[tuple[str, str, bool], str]    # (lemma key, UPOS, capitalised) -> gloss
    headwords: dict[str, str]                    # lemma key -> headword spelling
    report: str = ""


def read_wiktionary(path: str, stats: Stats) -> Wiktionary:
    import io  # noqa: PLC0415

    from .. import wiktionary_to_words as wtw  # noqa: PLC0415

    sd = wtw.load_stardict(path)
    wstats = wtw.Stats()
    rows = wtw.convert(sd, wstats)
    buf = io.StringIO()
    wtw.report(wstats, rows, out=buf)
    links: dict[str, list[Link]] = collections.defaultdict(list)
    forms: dict[str, list[tuple[str, str, str]]] = collections.defaultdict(list)
    for form, upos, _feats, lemma, _gloss in rows:
        positions = stressed_positions(form)
        if positions is None:
            stats.note("wiktionary_bad_mark", form)
            continue
        text = strip_stress(form)
        key = normalize_word(text)
        lemma = lemma.replace("'", APOSTROPHE)
        link = Link(positions, upos, lemma, spelling_kind(text))
        if link not in links[key]:
            links[key].append(link)
            forms[key].append((form, upos, lemma))
        stats.counts["wiktionary_links"] += 1
    glosses: dict[tuple[str, str, bool], list[str]] = collections.defaultdict(list)
    headwords: dict[str, str] = {}
    for i, lemma in enumerate(sd.lemmas):
        lkey = normalize_word(lemma.word)
        if lemma.word != lkey:
            headwords.setdefault(lkey, lemma.word.replace("'", APOSTROPHE))
        for label, gloss in wtw.pos_sections(sd, i):
            if gloss:
                g = glosses[(lkey, wtw.upos_of(label, lemma.word), lemma.word != lkey)]
                if gloss not in g:
                    g.append(gloss)
    return Wiktionary(dict(links), dict(forms),
                      {k: "; ".join(v) for k, v in glosses.items()}, headwords, buf.getvalue())


def wiktionary_spellings(forms: list[tuple[str, str, str]], links: list[Link]) -> list[Spelling]:
    """Spellings for a key that only Wiktionary holds: one per spelling class,
    each stressed form a variant tied to its lemmas and parts of speech. When a
    class has a single stress set, its variant is untied: every analysis of
    the class carries it."""
    by_kind: dict[str, dict[tuple[int, ...], tuple[set, set]]] = {}
    texts: dict[str, str] = {}
    for (form, upos, lemma), link in zip(forms, links):
        texts.setdefault(link.kind, strip_stress(form))
        upos_set, lemma_set = by_kind.setdefault(link.kind, {}).setdefault(
            link.positions, (set(), set()))
        if upos:
            upos_set.add(upos)
        lemma_set.add(normalize_word(lemma))
    out = []
    for kind, variants in by_kind.items():
        if len(variants) == 1:
            out.append(Spelling(texts[kind], [_plain(next(iter(variants)))]))
        else:
            out.append(Spelling(texts[kind], [
                Variant(pos, frozenset(u), (), frozenset(l)) for pos, (u, l) in variants.items()]))
    return out


# ---------------------------------------------------------------- pymorphy3

@dataclass
class Morph:
    items: dict[str, list[tuple[str, str, int]]]   # key -> (tag, lemma, lexeme id)
    proper_lexemes: set[int]
    lexeme_count: int
    # key -> (tag, lemma, method): grounded analyses of forms the dictionary
    # does not hold (grounded.py)
    grounded: dict[str, list[tuple[str, str, str]]] = field(default_factory=dict)
    # lexeme id -> its forms that running text uses (keys with a frequency)
    lexeme_forms: dict[int, frozenset[str]] = field(default_factory=dict)
    # normalised lemma -> the ids of the lexemes of that lemma
    lemma_lexemes: dict[str, tuple[int, ...]] = field(default_factory=dict)


def collect_morph(items, needed, stress: dict[str, list[Spelling]], stats: Stats,
                  freq: dict[str, float] | None = None) -> Morph:
    """Keeps the analyses of the `needed` keys from (form, tag, lemma, paradigm id)
    items that walk a whole dictionary, and finds the proper lexemes: those
    with more forms spelled only with a capital in the stress source than
    forms spelled in lower case. A lexeme is a (lemma, paradigm id) pair.
    With `freq` (normalised key -> text frequency) it also keeps, for every
    lexeme, those of its forms that running text uses (Morph.lexeme_forms)."""
    kept: dict[str, list[tuple[str, str, int]]] = {}
    lexemes: dict[tuple[str, int], int] = {}
    lower_forms = collections.Counter()
    capital_forms = collections.Counter()
    tags: dict[str, str] = {}
    lemmas: dict[str, str] = {}
    forms: dict[int, set[str]] = collections.defaultdict(set)
    for word, tag, lemma, para_id in items:
        stats.counts["morph_items"] += 1
        lex = lexemes.setdefault((lemma, para_id), len(lexemes))
        key = normalize_word(word)
        if freq is not None and key in freq:
            forms[lex].add(key)
        spellings = stress.get(key)
        if spellings is not None:
            if any(s.kind == "lower" for s in spellings):
                lower_forms[lex] += 1
            else:
                capital_forms[lex] += 1
        if key in needed:
            tag_text = str(tag)
            tag_text = tags.setdefault(tag_text, tag_text)
            lemma = lemmas.setdefault(lemma, lemma)
            kept.setdefault(key, []).append((tag_text, lemma, lex))
    proper = {lex for lex, n in capital_forms.items() if n > lower_forms[lex]}
    stats.counts["morph_lexemes"] = len(lexemes)
    stats.counts["morph_lexemes_proper_by_spelling"] = len(proper)
    by_lemma: dict[str, list[int]] = collections.defaultdict(list)
    for (lemma, _para), lex in lexemes.items():
        by_lemma[normalize_word(lemma)].append(lex)
    return Morph(kept, proper, len(lexemes),
                 lexeme_forms={lex: frozenset(f) for lex, f in forms.items()},
                 lemma_lexemes={k: tuple(v) for k, v in by_lemma.items()})


def _analyzer():
    import pymorphy3  # noqa: PLC0415

    global _ANALYZER
    if _ANALYZER is None:
        _ANALYZER = pymorphy3.MorphAnalyzer(lang="uk")
    return _ANALYZER


_ANALYZER = None


def read_morph(needed, stress: dict[str, list[Spelling]], stats: Stats,
               freq: dict[str, float] | None = None) -> Morph:
    dictionary = _analyzer().dictionary
    items = ((word, tag, lemma, para_id)
             for word, tag, lemma, para_id, _idx in dictionary.iter_known_words())
    return collect_morph(items, needed, stress, stats, freq)


# ---------------------------------------------------------------- frequency

# wordfreq's Ukrainian list; "large" holds every word of 1 in 100 million
# words and more, "best" would fall back to the same list for Ukrainian.
WORDFREQ_LANG = "uk"
WORDFREQ_LIST = "large"


def read_frequency(stats: Stats) -> dict[str, float]:
    """Text frequency by normalised key, from the pinned wordfreq package's
    data (its code only reads its own list file)."""
    import wordfreq  # noqa: PLC0415

    freq: dict[str, float] = collections.defaultdict(float)
    for word, f in wordfreq.get_frequency_dict(WORDFREQ_LANG, WORDFREQ_LIST).items():
        if is_form_text(word):
            freq[normalize_word(word)] += f
    stats.counts["frequency_forms"] = len(freq)
    return dict(freq)


def is_word_key(key: str) -> bool:
    """A key the analyzer can take: one word, perhaps hyphenated (no spaces,
    commas or parentheses)."""
    return not any(ch in key for ch in " ,()")


def collect_grounded(keys, analyse_key, stats: Stats) -> dict[str, list[tuple[str, str, str]]]:
    """Grounded analyses of `keys` (forms the dictionary does not hold):
    key -> (tag, lemma, method). `analyse_key(key)` gives what
    grounded.analyse finds; of that only an unambiguous set is adopted
    (grounded.unambiguous)."""
    out: dict[str, list[tuple[str, str, str]]] = {}
    c = stats.counts
    for key in keys:
        if not is_word_key(key):
            c["grounded_phrases_skipped"] += 1
            continue
        found = analyse_key(key)
        if not found:
            c["grounded_none"] += 1
            continue
        kept = unambiguous(found)
        if not kept:
            stats.note("grounded_ambiguous", (key, sorted({nf for _m, _t, nf in found})[:4]), keep=12)
            continue
        c["grounded_keys"] += 1
        stats.note(f"grounded_keys_{kept[0][0]}", (key, kept[0][2]), keep=12)
        out[key] = [(tag, normal_form, m) for m, tag, normal_form in kept]
    return out


def read_grounded(keys, stress: dict[str, list[Spelling]], stats: Stats
                  ) -> dict[str, list[tuple[str, str, str]]]:
    """Grounded analyses of `keys` whose lemma is a form the stress
    dictionary holds."""
    analyzer = _analyzer()
    units = analyzer._units  # noqa: SLF001 (the analyzer's bound units, in order)
    left_ok = fixed_left_checker(units)

    def attested(normal_form: str) -> bool:
        return normalize_word(normal_form) in stress

    return collect_grounded(
        keys, lambda key: analyse(units, key, ADOPTED_METHODS, left_ok, lemma_ok=attested), stats)


# ---------------------------------------------------------------- join

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
            self.stats.note(f"morph_unmapped_grammeme_{g}", tag)
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
            st.counts[f"keys_{origin}_without_morph"] += 1
            analyses = [self.analysis(tag, lemma, -1, method)
                        for tag, lemma, method in self.morph.grounded.get(key, ())]
        if key in self.repairs:
            spellings = apply_repairs(spellings, self.repairs[key], analyses)
            st.note("repaired", key, keep=50)
        if self.evidence is not None:
            spellings = self.capitals(key, spellings, items, analyses, flat)
        records = pair_key(spellings, analyses, links, st.counts)
        if self.evidence is not None:
            records, dropped = rare_first(records, lambda r: self.lexemes_of(r, lexemes),
                                          self.evidence, key, flat)
            if dropped:
                st.note("rare_first_dropped", (key, sorted({mark_stress(key, r.positions)
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
            self.stats.note("capitals_kept", key, keep=1000000)
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
        self.stats.note("capitals_dropped", (key, sorted({mark_stress(key, p) for p in gone}),
                                             self.evidence.freq.get(key, 0.0)), keep=1000000)
        return out


def cross_check(stress, wikt: Wiktionary, stats: Stats, sample_size: int = 40):
    """Compares the stresses of forms both sources hold. A Wiktionary stressed
    form agrees when its positions equal those of a stress-source variant of a
    spelling of the same class (any class if that class is missing), and is
    compatible when they are part of one (the source gives two stresses as
    both correct, Wiktionary one of them). One-vowel forms are left out.
    Returns an evenly spaced sample of the disagreements and their number."""
    both = agree = compatible = 0
    disagreements = []
    for key in sorted(wikt.links.keys() & stress.keys()):
        if vowel_count(key) < 2:
            continue
        spellings = stress[key]
        for (form, _upos, lemma), link in zip(wikt.forms[key], wikt.links[key]):
            same = [s for s in spellings if s.kind == link.kind] or spellings
            stressed = {v.positions for s in same for v in s.variants}
            both += 1
            if link.positions in stressed:
                agree += 1
            elif any(set(link.positions) <= set(p) for p in stressed):
                compatible += 1
            else:
                disagreements.append((form, lemma, sorted(mark_stress(key, p) for p in stressed)))
    stats.counts["crosscheck_forms_both"] = both
    stats.counts["crosscheck_agree"] = agree
    stats.counts["crosscheck_compatible"] = compatible
    step = max(1, len(disagreements) // sample_size)
    return disagreements[::step][:sample_size], len(disagreements)


HEADER = """\
# lexovia word data, built by tools/fullscale (python -m tools.fullscale).
# Stress: ukrainian-word-stress dictionary file stress.trie, sha256 {sha}
#   (MIT, (c) 2022 lang-uk), based on ULIF's "Словники України".
# Morphology: pymorphy3 {pm} with pymorphy3-dicts-uk {pmd} (CC BY-SA 3.0).
# Glosses and extra stressed forms: English Wiktionary's Ukrainian entries,
#   StarDict build of 2022-11-09 (CC BY-SA 3.0, Wiktionary contributors).
# Word frequencies (which stresses stay): wordfreq {wf} by Robyn Speer, Ukrainian
#   "large" list (data CC BY-SA 4.0).
# This data: CC BY-SA 4.0.
"""


def _version(dist: str) -> str:
    try:
        from importlib.metadata import version  # noqa: PLC0415
        return version(dist)
    except Exception:  # noqa: BLE001
        return "?"


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
            c["keys_without_records"] += 1
            continue
        _write_entry(joiner, key, records, origin, f, lemmas, glosses)
    for key in sorted(extra):
        origin, records = extra[key]
        _write_entry(joiner, key, records, origin, f, lemmas, glosses)
        joiner.stats.note(f"extra_{origin}", key, keep=30)
    c["lemmas"] = len(lemmas)
    c["definitions"] = len(glosses)


def _write_entry(joiner: Joiner, key: str, records: list[Record], origin: str, f,
                 lemmas: set[str], glosses: set[str]) -> None:
    c = joiner.stats.counts
    c["entries"] += 1
    c[f"entries_from_{origin}"] += 1
    positions = set()
    for rec in records:
        gloss = joiner.gloss(rec.lemma, rec.upos)
        feats = feats_string(rec.feats)
        form = mark_stress(key, rec.positions)
        f.write(f"{form}\t{rec.upos}\t{feats}\t{rec.lemma or ''}\t{gloss}\n")
        c["records"] += 1
        c[f"records_{rec.origin}"] += 1
        positions.update(rec.positions)
        if rec.lemma:
            c["records_with_lemma"] += 1
            lemmas.add(rec.lemma)
        if feats:
            c["records_with_feats"] += 1
        if gloss:
            c["records_with_gloss"] += 1
            glosses.add(gloss)
    if len(positions) > 1:
        c["entries_several_positions"] += 1


class MissingSource(SystemExit):
    """A source file the converter was pointed at does not exist."""


HOW_TO_GET = {
    "stress": "the stress trie: pip download --no-deps ukrainian-word-stress==2.1.0, then unzip "
              "ukrainian_word_stress/data/stress.trie from the wheel (data/README.md)",
    "wiktionary": "the Wiktionary StarDict ukrainian-english-wiktionary-stardict.tar.gz "
                  "(data/README.md, Sources)",
    "repairs": "the repairs file of the repository, tools/fullscale/repairs.tsv",
}


def check_sources(**paths) -> None:
    """Fails at once, naming the file and how to get it, when a source file
    is missing: a long run should not die at its end for a typo."""
    for what, path in paths.items():
        if path and not os.path.exists(path):
            raise MissingSource(f"{path}: no such file; expected {HOW_TO_GET[what]}")
    for module, pin in (("marisa_trie", "marisa-trie"), ("pymorphy3", "pymorphy3"),
                        ("wordfreq", "wordfreq")):
        try:
            __import__(module)
        except ImportError:
            raise MissingSource(f"the {pin} package is not installed; install the pinned versions: "
                                f"pip install -r tools/fullscale/requirements.txt") from None


DEFAULT_REPAIRS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "repairs.tsv")


def run(stress_path: str, wiktionary_path: str | None, output: str, out=sys.stdout,
        sample_size: int = 40, repairs_path: str = DEFAULT_REPAIRS,
        morph_cache: str | None = None, decisions: str | None = None) -> Stats:
    check_sources(stress=stress_path, wiktionary=wiktionary_path, repairs=repairs_path)
    t0 = time.time()
    stats = Stats()

    def log(msg: str) -> None:
        print(f"[{time.time() - t0:7.1f}s] {msg}", file=sys.stderr, flush=True)

    log("reading the stress dictionary")
    stress = read_stress(stress_path, stats)
    wikt = None
    if wiktionary_path:
        log("reading Wiktionary")
        wikt = read_wiktionary(wiktionary_path, stats)
    needed = dict.fromkeys(stress)
    if wikt:
        for key in wikt.links:
            if key not in needed:
                needed[key] = None
    log("reading word frequencies")
    freq = read_frequency(stats)
    if morph_cache and os.path.exists(morph_cache):
        import pickle  # noqa: PLC0415
        log(f"reading pymorphy3's analyses from {morph_cache}")
        with open(morph_cache, "rb") as f:
            morph, counts = pickle.load(f)
        stats.counts.update(counts)
    else:
        log(f"reading pymorphy3 for {len(needed)} keys")
        morph = read_morph(needed, stress, stats, freq)
        unknown = [key for key in needed if key not in morph.items]
        log(f"grounded analyses of the {len(unknown)} keys the dictionary does not hold")
        morph.grounded = read_grounded(unknown, stress, stats)
        if morph_cache:
            import pickle  # noqa: PLC0415
            with open(morph_cache, "wb") as f:
                pickle.dump((morph, collections.Counter(
                    {k: v for k, v in stats.counts.items()
                     if k.startswith(("morph_", "grounded_"))})), f, protocol=5)
    log("joining")
    joiner = Joiner(stress, wikt, morph, stats, Evidence(freq, morph.lexeme_forms),
                    read_repairs(repairs_path))
    tmp = output + ".tmp"
    with open(tmp, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEADER.format(sha=_sha256(stress_path), pm=_version("pymorphy3"),
                              pmd=_version("pymorphy3-dicts-uk"), wf=_version("wordfreq")))
        write_words(joiner, sorted(needed), f, respell=True)
    os.replace(tmp, output)
    c = stats.counts
    sample, n_dis = ([], 0)
    if wikt:
        log("cross-checking")
        sample, n_dis = cross_check(stress, wikt, stats, sample_size)
    c["seconds"] = int(time.time() - t0)
    c["peak_rss_mb"] = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss // 1024
    report(stats, wikt, sample, n_dis, out)
    if decisions:
        write_decisions(stats, decisions)
    return stats


def write_decisions(stats: Stats, path: str) -> None:
    """Every decision of the frequency rules, one line each: rule, key, the
    stressed forms left out (empty when a name was kept), key frequency."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for what in ("capitals_dropped", "rare_first_dropped"):
            for key, gone, freq in sorted(stats.lists[what]):
                f.write(f"{what}\t{key}\t{' '.join(gone)}\t{freq:.3g}\n")
        for key in sorted(stats.lists["capitals_kept"]):
            f.write(f"capitals_kept\t{key}\t\t\n")


def _sha256(path: str) -> str:
    import hashlib  # noqa: PLC0415

    h = hashlib.sha256()
    with open(path, "rb") as f:
        for block in iter(lambda: f.read(1 << 20), b""):
            h.update(block)
    return h.hexdigest()


def report(stats: Stats, wikt, sample, n_dis, out=sys.stdout) -> None:
    c = stats.counts
    p = lambda *a: print(*a, file=out)  # noqa: E731
    pct = lambda a, b: f"{100.0 * a / b:.2f} %" if b else "-"  # noqa: E731
    p("== stress source")
    p(f"items read:                         {c['stress_items']}")
    p(f"keys after normalisation:           {c['stress_keys']}")
    p(f"  keys with several spellings:      {c['stress_keys_colliding']} "
      f"({c['stress_keys_colliding_differing']} with differing stresses)")
    p(f"items left out, bad characters:     {c['stress_key_bad_character']}"
      f" (e.g. {stats.lists['stress_key_bad_character'][:12]})")
    for name, text in PROBLEMS.items():
        n = c[f"stress_problem_{name}"]
        if n:
            p(f"entries undecodable, {name}: {n} ({text}): "
              f"{stats.lists[f'stress_problem_{name}'][:10]}")
    p(f"items with nothing decodable left:  {c['stress_key_undecodable']}")
    p(f"one-vowel forms without a position (only vowel marked): {c['stress_key_one_vowel_marked']}")
    p(f"forms without a vowel (no position): {c['stress_key_no_vowel']}")
    p(f"forms of 2+ vowels without a position (left out): {c['stress_key_no_position']}")
    p("== pymorphy3")
    p(f"dictionary items walked:            {c['morph_items']}")
    p(f"lexemes:                            {c['morph_lexemes']} "
      f"({c['morph_lexemes_proper_by_spelling']} proper by capitalised spelling)")
    p(f"stress-source keys unknown to it:   {c['keys_stress_without_morph']}")
    p(f"Wiktionary-only keys unknown to it: {c['keys_wiktionary_without_morph']}")
    unm = {k[len('morph_unmapped_grammeme_'):]: v for k, v in c.items()
           if k.startswith("morph_unmapped_grammeme_")}
    if unm:
        p(f"unmapped grammemes: {unm}")
    p("== grounded analyses of keys the dictionary does not hold (grounded.py)")
    keys = c["grounded_keys"] + c["grounded_ambiguous"] + c["grounded_none"]
    p(f"word keys analysed:                 {keys} (phrases skipped {c['grounded_phrases_skipped']})")
    methods = ", ".join(f"{m} {c['grounded_keys_' + m]}" for m in sorted(ADOPTED_METHODS))
    p(f"  adopted:                          {c['grounded_keys']} ({methods})")
    p(f"  several lemmas, none adopted:     {c['grounded_ambiguous']} "
      f"(e.g. {stats.lists['grounded_ambiguous'][:6]})")
    p(f"  no grounded analysis:             {c['grounded_none']}")
    for m in sorted(ADOPTED_METHODS):
        p(f"  e.g. {m}: {stats.lists['grounded_keys_' + m][:8]}")
    p(f"analyses paired with a stress:      {c['grounded_analyses_paired']}")
    p(f"analyses dropped, no variant agrees: {c['grounded_dropped_no_variant']}")
    p(f"analyses dropped, no spelling of their class: {c['grounded_dropped_class']}")
    p("== pairing")
    p(f"analyses paired with a stress:      {c['analyses_paired']}")
    p(f"analyses dropped, no variant agrees: {c['dropped_no_variant']}")
    p(f"analyses dropped, no spelling of their class (proper/common): {c['dropped_class']}")
    p(f"variants no analysis agrees with:   {c['orphan_variants']} (lemma from Wiktionary "
      f"{c['orphan_lemma_wiktionary']}, from the key's analyses {c['orphan_lemma_morph']}, "
      f"none {c['orphan_no_lemma']})")
    p(f"bare records left out (no lemma, no tags, stresses all carried by other records): "
      f"{c['dropped_bare_variant']} ({c['dropped_bare_variant_capitalised']} from "
      f"capitalised spellings only)")
    if wikt:
        p("== Wiktionary")
        p(f"links used:                         {c['wiktionary_links']}")
        p(f"keys added that the stress source lacks: {c['entries_from_wiktionary']}")
        agree, both = c["crosscheck_agree"], c["crosscheck_forms_both"]
        comp = c["crosscheck_compatible"]
        p(f"cross-check: stressed forms in both sources {both}: same stress {agree} "
          f"({pct(agree, both)}), one of the source's double stresses {comp} "
          f"({pct(comp, both)}), different {n_dis} ({pct(n_dis, both)})")
        for form, lemma, ours in sample:
            p(f"  Wiktionary {form} ({lemma})  stress source {', '.join(ours)}")
    p("== frequency rules (frequency.py) and repairs (repairs.py)")
    p(f"word forms with a frequency (wordfreq {WORDFREQ_LANG} {WORDFREQ_LIST}): "
      f"{c['frequency_forms']}")
    p(f"keys whose capitalised spelling gives another stress: names kept {c['capitals_kept']}, "
      f"names' stresses left out {c['capitals_dropped']}")
    for what in ("capitals_dropped", "rare_first_dropped"):
        top = sorted(stats.lists[what], key=lambda x: -x[2])[:40]
        if top:
            p(f"  most frequent keys, {what}: "
              + ", ".join(f"{k} -{'/'.join(gone)}" for k, gone, _f in top))
    p(f"keys whose rare first stress is left out: {c['rare_first_dropped']}")
    p(f"keys repaired (repairs.tsv): {c['repaired']} {stats.lists['repaired']}")
    p(f"extra keys (respell.py): first parts of compounds {c['entries_from_first_part']} "
      f"(e.g. {stats.lists['extra_first_part'][:10]}), older spellings "
      f"{c['entries_from_old_spelling']} (e.g. {stats.lists['extra_old_spelling'][:10]})")
    p("== output")
    p(f"entries:                            {c['entries']}")
    grounded = sum(c["records_" + m] for m in ADOPTED_METHODS)
    p(f"records:                            {c['records']} (from dictionary analyses "
      f"{c['records_morph']}, from grounded analyses {grounded}, from variant tags "
      f"{c['records_variant']}, from Wiktionary links {c['records_wiktionary']})")
    p("  from grounded analyses:           "
      + ", ".join(f"{m} {c['records_' + m]}" for m in sorted(ADOPTED_METHODS)))
    p(f"records with a lemma:               {c['records_with_lemma']} "
      f"({pct(c['records_with_lemma'], c['records'])})")
    p(f"records with features:              {c['records_with_feats']}")
    p(f"records with a gloss:               {c['records_with_gloss']}")
    p(f"distinct lemmas:                    {c['lemmas']}")
    p(f"distinct glosses (definitions):     {c['definitions']}")
    p(f"entries with more than one stress position: {c['entries_several_positions']}")
    p(f"keys left without records:          {c['keys_without_records']}")
    p(f"time {c['seconds']} s, peak RSS {c['peak_rss_mb']} MB")

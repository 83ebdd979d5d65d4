"""Reading the three sources (and the word frequencies) into what the join needs.

The heavy imports (marisa_trie, pymorphy3, wordfreq, the Wiktionary reader)
happen inside the reader functions, so that the rest of the package imports
with the standard library alone.

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
spells it ("Київ"), or, for names, with a capital initial (join.py).

Every reader counts what it reads and leaves out into a Stats (counters.py).
"""
from __future__ import annotations

import collections
import os
from dataclasses import dataclass, field

from ..spelling import (APOSTROPHE, is_form_text, normalize_word, spelling_kind,
                        stressed_positions, strip_stress, vowel_count)
from .counters import Count, Family, Stats
from .grounded import ADOPTED_METHODS, analyse, fixed_left_checker, unambiguous
from .pairing import Link, Spelling
from .stress import Variant, decode_value


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
        stats.note(Count.STRESS_KEY_BAD_CHARACTER, text, keep=200)
        return None
    variants, problems = decode_value(text, value)
    for p in problems:
        stats.note(Family.STRESS_PROBLEM + p, (text, value), keep=50)
    if variants and all(not v.upos and not v.feats for v in variants):
        variants = [_plain(v.positions) for v in variants]
    if not variants:
        if problems:
            stats.note(Count.STRESS_KEY_UNDECODABLE, text)
            return None
        vowels = vowel_count(text)
        if vowels == 0:
            stats.note(Count.STRESS_KEY_NO_VOWEL, text)
            variants = [_plain(())]
        elif vowels == 1:
            stats.note(Count.STRESS_KEY_ONE_VOWEL_MARKED, text)
            variants = [_plain((0,))]
        else:
            stats.note(Count.STRESS_KEY_NO_POSITION, text, keep=50)
            return None
    return Spelling(text, variants)


def group_stress(items, stats: Stats) -> dict[str, list[Spelling]]:
    """(text, value) items of the stress dictionary -> normalised key -> its
    spellings, in the order read."""
    groups: dict[str, list[Spelling]] = {}
    for text, value in items:
        stats.counts[Count.STRESS_ITEMS] += 1
        spelling = stress_spelling(text, value, stats)
        if spelling is None:
            continue
        key = normalize_word(text)
        if key == text:
            key = text
        groups.setdefault(key, []).append(spelling)
    for spellings in groups.values():
        if len(spellings) > 1:
            stats.counts[Count.STRESS_KEYS_COLLIDING] += 1
            if len({tuple(s.variants) for s in spellings}) > 1:
                stats.counts[Count.STRESS_KEYS_COLLIDING_DIFFERING] += 1
    stats.counts[Count.STRESS_KEYS] = len(groups)
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
            stats.note(Count.WIKTIONARY_BAD_MARK, form)
            continue
        text = strip_stress(form)
        key = normalize_word(text)
        lemma = lemma.replace("'", APOSTROPHE)
        link = Link(positions, upos, lemma, spelling_kind(text))
        if link not in links[key]:
            links[key].append(link)
            forms[key].append((form, upos, lemma))
        stats.counts[Count.WIKTIONARY_LINKS] += 1
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
        stats.counts[Count.MORPH_ITEMS] += 1
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
    stats.counts[Count.MORPH_LEXEMES] = len(lexemes)
    stats.counts[Count.MORPH_LEXEMES_PROPER_BY_SPELLING] = len(proper)
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
    stats.counts[Count.FREQUENCY_FORMS] = len(freq)
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
            c[Count.GROUNDED_PHRASES_SKIPPED] += 1
            continue
        found = analyse_key(key)
        if not found:
            c[Count.GROUNDED_NONE] += 1
            continue
        kept = unambiguous(found)
        if not kept:
            stats.note(Count.GROUNDED_AMBIGUOUS, (key, sorted({nf for _m, _t, nf in found})[:4]), keep=12)
            continue
        c[Count.GROUNDED_KEYS] += 1
        stats.note(Family.GROUNDED_KEYS + kept[0][0], (key, kept[0][2]), keep=12)
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


# ---------------------------------------------------------------- checks

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

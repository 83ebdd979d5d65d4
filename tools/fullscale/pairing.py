"""Which analyses of a form go with which of its stress variants.

Input for one key (a normalised form):

  * its spellings in the stress source, each with its stress variants
    (stress.Variant: stressed vowel ordinals, and for forms with several
    possible stresses the part of speech and features of each);
  * its morphological analyses (pymorphy3, mapped to UD), each flagged
    `proper` when it belongs to a proper noun or abbreviation;
  * the Wiktionary links of the key (stressed form -> lemma, part of speech).

Output: the key's records, one per distinct (UPOS, FEATS, LEMMA), each with the
stress positions that belong to it, in a deterministic order.

The rules:

1. Spelling class. Keys collide when the source spells one word in lower
   case and another with capitals ("доми́" and "До́ми", "киї́в" and "Ки́їв").
   An analysis goes only with spellings of its own class: proper analyses
   with spellings that have a capital, the others with lower-case spellings.
   An analysis whose class has no spelling under the key is dropped
   (reason "class"): the source does not give the stress of that word.
2. Agreement. Within its class an analysis agrees with a variant when the
   variant's part of speech (if it has one) is compatible (equal, or both in
   one of NOUN/PROPN, PRON/DET, CCONJ/SCONJ), and no feature that both carry
   has different values. A feature the analysis lacks never conflicts: the
   stress source writes a gender on plural nouns, pymorphy3 does not. An
   untagged variant (the form has a single stress set) agrees with every
   analysis of its class.
3. An analysis carries the positions of every variant it agrees with, so an
   analysis that two variants fit (free variation, or homonyms that the tags
   cannot tell apart such as "за́мок"/"замо́к" nominative) lists both.
   Analyses that agree with no variant are dropped (reason "no_variant").
   Analyses of forms the dictionary does not hold (grounded.py: a prefix or
   a hyphenated compound of dictionary words) pair by the same rules.
4. A variant that no analysis agrees with still becomes a record, built from
   its own tags (UPOS X when it has no part of speech). Its lemma: the
   Wiktionary links of the key whose stress is the variant's (or one of the
   variant's stresses, where it gives two as both correct) and whose part of
   speech is compatible (one record per linked lemma, with the link's part
   of speech when the variant has none); otherwise the single lemma of the
   key's analyses of that class and part of speech, if there is exactly one;
   otherwise none.
5. A record without lemma and tags (UPOS X, no features) whose stress
   positions other records of the key all carry is left out: it is a second
   spelling of the key that nothing else is known of ("Гранітом" beside the
   noun "гранітом"), and adds nothing.
6. Order: spellings (lower case first, then the others in code point order),
   each spelling's variants in stored order, and for each variant the
   analyses in pymorphy3's order; a record takes the place of its first
   appearance, and its positions are kept in order of first appearance.
"""
from __future__ import annotations

import collections
from dataclasses import dataclass, field

from ..spelling import normalize_word, spelling_kind
from .counters import Count
from .stress import Variant

COMPATIBLE_UPOS = ({"NOUN", "PROPN"}, {"PRON", "DET"}, {"CCONJ", "SCONJ"})


@dataclass(frozen=True)
class Analysis:
    upos: str
    feats: tuple[tuple[str, str], ...]   # canonical order, one value each
    lemma: str | None = None
    proper: bool = False
    # "dictionary" for pymorphy3's dictionary, else the grounded method that
    # took the form apart (grounded.py: known_prefix, hyphen_left, ...)
    method: str = "dictionary"

    @property
    def kind(self) -> str:
        return "upper" if self.proper else "lower"


@dataclass
class Spelling:
    text: str                  # as the source writes it, without stress marks
    variants: list[Variant]

    @property
    def kind(self) -> str:
        return spelling_kind(self.text)


@dataclass(frozen=True)
class Link:
    """A Wiktionary link of a stressed form to a lemma."""

    positions: tuple[int, ...]
    upos: str
    lemma: str
    kind: str                  # spelling class of the stressed form


# The origin of a record built from a stress variant's own tags, because no
# analysis agrees with them (rule 4).
VARIANT_ORIGIN = "variant"


@dataclass
class Record:
    upos: str
    feats: tuple[tuple[str, str], ...]
    lemma: str | None
    positions: list[int] = field(default_factory=list)
    # morph | variant | wiktionary, or the grounded method of its analysis
    origin: str = "morph"

    @property
    def identity(self) -> tuple:
        return (self.upos, self.feats, self.lemma)


def upos_compatible(a: str, b: str) -> bool:
    return a == b or any(a in group and b in group for group in COMPATIBLE_UPOS)


def agrees(analysis: Analysis, variant: Variant) -> bool:
    if variant.upos and not any(upos_compatible(analysis.upos, u) for u in variant.upos):
        return False
    if variant.lemmas is not None and (
            analysis.lemma is None or normalize_word(analysis.lemma) not in variant.lemmas):
        return False
    if variant.feats:
        have = dict(analysis.feats)
        for name, allowed in variant.feats:
            value = have.get(name)
            if value is not None and value not in allowed:
                return False
    return True


def variant_feats(variant: Variant) -> tuple[tuple[str, str], ...]:
    """A variant's own features as FEATS pairs (several values joined by ",")."""
    return tuple((name, ",".join(sorted(values))) for name, values in variant.feats)


def order_spellings(spellings: list[Spelling]) -> list[Spelling]:
    return sorted(spellings, key=lambda s: (s.kind != "lower", s.text))


class _Records:
    def __init__(self) -> None:
        self.by_identity: dict[tuple, Record] = {}

    def add(self, upos, feats, lemma, positions, origin) -> None:
        rec = self.by_identity.get((upos, feats, lemma))
        if rec is None:
            rec = Record(upos, feats, lemma, [], origin)
            self.by_identity[rec.identity] = rec
        for p in positions:
            if p not in rec.positions:
                rec.positions.append(p)

    def list(self) -> list[Record]:
        return list(self.by_identity.values())


def dedup(analyses: list[Analysis]) -> list[Analysis]:
    return list(dict.fromkeys(analyses))


def pair_key(spellings: list[Spelling], analyses: list[Analysis],
             links: list[Link] = (), stats: collections.Counter | None = None) -> list[Record]:
    """The records of one key; see the module docstring for the rules.

    `stats` (if given) counts: analyses_paired, dropped_class, dropped_no_variant
    (each also with a grounded_ prefix for grounded analyses), orphan_variants,
    orphan_lemma_wiktionary, orphan_lemma_morph, orphan_no_lemma,
    dropped_bare_variant (rule 5), dropped_bare_variant_capitalised."""
    if stats is None:
        stats = collections.Counter()
    analyses = dedup(analyses)
    spellings = order_spellings(spellings)
    kinds = {s.kind for s in spellings}
    out = _Records()
    paired: set[Analysis] = set()
    bare_kinds: set[str] = set()      # spelling classes of the bare record
    for spelling in spellings:
        mine = [a for a in analyses if a.kind == spelling.kind]
        for variant in spelling.variants:
            hits = [a for a in mine if agrees(a, variant)]
            for a in hits:
                origin = "morph" if a.method == "dictionary" else a.method
                out.add(a.upos, a.feats, a.lemma, variant.positions, origin)
                paired.add(a)
            if not hits:
                stats[Count.ORPHAN_VARIANTS] += 1
                if _orphan(spelling, variant, mine, links, out, stats):
                    bare_kinds.add(spelling.kind)
    for a in analyses:
        grounded = a.method != "dictionary"
        if a in paired:
            stats[Count.GROUNDED_ANALYSES_PAIRED if grounded else Count.ANALYSES_PAIRED] += 1
        elif a.kind not in kinds:
            stats[Count.GROUNDED_DROPPED_CLASS if grounded else Count.DROPPED_CLASS] += 1
        else:
            stats[Count.GROUNDED_DROPPED_NO_VARIANT if grounded else Count.DROPPED_NO_VARIANT] += 1
    return drop_redundant(out.list(), stats, bare_kinds)


def is_bare(record: Record) -> bool:
    """A record that says nothing but its stress: no lemma, no tags."""
    return record.lemma is None and record.upos == "X" and not record.feats


def drop_redundant(records: list[Record], stats: collections.Counter | None = None,
                   bare_kinds: set[str] = frozenset()) -> list[Record]:
    """Leaves out a bare record (is_bare) whose every stress position other
    records of the key carry: it adds nothing to them. Such records come from
    a second spelling of the key without tags and without analyses of its
    spelling class, mostly a capitalised one ("Гранітом" beside "гранітом");
    `bare_kinds` (the spelling classes the bare record came from) only
    sorts them in `stats`: dropped_bare_variant, of which
    dropped_bare_variant_capitalised."""
    bare = [r for r in records if is_bare(r)]
    if not bare or len(bare) == len(records):
        return records
    out = []
    for rec in records:
        if is_bare(rec):
            others = {p for r in records if r is not rec for p in r.positions}
            if rec.positions and set(rec.positions) <= others:
                if stats is not None:
                    stats[Count.DROPPED_BARE_VARIANT] += 1
                    if bare_kinds == {"upper"}:
                        stats[Count.DROPPED_BARE_VARIANT_CAPITALISED] += 1
                continue
        out.append(rec)
    return out


def _orphan(spelling: Spelling, variant: Variant, mine: list[Analysis], links,
            out: _Records, stats: collections.Counter) -> bool:
    """Adds the record of a variant no analysis agrees with; True when it is
    bare (no lemma, no tags)."""
    own_upos = next(iter(variant.upos)) if len(variant.upos) == 1 else None
    feats = variant_feats(variant)
    cands = [l for l in links
             if l.positions and set(l.positions) <= set(variant.positions)
             and l.kind == spelling.kind
             and (not variant.upos or any(upos_compatible(l.upos, u) for u in variant.upos))
             and (variant.lemmas is None or normalize_word(l.lemma) in variant.lemmas)]
    if cands:
        stats[Count.ORPHAN_LEMMA_WIKTIONARY] += 1
        for link in dict.fromkeys((l.upos, l.lemma) for l in cands):
            out.add(own_upos or link[0] or "X", feats, link[1], variant.positions, "wiktionary")
        return False
    lemmas = []
    if variant.upos:
        lemmas = list(dict.fromkeys(
            a.lemma for a in mine
            if a.lemma and any(upos_compatible(a.upos, u) for u in variant.upos)))
    if len(lemmas) == 1:
        stats[Count.ORPHAN_LEMMA_MORPH] += 1
        out.add(own_upos or "X", feats, lemmas[0], variant.positions, VARIANT_ORIGIN)
        return False
    stats[Count.ORPHAN_NO_LEMMA] += 1
    out.add(own_upos or "X", feats, None, variant.positions, VARIANT_ORIGIN)
    return own_upos is None and not feats

"""Word frequency as evidence for which of a key's stresses to keep.

`mark` answers with a key's lowest stress position, so a real but rare
stress that sorts before the common one (the place name Ме́ні under "мені",
ко́ли, a plural of ко́ло's neighbour, before the conjunction коли́) makes it
wrong on some of the most frequent words. The two rules here decide, from
the text frequency of whole lexemes, whether such a stress stays:

* capitals: a stress that only a capitalised spelling of the key gives (a
  name) joins a key whose lower-case spelling has another stress only when
  the name's lexeme is the more frequent word ("Ки́їв" over кий stays under
  "київ"; "То́го", the country, under the pronoun "того" goes);
* rare first: where the records that carry a key's lowest stress belong only
  to lexemes far rarer than a lexeme on another of its stresses, those
  records go (йо́го, vocative of йо́га, before the pronoun його́). Forms of one
  lexeme (ру́ки/руки́) and homographs of comparable frequency
  (ро́боти/робо́ти) always keep every stress.

The frequency of a lexeme is measured on its own forms only: the summed
wordfreq frequency of those of its forms that are no form of a competing
lexeme, so the shared form itself, which wordfreq counts for both words
at once (it folds case), is evidence for neither. A lexeme that is no
lexeme of the morphological dictionary (a place name the stress source alone
has, a record without analysis) has no forms of its own: its evidence is 0.

Inputs are plain data (frequencies by normalised key, forms by lexeme id),
so the rules run without wordfreq or pymorphy3; build.py reads those.
"""
from __future__ import annotations

import math
from dataclasses import dataclass, field, replace

from .pairing import VARIANT_ORIGIN

# A stress variant of a rare lexeme is dropped when the competing lexeme's
# own forms are at least this many times as frequent as its own. Chosen on
# the frequent keys of the stress source (data/README.md): the genuine
# homograph pairs worth keeping are below it (ро́боти/робо́ти 6.3,
# ста́ттю/статтю́ 18.8, па́лю/палю́ 18.9), while a rare word before a common
# one is above it (зага́лом/загало́м 20.4, бе́ре/бере́ 50, го́тові/гото́ві 56,
# у́сі/усі́ 72, and коли́, була́, його́ above 1000).
RARE_RATIO = 20.0

# ... and only when the competing lexeme is itself a word of running text:
# its own forms together at least this frequent (wordfreq's Zipf 4, about
# once in 100,000 words). Below that the choice hardly shows in text and
# the rare variant, a real reading, is kept.
MIN_EVIDENCE = 1e-5


@dataclass
class Evidence:
    """Frequencies of forms and the forms of lexemes."""

    freq: dict[str, float]                       # normalised key -> frequency
    forms: dict[int, frozenset[str]] = field(default_factory=dict)  # lexeme -> its keys with freq > 0
    owners: dict[str, tuple[int, ...]] = field(init=False)          # key -> lexemes it is a form of

    def __post_init__(self) -> None:
        owners: dict[str, list[int]] = {}
        for lex in sorted(self.forms):
            for key in self.forms[lex]:
                owners.setdefault(key, []).append(lex)
        self.owners = {k: tuple(v) for k, v in owners.items()}

    def own(self, lexemes, against, key: str = "", flat=frozenset(), key_is_mine=False,
            key_is_theirs=False) -> float:
        """Summed frequency of the forms of `lexemes` that no other lexeme
        has: a form shared with a competitor, or with any third word ("кола"
        of кіл is also a form of коло), says nothing about which is meant. A
        word that does not inflect (`flat`: its lexemes that are adverbs,
        conjunctions, particles...) has no form but the key itself, which is
        then all the evidence there is: it counts the key's frequency,
        unless a competitor (`against`) is uninflected too. `key_is_mine`:
        the key counts for `lexemes` whatever they are (the competitor is a
        word the dictionary does not hold); `key_is_theirs`: it counts for
        the competitor, never for `lexemes`."""
        lexemes = set(lexemes)
        mine: set[str] = set()
        for lex in lexemes:
            mine |= self.forms.get(lex, frozenset())
        mine = {k for k in mine if lexemes.issuperset(self.owners.get(k, ()))}
        if key_is_theirs:
            mine.discard(key)
        elif key_is_mine or (lexemes & flat and not set(against) & flat):
            mine.add(key)
        # fsum is exact, so the result does not depend on the set's order
        # (string hashing varies between runs): the build stays deterministic
        return math.fsum(self.freq.get(k, 0.0) for k in mine)


# Parts of speech whose words have one form: adverbs (with predicatives),
# conjunctions, particles, prepositions, interjections.
UNINFLECTED_UPOS = frozenset({"ADV", "CCONJ", "SCONJ", "PART", "ADP", "INTJ"})


def unknown_word(record) -> bool:
    """Whether a record is a form of a word the morphological dictionary does
    not hold: a stress variant whose own tags name an inflected form (a case,
    a gender...) that no dictionary analysis of the key agrees with, such as
    the feminine vocative кі́но beside the neuter кіно́. Its lemma, if any, is
    only borrowed from the key's analyses of the same part of speech, so it
    is no evidence that the two stresses are forms of one word. Variants
    without tags, and those of uninflected parts of speech (which the
    dictionary often lacks even for common words), are never taken for one."""
    return (record.origin == VARIANT_ORIGIN and bool(record.feats)
            and record.upos not in UNINFLECTED_UPOS and record.upos != "X")


def name_wins(evidence: Evidence, key: str, names: set[int], common: set[int],
              flat=frozenset()) -> bool:
    """Whether a name's stress stays under a key shared with a common word.

    The name stays when its lexemes' own forms are more frequent than the
    common word's. When neither has any form of its own in running text the
    key's own frequency decides: a key text never uses keeps both (nothing
    says which is meant), a key text uses is taken for the common word, since
    a name that never shows a form of its own is the rarer word."""
    name_ev = evidence.own(names, common, key, flat)
    common_ev = evidence.own(common, names, key, flat)
    if name_ev > common_ev:
        return True
    if name_ev == common_ev == 0.0:
        return evidence.freq.get(key, 0.0) == 0.0
    return False


def _one_form_word(records, lexemes_of) -> bool:
    """Whether some record is a word of one form (an adverb, a particle...)
    that has no lexeme of the dictionary, such as Wiktionary's adverb уже,
    which pymorphy3 lacks: the key itself is all the evidence such a word
    has, as it is for the dictionary's own uninflected words."""
    return any(r.upos in UNINFLECTED_UPOS and not lexemes_of(r) for r in records)


def rare_first(records, lexemes_of, evidence: Evidence, key: str, flat=frozenset()):
    """Takes the key's lowest stress away, while this applies, when the
    records that carry it belong only to lexemes far rarer than those of the
    other records (RARE_RATIO, MIN_EVIDENCE). `lexemes_of(record)` gives a
    record's lexeme ids, an empty set when it has none (a variant no
    analysis agrees with). A record that carries the lowest stress alone is
    dropped; one that carries another stress too (free variation of the
    rare word, ко́ли́ of кіл) keeps that one.

    Never applies when a lexeme is on both sides (forms of one word:
    ру́ки/руки́) or when the low records share a lemma with the others, nor
    to keys running text does not use.

    A form of a word the dictionary does not hold (`unknown_word`) has no
    lexeme on either side: its borrowed lemma is no evidence and shares
    nothing. When every low record is one and the others include the
    dictionary's own analyses, the key's own frequency counts for the other
    side: of the
    words that write the key, the dictionary of some 400,000 lexemes knows
    only those. So it does when the others include a word of one form the
    dictionary lacks (`_one_form_word`: the adverb уже́ against у́же, the
    vocative of the river Уж) and the low records hold no word of one form.
    Returns (kept records, dropped records: those dropped or shortened, as
    they were)."""
    dropped = []
    if evidence.freq.get(key, 0.0) == 0.0:
        return records, dropped
    while True:
        positions = {p for r in records for p in r.positions}
        if len(positions) < 2:
            return records, dropped
        low = min(positions)
        first = [r for r in records if low in r.positions]
        rest = [r for r in records if low not in r.positions]
        if not rest:
            return records, dropped
        known_first = [r for r in first if not unknown_word(r)]
        known_rest = [r for r in rest if not unknown_word(r)]
        low_lex = set().union(*(lexemes_of(r) for r in known_first))
        rest_lex = set().union(*(lexemes_of(r) for r in known_rest))
        key_is_theirs = ((not known_first and any(r.origin != VARIANT_ORIGIN for r in rest))
                         or (_one_form_word(known_rest, lexemes_of)
                             and not any(r.upos in UNINFLECTED_UPOS for r in known_first)))
        if low_lex & rest_lex:
            return records, dropped
        rest_lemmas = {r.lemma.lower() for r in known_rest if r.lemma}
        if any(r.lemma and r.lemma.lower() in rest_lemmas for r in known_first):
            return records, dropped
        rest_ev = evidence.own(rest_lex, low_lex, key, flat, key_is_mine=key_is_theirs)
        low_ev = evidence.own(low_lex, rest_lex, key, flat, key_is_theirs=key_is_theirs)
        if rest_ev < MIN_EVIDENCE or low_ev * RARE_RATIO > rest_ev:
            return records, dropped
        dropped.extend(first)
        kept = []
        for r in records:
            if low not in r.positions:
                kept.append(r)
            elif len(r.positions) > 1:
                kept.append(replace(r, positions=[p for p in r.positions if p != low]))
        records = kept

"""Extra keys for forms running text writes that the sources only hold
inside another key: first parts of hyphenated compounds and the older
(1920s, diaspora) spellings of modern forms.

Every extra key carries stresses a source gives; none is guessed:

* first parts: "ме́дико-саніта́рний" is stressed on both parts in the stress
  source, so the first part "ме́дико" gets the stress the compounds give it
  (every stress they give it, if they differ). Only first parts that end in
  the linking vowel -о or -е of a compound ("військово-", "медико-") and
  have two or more vowels, from lower-case spellings; the record is bare
  (UPOS X), since the part is no word of its own.
* older spellings, derived mechanically from a modern form and turned back
  into it by the inverse replacement, so the stress carries over vowel for
  vowel:
  - the genitive singular of feminine nouns of the consonant declension in
    -и for -і ("радости", "можливости", "осени" for радості, можливості,
    осені): only the genitive singular records move to the old key;
  - "ія" for "іа" after a consonant in borrowed words ("матеріялізм",
    "соціяльний", "діялог" for матеріалізм, соціальний, діалог): every
    record moves.

An extra key is never one the sources already have: a form that is a word
of its own keeps its own records.
"""
from __future__ import annotations

import re

from ..spelling import vowel_count
from .pairing import Record

LINKING_VOWELS = ("о", "е")
CONSONANTS = frozenset("бвгґджзйклмнпрстфхцчшщ")
_IA = re.compile(r"(?<=[бвгґджзклмнпрстфхцчшщ])іа")
_IYA = re.compile(r"(?<=[бвгґджзклмнпрстфхцчшщ])ія")


def first_part(key: str, positions: tuple[int, ...]) -> tuple[str, tuple[int, ...]] | None:
    """The first part of a hyphenated compound key with the stresses the
    compound gives it, or None when it is no compound's first part or the
    compound gives it no stress."""
    if "-" not in key or " " in key:
        return None
    part = key.split("-", 1)[0]
    if not part.endswith(LINKING_VOWELS) or not all(ch.isalpha() or ch == "\u02bc" for ch in part):
        return None
    n = vowel_count(part)
    inside = tuple(p for p in positions if p < n)
    if n < 2 or not inside:
        return None
    return part, inside


def first_parts(stress) -> dict[str, list[tuple[int, ...]]]:
    """First part -> the distinct stress sets its compounds give it, in
    order of the compound keys, from lower-case spellings of `stress`
    (key -> spellings)."""
    out: dict[str, list[tuple[int, ...]]] = {}
    for key in sorted(stress):
        for s in stress[key]:
            if s.kind != "lower":
                continue
            for v in s.variants:
                found = first_part(key, v.positions)
                if found:
                    sets = out.setdefault(found[0], [])
                    if found[1] not in sets:
                        sets.append(found[1])
    return out


def _consonant_declension(lemma: str) -> bool:
    return bool(lemma) and (lemma[-1] in CONSONANTS or lemma[-1] == "ь")


def old_spellings(key: str, records: list[Record], known=None) -> list[tuple[str, list[Record]]]:
    """(older spelling, the records it carries) for a modern key. `known`
    (the keys of the sources) makes the "ія" respelling reversible: it is
    made only when undoing it leads back to this key alone."""
    out = []
    if len(key) > 2 and key.endswith("і") and key[-2] in CONSONANTS:
        gen = [r for r in records
               if r.upos == "NOUN" and r.lemma and _consonant_declension(r.lemma.lower())
               and ("Gender", "Fem") in r.feats and ("Case", "Gen") in r.feats
               and ("Number", "Sing") in r.feats]
        if gen:
            out.append((key[:-1] + "и", gen))
    if _IA.search(key):
        old = _IA.sub("ія", key)
        if modern_of(old, "ia", known if known is not None else {key}) == key:
            out.append((old, list(records)))
    return out


def modern_of(old: str, kind: str, known=frozenset()) -> str | None:
    """The inverse replacement: the modern spelling an older one respells
    ("genitive" or "ia"). "ія" is also modern after a consonant ("-ція"), so
    each of its places may or may not be undone: the modern spelling is the
    one of those readings that is a key of `known`, None unless exactly one is."""
    if kind == "genitive":
        return old[:-1] + "і"
    places = [m.start() for m in _IYA.finditer(old)]
    found = set()
    for mask in range(1, 1 << len(places)):
        chars = list(old)
        for i, at in enumerate(places):
            if mask >> i & 1:
                chars[at + 1] = "а"
        candidate = "".join(chars)
        if candidate in known:
            found.add(candidate)
    return found.pop() if len(found) == 1 else None


"""pymorphy3 (OpenCorpora-style, Ukrainian dictionary) tags -> Universal
Dependencies part of speech and features.

A tag is a set of grammemes ("NOUN,inan femn,gent"). The mapping, also
documented in data/README.md:

  part of speech   NOUN -> NOUN (PROPN with Name/Surn/Patr; join.py also makes
                   PROPN of nouns whose lexeme the stress source spells with
                   a capital), NPRO -> PRON, VERB -> VERB, INFN/infn -> VERB,
                   GRND -> VERB, ADJF/ADJS/PRTF/PRTS -> ADJ, COMP -> ADJ,
                   ADVB -> ADV, PRED -> ADV, PREP -> ADP, CONJ -> CCONJ
                   (SCONJ with subord), PRCL -> PART, INTJ -> INTJ,
                   NUMR -> NUM; anything else -> X
  Case             nomn Nom, gent Gen, datv Dat, accs Acc, ablt Ins, loct Loc,
                   voct Voc
  Number           sing Sing, plur Plur; a form with a gender and no number
                   is singular (the dictionary writes plur only): Sing
  Gender           masc Masc, femn Fem, neut Neut
  Animacy          anim Anim, inan Inan
  Aspect           perf Perf, impf Imp
  Tense            past Past, pres Pres, futr Fut
  Person           1per 1, 2per 2, 3per 3; Impe (impersonal -но/-то) 0
  Mood             impr Imp; other finite verb forms Ind
  VerbForm         infn Inf, GRND Conv, ADJF with actv/pssv Part, every other
                   verb form Fin
  Voice            actv Act, pssv Pass
  Degree           compb Pos, COMP Cmp, Supr Sup
  NameType         Name Giv, Surn Sur, Patr Pat
  PronType         pers Prs
  Abbr             Abbr Yes
  Reflex           Refl Yes

Not mapped (no UD feature carries them here): Fixd (indeclinable), Sgtm,
Pltm, tran/intr, rv_* (case government), Arch, Infr, Slng, Dist, alt, v-u,
Init, unknown.

Features are written in UD's canonical order, by name, case-insensitively.
"""
from __future__ import annotations

from functools import lru_cache

POS = {
    "NOUN": "NOUN", "NPRO": "PRON", "VERB": "VERB", "INFN": "VERB", "GRND": "VERB",
    "ADJF": "ADJ", "ADJS": "ADJ", "PRTF": "ADJ", "PRTS": "ADJ", "COMP": "ADJ",
    "ADVB": "ADV", "PRED": "ADV", "PREP": "ADP", "CONJ": "CCONJ", "PRCL": "PART",
    "INTJ": "INTJ", "NUMR": "NUM",
}
# Grammemes that name the part of speech in this dictionary. "COMP" is also
# the comparative degree of adjectives and adverbs, so it only counts as a
# part of speech when nothing else does.
POS_GRAMMEMES = frozenset(POS)

SIMPLE = {
    "nomn": ("Case", "Nom"), "gent": ("Case", "Gen"), "datv": ("Case", "Dat"),
    "accs": ("Case", "Acc"), "ablt": ("Case", "Ins"), "loct": ("Case", "Loc"),
    "voct": ("Case", "Voc"),
    "sing": ("Number", "Sing"), "plur": ("Number", "Plur"),
    "masc": ("Gender", "Masc"), "femn": ("Gender", "Fem"), "neut": ("Gender", "Neut"),
    "anim": ("Animacy", "Anim"), "inan": ("Animacy", "Inan"),
    "perf": ("Aspect", "Perf"), "impf": ("Aspect", "Imp"),
    "past": ("Tense", "Past"), "pres": ("Tense", "Pres"), "futr": ("Tense", "Fut"),
    "1per": ("Person", "1"), "2per": ("Person", "2"), "3per": ("Person", "3"),
    "Impe": ("Person", "0"),
    "impr": ("Mood", "Imp"),
    "actv": ("Voice", "Act"), "pssv": ("Voice", "Pass"),
    "compb": ("Degree", "Pos"), "COMP": ("Degree", "Cmp"), "Supr": ("Degree", "Sup"),
    "Name": ("NameType", "Giv"), "Surn": ("NameType", "Sur"), "Patr": ("NameType", "Pat"),
    "pers": ("PronType", "Prs"),
    "Abbr": ("Abbr", "Yes"),
    "Refl": ("Reflex", "Yes"),
}
IGNORED = frozenset({
    "Fixd", "Sgtm", "Pltm", "tran", "intr", "rv_nomn", "rv_gent", "rv_datv", "rv_accs",
    "rv_ablt", "rv_loct", "Arch", "Infr", "Slng", "Dist", "alt", "v-u", "Init", "unknown",
    "coord", "subord", "infn",
})
INFLECTING = frozenset({"NOUN", "PROPN", "PRON", "ADJ", "VERB", "NUM", "DET"})


def grammemes(tag: str) -> list[str]:
    return [g for g in tag.replace(" ", ",").split(",") if g]


def feats_string(feats) -> str:
    """UD FEATS text of (name, value) pairs: "Case=Gen|Number=Sing", "" for none."""
    return "|".join(f"{name}={value}" for name, value in feats)


def canonical(feats: dict[str, str]) -> tuple[tuple[str, str], ...]:
    return tuple(sorted(feats.items(), key=lambda kv: kv[0].lower()))


@lru_cache(maxsize=None)
def map_tag(tag: str) -> tuple[str, tuple[tuple[str, str], ...], frozenset[str]]:
    """One pymorphy3 tag -> (UPOS, features, grammemes left unmapped).

    Features are (name, value) pairs in canonical order; every feature has a
    single value."""
    gs = grammemes(tag)
    pos_gs = [g for g in gs if g in POS_GRAMMEMES and g != "COMP"]
    if not pos_gs and "COMP" in gs:
        pos_gs = ["COMP"]
    pos = pos_gs[0] if pos_gs else None
    upos = POS.get(pos, "X") if pos else "X"
    feats: dict[str, str] = {}
    unmapped = set()
    for g in gs:
        if g == pos or g in POS_GRAMMEMES and g != "COMP":
            continue
        if g in SIMPLE:
            name, value = SIMPLE[g]
            feats[name] = value
        elif g not in IGNORED:
            unmapped.add(g)
    if pos == "COMP":
        feats["Degree"] = "Cmp"
    if pos == "CONJ" and "subord" in gs:
        upos = "SCONJ"
    if pos in ("INFN",) or "infn" in gs:
        feats["VerbForm"] = "Inf"
    elif pos == "GRND":
        feats["VerbForm"] = "Conv"
    elif pos in ("PRTF", "PRTS") or (upos == "ADJ" and ("actv" in gs or "pssv" in gs)):
        feats["VerbForm"] = "Part"
    elif upos == "VERB":
        feats["VerbForm"] = "Fin"
        if "Impe" not in gs:
            feats.setdefault("Mood", "Ind")
    if "Gender" in feats and "Number" not in feats and upos in INFLECTING:
        feats["Number"] = "Sing"
    if upos == "NOUN" and "NameType" in feats:
        upos = "PROPN"
    return upos, canonical(feats), frozenset(unmapped)

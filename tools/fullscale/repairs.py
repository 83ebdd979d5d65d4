"""Hand-checked repairs of errors in the stress source.

Where the stress source and Wiktionary disagree on a form of one lemma and
part of speech, the stress source stays unless a person who checked the
disagreement found the source wrong; those findings are `repairs.tsv` beside
this module (how they were chosen: data/README.md, "Repairs"). Most such
errors are one stress given to a spelling that two words share: the
source writes "його" only as йо́го, the vocative of йо́га, and the pronoun
його́ is missing.

A line of repairs.tsv: the key, the stressed form, the lemmas (comma
separated) whose analyses take that stress, and why. Applying it to a key:
the analyses of those lemmas carry the repaired stress and no longer the
source's; the analyses of the key's other lemmas keep the source's
stresses. Only lower-case spellings are touched; names keep theirs.
"""
from __future__ import annotations

from dataclasses import dataclass, replace

from ..spelling import normalize_word as normalize_key, stressed_positions, strip_stress
from .pairing import Spelling
from .stress import Variant


@dataclass(frozen=True)
class Repair:
    positions: tuple[int, ...]
    lemmas: frozenset[str]      # normalised
    reason: str


def parse_repairs(lines) -> dict[str, list[Repair]]:
    """key -> its repairs, from the lines of repairs.tsv ('#' starts a
    comment line). Raises ValueError on a malformed line, naming it."""
    out: dict[str, list[Repair]] = {}
    for n, line in enumerate(lines, 1):
        line = line.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        cols = line.split("\t")
        if len(cols) != 4:
            raise ValueError(f"repairs line {n}: 4 tab-separated columns expected: {line!r}")
        key, form, lemmas, reason = cols
        positions = stressed_positions(form)
        if normalize_key(key) != key or normalize_key(strip_stress(form)) != key or not positions:
            raise ValueError(f"repairs line {n}: {form!r} is no stressed form of the key {key!r}")
        names = frozenset(normalize_key(x) for x in lemmas.split(",") if x)
        if not names:
            raise ValueError(f"repairs line {n}: no lemma")
        out.setdefault(key, []).append(Repair(positions, names, reason))
    return out


def read_repairs(path: str) -> dict[str, list[Repair]]:
    with open(path, encoding="utf-8") as f:
        return parse_repairs(f)


def apply_repairs(spellings: list[Spelling], repairs: list[Repair], analyses) -> list[Spelling]:
    """The key's spellings with its repairs applied (module docstring)."""
    repaired = frozenset().union(*(r.lemmas for r in repairs))
    others = frozenset(normalize_key(a.lemma) for a in analyses
                       if not a.proper and a.lemma and normalize_key(a.lemma) not in repaired)
    out = []
    for s in spellings:
        if s.kind != "lower":
            out.append(s)
            continue
        variants = [Variant(r.positions, lemmas=r.lemmas) for r in repairs]
        if others:
            variants += [replace(v, lemmas=others if v.lemmas is None else v.lemmas & others)
                         for v in s.variants]
        out.append(Spelling(s.text, [v for v in variants if v.lemmas]))
    return out

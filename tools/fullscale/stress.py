"""Decoding the values of the stress dictionary (ukrainian-word-stress 2.1.0).

The dictionary is a marisa BytesTrie: key = a word form or phrase as written
(capitals kept, apostrophe U+0027, no stress marks), one value per key, in
one of two layouts:

  plain    every byte is the position of a stressed vowel; usually one byte,
           more when several stresses are correct at once (phrases, compounds,
           free variants such as "кута́с"/"ку́тас" written together).
           An empty value: the source gives no position (one-vowel and
           vowel-less forms).
  tagged   one or more entries "{positions}\\xFE{tags}\\xFF": the form has
           several possible stresses and each entry names the positions that go
           with the part of speech and grammatical tags that follow, one byte
           per tag (table TAGS below).

A position byte is the character index just after the stressed vowel (the
place where U+0301 goes), i.e. the vowel's 0-based character index + 1 in the
key: "поди́хала" is stored as 4. This was checked against the whole file:
read so, every position byte in it but two names a vowel letter (read as the
vowel's own index, nearly every key fails). Positions are converted here to
vowel ordinals (0 = first vowel letter of the key), which is what the word
data format counts.
"""
from __future__ import annotations

from dataclasses import dataclass

from ..spelling import VOWELS

# Position byte = vowel's character index + INDEX_BASE.
INDEX_BASE = 1
ENTRY_SEP = 0xFE
ENTRY_END = 0xFF

# Tag byte -> (feature name, value), or ("UPOS", tag).
TAGS: dict[int, tuple[str, str]] = {
    0x11: ("Number", "Sing"),
    0x12: ("Number", "Plur"),
    0x20: ("Case", "Nom"),
    0x21: ("Case", "Gen"),
    0x22: ("Case", "Dat"),
    0x23: ("Case", "Acc"),
    0x24: ("Case", "Ins"),
    0x25: ("Case", "Loc"),
    0x26: ("Case", "Voc"),
    0x30: ("Gender", "Neut"),
    0x31: ("Gender", "Masc"),
    0x32: ("Gender", "Fem"),
    0x41: ("VerbForm", "Inf"),
    0x42: ("VerbForm", "Conv"),
    0x50: ("Person", "0"),
    0x61: ("UPOS", "NOUN"),
    0x62: ("UPOS", "ADJ"),
    0x63: ("UPOS", "INTJ"),
    0x64: ("UPOS", "CCONJ"),
    0x65: ("UPOS", "PART"),
    0x66: ("UPOS", "PRON"),
    0x67: ("UPOS", "VERB"),
    0x68: ("UPOS", "PROPN"),
    0x69: ("UPOS", "ADV"),
    0x6A: ("UPOS", "NOUN"),
    0x6B: ("UPOS", "NUM"),
    0x6C: ("UPOS", "ADP"),
}

# Why a value, or one entry of it, could not be used.
PROBLEMS = {
    "not_a_vowel": "a position byte that does not name a vowel letter of the key",
    "unknown_tag": "a tag byte outside the known table",
    "malformed": "a tagged value not made of {positions}\\xFE{tags}\\xFF entries",
    "no_positions": "a tagged entry without any position",
}


@dataclass(frozen=True)
class Variant:
    """One stress variant of a form: the stressed vowels (ordinals) and the
    constraints on the analyses it goes with. Empty constraints admit any
    analysis."""

    positions: tuple[int, ...]
    upos: frozenset[str] = frozenset()
    # (feature name, allowed values), sorted by name
    feats: tuple[tuple[str, frozenset[str]], ...] = ()
    # normalised lemmas the variant is tied to (Wiktionary links); None = any
    lemmas: frozenset[str] | None = None

    @property
    def tagged(self) -> bool:
        return bool(self.upos or self.feats or self.lemmas is not None)


def vowel_ordinals(key: str) -> list[int]:
    """For every character index of `key`, the ordinal of the vowel there, or -1."""
    out = []
    n = 0
    for ch in key:
        if ch in VOWELS:
            out.append(n)
            n += 1
        else:
            out.append(-1)
    return out


def convert_positions(key: str, raw: bytes, ordinals: list[int] | None = None) -> tuple[int, ...] | None:
    """Position bytes -> sorted distinct vowel ordinals; None if any byte does
    not name a vowel letter."""
    if ordinals is None:
        ordinals = vowel_ordinals(key)
    out = set()
    for b in raw:
        i = b - INDEX_BASE
        if i < 0 or i >= len(key) or ordinals[i] < 0:
            return None
        out.add(ordinals[i])
    return tuple(sorted(out))


def decode_tags(raw: bytes) -> tuple[frozenset[str], tuple[tuple[str, frozenset[str]], ...]] | None:
    """Tag bytes -> (parts of speech, features); None on an unknown byte."""
    upos = set()
    feats: dict[str, set[str]] = {}
    for b in raw:
        tag = TAGS.get(b)
        if tag is None:
            return None
        name, value = tag
        if name == "UPOS":
            upos.add(value)
        else:
            feats.setdefault(name, set()).add(value)
    return frozenset(upos), tuple((k, frozenset(feats[k])) for k in sorted(feats))


def decode_value(key: str, value: bytes) -> tuple[list[Variant], list[str]]:
    """Decodes one trie value. Returns the usable variants, in stored order,
    and the problems (keys of PROBLEMS) of the entries that were left out.

    A plain empty value gives no variant and no problem."""
    ordinals = vowel_ordinals(key)
    if ENTRY_SEP not in value and ENTRY_END not in value:
        positions = convert_positions(key, value, ordinals)
        if positions is None:
            return [], ["not_a_vowel"]
        return ([Variant(positions)] if positions else []), []
    if not value.endswith(bytes([ENTRY_END])):
        return [], ["malformed"]
    variants: list[Variant] = []
    problems: list[str] = []
    for entry in value[:-1].split(bytes([ENTRY_END])):
        if entry.count(ENTRY_SEP) != 1:
            problems.append("malformed")
            continue
        raw_positions, raw_tags = entry.split(bytes([ENTRY_SEP]))
        if not raw_positions:
            problems.append("no_positions")
            continue
        positions = convert_positions(key, raw_positions, ordinals)
        if positions is None:
            problems.append("not_a_vowel")
            continue
        tags = decode_tags(raw_tags)
        if tags is None:
            problems.append("unknown_tag")
            continue
        variants.append(Variant(positions, tags[0], tags[1]))
    return variants, problems

"""Keys, vowel letters and stress marks, as the image writer and lookup see them."""
from __future__ import annotations

from ..write_image import normalize_word

ACUTE = "\u0301"
APOSTROPHE = "\u02bc"
APOSTROPHES = frozenset("'\u02bc\u2019\u2018`")
LOWER_VOWELS = frozenset("аеєиіїоуюя")
VOWELS = LOWER_VOWELS | frozenset("АЕЄИІЇОУЮЯ")
UKRAINIAN_LETTERS = frozenset("абвгґдеєжзиіїйклмнопрстуфхцчшщьюя"
                              "АБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ")
# What a word form of the sources may hold besides letters: apostrophes,
# and in phrases and affixes spaces, hyphens, parentheses and commas.
FORM_PUNCTUATION = frozenset(" -(),") | APOSTROPHES


def normalize_key(text: str) -> str:
    """The lookup key of `text`: full lowercase mapping, every apostrophe U+02BC.

    Stress marks are not removed here (see strip_stress). The writer checks
    its keys with the very same function."""
    return normalize_word(text)


def strip_stress(text: str) -> str:
    return text.replace(ACUTE, "")


def is_form_text(text: str) -> bool:
    """True when `text` is made only of Ukrainian letters and the punctuation
    a form may carry, and has at least one letter."""
    return (any(ch in UKRAINIAN_LETTERS for ch in text)
            and all(ch in UKRAINIAN_LETTERS or ch in FORM_PUNCTUATION for ch in text))


def vowel_count(text: str) -> int:
    return sum(ch in VOWELS for ch in text)


def spelling_kind(text: str) -> str:
    """'lower' for a spelling in lower case only, 'upper' when it has a capital
    (proper names, abbreviations)."""
    return "lower" if text == text.lower() else "upper"


def mark_stress(key: str, positions) -> str:
    """`key` with U+0301 after each vowel whose 0-based ordinal is in
    `positions`. Raises ValueError for an ordinal past the last vowel."""
    wanted = set(positions)
    out = []
    ordinal = 0
    for ch in key:
        out.append(ch)
        if ch in VOWELS:
            if ordinal in wanted:
                out.append(ACUTE)
                wanted.discard(ordinal)
            ordinal += 1
    if wanted:
        raise ValueError(f"{key!r} has no vowel number {sorted(wanted)[0]}")
    return "".join(out)


def stressed_positions(form: str) -> tuple[int, ...] | None:
    """Vowel ordinals of the vowels followed by U+0301 in `form`, in order;
    None when a U+0301 follows anything but a vowel or another mark."""
    positions = []
    ordinal = -1
    prev = ""
    for ch in form:
        if ch == ACUTE:
            if prev not in VOWELS:
                return None
            positions.append(ordinal)
        elif ch in VOWELS:
            ordinal += 1
        prev = ch
    return tuple(positions)

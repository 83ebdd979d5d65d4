"""How the build tools spell Ukrainian words: vowel letters, apostrophes,
the stress mark, and the lookup key of a word form.

Every tool that reads or writes word data takes these from here, so that the
image writer, the full-scale converter and the Wiktionary reader agree on
what a key is. The key of a form is what lookup makes of a query: each
character replaced by its full lowercase mapping, one character at a time,
and each apostrophe variant written as U+02BC. Keys are compared as exact
strings, so a second normaliser that differs in one character would split
one word into two entries.
"""
from __future__ import annotations

# COMBINING ACUTE ACCENT, written directly after a stressed vowel letter.
ACUTE = "\u0301"

# MODIFIER LETTER APOSTROPHE: the one apostrophe a key holds.
APOSTROPHE = "\u02bc"
# The other apostrophes a form may be typed with: ' U+2019 U+2018 `.
APOSTROPHE_VARIANTS = ("'", "\u2019", "\u2018", "`")
APOSTROPHES = frozenset(APOSTROPHE_VARIANTS + (APOSTROPHE,))

# The vowel letters; stress positions count these and nothing else.
LOWER_VOWELS = "аеєиіїоуюя"
VOWELS = frozenset(LOWER_VOWELS + LOWER_VOWELS.upper())

UKRAINIAN_LETTERS = frozenset("абвгґдеєжзиіїйклмнопрстуфхцчшщьюя"
                              "АБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ")
# What a word form of the sources may hold besides letters: apostrophes,
# and in phrases and affixes spaces, hyphens, parentheses and commas.
FORM_PUNCTUATION = frozenset(" -(),") | APOSTROPHES

# str.lower() applies one context rule, final sigma, that the per-character
# mapping of lookup does not.
_CAPITAL_SIGMA = "\u03a3"


def lower(text: str) -> str:
    """Every code point replaced by its full lowercase mapping (U+0130
    becomes "i" + U+0307), without regard to its neighbours."""
    # str.lower() is the per-character mapping except for a word-final
    # capital sigma; only strings holding U+03A3 need the slow path.
    if _CAPITAL_SIGMA in text:
        return "".join(map(str.lower, text))
    return text.lower()


def unify_apostrophes(text: str) -> str:
    """Every apostrophe variant written as U+02BC."""
    # A few replace() calls beat str.translate() several times over on the
    # short non-ASCII strings seen here.
    for variant in APOSTROPHE_VARIANTS:
        text = text.replace(variant, APOSTROPHE)
    return text


def normalize_word(text: str) -> str:
    """Spell `text` the way lookup spells a query.

    Each character becomes its full lowercase mapping and each apostrophe
    becomes U+02BC. Nothing is removed, trimmed or reordered: stress marks
    stay (see strip_stress).
    """
    return unify_apostrophes(lower(text))


def strip_stress(text: str) -> str:
    return text.replace(ACUTE, "")


def key_of(form: str) -> str:
    """The lookup key of a stress-marked form: marks removed, then normalised."""
    return normalize_word(strip_stress(form))


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

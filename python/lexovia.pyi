"""Type information for the lexovia extension module."""

from collections.abc import Sequence
from typing import Literal, TypedDict, type_check_only

__all__ = ["lookup", "lookup_many", "mark", "mark_many", "word_count", "transcribe"]

@type_check_only
class TokenDict(TypedDict):
    ipa: str
    source: str
    type: Literal["Consonant", "Vowel", "Glide", "Glottal"]
    vowel_index: int
    stressed: bool
    palatalized: bool

@type_check_only
class SyllableDict(TypedDict):
    ipa: str
    word: str
    stressed: bool
    is_open: bool

@type_check_only
class TranscriptionDict(TypedDict):
    word: str
    ipa: str
    stress_index: int
    tokens: list[TokenDict]
    syllables: list[SyllableDict]

@type_check_only
class MorphDict(TypedDict):
    pos: list[str]
    feats: dict[str, list[str]]
    lemma: str | None
    definition: str | None

@type_check_only
class ReadingDict(TypedDict):
    syllable_index: int
    stress_from_end: int
    syllable_count: int
    form: str
    stressed_form: str
    word_syllables: list[str]
    ipa: str
    ipa_syllables: list[str]
    tokens: list[TokenDict]
    morph: list[MorphDict]
    confidence: str | None

@type_check_only
class LookupDict(TypedDict):
    form: str
    readings: list[ReadingDict]

def lookup(word: str) -> LookupDict:
    """Look up a Ukrainian word and return all stress variants with full phonetics and morphology."""

def lookup_many(words: Sequence[str]) -> list[LookupDict]:
    """Batch lookup for many words."""

def mark(word: str) -> str:
    """Return *word* with U+0301 after the stressed vowel of the first stress variant."""

def mark_many(words: Sequence[str]) -> list[str]:
    """Batch stress-marking for many words."""

def word_count() -> int:
    """Total number of word forms in the embedded dictionary."""

def transcribe(word: str, si: int) -> TranscriptionDict:
    """Transcribe a Ukrainian word to IPA using all 6 phonetic passes."""

"""The IPA of running text, by the text layer's conventions.

`lexovia.transcribe` transcribes one word by the word-level rules and keeps
doing so. Running text is said, and transcribe_text writes what is said:

- в before a vowel is [ʋ] (слово ˈslɔʋɔ, нові nɔ̝ˈʋi, кров'ю ˈkrɔʋʔju),
  where the word-level rule writes the non-syllabic [u̯] whenever no
  consonant follows later in the word. The passes are the engine's own:
  lexovia_text._phonetics runs them with the one switch of the driver that
  reads в so, which lexovia.transcribe never turns on. Elsewhere в after a
  vowel is the same both ways (знов znɔu̯, вовк ʋɔwk).
- ˈ stands before the stressed syllable. A word of one vowel that is a
  function word (a preposition, conjunction or particle: на, і, до, не, у,
  та, чи, же) leans on its neighbour in speech and gets none; one that is
  a content word (дім, там, я, ще) gets it.
- A hyphenated word keeps its hyphens: each part is transcribed on its own,
  with ˈ on the stress of the last stressed part and ˌ on the stresses of
  the parts before it (торгово-промисловою tɔrˌɦɔʋɔ-prɔmɪˈslɔʋɔju).
- A word the user stressed is stressed where the user's marks say.
- A syllable separator, when given, stands between the syllables of each
  word (a stress mark after it, at the start of its syllable); a word
  separator, when given, replaces everything between the words of each line,
  for pronunciation-dictionary output.
"""
from __future__ import annotations

from collections.abc import Iterator, Sequence
from typing import NamedTuple

from ._entries import Entry
from ._phonetics import speech_syllables
from ._prior import prior
from ._tokens import HYPHENS, hyphen_parts, normalise_key, part_of, part_vowel_starts, vowel_count

PRIMARY, SECONDARY = "ˈ", "ˌ"
# The largest stress the engine takes (the 0-based vowel, as 8 bits); a
# user's mark on a vowel further into a word is not transcribed as stress.
MAX_STRESS = 255

# Parts of speech of the words that lean on a neighbour: prepositions,
# conjunctions and particles.
FUNCTION = frozenset({"ADP", "CCONJ", "SCONJ", "PART"})
# Pro-forms and other closed classes that are stressed words in their own
# right when the spelling is their own lemma (там, так, що, все, тим, ледь),
# but not as a form of another lemma (та of той, чим of що), nor as the
# adverb of a preposition (за).
SELF_STANDING = frozenset({"PRON", "DET", "ADV", "NUM", "INTJ"})
# How frequent (per 10⁹ words, as the prior counts) an open-class lexeme
# spelled like a function word must be to keep the spelling a content word:
# край, раз, ніж, фон are; до the note, під "hearth", при of перти, хай of
# хаяти, повз of повзти are homographs no reader thinks of first.
FREQUENT_CONTENT = 10_000

# Answers per lower-case spelling, and transcriptions per (spelling, stress,
# mark, separator); bounded like the word cache.
CACHE_LIMIT = 200_000
_function_words: dict[str, bool] = {}
_transcriptions: dict[tuple[str, int | None, str, str], str] = {}


def is_function_word(entry: Entry) -> bool:
    """Whether a word of one vowel goes unstressed in speech: it may be a
    preposition, conjunction or particle, and none of its other analyses is
    a stressed word of its own (see SELF_STANDING and FREQUENT_CONTENT)."""
    lower = normalise_key(entry.word.lower())
    found = _function_words.get(lower)
    if found is None:
        if len(_function_words) >= CACHE_LIMIT:
            _function_words.clear()
        found = _function_words[lower] = _leans(entry, lower)
    return found


def _leans(entry: Entry, lower: str) -> bool:
    kinds = {a.pos for a in entry.all_analyses}
    if not kinds & FUNCTION:
        return False
    frequency = prior().lexeme
    for a in entry.all_analyses:
        if a.pos in FUNCTION:
            continue
        if a.pos in SELF_STANDING:
            if a.lemma == lower and "ADP" not in kinds:
                return False
        elif frequency(a) >= FREQUENT_CONTENT:
            return False
    return True


def word_ipa(word: str, stress: int | None, mark: str = PRIMARY, separator: str = "") -> str:
    """The IPA of one word (no hyphens) with vowel `stress` stressed and
    `mark` before its syllable, or no stress for None."""
    if stress is not None and stress > MAX_STRESS:
        stress = None
    key = (word, stress, mark, separator)
    ipa = _transcriptions.get(key)
    if ipa is None:
        if len(_transcriptions) >= CACHE_LIMIT:
            _transcriptions.clear()
        syllables, stressed = speech_syllables(word, stress)
        ipa = separator.join(mark + s if k == stressed else s for k, s in enumerate(syllables))
        _transcriptions[key] = ipa
    return ipa


def spoken_word(word: str, stresses: Sequence[int], separator: str = "") -> str:
    """The IPA of a word with its stressed vowels: a word without hyphens
    takes the first of them; a hyphenated one is transcribed part by part,
    the hyphens kept, the last stressed part primary and the others
    secondary."""
    if not any(h in word for h in HYPHENS):
        return word_ipa(word, stresses[0] if stresses else None, PRIMARY, separator)
    starts = part_vowel_starts(word)
    last = part_of(starts, max(stresses)) if stresses else -1
    out: list[str] = []
    end = 0
    for k, (offset, part) in enumerate(hyphen_parts(word)):
        out.append(word[end:offset])
        end = offset + len(part)
        own = [s - starts[k] for s in stresses if part_of(starts, s) == k]
        if part:
            out.append(word_ipa(part, own[0] if own else None, PRIMARY if k == last else SECONDARY, separator))
    return "".join(out)


class Spoken(NamedTuple):
    """A word of the text to transcribe: its span, its spelling without
    marks, and the vowels it is stressed on; `stresses` None keeps it as it
    is written (a word not in Ukrainian letters)."""
    start: int
    end: int
    word: str
    stresses: tuple[int, ...] | None


def _words(text: str, spoken: Sequence[Spoken], separator: str) -> Iterator[tuple[int, int, str]]:
    """(start, end, replacement) of each word; the parts of a hyphenated
    word the dictionary lacks as a whole, which come one by one with a
    single hyphen between them, are put back together first."""
    k = 0
    while k < len(spoken):
        first = spoken[k]
        if first.stresses is None:
            yield first.start, first.end, text[first.start:first.end]
            k += 1
            continue
        word, stresses, end = first.word, list(first.stresses), first.end
        vowels = vowel_count(word)
        k += 1
        while (k < len(spoken) and spoken[k].stresses is not None and spoken[k].start == end + 1
               and text[end] in HYPHENS):
            part = spoken[k]
            stresses += [vowels + s for s in part.stresses or ()]
            word += text[end] + part.word
            vowels += vowel_count(part.word)
            end = part.end
            k += 1
        yield first.start, end, spoken_word(word, stresses, separator)


def render(text: str, spoken: Sequence[Spoken], syllable_separator: str = "",
           word_separator: str | None = None) -> str:
    """text with each word replaced by its IPA; with a word separator, only
    the words of each line, joined by it, each line keeping its line
    break."""
    words = list(_words(text, spoken, syllable_separator))
    if word_separator is None:
        out: list[str] = []
        pos = 0
        for start, end, ipa in words:
            out.append(text[pos:start])
            out.append(ipa)
            pos = end
        out.append(text[pos:])
        return "".join(out)
    lines: list[str] = []
    pos = k = 0
    for line in text.splitlines(keepends=True):
        content = line.splitlines()[0]
        pos += len(line)
        here: list[str] = []
        while k < len(words) and words[k][0] < pos:
            here.append(words[k][2])
            k += 1
        lines.append(word_separator.join(here) + line[len(content):])
    return "".join(lines)

"""Stress guesses for words the dictionary lacks.

Two sources, tried in order:

- **respelling** (`respellings`): a word in an older or western spelling
  (тїло, радости, соціяльний, ґазета) is looked up as the modern spelling
  it maps to mechanically. Every rule keeps the word's vowels in number and
  order, so the modern form's stress is the same vowel of the old one.
- **the stress model** (`guess`): a linear model over the spelling around
  each vowel (core/guess/stress_model.hpp), trained on every stressed form
  of the dictionary (tools/text_data/stress_model.py) and shipped as
  stress_model.bin. It stresses every word of two or more vowels and says
  how sure it is: the confidence is the guessed vowel's softmax share
  among the word's vowels, which tracks how often guesses that sure are
  right on lexemes held out of training.
"""
from __future__ import annotations

import functools
import re
from importlib import resources

from . import _guesser, _tokens

MODEL_FILE = "stress_model.bin"

# Older spellings and their modern forms. Each rule applies everywhere in
# the word (all of them together, then each alone, so that a word which
# needs only one is found too):
# - ї after a consonant is the modern і (тїло, сїм: the Zhelekhivka
#   spelling of the 19th century, where ї marked an і that softens);
# - the genitive and dative -ости of -ість nouns is the modern -ості
#   (радости, молодости: the 1928 orthography and émigré writing);
# - ія before a consonant is the modern іа (соціяльний, матеріял: the
#   1928 orthography; a final ія, as in історія, is modern);
# - ґ in loanwords is the modern г (ґазета, ґеоґрафія).
_CONSONANT = "".join(sorted(c for c in _tokens.UKRAINIAN if c.islower() and c not in _tokens.VOWELS))
_RULES: tuple[tuple[re.Pattern[str], str], ...] = (
    (re.compile(f"(?<=[{_CONSONANT}])ї"), "і"),
    (re.compile(r"ости$"), "ості"),
    (re.compile(f"ія(?=[{_CONSONANT}])"), "іа"),
    (re.compile("ґ"), "г"),
)


def respellings(word: str) -> list[str]:
    """The modern spellings a lower-case word may stand for, most changed
    first, none equal to the word."""
    out: list[str] = []
    every = word
    for pattern, repl in _RULES:
        every = pattern.sub(repl, every)
    if every != word:
        out.append(every)
    for pattern, repl in _RULES:
        one = pattern.sub(repl, word)
        if one != word and one not in out:
            out.append(one)
    return out


@functools.cache
def model() -> bytes:
    """The shipped model image, read on first use."""
    return resources.files(__package__).joinpath(MODEL_FILE).read_bytes()


def guess(word: str) -> tuple[int, float] | None:
    """(0-based stressed vowel, confidence) of a word, or None for a word
    without a vowel."""
    return _guesser.guess(model(), word)


def guess_many(words: list[str]) -> list[tuple[int, float] | None]:
    """guess() of each word of the list, in one call."""
    return _guesser.guess_many(model(), words)

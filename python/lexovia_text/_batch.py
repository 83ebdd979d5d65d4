"""Stress or transcribe many texts in one call, for dataframes, Hugging Face
`datasets` and worker processes.

`stress_batch(texts, **options)` returns exactly
`[stress_text(t, **options) for t in texts]`, and `transcribe_batch` the same
for `transcribe_text`: the same strings in the same order, and TypeError for
an item that is not a str. Keyword options are passed through untouched, so
an option that either function gains works here without a change. What a
batch saves over that loop: a text that occurs again in the batch is
converted once; the words that the word cache lacks are looked up for a
slice of texts together, before its texts are converted one by one; and
the cyclic garbage collector waits until a slice is done.

Both are module-level functions: they pickle by reference and run in worker
processes started by fork, spawn or forkserver. A worker loads the
dictionary on its first call, or shares its parent's when it was forked
after `warm_up`.
"""
from __future__ import annotations

import gc
from collections.abc import Callable, Iterable
from typing import Any

from . import _tokens

# Texts are prepared a slice at a time, which bounds what a slice's lookups
# hold and how long the garbage collector waits, whatever the batch's size.
SLICE_CHARS = 1 << 18
# What a slice's texts are joined with to find their words in one pass: a
# line break is never part of a word, so no word straddles two texts.
JOINER = "\n"
# New words are looked up this many at a time: lexovia.lookup_many shares a
# batch of 32 words or more with a helper thread, and where every core is
# already busy (the worker processes this function is meant for) the helper
# costs more than it saves: 68,000 words of UA-GEC took 0.83 s in groups of
# 1,024 and 0.44 s in groups of 31, with the other core taken.
LOOKUP_GROUP = 31
# A passage that goes through every lazily read table of the chooser: a
# heteronym chosen by the context statistics (замок), by a preposition's
# case (до руки), words of one vowel (на, до), a variant pair (народу) and
# a word only the guesser stresses (смартфонізація).
WARM_UP_TEXT = "Старий замок стоїть на горі, а до руки народу дали новий замок. Смартфонізація."


def _items(texts: Iterable[str]) -> list[str]:
    items = texts if isinstance(texts, list) else list(texts)
    for k, t in enumerate(items):
        if not isinstance(t, str):
            raise TypeError(f"texts[{k}] is {type(t).__name__}, not str")
    return items


def _prefill(texts: list[str]) -> None:
    """Looks up the words of `texts` that the word cache lacks, a group at a
    time, before the texts ask for them a few at a time."""
    import lexovia_text
    cache = lexovia_text._cache
    words = _tokens.WORD.findall(JOINER.join(texts))
    missing = [w for w in dict.fromkeys(words) if not cache.has(w)]
    for k in range(0, len(missing), LOOKUP_GROUP):
        cache.fill(missing[k:k + LOOKUP_GROUP])


def _convert(texts: Iterable[str], one: Callable[..., str], options: dict[str, Any]) -> list[str]:
    items = _items(texts)
    # One conversion per distinct text; the result shares its strings.
    done: dict[str, str] = {}
    start = 0
    while start < len(items):
        end, size = start, 0
        while end < len(items) and (size < SLICE_CHARS or end == start):
            size += len(items[end])
            end += 1
        fresh = [t for t in dict.fromkeys(items[start:end]) if t not in done]
        # The cyclic collector waits while a slice is converted: what a
        # slice makes holds no cycles (whatever is dropped is freed at
        # once), and each collection the new word entries would set off
        # would walk every object of the process, the dictionary's tables
        # and the caller's data included.
        collecting = gc.isenabled()
        gc.disable()
        try:
            _prefill(fresh)
            for t in fresh:
                done[t] = one(t, **options)
        finally:
            if collecting:
                gc.enable()
        start = end
    return [done[t] for t in items]


def stress_batch(texts: Iterable[str], **options: Any) -> list[str]:
    """[stress_text(t, **options) for t in texts], with less work per text."""
    from . import stress_text
    return _convert(texts, stress_text, options)


def transcribe_batch(texts: Iterable[str], **options: Any) -> list[str]:
    """[transcribe_text(t, **options) for t in texts], with less work per text."""
    from . import transcribe_text
    return _convert(texts, transcribe_text, options)


def warm_up() -> None:
    """Loads the dictionary and every table that stressing and transcribing
    read on first use (the guesser's too), so that worker processes forked
    afterwards share them instead of each reading its own copy."""
    stress_batch([WARM_UP_TEXT], guess=True)
    transcribe_batch([WARM_UP_TEXT], guess=True)

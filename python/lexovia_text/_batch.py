"""Stress or transcribe many texts in one call, for dataframes, Hugging Face
`datasets` and worker processes.

`stress_batch(texts, **options)` returns exactly
`[stress_text(t, **options) for t in texts]`, and `transcribe_batch` the same
for `transcribe_text`: the same strings in the same order, and TypeError for
an item that is not a str. Keyword options are passed through untouched, so
an option that either function gains works here without a change. What a
batch saves over that loop: a text that occurs again in the batch is
converted once, and the cyclic garbage collector waits until a slice of
texts is done, instead of walking every object of the process each time
the word cache's growth sets it off.

Both are module-level functions: they pickle by reference and run in worker
processes started by fork, spawn or forkserver. A worker loads the
dictionary on its first call, or shares its parent's when it was forked
after `warm_up`.
"""
from __future__ import annotations

import gc
from collections.abc import Callable, Iterable
from typing import Any

# Texts are converted a slice at a time, which bounds how long the garbage
# collector waits and what it then has to look at, whatever the batch's size.
SLICE_CHARS = 1 << 18
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

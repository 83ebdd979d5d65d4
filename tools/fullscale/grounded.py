"""Analyses of forms pymorphy3's dictionary does not hold, taken only where
they rest on dictionary words.

pymorphy3's analyzer answers for any string. Past its dictionary it chains
units, each of which either takes the word apart into pieces it then looks
up, or guesses from the word's ending. Every analysis carries the stack of
units that made it (Parse.methods_stack), innermost first, e.g.

  ((DictionaryAnalyzer, 'зірка', para, idx), (KnownPrefixAnalyzer, 'супер'))

An analysis is grounded when every step of its stack is one of

  dictionary      DictionaryAnalyzer: a dictionary form; a dictionary form
                  with a substituted letter (the Ukrainian analyzer reads г
                  as ґ: "грунтовий" -> ґрунтовий) is labelled "substitution"
  known_prefix    KnownPrefixAnalyzer: a prefix of pymorphy3's list (авто,
                  супер, не, пере, ...) before a grounded analysis
  unknown_prefix  UnknownPrefixAnalyzer: any 1-5 letters before a dictionary
                  form; taken only right before the dictionary form (not
                  inside another step), only the shortest such prefix, only
                  before a form of UNKNOWN_PREFIX_MIN_REMAINDER letters or
                  more, and never with a hyphen in it
  hyphen          HyphenatedWordsAnalyzer with both halves analysed and
                  inflected together ("команд-учасниць" -> команда-учасниця),
                  each half grounded
  hyphen_left     HyphenatedWordsAnalyzer with an unchanging left half
                  ("науково-технічного" -> науково-технічний); the left half
                  must be a dictionary form that is its own lemma (a half
                  that is an inflected form, "художника-модельєра", inflects
                  with the word: художник-модельєр, not художника-модельєр)
                  and no preposition ("по-ізраїльському" is an adverb, not a
                  form of an adjective "по-ізраїльський"); the right half
                  grounded
  particle        HyphenSeparatedParticleAnalyzer: a grounded analysis and a
                  particle after a hyphen (-но, -таки, -бо, -от)

and the stack starts with a DictionaryAnalyzer (the ending-based guesses,
KnownSuffixAnalyzer with its FakeDictionary and UnknAnalyzer, are never
grounded). Which of these methods are used is a parameter (`methods`):
tools/fullscale/holdout.py measures each on forms the dictionary does hold.

The units are run in the analyzer's own order (dictionary, particle,
hyphenated words, known prefix, unknown prefix), and the first unit that
gives grounded analyses is the answer. Unlike MorphAnalyzer.parse, a unit
whose analyses are all guesses does not stop the search. The converter also
wants the lemma of an analysis to be a form the stress dictionary holds
(`lemma_ok`: "збурювальне" is збурю + вальне, and of the two lemmas that
gives, збурювальний and "збурювальнути", only the first is a word), and
adopts a word's analyses only when they give one lemma (`unambiguous`).

Units are recognised by class name, so this module imports nothing from
pymorphy3 and its classification can be tested on hand-made stacks.
"""
from __future__ import annotations

from collections.abc import Callable, Iterable

from ..spelling import APOSTROPHE

DICTIONARY = "DictionaryAnalyzer"
KNOWN_PREFIX = "KnownPrefixAnalyzer"
UNKNOWN_PREFIX = "UnknownPrefixAnalyzer"
HYPHENATED = "HyphenatedWordsAnalyzer"
PARTICLE = "HyphenSeparatedParticleAnalyzer"

STEP_METHODS = {KNOWN_PREFIX: "known_prefix", UNKNOWN_PREFIX: "unknown_prefix",
                PARTICLE: "particle"}
# An unknown prefix must stand before a dictionary form at least this long.
# On forms the dictionary holds (holdout.py, two samples of 1000 words, lemma
# checked against the stress dictionary, one lemma per word) its lemmas were
# right in 97.6-98.6 % of the records with 6 letters, 95.4-96.9 % with 5;
# short dictionary forms end too many unrelated words.
UNKNOWN_PREFIX_MIN_REMAINDER = 6
# The methods the converter uses: those whose lemmas were right in at least
# 95 % of the records on forms the dictionary holds (holdout.py; letter
# substitution on г/ґ doublets). Not used: "hyphen" (both halves inflected:
# 89-91 %, "бар-коду" -> бар-кода) and "particle" (too few forms the
# dictionary holds to measure it on).
ADOPTED_METHODS = frozenset({"substitution", "known_prefix", "unknown_prefix", "hyphen_left"})
# Units in the order the analyzer tries them.
UNIT_ORDER = (DICTIONARY, PARTICLE, HYPHENATED, KNOWN_PREFIX, UNKNOWN_PREFIX)


def _name(unit) -> str:
    return type(unit).__name__


def stack_methods(stack, word: str, left_ok: Callable[[str], bool]) -> frozenset[str] | None:
    """The methods an analysis of `word` rests on, or None when any step of
    its stack is a guess. `word` is the analysed form (lower case, the
    dictionary's apostrophe); `left_ok(text)` tells whether `text` may be the
    unchanging left half of a hyphenated word (see fixed_left_checker)."""
    if not stack:
        return None
    first = stack[0]
    if _name(first[0]) == HYPHENATED:
        if len(stack) != 1 or len(first) != 3 or "-" not in word:
            return None
        _, left, right = first
        left_word, right_word = word.split("-", 1)
        right_methods = stack_methods(right, right_word, left_ok)
        if right_methods is None:
            return None
        if isinstance(left, tuple):
            left_methods = stack_methods(left, left_word, left_ok)
            if left_methods is None:
                return None
            return left_methods | right_methods | {"hyphen"}
        if not left_ok(left):
            return None
        return right_methods | {"hyphen_left"}
    if _name(first[0]) != DICTIONARY:
        return None
    methods = set()
    # the word without the prefixes and particles the steps took off, from
    # the outermost in: what the dictionary was asked
    inner = word
    for step in reversed(stack[1:]):
        method = STEP_METHODS.get(_name(step[0]))
        if method is None:
            return None
        methods.add(method)
        affix = step[1]
        if method == "particle":
            inner = inner[:-len(affix)] if inner.endswith(affix) else inner
        else:
            inner = inner[len(affix):] if inner.startswith(affix) else inner
    if first[1] != inner:
        methods.add("substitution")
    return frozenset(methods)


def fixed_left_checker(units) -> Callable[[str], bool]:
    """left_ok for stack_methods: the dictionary holds `text` as the lemma of
    one of its analyses, and that analysis is no preposition."""
    dictionary = _unit(units, DICTIONARY)
    cache: dict[str, bool] = {}

    def left_ok(text: str) -> bool:
        ok = cache.get(text)
        if ok is None:
            ok = cache[text] = any(
                fixed == text and normal == text and "PREP" not in tag
                for fixed, tag, normal, *_ in dictionary.parse(text, text, set()))
        return ok
    return left_ok


def _unit(units, name: str):
    for unit in units:
        unit = getattr(unit, "analyzer", unit)
        if _name(unit) == name:
            return unit
    return None


def analyse(units, word: str, methods: Iterable[str], left_ok: Callable[[str], bool],
            hide: bool = False,
            min_remainder: int = UNKNOWN_PREFIX_MIN_REMAINDER,
            lemma_ok: Callable[[str], bool] | None = None) -> list[tuple[str, str, str]]:
    """Grounded analyses of `word` (a lookup key: lower case, apostrophe
    U+02BC) by the allowed `methods`: (method, tag text, normal form), the
    method being the outermost step ("hyphen", "known_prefix", ...). `units`
    are the analyzer's bound units (MorphAnalyzer._units items or units).

    An unknown prefix is taken only directly before a dictionary form of at
    least `min_remainder` letters, and only the shortest such prefix.
    `lemma_ok(normal form)`, if given, must hold for an analysis to count
    (the converter wants the lemma to be a form of the stress dictionary).

    `hide` leaves the dictionary's own analysis of the whole word out, as if
    the dictionary did not hold it (to measure the methods on known words)."""
    allowed = frozenset(methods)
    text = word.replace(APOSTROPHE, "'")
    by_name = {}
    for unit in units:
        unit = getattr(unit, "analyzer", unit)
        by_name.setdefault(_name(unit), unit)
    for name in UNIT_ORDER:
        unit = by_name.get(name)
        if unit is None or (hide and name == DICTIONARY):
            continue
        found = []
        for parse in unit.parse(text, text, set()):
            fixed_word, tag, normal_form, _score, stack = parse[:5]
            used = stack_methods(stack, text, left_ok)
            if used is None or not used <= allowed:
                continue
            if name == DICTIONARY and "substitution" not in used:
                continue   # the word itself, held by the dictionary
            if lemma_ok is not None and not lemma_ok(normal_form):
                continue
            prefix = ""
            if "unknown_prefix" in used:
                if len(stack) != 2 or _name(stack[1][0]) != UNKNOWN_PREFIX:
                    continue   # only directly before a dictionary form
                prefix = stack[1][1]
                if "-" in prefix or len(text) - len(prefix) < min_remainder:
                    continue   # a hyphen is for the hyphen units ("по-літньому")
            found.append((len(prefix), (_outer_method(stack, used), str(tag), normal_form)))
        if found:
            shortest = min(n for n, _ in found)
            return list(dict.fromkeys(a for n, a in found if n == shortest))
    return []


PREFIX_METHODS = frozenset({"known_prefix", "unknown_prefix"})
NAME_GRAMMEMES = frozenset({"Name", "Surn", "Patr"})


def unambiguous(found: list[tuple[str, str, str]]) -> list[tuple[str, str, str]]:
    """The analyses to adopt of those `analyse` found: none when they give
    more than one lemma (the pieces are homographs, or the word splits more
    than one way: which reading is meant is a guess), and no personal name
    made by a prefix ("зоо" + the surname Логов is not a surname)."""
    kept = [(m, tag, nf) for m, tag, nf in found
            if not (m in PREFIX_METHODS and NAME_GRAMMEMES & set(tag.replace(" ", ",").split(",")))]
    if len({nf for _m, _tag, nf in kept}) != 1:
        return []
    return kept


def _outer_method(stack, used: frozenset[str]) -> str:
    unit = stack[-1][0]
    name = _name(unit)
    if name == HYPHENATED:
        return "hyphen" if isinstance(stack[-1][1], tuple) else "hyphen_left"
    if name in STEP_METHODS:
        return STEP_METHODS[name]
    return "substitution" if "substitution" in used else "dictionary"

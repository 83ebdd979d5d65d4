"""Chooses among the stress readings of a word from its neighbours.

Each rule looks at the word's readings and at the words around it and
either keeps a subset of the readings or says nothing (None). Rules run in
the order of RULES; a rule that keeps some but not all of the remaining
readings narrows them, and the choice is made as soon as one reading is
left. What the rules leave undecided goes to the frequency prior: the
reading of the most frequent lexeme, then, within one lexeme, the most
frequent case and number for its part of speech; with no frequency known,
the lowest stress (what `lexovia.mark` gives). The name of the rule that
made the choice is kept so that `annotate` can show it.

The rules only read the morphology the dictionary holds for each reading
and the spelling of the neighbouring words; nothing in them was learnt from
an annotated corpus.
"""
from __future__ import annotations

import functools
import gzip
from collections.abc import Callable, Sequence
from importlib import resources

from ._tokens import APOSTROPHES, lookup_key
from ._entries import CLOSED_CLASS, NOMINAL, Analysis, Entry

# The cases each preposition governs (lower-case spelling). Prepositions
# are mostly one-vowel words, which the dictionary gives no morphology.
PREPOSITIONS: dict[str, frozenset[str]] = {
    p: frozenset(cases.split()) for p, cases in {
        "до": "Gen", "від": "Gen", "од": "Gen", "без": "Gen", "для": "Gen", "біля": "Gen", "коло": "Gen",
        "після": "Gen", "серед": "Gen", "крім": "Gen", "окрім": "Gen", "замість": "Gen", "проти": "Gen",
        "навколо": "Gen", "довкола": "Gen", "край": "Gen", "поблизу": "Gen", "всередині": "Gen",
        "посеред": "Gen", "щодо": "Gen", "внаслідок": "Gen", "вздовж": "Gen", "уздовж": "Gen",
        "протягом": "Gen", "впродовж": "Gen", "упродовж": "Gen", "близько": "Gen", "з-під": "Gen",
        "з-за": "Gen", "з-поміж": "Gen", "у": "Loc Acc Gen", "в": "Loc Acc Gen", "уві": "Loc Acc",
        "ві": "Loc Acc", "на": "Loc Acc", "о": "Loc Acc", "об": "Loc Acc", "по": "Loc Dat Acc",
        "при": "Loc", "з": "Gen Ins Acc", "із": "Gen Ins Acc", "зі": "Gen Ins Acc", "зо": "Gen Ins Acc",
        "за": "Ins Acc Gen", "під": "Ins Acc", "попід": "Ins Acc", "над": "Ins Acc", "понад": "Ins Acc",
        "перед": "Ins Acc", "між": "Ins Gen Acc", "поміж": "Ins Gen", "через": "Acc", "про": "Acc",
        "крізь": "Acc", "повз": "Acc", "к": "Dat", "завдяки": "Dat", "всупереч": "Dat", "наперекір": "Dat",
        "назустріч": "Dat", "згідно": "Dat", "відповідно": "Dat",
    }.items()
}
VERBAL = frozenset({"VERB", "AUX"})
# Subject pronouns: person, number and gender that the verb agrees with
# (gender only where the pronoun has one).
SUBJECTS: dict[str, tuple[str, str, str]] = {
    "я": ("1", "Sing", ""), "ти": ("2", "Sing", ""), "він": ("3", "Sing", "Masc"),
    "вона": ("3", "Sing", "Fem"), "воно": ("3", "Sing", "Neut"), "ми": ("1", "Plur", ""),
    "ви": ("2", "Plur", ""), "вони": ("3", "Plur", ""),
}


# How many times more frequent than the open-class lexemes a spelling must
# be before the function word reading is taken: a lexeme's other forms
# together are usually more frequent than any single one of them.
FUNCTION_WORD_MARGIN = 2


class Context:
    """The words of one text around the word being chosen: their entries
    (None for a gap such as a number that breaks the phrase), lower-case
    spellings, and whether each starts a sentence."""
    __slots__ = ("entries", "lower", "initial")

    def __init__(self, entries: Sequence[Entry | None], lower: Sequence[str], initial: Sequence[bool]) -> None:
        self.entries = entries
        self.lower = lower
        self.initial = initial

    def neighbour(self, i: int) -> Entry | None:
        return self.entries[i] if 0 <= i < len(self.entries) else None


Rule = Callable[[Context, int, list[int]], list[int] | None]


def _keep(entry: Entry, candidates: list[int], test: Callable[[Analysis], bool]) -> list[int]:
    return [c for c in candidates if any(test(a) for a in entry.analyses[c])]


def lower_case_is_no_name(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A word written in lower case is not a name: readings that are only
    proper nouns go (до мене, not до Ме́не)."""
    entry = ctx.entries[i]
    assert entry is not None
    if entry.word != ctx.lower[i]:
        return None
    return [c for c in candidates if any(a.pos != "PROPN" for a in entry.analyses[c])]


def capital_inside_sentence_is_a_name(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A capital that does not start a sentence marks a name: readings
    with a proper noun (or a capitalised lemma) are kept."""
    entry = ctx.entries[i]
    assert entry is not None
    if ctx.initial[i] or not entry.word[:1].isupper():
        return None
    return _keep(entry, candidates, lambda a: a.pos == "PROPN" or a.lemma[:1].isupper())


def preposition_case(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A preposition governs the case of the noun phrase after it; between
    them may stand one modifier (до моєї руки́)."""
    entry = ctx.entries[i]
    assert entry is not None
    cases = PREPOSITIONS.get(ctx.lower[i - 1]) if i >= 1 else None
    if cases is None and i >= 2:
        between = ctx.entries[i - 1]
        if between is not None and between.all_analyses and all(a.is_modifier for a in between.all_analyses):
            cases = PREPOSITIONS.get(ctx.lower[i - 2])
    if cases is None:
        return None
    return _keep(entry, candidates, lambda a: bool(a.case & cases))


def modifier_agreement(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """An adjective, determiner or numeral agrees with its noun in case,
    number and gender: the noun after it picks the modifier's reading
    (мої́ ру́ки), and the modifier before a noun picks the noun's."""
    entry = ctx.entries[i]
    assert entry is not None
    before, after = ctx.neighbour(i - 1), ctx.neighbour(i + 1)
    mods = [a for a in before.all_analyses if a.is_modifier] if before is not None else []
    if mods:
        kept = _keep(entry, candidates, lambda a: a.pos in NOMINAL and any(m.agrees_with(a) for m in mods))
        if kept:
            return kept
    nouns = [a for a in after.all_analyses if a.pos in NOMINAL] if after is not None else []
    if nouns:
        kept = _keep(entry, candidates, lambda a: a.is_modifier and any(n.agrees_with(a) for n in nouns))
        if kept:
            # A verb stands before a noun as naturally as an adjective does:
            # verb readings stay (була книжка is not бу́ла, "bulging").
            return kept + [c for c in _keep(entry, candidates, lambda a: a.pos in VERBAL) if c not in kept]
    return None


def subject_verb(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A subject pronoun just before a verb fixes its person, number and,
    in the past tense, gender (вона була́, not the adjective бу́ла)."""
    entry = ctx.entries[i]
    assert entry is not None
    subject = SUBJECTS.get(ctx.lower[i - 1]) if i >= 1 else None
    if subject is None:
        return None
    person, number, gender = subject

    def fits(a: Analysis) -> bool:
        if a.pos not in VERBAL:
            return False
        if a.person and person not in a.person:
            return False
        if a.number and number not in a.number:
            return False
        return not (gender and a.gender and gender not in a.gender)
    return _keep(entry, candidates, fits)


def function_word(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A function word (pronoun, adverb, conjunction...) spelled like a
    noun or a name wins when the spelling is far more frequent than every
    open-class lexeme among the readings: their other forms show how much of
    the spelling's frequency they could account for (ко́ли, stakes, cannot
    make коли as frequent as it is; го́рі, archaic "up", loses to гора)."""
    entry = ctx.entries[i]
    assert entry is not None
    closed = _keep(entry, candidates, lambda a: a.pos in CLOSED_CLASS)
    if not closed or len(closed) == len(candidates):
        return None
    p = prior()
    open_class = max((p.lexeme(a) for c in candidates for a in entry.analyses[c] if a.pos not in CLOSED_CLASS),
                     default=0)
    if p.form(ctx.lower[i]) <= FUNCTION_WORD_MARGIN * open_class:
        return None
    pure = [c for c in closed if all(a.pos in CLOSED_CLASS for a in entry.analyses[c])]
    return pure or closed


RULES: tuple[tuple[str, Rule], ...] = (
    ("lower-case-is-no-name", lower_case_is_no_name),
    ("capital-inside-sentence-is-a-name", capital_inside_sentence_is_a_name),
    ("preposition-case", preposition_case),
    ("modifier-agreement", modifier_agreement),
    ("subject-verb", subject_verb),
    ("function-word", function_word),
)
RULE_NAMES = tuple(name for name, _ in RULES) + ("lexeme-frequency", "case-number-frequency", "lowest-stress")


class Prior:
    """Frequencies from prior.tsv.gz (see tools/text_data/build.py)."""

    def __init__(self, lexemes: dict[tuple[str, str], int], bundles: dict[tuple[str, str, str], float],
                 forms: dict[str, int]) -> None:
        self.lexemes = lexemes
        self.bundles = bundles
        self.forms = forms

    @classmethod
    def shipped(cls) -> Prior:
        data = resources.files(__package__).joinpath("prior.tsv.gz").read_bytes()
        lexemes: dict[tuple[str, str], int] = {}
        raw: dict[tuple[str, str, str], int] = {}
        totals: dict[str, int] = {}
        forms: dict[str, int] = {}
        for line in gzip.decompress(data).decode("utf-8").splitlines():
            f = line.split("\t")
            if f[0] == "L":
                lexemes[(f[1], f[2])] = int(f[3])
            elif f[0] == "F":
                raw[(f[1], f[2], f[3])] = int(f[4])
                totals[f[1]] = totals.get(f[1], 0) + int(f[4])
            elif f[0] == "W":
                forms[f[1]] = int(f[2])
        bundles = {k: w / totals[k[0]] for k, w in raw.items()}
        return cls(lexemes, bundles, forms)

    def form(self, lower: str) -> int:
        """The frequency of a spelling with several stresses (lower case)."""
        return self.forms.get(normalise_key(lower), 0)

    def lexeme(self, a: Analysis) -> int:
        return self.lexemes.get((a.pos, a.lemma), 0)

    def bundle(self, a: Analysis) -> float:
        return self.bundles.get((a.pos, ",".join(sorted(a.case)), ",".join(sorted(a.number))), 0.0)

    def choose(self, entry: Entry, candidates: list[int]) -> tuple[int, str]:
        best = max(self.lexeme(a) for c in candidates for a in entry.analyses[c]) if entry.all_analyses else 0
        if best == 0:
            return min(candidates, key=lambda c: entry.stress[c]), "lowest-stress"
        top = [c for c in candidates if any(self.lexeme(a) == best for a in entry.analyses[c])]
        if len(top) == 1:
            return top[0], "lexeme-frequency"
        lexeme = next(a for a in entry.analyses[top[0]] if self.lexeme(a) == best)
        key = (lexeme.pos, lexeme.lemma)

        def share(c: int) -> tuple[float, int]:
            return (max((self.bundle(a) for a in entry.analyses[c] if (a.pos, a.lemma) == key), default=0.0),
                    -entry.stress[c])
        return max(top, key=share), "case-number-frequency"


def normalise_key(word: str) -> str:
    """The spelling the shipped tables key a lower-case word by: every
    apostrophe as U+02BC, the Unicode hyphens as ASCII ones."""
    for a in APOSTROPHES:
        word = word.replace(a, "\u02bc")
    return lookup_key(word)


# Read on first use, so that importing the package stays cheap.
@functools.cache
def prior() -> Prior:
    return Prior.shipped()


def choose(ctx: Context, i: int) -> tuple[int, str]:
    """(reading index, rule name) for word i of the context, which must have
    two or more readings."""
    entry = ctx.entries[i]
    assert entry is not None
    candidates = list(range(len(entry.stress)))
    for name, rule in RULES:
        kept = rule(ctx, i, candidates)
        if kept and len(kept) < len(candidates):
            candidates = kept
            if len(candidates) == 1:
                return candidates[0], name
    return prior().choose(entry, candidates)

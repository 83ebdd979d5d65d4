"""Chooses among the stress readings of a word in its sentence.

The order of evidence, each step taken only when the ones before leave
several readings:

1. the context rules (_rules.RULES), grammar that leaves no choice;
2. `context-statistics`: where the readings differ in class (case, number,
   part of speech), how well each class fits the neighbours, learned from
   running text, weighed by the frequency of the reading's lexeme
   (_statistics);
3. `lexeme-frequency`: where they are different lexemes of one class, the
   more frequent lexeme (_prior);
4. `variant-wiktionary` or `variant-paradigm`: where the readings have
   the very same analyses, the evidence of _variants;
5. `lowest-stress`: the lowest stress, which is what `lexovia.mark` gives.

The name of the step that made the choice is kept so that `annotate` can
show it; `decide` also applies the one rule that moves a stress rather than
choosing it (_rules.preposition_stress_shift).
"""
from __future__ import annotations

from . import _rules, _statistics, _variants
from ._entries import Entry
from ._prior import prior
from ._rules import Context

STATISTICS = "context-statistics"
LEXEME = "lexeme-frequency"
LOWEST = "lowest-stress"
ONLY = "only-reading"
VARIANT_PREFIX = "variant-"
RULE_NAMES = (tuple(name for name, _ in _rules.RULES) + (STATISTICS, LEXEME)
              + tuple(VARIANT_PREFIX + s for s in _variants.SIGNALS) + (LOWEST, _rules.SHIFT))


def decide(ctx: Context, i: int) -> tuple[int, int, str]:
    """(reading index, stressed vowel, rule name) for word i of the
    context, which must have at least one reading; records the chosen
    reading's analyses in the context for the words after it."""
    entry = ctx.entries[i]
    assert entry is not None and entry.stress
    if len(entry.stress) == 1:
        reading, rule = 0, ONLY
    else:
        reading, rule = choose(ctx, i)
        ctx.decided[i] = entry.analyses[reading]
    stress = entry.stress[reading]
    shifted = _rules.preposition_stress_shift(ctx, i)
    if shifted is not None and shifted != stress:
        return reading, shifted, _rules.SHIFT
    return reading, stress, rule


def choose(ctx: Context, i: int) -> tuple[int, str]:
    """(reading index, rule name) for word i of the context, which must
    have two or more readings."""
    entry = ctx.entries[i]
    assert entry is not None
    candidates = list(range(len(entry.stress)))
    for name, rule in _rules.RULES:
        kept = rule(ctx, i, candidates)
        if kept and len(kept) < len(candidates):
            candidates = kept
            if len(candidates) == 1:
                return candidates[0], name
    if len({entry.classes[c] for c in candidates}) > 1:
        candidates = _best_in_context(ctx, i, entry, candidates)
        if len(candidates) == 1:
            return candidates[0], STATISTICS
    p = prior()
    weights = {c: max((p.lexeme(a) for a in entry.analyses[c]), default=0) for c in candidates}
    if len(set(weights.values())) > 1:
        best = max(weights.values())
        candidates = [c for c in candidates if weights[c] == best]
        if len(candidates) == 1:
            return candidates[0], LEXEME
    stresses = [entry.stress[c] for c in candidates]
    preferred = _variants.order().preferred(ctx.lower[i], stresses)
    if preferred is not None:
        stress, signal = preferred
        return candidates[stresses.index(stress)], VARIANT_PREFIX + signal
    return min(candidates, key=lambda c: entry.stress[c]), LOWEST


def _best_in_context(ctx: Context, i: int, entry: Entry, candidates: list[int]) -> list[int]:
    """The candidates whose classes fit the neighbours best (several when
    they score alike); readings without a class the statistics know only
    when no reading has one."""
    model = _statistics.model()
    values = _statistics.features(model.vocabulary, ctx, i)
    lexeme = prior().lexeme
    scores = {c: model.score(entry.analyses[c], values, lexeme) for c in candidates}
    known = {c: s for c, s in scores.items() if s is not None}
    if not known:
        return candidates
    best = max(known.values())
    return [c for c in candidates if known.get(c) == best]

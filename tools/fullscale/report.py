"""The converter's report: what each source gave, what the join kept and left
out, and how the two stress sources compare, from the counters of a run
(counters.py); and the list of the frequency rules' decisions for review.
"""
from __future__ import annotations

import sys

from ..spelling import mark_stress, vowel_count
from .counters import Count, Family, Stats
from .grounded import ADOPTED_METHODS
from .sources import WORDFREQ_LANG, WORDFREQ_LIST, Wiktionary
from .stress import PROBLEMS


def cross_check(stress, wikt: Wiktionary, stats: Stats, sample_size: int = 40):
    """Compares the stresses of forms both sources hold. A Wiktionary stressed
    form agrees when its positions equal those of a stress-source variant of a
    spelling of the same class (any class if that class is missing), and is
    compatible when they are part of one (the source gives two stresses as
    both correct, Wiktionary one of them). One-vowel forms are left out.
    Returns an evenly spaced sample of the disagreements and their number."""
    both = agree = compatible = 0
    disagreements = []
    for key in sorted(wikt.links.keys() & stress.keys()):
        if vowel_count(key) < 2:
            continue
        spellings = stress[key]
        for (form, _upos, lemma), link in zip(wikt.forms[key], wikt.links[key]):
            same = [s for s in spellings if s.kind == link.kind] or spellings
            stressed = {v.positions for s in same for v in s.variants}
            both += 1
            if link.positions in stressed:
                agree += 1
            elif any(set(link.positions) <= set(p) for p in stressed):
                compatible += 1
            else:
                disagreements.append((form, lemma, sorted(mark_stress(key, p) for p in stressed)))
    stats.counts[Count.CROSSCHECK_FORMS_BOTH] = both
    stats.counts[Count.CROSSCHECK_AGREE] = agree
    stats.counts[Count.CROSSCHECK_COMPATIBLE] = compatible
    step = max(1, len(disagreements) // sample_size)
    return disagreements[::step][:sample_size], len(disagreements)


def report(stats: Stats, wikt, sample, n_dis, out=sys.stdout) -> None:
    c = stats.counts
    p = lambda *a: print(*a, file=out)  # noqa: E731
    pct = lambda a, b: f"{100.0 * a / b:.2f} %" if b else "-"  # noqa: E731
    p("== stress source")
    p(f"items read:                         {c[Count.STRESS_ITEMS]}")
    p(f"keys after normalisation:           {c[Count.STRESS_KEYS]}")
    p(f"  keys with several spellings:      {c[Count.STRESS_KEYS_COLLIDING]} "
      f"({c[Count.STRESS_KEYS_COLLIDING_DIFFERING]} with differing stresses)")
    p(f"items left out, bad characters:     {c[Count.STRESS_KEY_BAD_CHARACTER]}"
      f" (e.g. {stats.lists[Count.STRESS_KEY_BAD_CHARACTER][:12]})")
    for name, text in PROBLEMS.items():
        n = c[Family.STRESS_PROBLEM + name]
        if n:
            p(f"entries undecodable, {name}: {n} ({text}): "
              f"{stats.lists[Family.STRESS_PROBLEM + name][:10]}")
    p(f"items with nothing decodable left:  {c[Count.STRESS_KEY_UNDECODABLE]}")
    p(f"one-vowel forms without a position (only vowel marked): {c[Count.STRESS_KEY_ONE_VOWEL_MARKED]}")
    p(f"forms without a vowel (no position): {c[Count.STRESS_KEY_NO_VOWEL]}")
    p(f"forms of 2+ vowels without a position (left out): {c[Count.STRESS_KEY_NO_POSITION]}")
    p("== pymorphy3")
    p(f"dictionary items walked:            {c[Count.MORPH_ITEMS]}")
    p(f"lexemes:                            {c[Count.MORPH_LEXEMES]} "
      f"({c[Count.MORPH_LEXEMES_PROPER_BY_SPELLING]} proper by capitalised spelling)")
    p(f"stress-source keys unknown to it:   {c[Count.KEYS_STRESS_WITHOUT_MORPH]}")
    p(f"Wiktionary-only keys unknown to it: {c[Count.KEYS_WIKTIONARY_WITHOUT_MORPH]}")
    unm = {k[len(Family.UNMAPPED_GRAMMEME):]: v for k, v in c.items()
           if k.startswith(Family.UNMAPPED_GRAMMEME)}
    if unm:
        p(f"unmapped grammemes: {unm}")
    p("== grounded analyses of keys the dictionary does not hold (grounded.py)")
    keys = c[Count.GROUNDED_KEYS] + c[Count.GROUNDED_AMBIGUOUS] + c[Count.GROUNDED_NONE]
    p(f"word keys analysed:                 {keys} (phrases skipped {c[Count.GROUNDED_PHRASES_SKIPPED]})")
    methods = ", ".join(f"{m} {c[Family.GROUNDED_KEYS + m]}" for m in sorted(ADOPTED_METHODS))
    p(f"  adopted:                          {c[Count.GROUNDED_KEYS]} ({methods})")
    p(f"  several lemmas, none adopted:     {c[Count.GROUNDED_AMBIGUOUS]} "
      f"(e.g. {stats.lists[Count.GROUNDED_AMBIGUOUS][:6]})")
    p(f"  no grounded analysis:             {c[Count.GROUNDED_NONE]}")
    for m in sorted(ADOPTED_METHODS):
        p(f"  e.g. {m}: {stats.lists[Family.GROUNDED_KEYS + m][:8]}")
    p(f"analyses paired with a stress:      {c[Count.GROUNDED_ANALYSES_PAIRED]}")
    p(f"analyses dropped, no variant agrees: {c[Count.GROUNDED_DROPPED_NO_VARIANT]}")
    p(f"analyses dropped, no spelling of their class: {c[Count.GROUNDED_DROPPED_CLASS]}")
    p("== pairing")
    p(f"analyses paired with a stress:      {c[Count.ANALYSES_PAIRED]}")
    p(f"analyses dropped, no variant agrees: {c[Count.DROPPED_NO_VARIANT]}")
    p(f"analyses dropped, no spelling of their class (proper/common): {c[Count.DROPPED_CLASS]}")
    p(f"variants no analysis agrees with:   {c[Count.ORPHAN_VARIANTS]} (lemma from Wiktionary "
      f"{c[Count.ORPHAN_LEMMA_WIKTIONARY]}, from the key's analyses {c[Count.ORPHAN_LEMMA_MORPH]}, "
      f"none {c[Count.ORPHAN_NO_LEMMA]})")
    p(f"bare records left out (no lemma, no tags, stresses all carried by other records): "
      f"{c[Count.DROPPED_BARE_VARIANT]} ({c[Count.DROPPED_BARE_VARIANT_CAPITALISED]} from "
      f"capitalised spellings only)")
    if wikt:
        p("== Wiktionary")
        p(f"links used:                         {c[Count.WIKTIONARY_LINKS]}")
        p(f"keys added that the stress source lacks: {c[Count.ENTRIES_FROM_WIKTIONARY]}")
        agree, both = c[Count.CROSSCHECK_AGREE], c[Count.CROSSCHECK_FORMS_BOTH]
        comp = c[Count.CROSSCHECK_COMPATIBLE]
        p(f"cross-check: stressed forms in both sources {both}: same stress {agree} "
          f"({pct(agree, both)}), one of the source's double stresses {comp} "
          f"({pct(comp, both)}), different {n_dis} ({pct(n_dis, both)})")
        for form, lemma, ours in sample:
            p(f"  Wiktionary {form} ({lemma})  stress source {', '.join(ours)}")
    p("== frequency rules (frequency.py) and repairs (repairs.py)")
    p(f"word forms with a frequency (wordfreq {WORDFREQ_LANG} {WORDFREQ_LIST}): "
      f"{c[Count.FREQUENCY_FORMS]}")
    p(f"keys whose capitalised spelling gives another stress: names kept {c[Count.CAPITALS_KEPT]}, "
      f"names' stresses left out {c[Count.CAPITALS_DROPPED]}")
    for what in (Count.CAPITALS_DROPPED, Count.RARE_FIRST_DROPPED):
        top = sorted(stats.lists[what], key=lambda x: -x[2])[:40]
        if top:
            p(f"  most frequent keys, {what}: "
              + ", ".join(f"{k} -{'/'.join(gone)}" for k, gone, _f in top))
    p(f"keys whose rare first stress is left out: {c[Count.RARE_FIRST_DROPPED]}")
    p(f"keys repaired (repairs.tsv): {c[Count.REPAIRED]} {stats.lists[Count.REPAIRED]}")
    p(f"extra keys (respell.py): first parts of compounds {c[Count.ENTRIES_FROM_FIRST_PART]} "
      f"(e.g. {stats.lists[Count.EXTRA_FIRST_PART][:10]}), older spellings "
      f"{c[Count.ENTRIES_FROM_OLD_SPELLING]} (e.g. {stats.lists[Count.EXTRA_OLD_SPELLING][:10]})")
    p("== output")
    p(f"entries:                            {c[Count.ENTRIES]}")
    grounded = sum(c[Family.RECORDS + m] for m in ADOPTED_METHODS)
    p(f"records:                            {c[Count.RECORDS]} (from dictionary analyses "
      f"{c[Count.RECORDS_MORPH]}, from grounded analyses {grounded}, from variant tags "
      f"{c[Count.RECORDS_VARIANT]}, from Wiktionary links {c[Count.RECORDS_WIKTIONARY]})")
    p("  from grounded analyses:           "
      + ", ".join(f"{m} {c[Family.RECORDS + m]}" for m in sorted(ADOPTED_METHODS)))
    p(f"records with a lemma:               {c[Count.RECORDS_WITH_LEMMA]} "
      f"({pct(c[Count.RECORDS_WITH_LEMMA], c[Count.RECORDS])})")
    p(f"records with features:              {c[Count.RECORDS_WITH_FEATS]}")
    p(f"records with a gloss:               {c[Count.RECORDS_WITH_GLOSS]}")
    p(f"distinct lemmas:                    {c[Count.LEMMAS]}")
    p(f"distinct glosses (definitions):     {c[Count.DEFINITIONS]}")
    p(f"entries with more than one stress position: {c[Count.ENTRIES_SEVERAL_POSITIONS]}")
    p(f"keys left without records:          {c[Count.KEYS_WITHOUT_RECORDS]}")
    p(f"time {c[Count.SECONDS]} s, peak RSS {c[Count.PEAK_RSS_MB]} MB")


def write_decisions(stats: Stats, path: str) -> None:
    """Every decision of the frequency rules, one line each: rule, key, the
    stressed forms left out (empty when a name was kept), key frequency."""
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for what in (Count.CAPITALS_DROPPED, Count.RARE_FIRST_DROPPED):
            for key, gone, freq in sorted(stats.lists[what]):
                f.write(f"{what}\t{key}\t{' '.join(gone)}\t{freq:.3g}\n")
        for key in sorted(stats.lists[Count.CAPITALS_KEPT]):
            f.write(f"capitals_kept\t{key}\t\t\n")

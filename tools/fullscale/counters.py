"""The names of what the converter counts, and the tally that holds them.

Every counter the report prints is named here once and used by that name
both where it is counted and where it is reported. The tally refuses a name
it does not know, so a misspelt counter stops the build instead of printing
a silent 0. A few families of counters take the rest of their name from
data: the stress source's problem names, the methods of grounded analyses
and the origins of records, and grammemes the tag mapping lacks; those are
checked by their prefix only.
"""
from __future__ import annotations

import collections
import enum
from dataclasses import dataclass, field


class Count(enum.StrEnum):
    # the stress source
    STRESS_ITEMS = "stress_items"
    STRESS_KEYS = "stress_keys"
    STRESS_KEYS_COLLIDING = "stress_keys_colliding"
    STRESS_KEYS_COLLIDING_DIFFERING = "stress_keys_colliding_differing"
    STRESS_KEY_BAD_CHARACTER = "stress_key_bad_character"
    STRESS_KEY_UNDECODABLE = "stress_key_undecodable"
    STRESS_KEY_NO_VOWEL = "stress_key_no_vowel"
    STRESS_KEY_ONE_VOWEL_MARKED = "stress_key_one_vowel_marked"
    STRESS_KEY_NO_POSITION = "stress_key_no_position"
    # Wiktionary
    WIKTIONARY_LINKS = "wiktionary_links"
    WIKTIONARY_BAD_MARK = "wiktionary_bad_mark"
    # pymorphy3's dictionary
    MORPH_ITEMS = "morph_items"
    MORPH_LEXEMES = "morph_lexemes"
    MORPH_LEXEMES_PROPER_BY_SPELLING = "morph_lexemes_proper_by_spelling"
    KEYS_STRESS_WITHOUT_MORPH = "keys_stress_without_morph"
    KEYS_WIKTIONARY_WITHOUT_MORPH = "keys_wiktionary_without_morph"
    # word frequencies
    FREQUENCY_FORMS = "frequency_forms"
    # grounded analyses
    GROUNDED_PHRASES_SKIPPED = "grounded_phrases_skipped"
    GROUNDED_NONE = "grounded_none"
    GROUNDED_AMBIGUOUS = "grounded_ambiguous"
    GROUNDED_KEYS = "grounded_keys"
    GROUNDED_ANALYSES_PAIRED = "grounded_analyses_paired"
    GROUNDED_DROPPED_CLASS = "grounded_dropped_class"
    GROUNDED_DROPPED_NO_VARIANT = "grounded_dropped_no_variant"
    # pairing
    ANALYSES_PAIRED = "analyses_paired"
    DROPPED_CLASS = "dropped_class"
    DROPPED_NO_VARIANT = "dropped_no_variant"
    ORPHAN_VARIANTS = "orphan_variants"
    ORPHAN_LEMMA_WIKTIONARY = "orphan_lemma_wiktionary"
    ORPHAN_LEMMA_MORPH = "orphan_lemma_morph"
    ORPHAN_NO_LEMMA = "orphan_no_lemma"
    DROPPED_BARE_VARIANT = "dropped_bare_variant"
    DROPPED_BARE_VARIANT_CAPITALISED = "dropped_bare_variant_capitalised"
    # the two sources compared
    CROSSCHECK_FORMS_BOTH = "crosscheck_forms_both"
    CROSSCHECK_AGREE = "crosscheck_agree"
    CROSSCHECK_COMPATIBLE = "crosscheck_compatible"
    # frequency rules, repairs and extra keys
    CAPITALS_KEPT = "capitals_kept"
    CAPITALS_DROPPED = "capitals_dropped"
    RARE_FIRST_DROPPED = "rare_first_dropped"
    REPAIRED = "repaired"
    EXTRA_FIRST_PART = "extra_first_part"
    EXTRA_OLD_SPELLING = "extra_old_spelling"
    # the output
    ENTRIES = "entries"
    ENTRIES_FROM_STRESS = "entries_from_stress"
    ENTRIES_FROM_WIKTIONARY = "entries_from_wiktionary"
    ENTRIES_FROM_FIRST_PART = "entries_from_first_part"
    ENTRIES_FROM_OLD_SPELLING = "entries_from_old_spelling"
    ENTRIES_SEVERAL_POSITIONS = "entries_several_positions"
    KEYS_WITHOUT_RECORDS = "keys_without_records"
    RECORDS = "records"
    RECORDS_MORPH = "records_morph"
    RECORDS_VARIANT = "records_variant"
    RECORDS_WIKTIONARY = "records_wiktionary"
    RECORDS_WITH_LEMMA = "records_with_lemma"
    RECORDS_WITH_FEATS = "records_with_feats"
    RECORDS_WITH_GLOSS = "records_with_gloss"
    LEMMAS = "lemmas"
    DEFINITIONS = "definitions"
    # the run
    SECONDS = "seconds"
    PEAK_RSS_MB = "peak_rss_mb"


class Family(enum.StrEnum):
    """Prefixes of counters whose name ends in a word from the data."""
    STRESS_PROBLEM = "stress_problem_"        # + a name of stress.PROBLEMS
    GROUNDED_KEYS = "grounded_keys_"          # + the method of a grounded analysis
    RECORDS = "records_"                      # + the origin of a record
    UNMAPPED_GRAMMEME = "morph_unmapped_grammeme_"  # + the grammeme


def entries_from(origin: str) -> str:
    """The counter of entries whose stresses come from `origin`."""
    return Count(f"entries_from_{origin}")


def extra_list(origin: str) -> str:
    """The list of the extra keys of `origin` (respell.py)."""
    return Count(f"extra_{origin}")


def without_morph(origin: str) -> str:
    """The counter of keys from `origin` that pymorphy3's dictionary lacks."""
    return Count(f"keys_{origin}_without_morph")


_NAMES = frozenset(Count)
_FAMILIES = tuple(str(f) for f in Family)


def check(name: str) -> str:
    """`name` when it names a counter; KeyError otherwise."""
    if name in _NAMES or name.startswith(_FAMILIES):
        return name
    raise KeyError(f"no counter is named {name!r}")


class Tally(collections.Counter):
    """A Counter of counters named in this module only.

    The name is checked when it is first read, which every count (`+= 1`)
    and every report line does; counting itself stays at dict speed, which
    matters for the tens of millions of counts of a full run."""

    def __missing__(self, name):
        check(name)
        return 0


class Lists(collections.defaultdict):
    """Examples by counter name, of counters named in this module only."""

    def __init__(self):
        super().__init__(list)

    def __missing__(self, name):
        return super().__missing__(check(name))


@dataclass
class Stats:
    counts: Tally = field(default_factory=Tally)
    examples: dict = field(default_factory=dict)
    lists: Lists = field(default_factory=Lists)

    def note(self, what: str, example=None, keep: int = 0) -> None:
        self.counts[what] += 1
        if example is not None:
            self.examples.setdefault(what, example)
            if keep and len(self.lists[what]) < keep:
                self.lists[what].append(example)

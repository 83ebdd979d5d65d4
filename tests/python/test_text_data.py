"""The data lexovia_text ships and the guesser that reads its ending table."""
import math
from importlib import resources

import pytest

from lexovia_text import _entries, _guess, _prior, _statistics, _variants

# Shipped data must stay small beside the dictionary image.
MAX_DATA_BYTES = 3 * 1024 * 1024


class TestEndingTable:
    # (form, syllables, stress from end) of an invented dictionary.
    WORDS = [
        ("вода", 2, 1), ("руда", 2, 1), ("біда", 2, 1),
        ("мама", 2, 2), ("рама", 2, 2), ("дама", 2, 2), ("яма", 2, 2),
        ("кавуна", 3, 1), ("лимона", 3, 1), ("ананаса", 4, 2),
        # -ння: the three-syllable words agree, the two-syllable ones do not
        ("читання", 3, 2), ("писання", 3, 2), ("питання", 3, 2), ("знання", 2, 1), ("вміння", 2, 2),
    ]

    @pytest.fixture
    def table(self):
        return _guess.EndingTable(_guess.build_table(self.WORDS))

    @pytest.mark.parametrize("form, expected", [
        ("нуда", 1),          # -уда, -да: last syllable
        ("гама", 2),          # -ама: first of two
        ("співання", 2),      # -ання with three syllables
        ("слово", None),      # no dictionary word ends like it
        ("дім", None),        # one syllable: nothing to guess
    ])
    def test_guesses(self, table, form, expected):
        assert table.guess(form) == expected

    def test_syllable_count_must_match(self, table):
        # -ама words all have two syllables; a three-syllable one gets none.
        assert table.guess("панорама") is None

    def test_disagreeing_words_give_no_guess(self):
        words = [("ака", 2, 1), ("бака", 2, 2), ("вака", 2, 1), ("гака", 2, 2)]
        assert _guess.EndingTable(_guess.build_table(words)).guess("дака") is None

    def test_rows_a_shorter_ending_answers_are_left_out(self):
        rows = _guess.build_table([("вода", 2, 1), ("руда", 2, 1), ("біда", 2, 1)])
        assert rows == {("а", 2): 1}


class TestShippedData:
    @pytest.mark.parametrize("name", ["prior.tsv.gz", "endings.tsv.gz", "short.tsv.gz", "context.tsv.gz",
                                      "variants.tsv.gz"])
    def test_compact(self, name):
        size = len(resources.files("lexovia_text").joinpath(name).read_bytes())
        assert 0 < size < MAX_DATA_BYTES

    def test_prior_reads(self):
        prior = _prior.Prior.shipped()
        assert prior.lexemes and prior.forms
        assert prior.form("руки") > 0        # a frequent heteronym

    def test_short_words_read(self):
        short = _entries.short_analyses()
        # Modifiers, subjects and numerals of one vowel, with their grammar.
        assert any(a.is_modifier and "Plur" in a.number and "Nom" in a.case for a in short["ці"])
        assert any(a.lemma == "той" and "Fem" in a.gender for a in short["ту"])
        assert any(a.pos == "NUM" for a in short["два"])
        assert all(len(form) and "\u0301" not in form for form in short)

    def test_context_statistics_read(self):
        model = _statistics.model()
        assert "до" in model.vocabulary and "на" in model.vocabulary
        assert model.knows("NOUN|Gen|Sing") and model.knows("VERB|Fin|Ind|Past|Plur")
        # Every class's shares within its part of speech add up to one.
        nouns = sum(math.exp(v) for c, v in model._share.items() if c.startswith("NOUN|"))
        assert nouns == pytest.approx(1.0)
        # The preposition до is followed by the genitive far more than by the nominative.
        values = ("Wдо", "EOS", "BOS", "EOS")
        assert model.log_likelihood("NOUN|Gen|Sing", values) > model.log_likelihood("NOUN|Nom|Plur", values)

    def test_variants_read(self):
        order = _variants.order()
        assert order.preferred("народу", [0, 1]) == (1, "wiktionary")
        signals = {signal for _, signal in order._rows.values()}
        assert signals == set(_variants.SIGNALS)

    def test_guesser_reads(self):
        table = _guess.EndingTable.shipped()
        assert table.guess("смартфонізація") == 3   # смартфоніза́ція

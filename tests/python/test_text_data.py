"""The data lexovia_text ships, read by the modules that use it."""
import math
from importlib import resources

import pytest

from lexovia_text import _entries, _guess, _prior, _statistics, _variants

# Shipped data must stay small beside the dictionary image; the stress
# model has a budget of its own.
MAX_DATA_BYTES = 3 * 1024 * 1024
MAX_MODEL_BYTES = 15 * 1024 * 1024


class TestShippedData:
    @pytest.mark.parametrize("name", ["prior.tsv.gz", "short.tsv.gz", "context.tsv.gz", "variants.tsv.gz"])
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

    def test_stress_model_reads(self):
        assert 0 < len(_guess.model()) < MAX_MODEL_BYTES
        vowel, confidence = _guess.guess("смартфонізація")
        assert vowel == 3 and 0.5 < confidence <= 1   # смартфоніза́ція

"""The builders of lexovia_text's data: how they count and decide, on
invented inputs (the real sources are read only by the build itself)."""
from types import SimpleNamespace

import pytest

from tools.text_data import context, short_words, variants


class TestClassWeights:
    NOUN_GEN_SG, NOUN_NOM_PL, NOUN_VOC_PL = "NOUN|Gen|Sing", "NOUN|Nom|Plur", "NOUN|Voc|Plur"
    NOUN_VOC_SG, NOUN_ACC_PL = "NOUN|Voc|Sing", "NOUN|Acc|Plur"

    def test_syncretic_forms_spread_by_what_unambiguous_forms_show(self):
        tokens = ([[self.NOUN_GEN_SG]] * 8 + [["NOUN|Nom|Sing"]] * 10 + [[self.NOUN_VOC_SG]]
                  + [[self.NOUN_NOM_PL, self.NOUN_ACC_PL, self.NOUN_VOC_PL]] * 5)
        weight = context.class_weights(tokens)
        # The vocative is rare where the case is certain, so the nominative
        # plural's form gives it a small share.
        shares = context.spread([self.NOUN_NOM_PL, self.NOUN_ACC_PL, self.NOUN_VOC_PL], weight)
        assert sum(shares.values()) == pytest.approx(1.0)
        assert shares[self.NOUN_VOC_PL] < shares[self.NOUN_NOM_PL] / 5

    def test_parts_of_speech_share_a_token_evenly(self):
        weight = context.class_weights([[self.NOUN_GEN_SG], ["ADV"], ["VERB|Fin|Imp||Sing"]])
        shares = context.spread([self.NOUN_GEN_SG, "ADV", "VERB|Fin|Imp||Sing"], weight)
        assert shares == pytest.approx({self.NOUN_GEN_SG: 1 / 3, "ADV": 1 / 3, "VERB|Fin|Imp||Sing": 1 / 3})

    def test_a_token_without_classes_counts_nowhere(self):
        assert context.spread([], {}) == {}

    def test_classes_of_words_that_do_not_decline_weigh_alike(self):
        weight = context.class_weights([["VERB|Fin|Ind|Past|Plur"], ["ADV", "PART"]])
        assert weight == {"VERB|Fin|Ind|Past|Plur": 1.0, "ADV": 1.0, "PART": 1.0}


def reading(stress, *analyses):
    return {"syllable_index": stress,
            "morph": [{"pos": [pos], "lemma": lemma, "feats": feats} for pos, lemma, feats in analyses]}


GEN = ("NOUN", "народ", {"Case": ["Gen"], "Number": ["Sing"]})
DAT = ("NOUN", "народ", {"Case": ["Dat"], "Number": ["Sing"]})
NOM_PL = ("NOUN", "рука", {"Case": ["Nom"], "Number": ["Plur"]})


class TestTiedStresses:
    @pytest.mark.parametrize("readings, expected", [
        # наро́ду / на́роду: the very same analyses
        ([reading(0, GEN, DAT), reading(1, GEN, DAT)], ([0, 1], {"народ"}, {"Sing"})),
        # ру́ки / руки́: different cases, no tie
        ([reading(0, NOM_PL), reading(1, ("NOUN", "рука", {"Case": ["Gen"], "Number": ["Sing"]}))],
         ([], set(), set())),
        # a reading without analyses ties with nothing
        ([reading(0), reading(1)], ([], set(), set())),
        ([reading(0, GEN)], ([], set(), set())),
    ])
    def test_ties(self, readings, expected):
        assert variants.tied_stresses(readings) == expected


class TestParadigmSupport:
    def test_forms_with_one_stress_on_the_shared_stem_vote(self):
        paradigms = variants.Paradigms()
        paradigms.stress = {
            "народ": {"народ": {1}},          # наро́д
            "народом": {"народ": {0, 1}},     # tied itself: no vote
            "народові": {"народ": {1}},       # наро́дові
            "нарід": {"нарід": {0}},          # another lemma
        }
        votes = paradigms.support("народу", "народ", {"народ", "народом", "народові", "нарід"}, [0, 1])
        assert votes == {1: 2}

    def test_a_stress_past_the_shared_stem_says_nothing(self):
        paradigms = variants.Paradigms()
        paradigms.stress = {"року": {"рік": {1}}}      # року́: an ending роках does not share
        assert paradigms.support("роках", "рік", {"року"}, [0, 1]) == {}

    @pytest.mark.parametrize("word, ordinal, char", [("народу", 0, 1), ("народу", 2, 5), ("дм", 0, -1)])
    def test_vowel_char(self, word, ordinal, char):
        assert variants.vowel_char(word, ordinal) == char

    def test_forms_of_a_noun_keep_its_number(self):
        class Tag:
            def __init__(self, number):
                self.number = number

            def __contains__(self, grammeme):
                return grammeme == "NOUN"

        class Parse:
            normal_form = "рік"
            methods_stack = ((type("DictionaryAnalyzer", (), {})(),),)
            lexeme = [SimpleNamespace(word="рік", tag=Tag("sing")), SimpleNamespace(word="року", tag=Tag("sing")),
                      SimpleNamespace(word="роках", tag=Tag("plur")), SimpleNamespace(word="рокам", tag=Tag("plur"))]

        analyzer = SimpleNamespace(parse=lambda word: [Parse()])
        paradigms = variants.Paradigms(analyzer)
        assert paradigms.forms("роках", "рік", {"Plur"}) == {"рокам"}
        assert paradigms.forms("роках", "рік", set()) == {"рік", "року", "рокам"}


class TestShortWords:
    def parse(self, tag, normal_form, unit):
        return SimpleNamespace(tag=tag, normal_form=normal_form, methods_stack=((unit(), "ці"),))

    def test_only_the_dictionarys_own_analyses(self):
        dictionary = type("DictionaryAnalyzer", (), {})
        guess = type("KnownSuffixAnalyzer", (), {})
        analyzer = SimpleNamespace(parse=lambda form: [
            self.parse("NPRO,plur nomn", "цей", dictionary),
            self.parse("NPRO,plur nomn", "цей", dictionary),          # the same analysis twice
            self.parse("NOUN,inan masc,nomn", "цій", guess),           # a guess from the ending
            self.parse("NOUN,inan masc,gent,Abbr", "ці", dictionary),  # an abbreviation
        ])
        assert short_words.dictionary_analyses(analyzer, "ці") == [("PRON", "Case=Nom|Number=Plur", "цей")]

"""Stresses for words the dictionary lacks: older spellings read as modern
ones, the stress model, and how the text functions use both."""
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia
import lexovia_text
from lexovia_text import _guess, _guesser

UKRAINIAN = "абвгґдеєжзиіїйклмнопрстуфхцчшщьюяʼ"


class TestRespellings:
    @pytest.mark.parametrize("word, expected", [
        ("тїло", ["тіло"]),                   # ї after a consonant
        ("радости", ["радості"]),             # -ости of an -ість noun
        ("соціяльний", ["соціальний"]),       # ія before a consonant
        ("ґазета", ["газета"]),               # ґ in a loanword
        # several rules: all of them first, then each alone
        ("ґазетї", ["газеті", "ґазеті", "газетї"]),
        # nothing to respell: modern ї, final ія, ї after a vowel or an apostrophe
        ("їжак", []), ("історія", []), ("мої", []), ("сімʼї", []), ("мама", []), ("", []),
    ])
    def test_respellings(self, word, expected):
        assert _guess.respellings(word) == expected

    @given(st.text(alphabet=UKRAINIAN, max_size=20))
    def test_vowels_keep_their_number_and_order(self, word):
        vowels = [c for c in word if c in "аеєиіїоуюя"]
        for modern in _guess.respellings(word):
            assert len([c for c in modern if c in "аеєиіїоуюя"]) == len(vowels)
            assert modern != word


class TestModelModule:
    def test_guess_and_guess_many_agree(self):
        words = ["смартфонізація", "кавуномобілями", "брр", "", "КАВУНОМОБІЛЯМИ"]
        many = _guesser.guess_many(_guess.model(), words)
        assert many == [_guesser.guess(_guess.model(), w) for w in words]
        assert many[2] is None and many[3] is None
        assert many[1] == many[4]   # read lower-cased

    @pytest.mark.parametrize("call", [
        lambda: _guesser.guess(_guess.model(), 5),
        lambda: _guesser.guess_many(_guess.model(), ("мама",)),
        lambda: _guesser.guess_many(_guess.model(), ["мама", None]),
        lambda: _guesser.guess(None, "мама"),
        lambda: _guesser.guess(_guess.model()),
        lambda: _guesser.feature_rows(["мама"], "22"),
        lambda: _guesser.feature_rows("мама", 22),
    ])
    def test_wrong_types(self, call):
        with pytest.raises(TypeError):
            call()

    @pytest.mark.parametrize("model", [b"", b"LXSM", _guess.model()[:-1], b"XXXX" + _guess.model()[4:]])
    def test_a_wrong_model_is_a_value_error(self, model):
        with pytest.raises(ValueError, match="not a stress model image"):
            _guesser.guess(model, "мама")

    @pytest.mark.parametrize("bits", [9, 27, -1])
    def test_feature_bits_out_of_range(self, bits):
        with pytest.raises(ValueError, match="bits"):
            _guesser.feature_rows(["мама"], bits)

    def test_feature_rows_hold_together(self):
        import array
        words = ["мама", "брр", "перепрограмування"]
        rows, sizes, candidates = (array.array("I", b) for b in _guesser.feature_rows(words, 16))
        assert list(candidates) == [2, 0, 7]
        assert len(sizes) == 9 and sum(sizes) == len(rows)
        assert all(r < 2 ** 16 for r in rows)

    def test_a_lone_surrogate_is_an_encoding_error(self):
        with pytest.raises(UnicodeEncodeError):
            _guesser.guess(_guess.model(), "ма\ud800ма")

    @settings(max_examples=300)
    @given(st.lists(st.text(max_size=30), max_size=20))
    def test_never_fails_on_any_words(self, words):
        words = [w.encode("utf-8", "replace").decode("utf-8") for w in words]
        for w, g in zip(words, _guesser.guess_many(_guess.model(), words)):
            vowels = sum(1 for c in w.lower() if c in "аеєиіїоуюя")
            if vowels == 0:
                assert g is None
            else:
                assert 0 <= g[0] < vowels and 0 < g[1] <= 1


class TestModel:
    # Words no dictionary has, in formations whose stress their suffix tells.
    @pytest.mark.parametrize("word, vowel", [
        ("смартфонізація", 3),      # -а́ція
        ("перепрограмування", 5),   # -ува́ння
        ("кавуномобілями", 4),      # a noun in -і́ль: the instrumental plural keeps the stem's stress
    ])
    def test_guesses(self, word, vowel):
        assert _guess.guess(word)[0] == vowel


class TestInText:
    def test_respelled_words_take_the_modern_words_stress(self):
        (word,) = lexovia_text.annotate("тїло", guess=True)
        assert (word.rule, word.stress, word.guess, word.confidence, word.readings) == \
            ("respelling", 0, True, None, [])
        assert lexovia_text.stress_text("Ґазета", guess=True) == "Ґазе́та"

    def test_model_guesses_carry_their_confidence(self):
        (word,) = lexovia_text.annotate("смартфонізація", guess=True)
        assert word.rule == "guess" and word.guess and 0.5 < word.confidence <= 1

    def test_other_words_have_no_confidence(self):
        assert all(w.confidence is None for w in lexovia_text.annotate("Мої руки, сі́м'я", guess=True))

    def test_nothing_without_guess(self):
        text = "Тїло смартфонізація"
        assert lexovia_text.stress_text(text, guess=False) == text
        assert all(w.stress is None and w.rule is None for w in lexovia_text.annotate(text, guess=False))

    def test_guessing_is_the_default(self):
        text = "Тїло смартфонізація"
        assert lexovia_text.stress_text(text) == lexovia_text.stress_text(text, guess=True) == "Тї́ло смартфоніза́ція"
        assert [w.rule for w in lexovia_text.annotate(text)] == ["respelling", "guess"]

    def test_an_unknown_hyphenated_word_is_guessed_part_by_part(self):
        words = list(lexovia_text.annotate("смартфонізація-кавуномобіль", guess=True))
        assert [(w.text, w.rule) for w in words] == [("смартфонізація", "guess"), ("кавуномобіль", "guess")]
        assert lexovia_text.stress_text("смартфонізація-кавуномобіль", guess=True).count("\u0301") == 2

    def test_every_cyrillic_word_of_two_vowels_gets_a_stress(self):
        text = "Шпундрики кавуномобілять ґазетї, а фрумзики бздумкали."
        for w in lexovia_text.annotate(text, guess=True):
            if sum(1 for c in w.text.lower() if c in "аеєиіїоуюя") >= 2:
                assert w.stress is not None, w.text

    @settings(max_examples=100, deadline=None)
    @given(st.lists(st.sampled_from(["руки", "замок", "мама", "сім'я", "до", "води", "шпундрик", "радости",
                                     "кавуномобіль", "Київ", "брр", "вони", "ґазетї", "тїло", "не"]), max_size=12))
    def test_no_word_the_dictionary_has_changes(self, words):
        text = " ".join(words)
        plain = list(lexovia_text.annotate(text, guess=False))
        guessed = list(lexovia_text.annotate(text, guess=True))
        assert [w.text for w in plain] == [w.text for w in guessed]
        for a, b in zip(plain, guessed):
            if a.readings:
                assert (a.stress, a.stresses, a.rule) == (b.stress, b.stresses, b.rule)
            else:
                assert a.stress is None and (b.stress is not None) == (b.guess and b.rule is not None)

    def test_the_words_tested_here_are_unknown_to_the_dictionary(self):
        for w in ["тїло", "ґазета", "смартфонізація", "кавуномобілями", "кавуномобіль", "шпундрик", "ґазетї"]:
            assert lexovia.lookup(w)["readings"] == [], w

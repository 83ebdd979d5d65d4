"""Stresses for words the dictionary lacks: older spellings read as modern
ones, the stress model, and how the text functions use both."""
import array

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia
import lexovia_text
from lexovia_text import _guess, _guesser, _tokens

# None of these is in the dictionary (checked below).
UNKNOWN = ["тїло", "ґазета", "ґазетї", "смартфонізація", "кавуномобіль", "шпундрик"]


def test_the_unknown_words_are_unknown():
    assert all(lexovia.lookup(w)["readings"] == [] for w in UNKNOWN)


@pytest.mark.parametrize("word, expected", [
    ("тїло", ["тіло"]),                   # ї after a consonant
    ("радости", ["радості"]),             # -ости of an -ість noun
    ("соціяльний", ["соціальний"]),       # ія before a consonant
    ("ґазета", ["газета"]),               # ґ in a loanword
    ("ґазетї", ["газеті", "ґазеті", "газетї"]),   # all rules first, then each alone
    # nothing to respell: modern ї, final ія, ї after a vowel or an apostrophe
    ("їжак", []), ("історія", []), ("мої", []), ("сімʼї", []), ("", []),
])
def test_respellings(word, expected):
    assert _guess.respellings(word) == expected


@given(st.text(alphabet="абвгґдеєжзиіїйклмнопрстуфхцчшщьюяʼ", max_size=20))
def test_respelling_keeps_the_vowels_in_number(word):
    assert all(_tokens.vowel_count(m) == _tokens.vowel_count(word) for m in _guess.respellings(word))


@pytest.mark.parametrize("call, error", [
    (lambda: _guesser.guess(_guess.model(), 5), TypeError),
    (lambda: _guesser.guess_many(_guess.model(), ("мама",)), TypeError),
    (lambda: _guesser.guess_many(_guess.model(), ["мама", None]), TypeError),
    (lambda: _guesser.feature_rows(["мама"], "22"), TypeError),
    (lambda: _guesser.guess(_guess.model(), "ма\ud800ма"), UnicodeEncodeError),
    (lambda: _guesser.guess(_guess.model()[:-1], "мама"), ValueError),
    (lambda: _guesser.guess(b"XXXX" + _guess.model()[4:], "мама"), ValueError),
    (lambda: _guesser.feature_rows(["мама"], 9), ValueError),
])
def test_bad_arguments(call, error):
    with pytest.raises(error):
        call()


def test_feature_rows_hold_together():
    rows, sizes, candidates = (array.array("I", b) for b in _guesser.feature_rows(["мама", "брр", "кавуномобіль"], 16))
    assert list(candidates) == [2, 0, 5] and len(sizes) == 7 and sum(sizes) == len(rows)
    assert max(rows) < 2 ** 16


@settings(max_examples=300)
@given(st.lists(st.text(max_size=30).map(lambda w: w.encode("utf-8", "replace").decode()), max_size=20))
def test_never_fails_and_agrees_word_by_word(words):
    found = _guess.guess_many(words)
    assert found == [_guess.guess(w) for w in words]
    for w, g in zip(words, found):
        vowels = _tokens.vowel_count(w.lower())
        assert (g is None) if vowels == 0 else (0 <= g[0] < vowels and 0 < g[1] <= 1)


@pytest.mark.parametrize("options, expected, rules", [
    ({}, "Тї́ло смартфоніза́ція", ["respelling", "guess"]),     # guessing is the default
    ({"guess": False}, "Тїло смартфонізація", [None, None]),
])
def test_unknown_words_in_text(options, expected, rules):
    text = "Тїло смартфонізація"
    assert lexovia_text.stress_text(text, **options) == expected
    words = list(lexovia_text.annotate(text, **options))
    assert [w.rule for w in words] == rules
    assert [w.confidence is not None for w in words] == [False, rules[1] == "guess"]
    assert all(w.readings == [] and w.guess == (w.rule is not None) for w in words)


def test_an_unknown_hyphenated_word_is_guessed_part_by_part():
    words = list(lexovia_text.annotate("смартфонізація-кавуномобіль"))
    assert [(w.text, w.rule) for w in words] == [("смартфонізація", "guess"), ("кавуномобіль", "guess")]
    assert all(0.5 < w.confidence <= 1 for w in words)


@settings(max_examples=100, deadline=None)
@given(st.lists(st.sampled_from(UNKNOWN + ["руки", "замок", "сім'я", "до", "Київ", "брр", "вони", "не"]),
                max_size=12))
def test_every_word_gets_a_stress_and_no_dictionary_word_changes(words):
    text = " ".join(words)
    plain, guessed = list(lexovia_text.annotate(text, guess=False)), list(lexovia_text.annotate(text))
    for a, b in zip(plain, guessed, strict=True):
        if a.readings:
            assert (a.stress, a.stresses, a.rule) == (b.stress, b.stresses, b.rule)
        else:
            assert a.stress is None and (b.stress is not None) == (_tokens.vowel_count(b.text) >= 2)

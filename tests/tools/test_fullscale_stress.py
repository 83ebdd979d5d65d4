"""Decoding the stress dictionary's values and converting its positions."""

import pytest

from tools.spelling import mark_stress, normalize_word as normalize_key, stressed_positions
from tools.fullscale.stress import Variant, decode_tags, decode_value, vowel_ordinals

F = frozenset


@pytest.mark.parametrize("key, value, variants, problems", [
    # plain: one byte, the index just after the stressed vowel
    ("поперевалювати", b"\x08", [Variant((3,))], []),
    ("мама", b"\x02", [Variant((0,))], []),
    # several positions at once, given out of order
    ("кутас", b"\x04\x02", [Variant((0, 1))], []),
    # capital vowels count like lower-case ones, apostrophe and hyphen do not
    ("Ів'янка-Ола", b"\x01\x04\x09", [Variant((0, 1, 3))], []),
    # phrase: positions in both words
    ("після того", b"\x02\x08", [Variant((0, 2))], []),
    # empty value: no position, no problem
    ("бук", b"", [], []),
    # index 0 would be the character before the key
    ("мама", b"\x00", [], ["not_a_vowel"]),
    # index past the end of the key
    ("мама", b"\x05", [], ["not_a_vowel"]),
    # a consonant: the whole plain value is refused
    ("Кончею-Заспою", b"\x02\x08", [], ["not_a_vowel"]),
    # tagged: руки́ genitive singular, ру́ки nominative/accusative/vocative plural
    ("руки", b"\x02\xfe\x12 j2\xff\x04\xfe\x11!j2\xff\x02\xfe\x12#j2\xff",
     [Variant((0,), F({"NOUN"}), (("Case", F({"Nom"})), ("Gender", F({"Fem"})), ("Number", F({"Plur"})))),
      Variant((1,), F({"NOUN"}), (("Case", F({"Gen"})), ("Gender", F({"Fem"})), ("Number", F({"Sing"})))),
      Variant((0,), F({"NOUN"}), (("Case", F({"Acc"})), ("Gender", F({"Fem"})), ("Number", F({"Plur"}))))],
     []),
    # tagged with two positions in one entry, and a bare VERB entry
    ("улежала", b"\x03\x05\xfe\x11 2b\xff\x03\xfe\x11g\xff",
     [Variant((1, 2), F({"ADJ"}), (("Case", F({"Nom"})), ("Gender", F({"Fem"})), ("Number", F({"Sing"})))),
      Variant((1,), F({"VERB"}), (("Number", F({"Sing"})),))],
     []),
    # one bad entry is left out, the good one stays
    ("Зміїнім острові", b"\x04\x09\xfe\x11%h\xff\x04\x0a\xfe\x11%h\xff",
     [Variant((1, 3), F({"PROPN"}), (("Case", F({"Loc"})), ("Number", F({"Sing"}))))],
     ["not_a_vowel"]),
    # infinitive / converb / impersonal tags
    ("читати", b"\x04\xfeAg\xff\x02\xfeBg\xff\x06\xfeP\xff",
     [Variant((1,), F({"VERB"}), (("VerbForm", F({"Inf"})),)),
      Variant((0,), F({"VERB"}), (("VerbForm", F({"Conv"})),)),
      Variant((2,), F(), (("Person", F({"0"})),))],
     []),
    # unknown tag byte, entry without positions, missing terminator
    ("мама", b"\x02\xfe\x7f\xff", [], ["unknown_tag"]),
    ("мама", b"\xfe\x11\xff\x04\xfe\x12\xff", [Variant((1,), F(), (("Number", F({"Plur"})),))],
     ["no_positions"]),
    ("мама", b"\x02\xfe\x11", [], ["malformed"]),
    ("мама", b"\x02\xfe\x11\xfe\x12\xff", [], ["malformed"]),
])
def test_decode_value(key, value, variants, problems):
    assert decode_value(key, value) == (variants, problems)


def test_two_values_of_one_feature_are_both_allowed():
    assert decode_tags(b"\x20\x23\x12") == (F(), (("Case", F({"Nom", "Acc"})), ("Number", F({"Plur"}))))


@pytest.mark.parametrize("key, ordinals", [
    ("мама", [-1, 0, -1, 1]),
    ("п'ять", [-1, -1, 0, -1, -1]),
    ("ЇЖАК", [0, -1, 1, -1]),
    ("вр", [-1, -1]),
])
def test_vowel_ordinals(key, ordinals):
    assert vowel_ordinals(key) == ordinals


@pytest.mark.parametrize("text, key", [
    ("Київ", "київ"),
    ("п'ять", "п\u02bcять"),
    ("П’ЯТЬ", "п\u02bcять"),
    ("м`ята‘", "м\u02bcята\u02bc"),
    ("ВКП(б)", "вкп(б)"),
    ("\u0130", "i\u0307"),
])
def test_normalize_key(text, key):
    assert normalize_key(text) == key


@pytest.mark.parametrize("key, positions, form", [
    ("руки", (1,), "руки́"),
    ("замок", (0, 1), "за́мо́к"),
    ("вр", (), "вр"),
    ("п\u02bcять", (0,), "п\u02bcя́ть"),
])
def test_mark_stress_round_trip(key, positions, form):
    assert mark_stress(key, positions) == form
    assert stressed_positions(form) == positions


def test_mark_stress_refuses_a_missing_vowel():
    with pytest.raises(ValueError):
        mark_stress("мама", (2,))


@pytest.mark.parametrize("form", ["\u0301мама", "мам\u0301а", "ма\u0301\u0301ма"])
def test_stressed_positions_refuses_a_misplaced_mark(form):
    assert stressed_positions(form) is None

"""Results built from shared parts: mark's short path equals the full lookup,
batches cut into chunks keep every word in place, and no two results (nor
two parts of one result) share anything that a caller can change."""
import copy
import random

from hypothesis import given, settings, strategies as st

from lexovia import lookup, lookup_many, mark, mark_many, transcribe

# Letters of Ukrainian words, capitals and every apostrophe variant: words
# drawn from them hit the dictionary far more often than arbitrary text.
UKRAINIAN = "абвгґдеєжзиіїйклмнопрстуфхцчшщьюяАБВГЕІЇОУЯ'’ʼ`"
# Heteronyms, apostrophe words, one-vowel words, no-vowel words, unknown.
KNOWN = ["замок", "Замок", "руки", "води", "вода", "Сім'я", "сім’я", "м'ясо", "Київ", "КИЇВ", "кіт", "Я",
         "ж", "пст", "", "до речі", "ҐуґлоБлабла", "мама", "читати", "університет", "п'ятниця"]


def mark_by_lookup(word):
    readings = lookup(word)["readings"]
    return readings[0]["stressed_form"] if readings else word


@settings(max_examples=500, deadline=None)
@given(st.text(alphabet=UKRAINIAN, max_size=12))
def test_mark_equals_the_first_reading_on_ukrainian_letters(word):
    assert mark(word) == mark_by_lookup(word)


def test_mark_equals_the_first_reading_on_known_words():
    for word in KNOWN:
        assert mark(word) == mark_by_lookup(word), word


def test_mark_returns_str_for_str_subclasses_and_the_word_itself_when_unknown():
    class Word(str):
        pass

    assert type(mark(Word("ҐуґлоБлабла"))) is str
    assert type(mark(Word("замок"))) is str
    assert mark("ҐуґлоБлабла") == "ҐуґлоБлабла"


def test_batches_longer_than_a_chunk_keep_every_word_in_place():
    # Several of the engine's chunks, with a last one cut short.
    rng = random.Random(7)
    words = [rng.choice(KNOWN) + rng.choice(["", "а", "и"]) for _ in range(20_011)]
    singles = {w: mark(w) for w in set(words)}
    assert mark_many(words) == [singles[w] for w in words]
    looked = {w: lookup(w) for w in set(words)}
    results = lookup_many(words)
    assert len(results) == len(words)
    for w, r in zip(words, results):
        assert r == looked[w]


def test_transcriptions_do_not_share_mutable_parts():
    first = transcribe("замок", 1)
    pristine = copy.deepcopy(first)
    second = transcribe("замок", 1)
    second["tokens"][0]["ipa"] = "changed"
    second["tokens"][1]["stressed"] = "changed"
    second["syllables"][0]["word"] = "changed"
    second["tokens"].append("extra")
    second["syllables"].clear()
    assert first == pristine
    assert transcribe("замок", 1) == pristine
    # Equal tokens inside one result are distinct dicts as well.
    word = transcribe("мама", 0)
    word["tokens"][0]["ipa"] = "changed"
    assert word["tokens"][2]["ipa"] == "m"


def test_lookups_do_not_share_mutable_parts():
    pristine = lookup("замок")
    result = lookup("замок")
    first, second = result["readings"]
    first["tokens"][0]["ipa"] = "changed"
    first["word_syllables"].append("changed")
    for m in first["morph"]:
        m["pos"].append("changed")
        for values in m["feats"].values():
            values.append("changed")
        m["feats"]["Changed"] = ["changed"]
    assert second == pristine["readings"][1]
    assert lookup("замок") == pristine
    a, b = lookup_many(["замок", "замок"])
    a["readings"][0]["morph"][0]["feats"].clear()
    assert b == pristine


@settings(max_examples=50, deadline=None)
@given(st.lists(st.text(alphabet=UKRAINIAN, min_size=1, max_size=10), min_size=1, max_size=40))
def test_results_do_not_depend_on_the_words_converted_before(words):
    # The shared parts are replaced as other words come along; a word's
    # result must not change with what was converted in between.
    before = [(transcribe(w, 1), lookup(w)) for w in words]
    rng = random.Random(len(words))
    for _ in range(3000):
        noise = "".join(rng.choice(UKRAINIAN) for _ in range(rng.randint(1, 9)))
        transcribe(noise, rng.randint(0, 3))
    lookup_many(["".join(rng.choice(UKRAINIAN) for _ in range(6)) for _ in range(3000)])
    assert [(transcribe(w, 1), lookup(w)) for w in words] == before


def strs_in(obj):
    if isinstance(obj, str):
        yield obj
    elif isinstance(obj, dict):
        for k, v in obj.items():
            yield k
            yield from strs_in(v)
    elif isinstance(obj, list):
        for v in obj:
            yield from strs_in(v)


@settings(max_examples=300, deadline=None)
@given(st.text(alphabet=UKRAINIAN + "éÉßİẞ😀\u0301\u00a0", max_size=12) | st.text(max_size=8))
def test_result_strs_are_stored_as_python_stores_them(word):
    # A str stored wider than its widest character would compare unequal to
    # the same text made by Python; a round trip through UTF-8 makes it anew.
    for s in strs_in(lookup_many([word])[0]):
        assert s == s.encode("utf-8").decode("utf-8")
        assert hash(s) == hash(s.encode("utf-8").decode("utf-8"))

"""lookup, lookup_many, mark and mark_many on the shipped dictionary."""
import sys

import pytest
from hypothesis import given, settings, strategies as st

from conftest import run_python

import lexovia
from lexovia import lookup, lookup_many, mark, mark_many

READING_KEYS = ["syllable_index", "stress_from_end", "syllable_count", "form", "stressed_form",
                "word_syllables", "ipa", "ipa_syllables", "tokens", "morph", "confidence"]
MORPH_KEYS = ["pos", "feats", "lemma", "definition"]
TOKEN_KEYS = ["ipa", "source", "type", "vowel_index", "stressed", "palatalized"]
ACUTE = "\u0301"
UNKNOWN = "ҐуґлоБлабла"  # two or more vowels, in no dictionary


def check_shape(result):
    assert list(result) == ["form", "readings"]
    assert type(result["form"]) is str and type(result["readings"]) is list
    for r in result["readings"]:
        assert list(r) == READING_KEYS
        for key in ("syllable_index", "stress_from_end", "syllable_count"):
            assert type(r[key]) is int
        for key in ("form", "stressed_form", "ipa"):
            assert type(r[key]) is str
        assert all(type(s) is str for s in r["word_syllables"] + r["ipa_syllables"])
        assert r["confidence"] is None or type(r["confidence"]) is str
        assert r["syllable_count"] - r["syllable_index"] == r["stress_from_end"]
        for t in r["tokens"]:
            assert list(t) == TOKEN_KEYS
        for m in r["morph"]:
            assert list(m) == MORPH_KEYS
            assert type(m["pos"]) is list and type(m["feats"]) is dict
            assert all(type(k) is str and type(v) is list for k, v in m["feats"].items())
            assert m["lemma"] is None or type(m["lemma"]) is str
            assert m["definition"] is None or type(m["definition"]) is str


# ---------------------------------------------------------------------------
# Readings


def test_two_stress_variants_come_lower_position_first():
    result = lookup("замок")
    check_shape(result)
    forms = [r["stressed_form"] for r in result["readings"]]
    assert forms == ["за" + ACUTE + "мок", "замо" + ACUTE + "к"]
    first, second = result["readings"]
    assert (first["syllable_index"], first["stress_from_end"], first["syllable_count"]) == (0, 2, 2)
    assert (second["syllable_index"], second["stress_from_end"], second["syllable_count"]) == (1, 1, 2)
    assert first["ipa_syllables"] == ["ˈzɑ", "mɔk"]
    assert second["ipa_syllables"] == ["zɑ", "ˈmɔk"]
    assert first["word_syllables"] == second["word_syllables"] == ["за", "мок"]
    assert first["confidence"] is None and first["morph"]
    assert mark("замок") == forms[0]


def test_reading_phonetics_is_the_transcription_of_the_form():
    for r in lookup("Замок")["readings"]:
        si = r["stressed_form"].index(ACUTE)
        vowel_number = sum(ch in "аеєиіїоуюя" for ch in r["form"][:si]) - 1
        t = lexovia.transcribe(r["form"], vowel_number)
        assert r["ipa"] == t["ipa"]
        assert r["tokens"] == t["tokens"]
        assert r["word_syllables"] == [s["word"] for s in t["syllables"]]
        assert r["ipa_syllables"] == [("ˈ" if s["stressed"] else "") + s["ipa"] for s in t["syllables"]]


def test_capitalised_word_with_typewriter_apostrophe_is_found_normalised():
    result = lookup("Сім'я")
    check_shape(result)
    assert result["form"] == "сімʼя"
    assert result["readings"]
    assert all(r["form"] == "сімʼя" for r in result["readings"])
    assert mark("Сім'я") == result["readings"][0]["stressed_form"]
    assert "'" not in mark("Сім’я") and "ʼ" in mark("Сім’я")


@pytest.mark.parametrize("word", [UNKNOWN, "Замок мама", "за" + ACUTE + "мок", "ждщ"])
def test_words_without_readings(word):
    result = lookup(word)
    check_shape(result)
    assert result["readings"] == []
    assert result["form"] == word.lower()
    assert mark(word) == word


def test_unknown_word_comes_back_byte_for_byte():
    word = "Ґуґло'Блабла"
    assert mark(word).encode() == word.encode()


@pytest.mark.parametrize("word, form, stressed", [
    ("Я", "я", "я" + ACUTE),
    ("кіт", "кіт", "кі" + ACUTE + "т"),
    ("бзік", "бзік", "бзі" + ACUTE + "к"),          # one vowel, in no dictionary
    ("я" + ACUTE, "я" + ACUTE, "я" + ACUTE + ACUTE),  # an existing mark is not cleaned
])
def test_one_vowel_words_get_a_single_syllable_reading(word, form, stressed):
    result = lookup(word)
    check_shape(result)
    assert result["form"] == form
    [r] = result["readings"]
    assert r["stressed_form"] == stressed
    assert r["confidence"] == "single-syllable"
    assert r["morph"] == []
    assert r["syllable_index"] == 0 and r["stress_from_end"] == 1 and r["syllable_count"] == 1
    assert mark(word) == stressed


def test_phrase_with_spaces_is_one_key():
    result = lookup("До речі")
    assert result["form"] == "до речі"
    assert [r["stressed_form"] for r in result["readings"]] == ["до ре" + ACUTE + "чі"]


def test_empty_string():
    assert lookup("") == {"form": "", "readings": []}
    assert mark("") == ""
    assert lookup_many([""]) == [{"form": "", "readings": []}]


def test_str_subclass_gives_plain_str_results():
    class Word(str):
        pass
    assert type(mark(Word(UNKNOWN))) is str
    assert mark(Word(UNKNOWN)) == UNKNOWN
    assert type(mark(Word("замок"))) is str
    assert type(lookup(Word("замок"))["form"]) is str
    assert [type(x) for x in mark_many([Word(UNKNOWN), Word("Я")])] == [str, str]


def test_morphology_values():
    readings = lookup("замок")["readings"]
    for r in readings:
        assert {"замок"} <= {m["lemma"] for m in r["morph"]}
        assert any(m["pos"] == ["NOUN"] for m in r["morph"])


def test_known_word_without_vowels_is_normalised_but_not_marked():
    # Its records carry no stress position, so they all form one reading at
    # position 0, where there is no vowel to mark.
    [r] = lookup("Ж")["readings"]
    assert r["form"] == r["stressed_form"] == "ж"
    assert (r["syllable_index"], r["stress_from_end"], r["syllable_count"]) == (0, 1, 1)
    assert r["morph"] and r["confidence"] is None
    assert mark("Ж") == "ж"


# ---------------------------------------------------------------------------
# Batches


WORDS = ["замок", "Сім'я", UNKNOWN, "Я", "", "замок", "до речі", "ж"]


def test_lookup_many_equals_lookup_per_word():
    results = lookup_many(WORDS)
    assert type(results) is list and len(results) == len(WORDS)
    for w, r in zip(WORDS, results):
        assert r == lookup(w)


def test_duplicates_give_equal_but_distinct_dicts():
    a, b = lookup_many(["замок", "замок"])
    assert a == b
    assert a is not b
    assert a["readings"] is not b["readings"]
    assert a["readings"][0]["tokens"][0] is not b["readings"][0]["tokens"][0]


def test_mark_many_equals_mark_per_word():
    assert mark_many(WORDS) == [mark(w) for w in WORDS]
    assert mark_many(tuple(WORDS)) == mark_many(WORDS)
    assert lookup_many(tuple(WORDS)) == lookup_many(WORDS)


def test_empty_batches():
    assert lookup_many([]) == []
    assert mark_many(()) == []


class Items:
    """A sequence whose length hint disagrees with its iterator."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if isinstance(self.length, Exception):
            raise self.length
        return self.length

    def __getitem__(self, i):
        raise AssertionError("items must be read through the iterator")

    def __iter__(self):
        return iter(self.items)


@pytest.mark.parametrize("length", [0, 1, 100, ValueError("no length")])
def test_length_is_only_a_hint(length):
    assert mark_many(Items(["Я", UNKNOWN], length)) == ["я" + ACUTE, UNKNOWN]
    assert lookup_many(Items(["Я"], length)) == [lookup("Я")]


def test_iterator_failure_propagates_unchanged():
    class Broken(Items):
        def __iter__(self):
            yield "Я"
            raise KeyError("broken")
    with pytest.raises(KeyError):
        mark_many(Broken([], 2))


BAD_BATCH = [
    ("замок", TypeError, "argument 'words': Can't extract `str` to `Vec`"),
    (1, TypeError, "argument 'words': 'int' object cannot be converted to 'Sequence'"),
    ({"замок"}, TypeError, "argument 'words': 'set' object cannot be converted to 'Sequence'"),
    ({"замок": 1}, TypeError, "argument 'words': 'dict' object cannot be converted to 'Sequence'"),
    ((w for w in ["замок"]), TypeError, "argument 'words': 'generator' object cannot be converted to 'Sequence'"),
    (None, TypeError, "argument 'words': 'NoneType' object cannot be converted to 'Sequence'"),
    (["замок", 1], TypeError, "argument 'words': 'int' object cannot be converted to 'PyString'"),
    (b"abc", TypeError, "argument 'words': 'int' object cannot be converted to 'PyString'"),
    (["замок", None], TypeError, "argument 'words': 'NoneType' object cannot be converted to 'PyString'"),
]


@pytest.mark.parametrize("fn", [lookup_many, mark_many])
@pytest.mark.parametrize("arg, exc, message", BAD_BATCH)
def test_refused_batches(fn, arg, exc, message):
    with pytest.raises(exc) as info:
        fn(arg)
    assert type(info.value) is exc
    assert str(info.value) == message


@pytest.mark.parametrize("fn", [lookup_many, mark_many])
def test_lone_surrogate_item_raises_unicode_error(fn):
    with pytest.raises(UnicodeEncodeError):
        fn(["замок", "\ud800"])


@pytest.mark.parametrize("fn, name", [(lookup, "lookup"), (mark, "mark")])
@pytest.mark.parametrize("args, kwargs, exc, message", [
    ((1,), {}, TypeError, "argument 'word': 'int' object cannot be converted to 'PyString'"),
    ((b"x",), {}, TypeError, "argument 'word': 'bytes' object cannot be converted to 'PyString'"),
    ((["x"],), {}, TypeError, "argument 'word': 'list' object cannot be converted to 'PyString'"),
    (("a", "b"), {}, TypeError, "{}() takes 1 positional arguments but 2 were given"),
    (("a",), {"word": "b"}, TypeError, "{}() got multiple values for argument 'word'"),
    ((), {"words": "b"}, TypeError, "{}() got an unexpected keyword argument 'words'"),
    ((), {}, TypeError, "{}() missing 1 required positional argument: 'word'"),
    (("\udc80",), {}, UnicodeEncodeError, None),
])
def test_single_word_argument_errors(fn, name, args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        fn(*args, **kwargs)
    assert type(info.value) is exc
    if message is not None:
        assert str(info.value) == message.format(name)


@pytest.mark.parametrize("fn, name", [(lookup_many, "lookup_many"), (mark_many, "mark_many")])
def test_batch_parameter_name(fn, name):
    assert fn(words=["Я"]) == fn(["Я"])
    with pytest.raises(TypeError, match=rf"^{name}\(\) missing 1 required positional argument: 'words'$"):
        fn()
    with pytest.raises(TypeError, match=rf"^{name}\(\) got an unexpected keyword argument 'word'$"):
        fn(word=["Я"])


def test_signatures():
    for fn, sig in [(lookup, "(word)"), (lookup_many, "(words)"), (mark, "(word)"), (mark_many, "(words)")]:
        assert fn.__text_signature__ == sig


# ---------------------------------------------------------------------------
# Loading order


def test_argument_errors_come_before_the_dictionary_is_touched(variant):
    proc = run_python("""
        import lexovia
        for call in (lambda: lexovia.lookup(1), lambda: lexovia.mark_many("x"),
                     lambda: lexovia.lookup_many([1]), lambda: lexovia.mark()):
            try:
                call()
            except TypeError:
                pass
        try:
            lexovia.word_count()
        except BaseException as e:
            print(e)
        """, variant("truncated_count"))
    assert proc.stdout.startswith("Failed to load embedded lexovia dictionary: "), proc.stderr


@pytest.mark.parametrize("call", ["lookup_many([])", "mark_many([])", "lookup('x')", "mark('Я')"])
def test_every_dictionary_function_forces_the_load(variant, call):
    proc = run_python(f"""
        import lexovia
        try:
            lexovia.{call}
        except BaseException as e:
            print(type(e).__name__, e)
        """, variant("truncated_count"))
    assert proc.stdout.startswith("PanicException Failed to load embedded lexovia dictionary: "), proc.stderr


# ---------------------------------------------------------------------------
# Properties


@settings(max_examples=300, deadline=None)
@given(st.text())
def test_any_text_looks_up_and_marks(word):
    result = lookup(word)
    check_shape(result)
    marked = mark(word)
    if result["readings"]:
        assert marked == result["readings"][0]["stressed_form"]
    else:
        assert marked == word


@settings(max_examples=100, deadline=None)
@given(st.lists(st.sampled_from(WORDS) | st.text(max_size=8), max_size=6))
def test_batches_match_single_calls(words):
    assert mark_many(words) == [mark(w) for w in words]
    assert lookup_many(words) == [lookup(w) for w in words]


# ---------------------------------------------------------------------------
# Leaks


def test_no_growth_over_many_calls():
    # Python objects are counted by allocated blocks, native memory by the
    # resident set; both must stay flat once the dictionary is loaded.
    proc = run_python("""
        import sys, resource, lexovia
        def rss_kib():
            with open("/proc/self/statm") as f:
                return int(f.read().split()[1]) * resource.getpagesize() // 1024
        words = ["замок", "Сім'я", "ҐуґлоБлабла", "Я", ""]
        calls = {
            "lookup": lambda i: lexovia.lookup(words[i % 5]),
            "mark": lambda i: lexovia.mark(words[i % 5]),
            "lookup_many": lambda i: lexovia.lookup_many(words[i % 5:i % 5 + 2]),
            "mark_many": lambda i: lexovia.mark_many(words[i % 5:i % 5 + 2]),
            "transcribe": lambda i: lexovia.transcribe(words[i % 5], i % 3),
            "word_count": lambda i: lexovia.word_count(),
        }
        for name, call in calls.items():
            for i in range(10_000):
                call(i)
            blocks, rss = sys.getallocatedblocks(), rss_kib()
            for i in range(100_000):
                call(i)
            print(name, sys.getallocatedblocks() - blocks, rss_kib() - rss)
        """)
    assert proc.returncode == 0, proc.stderr
    for line in proc.stdout.splitlines():
        name, blocks, rss = line.split()
        assert int(blocks) < 1000, line
        assert int(rss) < 2048, line


def test_large_batches_split_across_threads_keep_order():
    # Large batches are shared out among the cores; the results must come
    # back exactly as single calls give them, in input order.
    words = [w + suffix for suffix in ("", "и", "у", "ом") for w in ("замок", "мама", "вода", "рука")] * 160
    words += [UNKNOWN, "Я", ""] * 100
    assert len(words) > 2048
    assert mark_many(words) == [mark(w) for w in words]
    assert lookup_many(words) == [lookup(w) for w in words]


# ---------------------------------------------------------------------------
# Words of every str storage: one byte per character (ASCII, Latin-1), two
# (Cyrillic), four (beyond U+FFFF); a form too long to travel inline between
# the threads of mark_many (one vowel, so it is always marked).

LONG_ONE_VOWEL = "Б" * 40 + "А" + "в" * 40
STORAGE_WORDS = [
    ("zamok", "zamok"),
    ("Ünïcödé", "Ünïcödé"),
    ("Замок", "за" + ACUTE + "мок"),
    ("Сім'я", "сі" + ACUTE + "мʼя"),
    (UNKNOWN, UNKNOWN),
    ("Я", "я" + ACUTE),
    ("Я\U0001F600", "я" + ACUTE + "\U0001F600"),
    ("замок\U0001F600", "замок\U0001F600"),
    (LONG_ONE_VOWEL, "б" * 40 + "а" + ACUTE + "в" * 40),
    # The longest word mark() normalises on the stack, and one character more.
    ("Б" * 31 + "А", "б" * 31 + "а" + ACUTE),
    ("Б" * 32 + "А", "б" * 32 + "а" + ACUTE),
    ("", ""),
]


class Str(str):
    pass


@pytest.mark.parametrize("word, marked", STORAGE_WORDS)
def test_mark_reads_every_str_storage(word, marked):
    for w in (word, Str(word)):
        assert mark(w) == marked and type(mark(w)) is str
        assert mark_many([w]) == [marked]
        assert mark(w) is not w or w == ""  # the empty str is the interpreter's one


def test_large_mixed_batches_keep_order_and_never_return_the_arguments():
    words = [w for w, _ in STORAGE_WORDS] * 600 + [w + "и" for w in ("замок", "вод", "рук")] * 300
    assert len(words) > 4096
    singles = [mark(w) for w in words]
    batch = mark_many(words)
    assert batch == singles
    assert not any(r is w for r, w in zip(batch, words) if w)
    assert lookup_many(words[:3000]) == [lookup(w) for w in words[:3000]]


# A str of one- or two-byte characters is normalised from its characters,
# any other from its UTF-8 form: the same word must come out either way, in
# lookup and in both batch functions.
@settings(max_examples=300, deadline=None)
@given(st.text(alphabet=st.characters(exclude_categories=("Cs",)), max_size=30))
def test_the_form_is_the_same_however_the_str_is_stored(word):
    form = lookup(word)["form"]
    assert lookup(word + "😀")["form"] == form + "😀"
    assert [r["form"] for r in lookup_many([word, word + "😀"])] == [form, form + "😀"]


# The interpreter keeps a str's UTF-8 form, once asked for, for the str's
# lifetime (sys.getsizeof counts it): reading a word must not leave one on
# the caller's strings.
@pytest.mark.parametrize("call", [
    lambda w: lookup(w), lambda w: lookup_many([w]), lambda w: lookup_many([w] * 40),
    lambda w: mark(w), lambda w: mark_many([w]), lambda w: mark_many([w] * 5000),
    lambda w: lexovia.transcribe(w, 0),
], ids=["lookup", "lookup_many", "lookup_many threaded", "mark", "mark_many", "mark_many threaded",
        "transcribe"])
@pytest.mark.parametrize("text", ["Замок", "café", "ґанок"])
def test_no_utf8_copy_is_left_on_the_argument(call, text):
    word = "".join([text[0], text[1:]])  # a str of its own, never asked for UTF-8
    size = sys.getsizeof(word)
    call(word)
    assert sys.getsizeof(word) == size

"""transcribe(word, si): argument rules, error messages, result shape, and
properties that must hold for every input."""
import subprocess
import sys
import textwrap

import pytest
from hypothesis import given, settings, strategies as st

import lexovia
from lexovia import transcribe

TOKEN_KEYS = ["ipa", "source", "type", "vowel_index", "stressed", "palatalized"]
SYLLABLE_KEYS = ["ipa", "word", "stressed", "is_open"]
RESULT_KEYS = ["word", "ipa", "stress_index", "tokens", "syllables"]


# ---------------------------------------------------------------------------
# Result shape


def test_mama_positional_and_keywords_are_equal_with_keys_in_order():
    a = transcribe("мама", 0)
    b = transcribe(word="мама", si=0)
    c = transcribe(si=0, word="мама")
    assert a == b == c
    assert list(a) == RESULT_KEYS
    assert a["word"] == "мама"
    assert a["ipa"] == "mɑmɑ"
    assert a["stress_index"] == 0


def test_mama_tokens_and_syllables_exactly():
    r = transcribe("мама", 0)
    assert r["tokens"] == [
        {"ipa": "m", "source": "м", "type": "Consonant", "vowel_index": -1, "stressed": False, "palatalized": False},
        {"ipa": "ɑ", "source": "а", "type": "Vowel", "vowel_index": 0, "stressed": True, "palatalized": False},
        {"ipa": "m", "source": "м", "type": "Consonant", "vowel_index": -1, "stressed": False, "palatalized": False},
        {"ipa": "ɑ", "source": "а", "type": "Vowel", "vowel_index": 1, "stressed": False, "palatalized": False},
    ]
    assert r["syllables"] == [
        {"ipa": "mɑ", "word": "ма", "stressed": True, "is_open": True},
        {"ipa": "mɑ", "word": "ма", "stressed": False, "is_open": True},
    ]


@pytest.mark.parametrize("word", ["мама", "Ходжу", "сім'я", "щастя", "", "ab", "будь-який"])
def test_key_orders_and_value_types(word):
    r = transcribe(word, 1)
    assert list(r) == RESULT_KEYS
    assert type(r["word"]) is str and type(r["ipa"]) is str
    assert type(r["stress_index"]) is int
    assert type(r["tokens"]) is list and type(r["syllables"]) is list
    for t in r["tokens"]:
        assert list(t) == TOKEN_KEYS
        assert [type(t[k]) for k in TOKEN_KEYS] == [str, str, str, int, bool, bool]
        assert t["type"] in ("Consonant", "Vowel", "Glide", "Glottal")
        if t["type"] != "Vowel":
            assert t["vowel_index"] == -1
    for s in r["syllables"]:
        assert list(s) == SYLLABLE_KEYS
        assert [type(s[k]) for k in SYLLABLE_KEYS] == [str, str, bool, bool]


@pytest.mark.parametrize("word, si, expected_word, expected_ipa, syllables", [
    ("Ходжу", 1, "ходжу", "xɔ̝d͡ʒu", [("xɔ̝", "хо", False, True), ("d͡ʒu", "джу", True, True)]),
    ("МАМА", 0, "мама", "mɑmɑ", [("mɑ", "ма", True, True), ("mɑ", "ма", False, True)]),
    ("", 0, "", "", [("", "", False, False)]),
    ("ab-1 ", 0, "ab-1 ", "", [("", "", False, False)]),
    ("İ", 0, "i\u0307", "", [("", "", False, False)]),
    ("ш", 0, "ш", "ʃ", [("ʃ", "ш", False, False)]),
    ("сім'я", 1, "сім'я", "simʔjɑ", [("sim", "сім", False, False), ("ʔjɑ", "'я", True, True)]),
])
def test_whole_words(word, si, expected_word, expected_ipa, syllables):
    r = transcribe(word, si)
    assert r["word"] == expected_word
    assert r["ipa"] == expected_ipa
    assert [(s["ipa"], s["word"], s["stressed"], s["is_open"]) for s in r["syllables"]] == syllables


def test_stress_index_beyond_the_vowels_marks_nothing_and_is_reported():
    r = transcribe("мама", 255)
    assert r["stress_index"] == 255
    assert not any(t["stressed"] for t in r["tokens"])
    assert not any(s["stressed"] for s in r["syllables"])


def test_true_is_stress_index_one():
    assert transcribe("мама", True) == transcribe("мама", 1)
    assert transcribe("мама", True)["stress_index"] == 1


def test_index_protocol_is_accepted():
    class Idx:
        def __index__(self):
            return 1
    assert transcribe("мама", Idx()) == transcribe("мама", 1)


def test_str_subclass_is_accepted():
    class Word(str):
        pass
    r = transcribe(Word("Мама"), 0)
    assert r == transcribe("мама", 0)
    assert type(r["word"]) is str


# ---------------------------------------------------------------------------
# Argument errors


@pytest.mark.parametrize("args, kwargs, exc, message", [
    (("мама", 0, 1), {}, TypeError, "transcribe() takes 2 positional arguments but 3 were given"),
    (("мама",), {"si": 0, "x": 1}, TypeError, "transcribe() got an unexpected keyword argument 'x'"),
    (("мама", 0), {"word": "x"}, TypeError, "transcribe() got multiple values for argument 'word'"),
    (("мама",), {"word": "x", "si": 0}, TypeError, "transcribe() got multiple values for argument 'word'"),
    (("мама",), {}, TypeError, "transcribe() missing 1 required positional argument: 'si'"),
    ((), {}, TypeError, "transcribe() missing 2 required positional arguments: 'word' and 'si'"),
    ((), {"si": 0}, TypeError, "transcribe() missing 1 required positional argument: 'word'"),
    ((1, 0), {}, TypeError, "argument 'word': 'int' object cannot be converted to 'PyString'"),
    ((b"x", 0), {}, TypeError, "argument 'word': 'bytes' object cannot be converted to 'PyString'"),
    ((None, 0), {}, TypeError, "argument 'word': 'NoneType' object cannot be converted to 'PyString'"),
    ((1, 1.5), {}, TypeError, "argument 'word': 'int' object cannot be converted to 'PyString'"),
    (("мама", 1.0), {}, TypeError, "argument 'si': 'float' object cannot be interpreted as an integer"),
    (("мама", "1"), {}, TypeError, "argument 'si': 'str' object cannot be interpreted as an integer"),
    (("мама", None), {}, TypeError, "argument 'si': 'NoneType' object cannot be interpreted as an integer"),
    (("мама", 256), {}, OverflowError, "out of range integral type conversion attempted"),
    (("мама", -1), {}, OverflowError, "out of range integral type conversion attempted"),
    (("мама", 2**64), {}, OverflowError, "Python int too large to convert to C long"),
])
def test_argument_errors(args, kwargs, exc, message):
    with pytest.raises(exc) as info:
        transcribe(*args, **kwargs)
    assert type(info.value) is exc
    assert str(info.value) == message


def test_too_many_positional_checked_before_keywords():
    with pytest.raises(TypeError, match=r"^transcribe\(\) takes 2 positional arguments but 3 were given$"):
        transcribe("a", 0, 1, bogus=2)


def test_keywords_are_taken_in_the_order_given():
    # The unknown keyword comes first, so it decides the message.
    with pytest.raises(TypeError, match="unexpected keyword argument 'bogus'"):
        transcribe("a", bogus=1, word="b")
    with pytest.raises(TypeError, match="multiple values for argument 'word'"):
        transcribe("a", word="b", bogus=1)


def test_keyword_with_lone_surrogate_is_reported_not_crashed():
    with pytest.raises(TypeError) as info:
        transcribe("a", 0, **{"\ud800": 1})
    assert "unexpected keyword argument" in str(info.value)


def test_lone_surrogate_raises_the_interpreters_unicode_error():
    with pytest.raises(UnicodeEncodeError) as info:
        transcribe("ма\ud800", 0)
    assert type(info.value) is UnicodeEncodeError


def test_word_is_converted_before_si():
    with pytest.raises(UnicodeEncodeError):
        transcribe("\udfff", 1.5)


def test_wrapped_type_error_keeps_the_cause():
    class Bad:
        def __index__(self):
            raise TypeError("no index here") from KeyError("why")
    with pytest.raises(TypeError) as info:
        transcribe("мама", Bad())
    assert str(info.value) == "argument 'si': no index here"
    assert type(info.value.__cause__) is KeyError


def test_type_error_subclass_is_not_wrapped():
    class MyTypeError(TypeError):
        pass

    class Bad:
        def __index__(self):
            raise MyTypeError("custom")
    with pytest.raises(MyTypeError) as info:
        transcribe("мама", Bad())
    assert str(info.value) == "custom"


def test_other_exceptions_from_index_pass_unchanged():
    class Bad:
        def __index__(self):
            raise ValueError("nope")
    with pytest.raises(ValueError, match="^nope$"):
        transcribe("мама", Bad())


# ---------------------------------------------------------------------------
# Internal failures


def test_failed_result_allocation_raises_panic_exception_and_leaks_nothing():
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "set_nomemory"):
        pytest.skip("this interpreter cannot inject allocation failures")
    # Fail one allocation at a time, at every point of a call. A leak on any
    # failure path would grow the heap by roughly (failing calls x rounds).
    code = textwrap.dedent("""
        import _testcapi, sys, lexovia
        lexovia.transcribe("мама", 0)
        kinds = set()
        failures = 0
        def one_round():
            global failures
            for n in range(150):
                _testcapi.set_nomemory(n, n + 1)
                try:
                    lexovia.transcribe("мама", 0)
                except BaseException as e:
                    failures += 1
                    kinds.add((type(e).__name__, type(e).__bases__[0].__name__, str(e)))
                finally:
                    _testcapi.remove_mem_hooks()
        for _ in range(3):
            one_round()
        failures = 0
        before = sys.getallocatedblocks()
        for _ in range(60):
            one_round()
        print(sorted(map(str, kinds)))
        print(failures, sys.getallocatedblocks() - before)
        """)
    proc = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0, proc.stderr
    kinds, counts = proc.stdout.splitlines()
    failures, growth = map(int, counts.split())
    assert "('PanicException', 'BaseException', 'Python API call failed')" in kinds
    assert "MemoryError" in proc.stderr  # the pending error is printed
    assert failures > 60 * 10  # many allocation points fail in every round
    assert growth < failures / 4


# ---------------------------------------------------------------------------
# Properties over any input


def vowel_tokens(result):
    return [t for t in result["tokens"] if t["type"] == "Vowel"]


@settings(max_examples=400, deadline=None)
@given(st.text(), st.integers(0, 255))
def test_any_text_transcribes_consistently(word, si):
    r = transcribe(word, si)
    syllables = r["syllables"]
    vowels = vowel_tokens(r)
    assert "".join(s["ipa"] for s in syllables) == r["ipa"]
    assert len(syllables) == max(1, len(vowels))
    stressed = [s for s in syllables if s["stressed"]]
    if len(vowels) <= 256:  # beyond that the 8-bit index repeats
        assert len(stressed) == (1 if si < len(vowels) else 0)
    expected = [((i + 128) % 256) - 128 for i in range(len(vowels))]
    assert [t["vowel_index"] for t in vowels] == expected
    assert r["stress_index"] == si


UKRAINIAN = "абвгґдеєжзиіїйклмнопрстуфхцчшщьюяАБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ'ʼ’‘` -"


@settings(max_examples=600, deadline=None)
@given(st.text(alphabet=UKRAINIAN, max_size=40), st.integers(0, 255))
def test_ukrainian_like_text_transcribes_consistently(word, si):
    test_any_text_transcribes_consistently.hypothesis.inner_test(word, si)


# A str of one- or two-byte characters is read character by character, any
# other through its UTF-8 form; both must give the same text, and a
# character outside the two-byte range sends the whole word the second way.
NO_SURROGATES = st.characters(exclude_categories=("Cs",))


@settings(max_examples=400, deadline=None)
@given(st.text(alphabet=NO_SURROGATES, max_size=30))
def test_the_word_is_the_same_text_however_the_str_is_stored(word):
    assert transcribe(word, 0)["word"] == "".join(c.lower() for c in word)
    assert transcribe(word + "😀", 0)["word"] == "".join(c.lower() for c in word) + "😀"


def test_long_word_vowel_counter_wraps():
    r = transcribe("а" * 300, 40)
    vowels = vowel_tokens(r)
    assert [t["vowel_index"] for t in vowels][127:130] == [127, -128, -127]
    assert [t["vowel_index"] for t in vowels][255:258] == [-1, 0, 1]
    # The stress index is compared as an 8-bit value, so vowels 40 and 296
    # both carry it.
    assert [i for i, t in enumerate(vowels) if t["stressed"]] == [40, 296]
    assert [i for i, s in enumerate(r["syllables"]) if s["stressed"]] == [40, 296]


def test_lowercasing_matches_the_full_mapping_for_every_code_point():
    # One character at a time, without context: exactly str.lower() of a
    # one-character string.
    bad = []
    for cp in range(0x110000):
        if 0xD800 <= cp <= 0xDFFF:
            continue
        ch = chr(cp)
        if transcribe(ch, 0)["word"] != ch.lower():
            bad.append(hex(cp))
    assert bad == []

"""lexovia_text keeps the text intact: tokenizer, marks, round trip."""
import unicodedata

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia
import lexovia_text
from lexovia_text import _tokens

ACUTE = "\u0301"


def words(text):
    return [m.group() for m in _tokens.words(text)]


class TestTokenizer:
    @pytest.mark.parametrize("text, expected", [
        ("п'ять сім’я сімʼя сім‘я сім`я", ["п'ять", "сім’я", "сімʼя", "сім‘я", "сім`я"]),
        ("будь-який північно-західний", ["будь-який", "північно-західний"]),
        ("будь‑який", ["будь‑який"]),                       # non-breaking hyphen
        ("«Київ», (Львів)! Hello-world", ["Київ", "Львів", "Hello-world"]),
        ("5-й 2024року", ["й", "року"]),                   # digits are never part of a word
        ("'слово' - тире -слово", ["слово", "тире", "слово"]),  # edge apostrophes and hyphens stay outside
        ("ру́ки", ["ру́ки"]),                                # an existing mark stays in its word
        ("word_other", ["word", "other"]),
    ])
    def test_words(self, text, expected):
        assert words(text) == expected

    def test_hyphen_parts_keep_offsets(self):
        assert _tokens.hyphen_parts("будь-який") == [(0, "будь"), (5, "який")]


class TestStressText:
    @pytest.mark.parametrize("text, expected", [
        ("Мама", "Ма́ма"),                                    # capitals stay
        ("П'ЯТЬ сім’я", "П'ЯТЬ сі́м’я"),                      # one vowel: unmarked; apostrophe kept
        ("мама, 123 hello\n\tмама!", "ма́ма, 123 hello\n\tма́ма!"),
        ("ма́ма мама", "ма́ма ма́ма"),                          # marked words untouched
        ("невідомослово", "невідомосло́во"),                  # unknown: the stress model's guess
        ("abcмама ёлка мамa", "abcмама ёлка мамa"),          # mixed scripts, Russian, a Latin a: left alone
        ("", ""),
    ])
    def test_marks(self, text, expected):
        assert lexovia_text.stress_text(text) == expected

    def test_single_vowel_words_on_request(self):
        assert lexovia_text.stress_text("дім і сад", single=True) == "ді́м і́ са́д"

    def test_unknown_hyphenated_word_is_stressed_by_parts(self):
        out = lexovia_text.stress_text("мама-вода")
        assert out == "ма́ма-вода́"
        parts = [(w.text, w.start) for w in lexovia_text.annotate("мама-вода")]
        assert parts == [("мама", 0), ("вода", 5)]

    def test_guess_is_the_default_and_flagged(self):
        text = "смартфонізація"   # not in the dictionary; ends like -ізація
        assert lexovia_text.stress_text(text, guess=False) == text
        (word,) = lexovia_text.annotate(text)
        assert word.guess and word.rule == "guess" and word.readings == [] and word.chosen is None
        assert lexovia_text.stress_text(text) == "смартфоніза́ція"


def test_a_full_word_cache_starts_afresh(monkeypatch):
    from lexovia_text import _entries
    text = "мама вода руки мама-вода школа"
    expected = lexovia_text.stress_text(text)
    monkeypatch.setattr(_entries, "CACHE_LIMIT", 3)
    monkeypatch.setattr(lexovia_text, "_cache", _entries.Cache())
    assert lexovia_text.stress_text("до руки") == "до руки́"
    assert lexovia_text.stress_text(text) == expected   # words cached before the refill are asked again


class TestAnnotate:
    def test_spans_index_the_text(self):
        text = "Мої руки, сім’я."
        for w in lexovia_text.annotate(text):
            assert text[w.start:w.end] == w.text

    def test_readings_are_lookups(self):
        import lexovia
        (w,) = lexovia_text.annotate("Замок")
        assert w.readings == lexovia.lookup("Замок")["readings"]
        assert w.chosen is not None and w.rule in lexovia_text.RULE_NAMES


def strip_added(original, stressed):
    """stressed minus the U+0301 marks that are not in original, checking
    on the way that nothing else differs."""
    out, j = [], 0
    for c in stressed:
        if j < len(original) and c == original[j]:
            out.append(c)
            j += 1
        else:
            assert c == ACUTE, (original, stressed)
    return "".join(out)


# Text the way real input mixes it: Ukrainian letters of both cases,
# apostrophes, hyphens, marks, Latin, digits, punctuation, spaces, and any
# other code point, lone surrogates included.
UKRAINIAN = st.sampled_from(list("абвгґдеєжзиіїйклмнопрстуфхцчшщьюяАБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ"))
SPECIAL = st.sampled_from(list("'ʼ’‘`-\u2010\u2011\u0301\u0306 \n\t.,!?…«»—0123456789abcXYZ"))
ANY = st.characters(codec=None, categories=None)
TEXT = st.lists(st.one_of(UKRAINIAN, UKRAINIAN, SPECIAL, ANY), max_size=60).map("".join)
REAL_WORDS = st.lists(st.sampled_from(["мама", "руки", "Замок", "сім'я", "будь-який", "до", "роботи", "вона",
                                       "мої", "без", "води", "П'ЯТЬ", "ма́ма", "кавуномобіль", "—", ", ", " ",
                                       "\n", "-", "'"]), max_size=20).map("".join)


@settings(max_examples=300, deadline=None)
@given(st.one_of(TEXT, REAL_WORDS), st.booleans(), st.booleans())
def test_removing_the_added_marks_gives_the_input_back(text, single, guess):
    stressed = lexovia_text.stress_text(text, single=single, guess=guess)
    assert strip_added(text, stressed) == text
    if ACUTE not in text:
        assert stressed.replace(ACUTE, "") == text
    # A mark is only ever added right after a vowel letter.
    for i, c in enumerate(stressed):
        if c == ACUTE and (i == 0 or stressed[i - 1] not in _tokens.VOWELS):
            assert text.count(ACUTE) > 0


@settings(max_examples=150, deadline=None)
@given(st.one_of(TEXT, REAL_WORDS))
def test_annotate_and_transcribe_never_fail(text):
    for w in lexovia_text.annotate(text, guess=True):
        assert text[w.start:w.end] == w.text
    lexovia_text.transcribe_text(text)


def test_lone_surrogates_pass_through():
    # They are not letters: never part of a word, never sent to lexovia
    # (which refuses them), copied through like punctuation.
    text = "мама \ud800 мама\udfff"
    assert lexovia_text.stress_text(text) == "ма́ма \ud800 ма́ма\udfff"


class TestTranscribeText:
    # Words without в before a vowel, which the text's IPA reads as speech
    # (test_text_ipa): lexovia.transcribe's syllables are theirs.
    @staticmethod
    def stressed_ipa(word, stress):
        import lexovia
        return "".join(("ˈ" if s["stressed"] else "") + s["ipa"]
                       for s in lexovia.transcribe(word, stress)["syllables"])

    def test_words_become_ipa_and_the_rest_stays(self):
        out = lexovia_text.transcribe_text("Мама, hello 12!")
        assert out == self.stressed_ipa("мама", 0) + ", hello 12!"

    def test_the_chosen_stress_is_transcribed(self):
        # до, a preposition, is said unstressed (see test_text_ipa).
        out = lexovia_text.transcribe_text("до руки")
        assert out == lexovia.transcribe("до", 0)["ipa"] + " " + self.stressed_ipa("руки", 1)
        assert out.endswith("ˈkɪ")

    def test_matches_lookup_syllables(self):
        import lexovia
        (reading,) = lexovia.lookup("мама")["readings"]
        assert lexovia_text.transcribe_text("мама") == "".join(reading["ipa_syllables"])

    def test_words_not_in_ukrainian_letters_stay(self):
        assert lexovia_text.transcribe_text("abcмама ёлка") == "abcмама ёлка"

    def test_unknown_word_without_guess_has_no_stress_mark(self):
        import lexovia
        out = lexovia_text.transcribe_text("кавуномобілями", guess=False)
        assert out == lexovia.transcribe("кавуномобілями", 0)["ipa"] and "ˈ" not in out

    def test_nfc_is_not_assumed(self):
        # A decomposed й keeps its word whole; the text still comes back.
        text = unicodedata.normalize("NFD", "мій край")
        assert lexovia_text.stress_text(text).replace(ACUTE, "") == text

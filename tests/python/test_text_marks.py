"""Stress-mark formats and the user's own marks in lexovia_text: what each
format writes and reads, that each round-trips, and that a word the user
marked is theirs in every function."""
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia_text
from lexovia_text import _marks, _tokens

ACUTE = "\u0301"
PLUS = "+"
FORMATS = ["acute", "plus-after", "plus-before"]
# The character each format adds.
MARK_CHAR = {"acute": ACUTE, "plus-after": PLUS, "plus-before": PLUS}


def words(text, fmt):
    return [m.group() for m in _marks.words(text, fmt)]


class TestWriting:
    @pytest.mark.parametrize("fmt, text, expected", [
        ("acute", "Мої руки пахнуть хлібом.", "Мої́ ру́ки па́хнуть хлі́бом."),
        ("plus-after", "Мої руки пахнуть хлібом.", "Мої+ ру+ки па+хнуть хлі+бом."),
        ("plus-before", "Мої руки пахнуть хлібом.", "Мо+ї р+уки п+ахнуть хл+ібом."),
        # a compound, a word starting with its stressed vowel, capitals
        ("plus-after", "торгово-промисловою", "торго+во-промисло+вою"),
        ("plus-before", "торгово-промисловою", "торг+ово-промисл+овою"),
        ("plus-before", "Озеро ОЗЕРО", "+Озеро +ОЗЕРО"),
        ("plus-after", "сім'я", "сі+м'я"),
    ])
    def test_stress_text(self, fmt, text, expected):
        assert lexovia_text.stress_text(text, mark=fmt) == expected

    @pytest.mark.parametrize("fmt, expected", [
        ("acute", "до́ ді́м"), ("plus-after", "до+ ді+м"), ("plus-before", "д+о д+ім"),
    ])
    def test_single_vowel_words(self, fmt, expected):
        assert lexovia_text.stress_text("до дім", single=True, mark=fmt) == expected

    @pytest.mark.parametrize("fmt", FORMATS)
    def test_annotate_writes_the_format(self, fmt):
        (w,) = lexovia_text.annotate("торгово-промисловою", mark=fmt)
        assert w.marked == lexovia_text.stress_text("торгово-промисловою", mark=fmt)
        assert w.text == "торгово-промисловою"

    def test_annotate_marks_nothing_without_a_stress(self):
        (w,) = lexovia_text.annotate("невідомослово", mark="plus-after", guess=False)
        assert w.stress is None and w.marked == "невідомослово"

    @pytest.mark.parametrize("function", [
        lambda m: lexovia_text.stress_text("мама", mark=m),
        lambda m: list(lexovia_text.annotate("мама", mark=m)),
        lambda m: lexovia_text.transcribe_text("мама", mark=m),
    ])
    @pytest.mark.parametrize("mark", ["plus", "", "ACUTE", None])
    def test_an_unknown_format_is_refused(self, function, mark):
        with pytest.raises(ValueError, match="plus-before"):
            function(mark)


class TestReading:
    @pytest.mark.parametrize("fmt, text, expected", [
        # a + beside a vowel on its format's side is part of the word
        ("plus-after", "за+мок, мама+ 1+1 C++ +мама", ["за+мок", "мама+", "C", "мама"]),
        ("plus-before", "з+амок, +озеро 1+1 C++ з+мок", ["з+амок", "+озеро", "C", "з", "мок"]),
        # in the acute format a + is text between words
        ("acute", "за+мок з+амок", ["за", "мок", "з", "амок"]),
        # U+0301 is inside the word in every format
        ("plus-after", "за́мок", ["за́мок"]),
        ("plus-before", "за́мок", ["за́мок"]),
    ])
    def test_words(self, fmt, text, expected):
        assert words(text, fmt) == expected

    @pytest.mark.parametrize("fmt, word, expected", [
        ("acute", "за́мок", ("замок", (0,))),
        ("acute", "замо́к", ("замок", (1,))),
        ("acute", "торго́во-промисло́вою", ("торгово-промисловою", (1, 5))),
        ("plus-after", "за+мок", ("замок", (0,))),
        ("plus-after", "замо+к", ("замок", (1,))),
        ("plus-after", "руки+", ("руки", (1,))),
        ("plus-before", "з+амок", ("замок", (0,))),
        ("plus-before", "+Озеро", ("Озеро", (0,))),
        # U+0301 is read whatever the format
        ("plus-after", "за́мок", ("замок", (0,))),
        ("plus-before", "замо́к", ("замок", (1,))),
        # two marks on one vowel are one decision
        ("plus-after", "за́+мок", ("замок", (0,))),
        # no mark, or one out of place: nobody's decision
        ("acute", "замок", None),
        ("acute", "зам́ок", None),
        ("acute", "за+мок", None),
        ("plus-after", "з+амок", None),
        ("plus-before", "за+мок", None),
        ("plus-before", "замок+", None),
    ])
    def test_read(self, fmt, word, expected):
        assert _marks.read(word, fmt) == expected


# Words of Ukrainian letters, apostrophes and hyphens between letters.
LETTERS = "абвгґдеєжзиіїйклмнопрстуфхцчшщьюяАБВГҐДЕЄЖЗИІЇЙКЛМНОПРСТУФХЦЧШЩЬЮЯ"
PIECE = st.text(alphabet=LETTERS, min_size=1, max_size=8)
WORD = st.lists(PIECE, min_size=1, max_size=3).flatmap(
    lambda pieces: st.lists(st.sampled_from(list("-'ʼ")), min_size=len(pieces) - 1,
                            max_size=len(pieces) - 1).map(
        lambda joins: pieces[0] + "".join(j + p for j, p in zip(joins, pieces[1:]))))


@settings(max_examples=300, deadline=None)
@given(WORD, st.sampled_from(FORMATS), st.data())
def test_reading_what_was_written_gives_it_back(word, fmt, data):
    vowels = _tokens.vowel_count(word)
    if not vowels:
        return
    stresses = tuple(sorted(data.draw(st.sets(st.integers(0, vowels - 1), min_size=1))))
    written = _marks.write(word, stresses, fmt)
    assert written.replace(MARK_CHAR[fmt], "") == word
    assert words(written, fmt) == [written]         # one word, marks included
    assert _marks.read(written, fmt) == (word, stresses)


def strip_added(original, stressed, mark_char):
    """stressed minus the marks that are not in original, checking on the
    way that nothing else differs."""
    out, j = [], 0
    for c in stressed:
        if j < len(original) and c == original[j]:
            out.append(c)
            j += 1
        else:
            assert c == mark_char, (original, stressed)
    assert j == len(original), (original, stressed)
    return "".join(out)


UKRAINIAN = st.sampled_from(list(LETTERS))
SPECIAL = st.sampled_from(list("'ʼ’‘`-\u2010\u2011\u0301\u0306+ \n\t.,!?…«»—0123456789abcXYZ"))
ANY = st.characters(codec=None, categories=None)
TEXT = st.lists(st.one_of(UKRAINIAN, UKRAINIAN, SPECIAL, ANY), max_size=60).map("".join)
REAL_WORDS = st.lists(st.sampled_from([
    "мама", "руки", "Замок", "сім'я", "будь-який", "до", "роботи", "вона", "мої", "без", "води", "П'ЯТЬ",
    "ма́ма", "за+мок", "з+амок", "+", "++", "1+1", "торгово-промисловою", "мама-вода", "кавуномобіль", "—",
    ", ", " ", "\n", "-", "'"]), max_size=20).map("".join)


@settings(max_examples=300, deadline=None)
@given(st.one_of(TEXT, REAL_WORDS), st.sampled_from(FORMATS), st.booleans(), st.booleans())
def test_removing_the_added_marks_gives_the_input_back(text, fmt, single, guess):
    stressed = lexovia_text.stress_text(text, single=single, guess=guess, mark=fmt)
    assert strip_added(text, stressed, MARK_CHAR[fmt]) == text
    if MARK_CHAR[fmt] not in text:
        assert stressed.replace(MARK_CHAR[fmt], "") == text


@settings(max_examples=200, deadline=None)
@given(st.one_of(TEXT, REAL_WORDS), st.sampled_from(FORMATS), st.booleans())
def test_stressed_text_is_left_as_it_is(text, fmt, single):
    # Every mark written is read back as the user's: nothing more is added.
    once = lexovia_text.stress_text(text, single=single, mark=fmt)
    assert lexovia_text.stress_text(once, single=single, mark=fmt) == once


class TestUserMarks:
    """A word with a mark is the user's decision, in every function."""

    # (format, text, the marked word's position among the words, its vowel)
    MARKED = [
        ("acute", "за́мок стоїть", 0, 0),
        ("acute", "замо́к стоїть", 0, 1),
        ("plus-after", "за+мок стоїть", 0, 0),
        ("plus-after", "замо+к стоїть", 0, 1),
        ("plus-before", "з+амок стоїть", 0, 0),
        ("plus-before", "зам+ок стоїть", 0, 1),
        ("plus-after", "Ось на+", 1, 0),                     # a one-vowel word, stressed by choice
        ("acute", "Ми бачили невідомосло\u0301во", 2, 4),     # a word the dictionary lacks
    ]

    @pytest.mark.parametrize("fmt, text, index, stress", MARKED)
    def test_stress_text_keeps_the_word_and_adds_no_mark(self, fmt, text, index, stress):
        out = lexovia_text.stress_text(text, single=True, guess=True, mark=fmt)
        assert words(out, fmt)[index] == words(text, fmt)[index]

    @pytest.mark.parametrize("fmt, text, index, stress", MARKED)
    def test_annotate_reports_the_users_stress(self, fmt, text, index, stress):
        w = list(lexovia_text.annotate(text, guess=True, mark=fmt))[index]
        assert (w.rule, w.stress, w.stresses, w.guess) == ("user-mark", stress, (stress,), False)
        assert text[w.start:w.end] == w.text == w.marked == words(text, fmt)[index]
        if w.readings:
            assert w.readings[w.chosen]["syllable_index"] == stress

    @pytest.mark.parametrize("fmt, text, index, stress", MARKED)
    def test_transcribe_text_stresses_the_marked_vowel(self, fmt, text, index, stress):
        from lexovia_text import _ipa
        plain = _marks.read(words(text, fmt)[index], fmt)[0]
        ipa = lexovia_text.transcribe_text(text, mark=fmt).split()[index]
        assert ipa == _ipa.word_ipa(plain.lower(), stress)
        assert ipa.count("ˈ") == 1

    def test_a_reading_without_that_stress_is_not_chosen(self):
        (w,) = lexovia_text.annotate("мама\u0301")     # no reading stresses the last а
        assert w.rule == "user-mark" and w.chosen is None and w.stress == 1 and w.readings

    @pytest.mark.parametrize("text, expected", [
        # The user's reading of руки decides ноги's by coordination.
        ("ру́ки і ноги", "ру́ки і но́ги"),
        ("руки́ і ноги", "руки́ і ноги́"),
        ("ру+ки і ноги", "ру+ки і но+ги"),
    ])
    def test_the_words_after_agree_with_the_users_reading(self, text, expected):
        fmt = "plus-after" if PLUS in text else "acute"
        assert lexovia_text.stress_text(text, mark=fmt) == expected

    def test_a_compound_marked_on_one_part_is_not_marked_again(self):
        assert lexovia_text.stress_text("торгово-промисло́вою") == "торгово-промисло́вою"
        (w,) = lexovia_text.annotate("торгово-промисло́вою")
        assert w.stresses == (5,) and w.rule == "user-mark"

    @pytest.mark.parametrize("text", [
        "зам\u0301ок",          # U+0301 after a consonant: no one's decision
        "cafe\u0301",           # a Latin word: not ours to read
        "м\u0306а\u0301ма",     # a mark the dictionary does not spell with
    ])
    def test_a_word_with_other_marks_is_left_alone(self, text):
        assert lexovia_text.stress_text(text) == text
        assert lexovia_text.transcribe_text(text) == text
        (w,) = lexovia_text.annotate(text)
        assert w.rule is None and w.stress is None

"""The IPA of running text (transcribe_text, lexovia_text._ipa) and the
module it reads the engine through (lexovia_text._phonetics): phrases with
their expected IPA, the one-vowel function words, compounds, separators,
and lexovia.transcribe left as it was."""
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia
import lexovia_text
from lexovia_text import _entries, _ipa, _phonetics

# (text, IPA): each row needs the convention it is grouped under.
PHRASES = {
    "в before a vowel is ʋ": [
        ("слово", "ˈslɔʋɔ"),
        ("Нові слова", "nɔ̝ˈʋi slɔˈʋɑ"),
        ("корова", "kɔˈrɔʋɑ"),
        ("голова", "ɦɔlɔˈʋɑ"),
        ("живий", "ʒɪˈʋɪj"),
        ("кров'ю", "ˈkrɔʋʔju"),
    ],
    "в elsewhere as in lexovia.transcribe": [
        ("знов", "ˈznɔu̯"),
        ("вовк", "ˈʋɔwk"),
        ("правда", "ˈprɑwdɑ"),
        ("своє", "sʋɔˈjɛ"),
    ],
    "one-vowel function words are unstressed": [
        ("на горі", "nɑ ɦɔ̝ˈri"),
        ("і до хати", "i dɔ ˈxɑtɪ"),
        ("не у", "nɛ u"),
        ("та чи же", "tɑ t͡ʃɪ ʒɛ"),
        ("під столом", "pid stɔˈlɔm"),   # a rare noun під does not make it a content word
        ("за хатою", "zɑ ˈxɑtɔju"),      # an adverb beside the preposition neither
    ],
    "one-vowel content words are stressed": [
        ("дім і сад", "ˈdim i ˈsɑd"),
        ("там так", "ˈtɑm ˈtɑk"),        # pro-forms in their own right, beside their particle readings
        ("я ще", "ˈjɑ ˈʃt͡ʃɛ"),           # a word without analyses is a content word
        ("край", "ˈkrɑj"),               # a frequent noun beside the preposition
    ],
    "a hyphenated word keeps its hyphens": [
        ("торгово-промисловою", "tɔrˌɦɔʋɔ-prɔmɪˈslɔʋɔju"),
        ("будь-який", "budʲ-jɑˈkɪj"),
        ("мама-вода", "ˌmɑmɑ-ʋɔˈdɑ"),    # unknown as a whole: its parts, put back together
        ("будь‑який", "budʲ‑jɑˈkɪj"),    # the hyphen kept is the text's own
    ],
    "a word the user marked is stressed as marked": [
        ("за́мок на горі", "ˈzɑmɔk nɑ ɦɔ̝ˈri"),
        ("замо́к на горі", "zɑˈmɔk nɑ ɦɔ̝ˈri"),
        ("на́ горі", "ˈnɑ ɦɔ̝ˈri"),         # a function word stressed by choice
        ("сло́во", "ˈslɔʋɔ"),
        ("торго́во-промисловою", "tɔrˈɦɔʋɔ-prɔmɪslɔʋɔju"),
    ],
    "everything between words stays": [
        ("Слово на горі, і до хати!", "ˈslɔʋɔ nɑ ɦɔ̝ˈri, i dɔ ˈxɑtɪ!"),
        ("«Мама» (мама) 12 hello", "«ˈmɑmɑ» (ˈmɑmɑ) 12 hello"),
    ],
}


@pytest.mark.parametrize("text, expected", [row for rows in PHRASES.values() for row in rows],
                         ids=[f"{group}: {text}" for group, rows in PHRASES.items() for text, _ in rows])
def test_phrase(text, expected):
    assert lexovia_text.transcribe_text(text) == expected


@pytest.mark.parametrize("fmt, text", [
    ("plus-after", "за+мок на горі"),
    ("plus-before", "з+амок на горі"),
])
def test_plus_marks_are_read(fmt, text):
    assert lexovia_text.transcribe_text(text, mark=fmt) == "ˈzɑmɔk nɑ ɦɔ̝ˈri"
    # In the default format the + is text between two words.
    assert "+" in lexovia_text.transcribe_text(text)


class TestLexoviaTranscribeKeepsItsRule:
    """The word-level labial glide stays in lexovia.transcribe and the
    dictionary's readings; only the text layer reads в as speech."""

    @pytest.mark.parametrize("word, stress, word_level, speech", [
        ("слово", 0, "slɔu̯ɔ", "slɔʋɔ"),
        ("нові", 1, "nɔ̝u̯i", "nɔ̝ʋi"),
        ("живий", 1, "ʒɪu̯ɪj", "ʒɪʋɪj"),
        ("голова", 2, "ɦɔlɔu̯ɑ", "ɦɔlɔʋɑ"),
    ])
    def test_same_word_both_ways(self, word, stress, word_level, speech):
        assert lexovia.transcribe(word, stress)["ipa"] == word_level
        assert "".join(_phonetics.speech_syllables(word, stress)[0]) == speech
        (reading,) = [r for r in lexovia.lookup(word)["readings"] if r["syllable_index"] == stress]
        assert reading["ipa"] == word_level


class TestPhoneticsModule:
    @pytest.mark.parametrize("word, stress, expected", [
        ("слово", 0, (("slɔ", "ʋɔ"), 0)),
        ("Слово", 1, (("slɔ", "ʋɔ"), 1)),
        ("на", None, (("nɑ",), -1)),
        ("мама", 255, (("mɑ", "mɑ"), -1)),      # beyond the vowels: nothing stressed
        ("", 0, (("",), -1)),
        ("abc", 0, (("",), -1)),
        ("кров’ю", 0, (("krɔʋ", "ʔju"), 0)),
    ])
    def test_syllables(self, word, stress, expected):
        assert _phonetics.speech_syllables(word, stress) == expected

    @pytest.mark.parametrize("args, error", [
        ((1, 0), TypeError),
        (("мама", "0"), TypeError),
        (("мама", 1.0), TypeError),
        (("мама", -1), ValueError),
        (("мама", 256), ValueError),
        (("мама", 2 ** 70), ValueError),
        (("мама",), TypeError),
        (("мама", 0, 0), TypeError),
        (("\ud800", 0), UnicodeEncodeError),
    ])
    def test_bad_arguments(self, args, error):
        with pytest.raises(error):
            _phonetics.speech_syllables(*args)

    @settings(max_examples=300, deadline=None)
    @given(st.text(alphabet=st.one_of(st.sampled_from(list("вуоаіиеєюяїйьклмнпстр'ʼ-ВО")),
                                      st.characters(codec="utf-8")), max_size=30),
           st.integers(0, 255))
    def test_the_engine_of_transcribe_but_for_the_glide(self, word, stress):
        # Any word, any stress: the same sounds as lexovia.transcribe except
        # a u̯ said as ʋ, and ˈ nowhere or on the one syllable it stresses.
        syllables, stressed = _phonetics.speech_syllables(word, stress)
        word_level = lexovia.transcribe(word, stress)
        assert "".join(syllables).replace("ʋ", "u̯") == word_level["ipa"].replace("ʋ", "u̯")
        assert stressed == next((k for k, s in enumerate(word_level["syllables"]) if s["stressed"]), -1)

    def test_keywords_are_refused(self):
        with pytest.raises(TypeError):
            _phonetics.speech_syllables(word="мама", stress=0)

    def test_loads_in_a_sub_interpreter_with_its_own_lock(self):
        # It holds no state, and says so. (The package around it imports
        # lexovia, which refuses sub-interpreters: the file is loaded alone.)
        from conftest import run_python
        proc = run_python(SUB_INTERPRETER)
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout.strip() == "None"


SUB_INTERPRETER = """
import _interpreters, os
import lexovia_text
folder = os.path.dirname(lexovia_text.__file__)
interp = _interpreters.create("isolated")
err = _interpreters.exec(interp, "\\n".join([
    "import sys",
    f"sys.path.insert(0, {folder!r})",
    "import _phonetics as p",
    "assert p.speech_syllables('слово', 0) == (('slɔ', 'ʋɔ'), 0)",
]))
print(err)
"""


class TestFunctionWords:
    @pytest.mark.parametrize("word, leans", [
        ("на", True), ("і", True), ("до", True), ("не", True), ("у", True), ("та", True), ("чи", True),
        ("же", True), ("під", True), ("при", True), ("за", True), ("хай", True), ("бо", True),
        ("дім", False), ("там", False), ("так", False), ("що", False), ("все", False), ("я", False),
        ("край", False), ("раз", False), ("ще", False), ("сто", False),
    ])
    def test_is_function_word(self, word, leans):
        entry = _entries.Cache().fill([word])[word]
        assert entry.vowels == 1
        assert _ipa.is_function_word(entry) is leans

    def test_capitals_do_not_matter(self):
        assert lexovia_text.transcribe_text("На горі. До хати") == "nɑ ɦɔ̝ˈri. dɔ ˈxɑtɪ"


class TestSeparators:
    def test_syllables(self):
        assert lexovia_text.transcribe_text("Слово на горі", syllable_separator=".") == "ˈslɔ.ʋɔ nɑ ɦɔ̝.ˈri"

    def test_words_line_by_line(self):
        text = "Слово на горі, і до хати.\r\nHello, мама!\n\nруки"
        out = lexovia_text.transcribe_text(text, syllable_separator=".", word_separator=" | ")
        assert out == "ˈslɔ.ʋɔ | nɑ | ɦɔ̝.ˈri | i | dɔ | ˈxɑ.tɪ\r\nHello | ˈmɑ.mɑ\n\nˈru.kɪ"

    def test_compound_parts(self):
        out = lexovia_text.transcribe_text("торгово-промисловою", syllable_separator=" ")
        assert out == "tɔr ˌɦɔ ʋɔ-prɔ mɪ ˈslɔ ʋɔ ju"

    def test_an_empty_word_separator_joins_the_words(self):
        assert lexovia_text.transcribe_text("на горі", word_separator="") == "nɑɦɔ̝ˈri"


TEXT = st.lists(st.one_of(st.sampled_from(list("абвгдеєжзиіїйклмнопрстуфхцчшщьюяАВІЇ'ʼ-+\u0301 \n.,")),
                          st.characters(codec=None, categories=None)), max_size=60).map("".join)
WORDS = st.lists(st.sampled_from(["слово", "на", "до", "за́мок", "за+мок", "з+амок", "торгово-промисловою",
                                  "мама-вода", "будь-який", "кров'ю", " ", ", ", "\n", "-", "+", "Ось"]),
                 max_size=20).map("".join)


@settings(max_examples=200, deadline=None)
@given(st.one_of(TEXT, WORDS), st.sampled_from(["acute", "plus-after", "plus-before"]),
       st.sampled_from(["", "."]), st.sampled_from([None, " ", "|"]), st.booleans())
def test_transcribe_text_never_fails(text, fmt, syllables, words, guess):
    out = lexovia_text.transcribe_text(text, mark=fmt, syllable_separator=syllables, word_separator=words,
                                       guess=guess)
    assert isinstance(out, str)
    if words is not None:
        assert line_breaks(out) == line_breaks(text)


def line_breaks(text):
    return "".join(line[len(line.splitlines()[0]):] for line in text.splitlines(keepends=True))


def test_a_very_long_word_marked_far_in_is_transcribed():
    # A mark beyond vowel 255 is more than the engine's 8-bit stress takes:
    # the word is transcribed without it, and nothing fails.
    word = "ма" * 300
    marked = word + "\u0301"
    out = lexovia_text.transcribe_text(marked)
    assert "ˈ" not in out and out == lexovia_text.transcribe_text(word, guess=False)

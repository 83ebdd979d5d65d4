"""The module object: registration, __all__, docstrings, signatures,
re-import and the sub-interpreter guard."""
import importlib
import inspect
import sys

import lexovia
from conftest import run_python

FUNCTIONS = ["lookup", "lookup_many", "mark", "mark_many", "word_count", "transcribe"]


def test_all_lists_the_functions_in_table_order():
    assert lexovia.__all__ == FUNCTIONS
    assert type(lexovia.__all__) is list


def test_module_doc_is_empty_string():
    assert lexovia.__doc__ == ""


def test_functions_belong_to_the_module():
    for name in FUNCTIONS:
        fn = getattr(lexovia, name)
        assert fn.__module__ == "lexovia"
        assert fn.__name__ == name
        assert fn.__self__ is lexovia


def test_transcribe_signature():
    assert lexovia.transcribe.__text_signature__ == "(word, si)"
    params = inspect.signature(lexovia.transcribe).parameters
    assert list(params) == ["word", "si"]
    assert all(p.kind is p.POSITIONAL_OR_KEYWORD for p in params.values())


TRANSCRIBE_DOC = '''\
Transcribe a Ukrainian word to IPA using all 6 phonetic passes.

This is a lower-level function for when you already know the stress index
(e.g. from ``lookup``).  Use ``lookup`` to obtain all variants at once.

Args:
    word:         Ukrainian word (any case, any apostrophe variant).
    stress_index: 0-based index of the stressed vowel.

Returns a dict:

.. code-block:: python

    {
      "word": "мама",
      "ipa": "mɑmɑ",
      "stress_index": 0,
      "tokens": [{"ipa":"m","source":"м","type":"Consonant","vowel_index":-1,...}, ...],
      "syllables": [{"ipa":"mɑ","word":"ма","stressed":true,"is_open":true}, ...]
    }'''


def test_transcribe_doc_text():
    assert lexovia.transcribe.__doc__ == TRANSCRIBE_DOC


def test_reimport_returns_the_same_module_object():
    first = sys.modules.pop("lexovia")
    try:
        again = importlib.import_module("lexovia")
        assert again is first
    finally:
        sys.modules["lexovia"] = first


def test_import_in_a_sub_interpreter_is_refused():
    # A legacy-style sub-interpreter allows single-phase modules at all, so
    # the refusal seen there is the module's own.
    proc = run_python("""
        import _interpreters, lexovia
        interp = _interpreters.create("legacy")
        err = _interpreters.exec(interp, "import lexovia")
        print(err.type.__name__)
        print(err.msg)
        """)
    assert proc.returncode == 0, proc.stderr
    kind, message = proc.stdout.splitlines()
    assert kind == "ImportError"
    assert "sub-interpreters" in message


def test_sub_interpreter_refused_even_before_the_main_interpreter_imports():
    # CPython runs a single-phase initialisation in the main interpreter
    # first, so the main interpreter owns the module whatever the order.
    proc = run_python("""
        import _interpreters
        interp = _interpreters.create("legacy")
        err = _interpreters.exec(interp, "import lexovia")
        print(err.type.__name__)
        import lexovia
        print(lexovia.transcribe("ма", 0)["ipa"])
        """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.splitlines() == ["ImportError", "mɑ"]


OTHER_DOCS = {
    "lookup": '''\
Look up a Ukrainian word and return all stress variants with full phonetics
and morphology.

Returns a dict:

.. code-block:: python

    {
      "form": "замок",
      "readings": [
        {
          "stress_index": 0,
          "form": "замок",
          "stressed_form": "за́мок",
          "word_syllables": ["за", "мок"],
          "ipa": "zɑmɔk",
          "ipa_syllables": ["ˈzɑ", "mɔk"],
          "syllable_count": 2,
          "tokens": [...],
          "morph": [{"pos": ["NOUN"], "feats": {"Case": ["Nom"]}, "lemma": "замок"}]
        },
        ...
      ]
    }

``readings`` is an empty list if the word is not in the dictionary.

The engine never picks one reading.  Use the morphological context from your
NLP pipeline (spaCy, Stanza, etc.) to select the appropriate reading.
See ``documentation/API_DESIGN.md`` for resolution examples.''',
    "lookup_many": '''\
Batch lookup for many words.

Args:
    words: list of word strings.

Returns:
    list of lookup result dicts (same shape as ``lookup``), in input order.''',
    "mark": '''\
Return *word* with a combining acute accent (U+0301) placed after the
stressed vowel of the **first** (most common) stress variant.

Returns the word unchanged if it is not in the dictionary.

For full control over which variant is used, call ``lookup()`` and read
``readings[i].stressed_form`` directly.''',
    "mark_many": '''\
Batch stress-marking for many words.

Returns one output per input word. Unknown words are returned unchanged.''',
    "word_count": "Total number of word forms in the embedded dictionary.",
}


def test_other_doc_texts():
    for name, text in OTHER_DOCS.items():
        assert getattr(lexovia, name).__doc__ == text, name

"""stress_batch and transcribe_batch: equal to the loop over stress_text and
transcribe_text, whatever the texts and options, in this process and in
worker processes of every start method."""
import functools
import gc
import multiprocessing
import pickle

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import lexovia_text
from conftest import run_python
from lexovia_text import _batch, _entries

# Sentences whose words need the context (heteronyms after prepositions,
# numerals, agreement), repeated words, words of one vowel, unknown and
# hyphenated words, Latin and punctuation.
PIECES = ["Мої руки пахнуть хлібом.", "до руки", "дві площини", "Замок на горі", "новий замок", "без води",
          "сім'я", "будь-який", "мама-вода", "смартфонізація", "П'ЯТЬ", "ма́ма", "hello", "2024", "—", ", ",
          " ", "\n", "", "народу", "того", "до мене", "вона сама", "той самий"]
TEXT = st.lists(st.sampled_from(PIECES), max_size=12).map(" ".join)
ANY_TEXT = st.text(max_size=40)
# Lists with repeats: a batch converts a repeated text once.
TEXTS = st.lists(st.one_of(TEXT, TEXT, ANY_TEXT), max_size=25).flatmap(
    lambda xs: st.permutations(xs + xs[: len(xs) // 2]))
STRESS_OPTIONS = st.fixed_dictionaries({}, optional={"single": st.booleans(), "guess": st.booleans()})
IPA_OPTIONS = st.fixed_dictionaries({}, optional={"guess": st.booleans()})


class TestEqualToTheLoop:
    @settings(max_examples=150, deadline=None)
    @given(TEXTS, STRESS_OPTIONS)
    def test_stress(self, texts, options):
        assert lexovia_text.stress_batch(texts, **options) == [lexovia_text.stress_text(t, **options)
                                                                for t in texts]

    @settings(max_examples=100, deadline=None)
    @given(TEXTS, IPA_OPTIONS)
    def test_transcribe(self, texts, options):
        assert lexovia_text.transcribe_batch(texts, **options) == [lexovia_text.transcribe_text(t, **options)
                                                                    for t in texts]

    @settings(max_examples=40, deadline=None)
    @given(TEXTS)
    def test_across_slices_and_a_refilled_word_cache(self, texts):
        # Tiny slices and a cache too small for one slice's words: every
        # slice and cache boundary falls inside the batch.
        expected = [lexovia_text.stress_text(t) for t in texts]
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(_batch, "SLICE_CHARS", 7)
            mp.setattr(_entries, "CACHE_LIMIT", 5)
            mp.setattr(lexovia_text, "_cache", _entries.Cache())
            assert lexovia_text.stress_batch(texts) == expected

    @pytest.mark.parametrize("make", [tuple, iter, lambda xs: (x for x in xs)])
    def test_any_iterable_of_texts(self, make):
        texts = ["до руки", "мама", "до руки"]
        assert lexovia_text.stress_batch(make(texts)) == [lexovia_text.stress_text(t) for t in texts]

    def test_empty_batch(self):
        assert lexovia_text.stress_batch([]) == [] and lexovia_text.transcribe_batch(()) == []


class TestArguments:
    @pytest.mark.parametrize("bad, index", [([None], 0), (["мама", b"bytes"], 1), (["a", "b", 3.5], 2)])
    def test_an_item_that_is_not_a_str(self, bad, index):
        with pytest.raises(TypeError, match=rf"texts\[{index}\] is"):
            lexovia_text.stress_batch(bad)
        with pytest.raises(TypeError, match=rf"texts\[{index}\] is"):
            lexovia_text.transcribe_batch(bad)

    def test_an_unknown_option_fails_as_in_the_single_function(self):
        with pytest.raises(TypeError):
            lexovia_text.stress_text("мама", no_such_option=True)
        with pytest.raises(TypeError):
            lexovia_text.stress_batch(["мама"], no_such_option=True)
        with pytest.raises(TypeError):
            lexovia_text.transcribe_batch(["мама"], single=True)   # transcribe_text has no `single`

    def test_options_reach_the_single_function_untouched(self, monkeypatch):
        # An option that stress_text gains later must work through the batch.
        seen = []

        def spy(text, **options):
            seen.append(options)
            return text.upper()

        monkeypatch.setattr(lexovia_text, "stress_text", spy)
        assert lexovia_text.stress_batch(["а", "б", "а"], mark="+", single=True) == ["А", "Б", "А"]
        assert seen == [{"mark": "+", "single": True}] * 2   # the repeated text is converted once


class TestGarbageCollector:
    def test_its_state_is_restored(self):
        assert gc.isenabled()
        lexovia_text.stress_batch(["до руки"])
        assert gc.isenabled()
        gc.disable()
        try:
            lexovia_text.stress_batch(["до руки"])
            assert not gc.isenabled()
        finally:
            gc.enable()

    def test_restored_when_a_text_fails(self, monkeypatch):
        def fails(text, **options):
            raise RuntimeError("boom")

        monkeypatch.setattr(lexovia_text, "stress_text", fails)
        with pytest.raises(RuntimeError):
            lexovia_text.stress_batch(["мама"])
        assert gc.isenabled()

    def test_a_batch_leaves_no_cycles_behind(self, monkeypatch):
        # The collector waits during a slice only because nothing a slice
        # makes needs it: every object dropped is freed by its count.
        texts = [f"{p} {q}" for p in PIECES for q in PIECES[:8]]
        lexovia_text.stress_batch(texts)
        lexovia_text.transcribe_batch(texts, guess=True)
        gc.collect()
        monkeypatch.setattr(lexovia_text, "_cache", _entries.Cache())
        fresh = lexovia_text.stress_batch(texts) + lexovia_text.transcribe_batch(texts, guess=False)
        assert fresh and gc.collect() == 0


def _in_worker(texts):
    return lexovia_text.stress_batch(texts, single=True), lexovia_text.transcribe_batch(texts)


class TestWorkerProcesses:
    TEXTS = ["Мої руки пахнуть хлібом.", "до руки", "Без води не буде роботи, сім'я!", "до руки"]

    def test_pickles_by_reference(self):
        for f in (lexovia_text.stress_batch, lexovia_text.transcribe_batch):
            assert pickle.loads(pickle.dumps(f)) is f
        bound = pickle.loads(pickle.dumps(functools.partial(lexovia_text.stress_batch, single=True)))
        assert bound(self.TEXTS) == lexovia_text.stress_batch(self.TEXTS, single=True)

    @pytest.mark.parametrize("method", ["fork", "spawn", "forkserver"])
    def test_start_method(self, method):
        # spawn and forkserver workers load their own dictionary: one
        # worker each keeps this to one load per method.
        with multiprocessing.get_context(method).Pool(1) as pool:
            got = pool.map(_in_worker, [self.TEXTS])[0]
            direct = pool.map(functools.partial(lexovia_text.stress_batch, guess=True), [self.TEXTS])[0]
        assert got == _in_worker(self.TEXTS)
        assert direct == [lexovia_text.stress_text(t, guess=True) for t in self.TEXTS]


def test_warm_up_reads_every_lazy_table():
    proc = run_python("""
        import lexovia_text
        from lexovia_text import _entries, _guess, _prior, _statistics, _variants
        loaders = [_prior.prior, _statistics.model, _variants.order, _entries.short_analyses, _guess.model]
        assert all(f.cache_info().currsize == 0 for f in loaders)
        lexovia_text.warm_up()
        print([f.__qualname__ for f in loaders if f.cache_info().currsize == 0])
    """)
    assert proc.returncode == 0, proc.stderr
    assert proc.stdout.strip() == "[]"

"""Careless and hostile arguments: the process lives, the interpreter stays
responsive, and results for ordinary input do not change."""
import json
import signal
import subprocess
import sys
import textwrap
import time

import pytest
from hypothesis import given, settings, strategies as st

import lexovia
from conftest import run_python


class LyingSequence:
    """A sequence whose length says one thing and whose iteration another."""

    def __init__(self, claimed, items):
        self.claimed = claimed
        self.items = items

    def __len__(self):
        return self.claimed

    def __getitem__(self, i):
        return self.items[i]  # IndexError past the end ends the iteration


# --- sequence lengths are hints, never trusted for memory -------------------

# Each case runs in a child process: a reservation trusted to the hint would
# end that process (out of memory, or an internal error for 2**62).
HUGE_HINTS = [
    ("range(10**9)", "TypeError: argument 'words': 'int' object cannot be converted to 'PyString'"),
    ("bytes(10**9)", "TypeError: argument 'words': 'int' object cannot be converted to 'PyString'"),
    ("Lying(10**9, ['мама', 'вода'])", "ok 2"),
    ("Lying(2**40, ['мама', 'вода'])", "ok 2"),
    ("Lying(2**62, ['мама', 'вода'])", "ok 2"),
    ("Lying(2**62, ['мама', 1])", "TypeError: argument 'words': 'int' object cannot be converted to 'PyString'"),
    ("Lying(-1, ['мама'])", "ok 1"),
]


@pytest.fixture(scope="module")
def huge_hint_outcomes():
    """What each function gives for each argument of HUGE_HINTS, from one
    child process (one dictionary load for all of them)."""
    code = f"""
        import json, lexovia
        class Lying:
            def __init__(self, claimed, items): self.claimed, self.items = claimed, items
            def __len__(self): return self.claimed
            def __getitem__(self, i): return self.items[i]
        outcomes = {{}}
        for function in ("mark_many", "lookup_many"):
            for argument in {[a for a, _ in HUGE_HINTS]!r}:
                try:
                    outcome = "ok %d" % len(getattr(lexovia, function)(eval(argument)))
                except BaseException as e:
                    outcome = f"{{type(e).__name__}}: {{e}}"
                outcomes[function + " " + argument] = outcome
        print(json.dumps(outcomes))
    """
    proc = run_python(code)
    assert proc.returncode == 0, proc.stderr
    return json.loads(proc.stdout)


@pytest.mark.parametrize("function", ["mark_many", "lookup_many"])
@pytest.mark.parametrize("argument,expected", HUGE_HINTS)
def test_a_huge_or_lying_length_gives_the_ordinary_answer(huge_hint_outcomes, function, argument, expected):
    assert huge_hint_outcomes[f"{function} {argument}"] == expected


@settings(max_examples=60, deadline=None)
@given(claimed=st.one_of(st.integers(0, 50), st.sampled_from([10**9, 2**40, 2**62, 2**63 - 1])),
       items=st.lists(st.sampled_from(["мама", "Замок", "вода", "ї", "невідомослово", "сім'я", ""]), max_size=30))
def test_batches_follow_the_iteration_not_the_length(claimed, items):
    seq = LyingSequence(claimed, items)
    assert lexovia.mark_many(seq) == [lexovia.mark(w) for w in items]
    assert lexovia.lookup_many(seq) == [lexovia.lookup(w) for w in items]


# A list is read by index, its length read again for every item: a signal
# handler that runs while the words are read (the reader lets handlers run
# every few thousand items) may shorten the list, and reading on to the old
# length would read items the list no longer holds.
@pytest.mark.parametrize("container", [list, tuple])
def test_a_handler_that_shortens_the_list_while_it_is_read(container):
    words = ("мама", "вода", "Замок") * 700_000
    argument = container(words)
    shortened = []

    def shorten(signum, frame):
        if not shortened and isinstance(argument, list):
            shortened.append(len(argument))
            del argument[60_000:]

    previous = signal.signal(signal.SIGALRM, shorten)
    try:
        signal.setitimer(signal.ITIMER_REAL, 0.002)
        marked = lexovia.mark_many(argument)
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)
    assert 60_000 <= len(marked) <= len(words)
    assert marked == [lexovia.mark(w) for w in words[:len(marked)]]
    if container is tuple:
        assert len(marked) == len(words)


# --- words that once took quadratic time -------------------------------------

# Rules of the tokenizer and the palatalization pass, written out as plainly
# as they read: every soft sign and iotated vowel scans back over the tokens
# made so far, every soft dental scans back over the consonants before it.
# The engine does the same in one pass; on words of the letters below (no
# obstruent pairs, so no other pass changes a consonant's softness) its
# consonants must come out exactly as soft as here.
PLAIN_CONSONANTS = {"н": "n", "л": "l", "р": "r", "м": "m", "б": "b"}
DENTAL_OR_ALVEOLAR = {"n", "l", "r"}
IOTATION_BEFORE = set("аеєиіїоуюя'ʼ’‘`ь")
APOSTROPHES = set("'ʼ’‘`")


def reference_softness(word):
    tokens = []  # [kind, ipa, soft]
    for i, c in enumerate(word):
        if c in PLAIN_CONSONANTS:
            tokens.append(["C", PLAIN_CONSONANTS[c], False])
        elif c in "ао":
            tokens.append(["V", c, False])
        elif c in APOSTROPHES:
            tokens.append(["G", c, False])
        elif c == "ь":
            for t in reversed(tokens):
                if t[0] == "C" and not t[2]:
                    t[2] = True
                    break
        elif c == "я":
            if i == 0 or word[i - 1] in IOTATION_BEFORE:
                tokens += [["J", "j", False], ["V", c, False]]
            else:
                for t in reversed(tokens):
                    if t[0] == "C":
                        t[2] = True
                        break
                tokens.append(["V", c, False])
    merged, i = [], 0
    while i < len(tokens):
        a = tokens[i]
        if a[0] == "C" and i + 1 < len(tokens) and tokens[i + 1][0] == "C" and tokens[i + 1][1] == a[1]:
            merged.append(["C", a[1], a[2] or tokens[i + 1][2]])
            i += 2
        else:
            merged.append(a)
            i += 1
    for j in range(len(merged) - 1, 0, -1):
        trigger = merged[j]
        if not (trigger[0] == "C" and trigger[2] and trigger[1] in DENTAL_OR_ALVEOLAR):
            continue
        for k in range(j - 1, -1, -1):
            t = merged[k]
            if t[0] != "C":
                break
            if t[2]:
                continue
            if t[1] not in DENTAL_OR_ALVEOLAR:
                break
            t[2] = True
    return [t[2] for t in merged if t[0] == "C"]


SOFTNESS_LETTERS = "нлрмбаоя'ʼ’ь-"


@settings(max_examples=400, deadline=None)
@given(st.text(alphabet=SOFTNESS_LETTERS, max_size=40))
def test_soft_signs_and_iotated_vowels_soften_as_the_rules_read(word):
    tokens = lexovia.transcribe(word, 0)["tokens"]
    assert [t["palatalized"] for t in tokens if t["type"] == "Consonant"] == reference_softness(word)


def test_a_long_one_vowel_word_is_marked():
    assert lexovia.mark("'ь" * 2000 + "а") == "ʼь" * 2000 + "а\u0301"


# --- Ctrl-C during long calls -------------------------------------------------

# Long calls, each with the fraction of itself that is timed first to
# estimate how long the whole call would run uninterrupted. The estimate
# comes from the same process on the same machine, so the check below holds
# however loaded the machine is.
INTERRUPTED_CALLS = {
    "batch": ("lexovia.mark_many(['ст' * 400 + 'а'] * (400_000 // {part}))", 50),
    "long word": ("lexovia.transcribe('ма' * (4_000_000 // {part}), 0)", 50),
    "lookup batch": ("lexovia.lookup_many(['ст' * 400 + 'а'] * (100_000 // {part}))", 50),
}


@pytest.mark.parametrize("call", sorted(INTERRUPTED_CALLS))
def test_ctrl_c_stops_a_long_call_and_the_module_keeps_working(call):
    template, part = INTERRUPTED_CALLS[call]
    code = textwrap.dedent(f"""
        import time, lexovia
        lexovia.word_count()
        start = time.monotonic()
        {template.format(part=part)}
        print("ready", (time.monotonic() - start) * {part}, flush=True)
        try:
            {template.format(part=1)}
            print("finished", flush=True)
        except KeyboardInterrupt:
            print("interrupted", flush=True)
        print(lexovia.mark("вода"), flush=True)
    """)
    proc = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                            text=True, cwd="/")
    try:
        ready, estimate = proc.stdout.readline().split()
        assert ready == "ready"
        time.sleep(1.0)
        proc.send_signal(signal.SIGINT)
        sent = time.monotonic()
        outcome = proc.stdout.readline().strip()
        answered_after = time.monotonic() - sent
        after = proc.stdout.readline().strip()
        proc.wait(timeout=600)
    finally:
        if proc.poll() is None:
            proc.kill()
    assert outcome == "interrupted", (outcome, proc.stderr.read())
    # Not a speed figure: the interrupt must come well before the call could
    # have ended by itself, which is what waiting for the whole batch did.
    assert answered_after < float(estimate) / 2, (answered_after, estimate)
    assert after == "вода́"
    assert proc.returncode == 0

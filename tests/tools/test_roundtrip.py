"""Word data through the image writer and back out of the module's decoder.

Word data goes through tools/write_image.py into a bzip2-compressed image;
lexovia_dump_image (built with the C++ tests, it decodes with the module's
own decoder) prints the image as JSON; the decoded content must say exactly
what the word data says: normalised keys in byte order, stress positions,
records merged and ordered as the word data format describes, and every
index resolving to the right table string.

The dump tool is taken from the dev build (build/dev/tools/), or from the
path in LEXOVIA_DUMP_IMAGE.
"""
import bz2
import json
import os
import subprocess
from pathlib import Path

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

ROOT = Path(__file__).resolve().parents[2]

from tools.write_image import build_image

DUMP_TOOL = Path(os.environ.get("LEXOVIA_DUMP_IMAGE", ROOT / "build" / "dev" / "tools" / "lexovia_dump_image"))

A = "\u0301"  # the stress mark
AP = "\u02bc"  # the apostrophe of keys
TABLES = ("pos_tags", "feature_keys", "feature_values", "lemmas", "definitions")


def dump_tool():
    if not (DUMP_TOOL.is_file() and os.access(DUMP_TOOL, os.X_OK)):
        pytest.fail(
            f"dump tool {DUMP_TOOL} is missing: build it with "
            "`cmake --preset dev && cmake --build --preset dev` (target lexovia_dump_image), "
            "or point LEXOVIA_DUMP_IMAGE at it"
        )
    return DUMP_TOOL


def run_dump(path, raw=False):
    args = [str(dump_tool())] + (["--raw"] if raw else []) + [str(path)]
    done = subprocess.run(args, capture_output=True, timeout=120)
    assert done.returncode == 0, done.stderr.decode("utf-8", "replace")
    return json.loads(done.stdout.decode("utf-8"))


def decode(lines, tmp_path):
    """The dump of the compressed image of `lines`; the raw image must dump
    the same."""
    image = build_image(lines)
    compressed = tmp_path / "image.bz2"
    compressed.write_bytes(bz2.compress(image, 9))
    raw = tmp_path / "image.raw"
    raw.write_bytes(image)
    dump = run_dump(compressed)
    assert run_dump(raw, raw=True) == dump
    return dump


def resolved(dump):
    """[(key, [(positions, pos, feats, lemma, gloss)])] in image order, every
    index checked against its table and replaced by its string."""
    assert set(dump) == set(TABLES) | {"entries"}
    for name in TABLES:
        table = dump[name]
        assert len(set(table)) == len(table), f"{name} holds a string twice: {table}"

    def at(table, i):
        assert 0 <= i < len(dump[table]), f"{table} index {i} out of range"
        return dump[table][i]

    out = []
    for entry in dump["entries"]:
        records = []
        for r in entry["records"]:
            records.append((
                r["positions"],
                [at("pos_tags", i) for i in r["pos"]],
                [(at("feature_keys", k), [at("feature_values", v) for v in vs]) for k, vs in r["features"]],
                None if r["lemma"] is None else at("lemmas", r["lemma"]),
                None if r["definition"] is None else at("definitions", r["definition"]),
            ))
        out.append((entry["key"], records))
    return out


def used_strings(entries):
    """The strings each table must hold: exactly those the records name."""
    used = {name: set() for name in TABLES}
    for _, records in entries:
        for _, pos, feats, lemma, gloss in records:
            used["pos_tags"].update(pos)
            for name, values in feats:
                used["feature_keys"].add(name)
                used["feature_values"].update(values)
            if lemma is not None:
                used["lemmas"].add(lemma)
            if gloss is not None:
                used["definitions"].add(gloss)
    return used


def check_round_trip(lines, expected, tmp_path):
    dump = decode(lines, tmp_path)
    entries = resolved(dump)
    assert entries == expected
    assert {name: set(dump[name]) for name in TABLES} == used_strings(expected)


def line(form, upos="X", feats="", lemma="", gloss=""):
    return f"{form}\t{upos}\t{feats}\t{lemma}\t{gloss}\n"


# --- table-driven cases ---------------------------------------------------------

CASES = {
    "empty input": ([], []),
    "a multi-word affix with an apostrophe": (
        [line("(сім)-'яни́ни", "X", "", "сім'янина", "family member")],
        [("(сім)-ʼянини", [([2], ["X"], [], "сім'янина", "family member")])],
    ),
    "one key from several spellings, records in line order": (
        [
            line("за́мок", "NOUN", "Case=Nom|Number=Sing", "замок", "castle"),
            line("ЗАМО́К", "NOUN", "Case=Nom|Number=Sing", "замок", "lock"),
            line("За́мок", "NOUN", "Case=Nom|Number=Sing", "замок", "castle"),
            line("замо́к", "VERB", "_", "замокнути", ""),
        ],
        [("замок", [
            ([0], ["NOUN"], [("Case", ["Nom"]), ("Number", ["Sing"])], "замок", "castle"),
            ([1], ["NOUN"], [("Case", ["Nom"]), ("Number", ["Sing"])], "замок", "lock"),
            ([1], ["VERB"], [], "замокнути", None),
        ])],
    ),
    "equal analyses merge, positions united in order of first appearance": (
        [
            line("замо́к", "NOUN", "_", "замок"),
            line("за́мо́к", "NOUN", "", "замок"),
            line("за́мок", "NOUN", "_", "замок"),
        ],
        [("замок", [([1, 0], ["NOUN"], [], "замок", None)])],
    ),
    "features keep order, repeats and repeated names": (
        [line("ру́ки", "NOUN,X", "Number=Plur|Case=Nom,Acc,Nom|Case=Gen", "рука", "hands")],
        [("руки", [(
            [0], ["NOUN", "X"], [("Number", ["Plur"]), ("Case", ["Nom", "Acc", "Nom"]), ("Case", ["Gen"])],
            "рука", "hands",
        )])],
    ),
    "every apostrophe, capitals and a phrase": (
        [
            line("П'я́ть", "NUM"),
            line("пʼя́ть", "NUM"),
            line("П\u2019Я́ТЬ", "NUM"),
            line("п\u2018я́ть", "NUM"),
            line("п`я́ть", "NUM"),
            line("На Обʼє́кт", "ADP,NOUN"),
        ],
        [
            ("на обʼєкт", [([2], ["ADP", "NOUN"], [], None, None)]),
            ("пʼять", [([0], ["NUM"], [], None, None)]),
        ],
    ),
    "keys in byte order; keys without vowels carry no position": (
        [line("ї́"), line("ΟΔΟΣ"), line("я́"), line("İва́н"), line("а́"), line("ь"), line("-")],
        [
            ("-", [([], ["X"], [], None, None)]),
            ("i\u0307ван", [([0], ["X"], [], None, None)]),
            ("οδοσ", [([], ["X"], [], None, None)]),
            ("а", [([0], ["X"], [], None, None)]),
            ("ь", [([], ["X"], [], None, None)]),
            ("я", [([0], ["X"], [], None, None)]),
            ("ї", [([0], ["X"], [], None, None)]),
        ],
    ),
    "a key that is a prefix of another sorts first": (
        [line("мамо́ю"), line("ма́ма"), line("ма́ма ро́ду"), line("ма́м")],
        [
            ("мам", [([0], ["X"], [], None, None)]),
            ("мама", [([0], ["X"], [], None, None)]),
            ("мама роду", [([0, 2], ["X"], [], None, None)]),
            ("мамою", [([1], ["X"], [], None, None)]),
        ],
    ),
    "texts that need escaping in JSON": (
        [line("сло́во", "X", "", 'ле"ма\\', 'a "gloss"\\ with\x01control\x1f and 😀 \u2028')],
        [("слово", [([0], ["X"], [], 'ле"ма\\', 'a "gloss"\\ with\x01control\x1f and 😀 \u2028')])],
    ),
    "the highest stress position; two forms of one analysis make one record": (
        [line("ба" * 256 + A), line("ба́" + "ба" * 254 + "ба́")],
        [("ба" * 256, [([255, 0], ["X"], [], None, None)])],
    ),
    "a part-of-speech table of 256 tags": (
        [line(f"ру́ки{n:03d}", f"T{n}") for n in range(256)],
        [(f"руки{n:03d}", [([0], [f"T{n}"], [], None, None)]) for n in range(256)],
    ),
}


@pytest.mark.parametrize("lines, expected", CASES.values(), ids=CASES.keys())
def test_round_trip(lines, expected, tmp_path):
    check_round_trip(lines, expected, tmp_path)


def test_dump_tool_reports_a_malformed_image(tmp_path):
    image = build_image([line("за́мок")])
    cut = tmp_path / "cut.raw"
    cut.write_bytes(image[:-3])
    done = subprocess.run([str(dump_tool()), "--raw", str(cut)], capture_output=True)
    assert done.returncode == 1
    assert done.stderr.decode() == "lexovia_dump_image: io error: unexpected end of file\n"

    compressed = tmp_path / "cut.bz2"
    compressed.write_bytes(bz2.compress(image[:-3]))
    done = subprocess.run([str(dump_tool()), str(compressed)], capture_output=True)
    assert done.returncode == 1
    assert done.stderr.decode() == (
        'lexovia_dump_image: "failed to deserialize binary DB: io error: unexpected end of file"\n'
    )


# --- generated word data ---------------------------------------------------------

CONSONANTS = "бвгґджзйклмнпрстфхцчшщь"
VOWELS = "аеєиіїоуюя"
APOSTROPHES = ["'", AP, "\u2019", "\u2018", "`"]
UPOS = ["NOUN", "VERB", "ADJ", "ADV", "PRON", "PROPN", "NUM", "DET", "ADP", "CCONJ", "PART", "INTJ", "X"]
FEATURES = {
    "Case": ["Nom", "Gen", "Dat", "Acc", "Ins", "Loc", "Voc"],
    "Gender": ["Masc", "Fem", "Neut"],
    "Number": ["Sing", "Plur"],
    "Animacy": ["Anim", "Inan"],
    "Aspect": ["Imp", "Perf"],
    "VerbForm": ["Inf", "Fin", "Conv"],
    "Person": ["0", "1", "2", "3"],
}

# A base word: segments of (kind, text). Its key and forms follow from it.
segment = st.one_of(
    st.tuples(st.just("consonant"), st.sampled_from(CONSONANTS)),
    st.tuples(st.just("vowel"), st.sampled_from(VOWELS)),
    st.tuples(st.just("apostrophe"), st.just(AP)),
    st.tuples(st.just("other"), st.sampled_from([" ", "-", "İ"])),
)
base_word = st.lists(segment, min_size=1, max_size=9)


def key_of(word):
    return "".join("i\u0307" if text == "İ" else text for _, text in word)


@st.composite
def form_of(draw, word):
    """A spelling of `word` with capitals, any apostrophe and stress marks,
    and its stress positions."""
    vowels = sum(kind == "vowel" for kind, _ in word)
    stressed = set()
    if vowels:
        stressed = draw(st.sets(st.integers(0, vowels - 1), min_size=1, max_size=min(3, vowels)))
    parts = []
    ordinal = 0
    for kind, text in word:
        if kind == "apostrophe":
            parts.append(draw(st.sampled_from(APOSTROPHES)))
        elif kind in ("consonant", "vowel"):
            parts.append(text.upper() if draw(st.booleans()) else text)
            if kind == "vowel":
                if ordinal in stressed:
                    parts.append(A)
                ordinal += 1
        else:
            parts.append(text)
    return "".join(parts), sorted(stressed)


@st.composite
def analysis(draw):
    """(UPOS, FEATS, LEMMA, GLOSS) as the fields of a line; FEATS is None
    when there are no features (the line then says "" or "_")."""
    upos = ",".join(draw(st.lists(st.sampled_from(UPOS), max_size=2)))
    pairs = draw(st.lists(
        st.sampled_from(sorted(FEATURES)).flatmap(
            lambda name: st.tuples(st.just(name), st.lists(st.sampled_from(FEATURES[name]), min_size=1, max_size=3))
        ),
        max_size=3,
    ))
    feats = "|".join(name + "=" + ",".join(values) for name, values in pairs) or None
    lemma = draw(st.text(alphabet=CONSONANTS + VOWELS + "'ʼ-", max_size=8))
    gloss = draw(st.text(alphabet="abc xyz,;()\"\\/'é😀\x01", max_size=12))
    return upos, feats, lemma, gloss


def parsed_feats(feats):
    if feats is None:
        return []
    out = []
    for pair in feats.split("|"):
        name, values = pair.split("=")
        out.append((name, values.split(",")))
    return out


@st.composite
def word_data(draw):
    """(lines, expected decoded entries)."""
    words = draw(st.lists(base_word, min_size=1, max_size=6))
    analyses = draw(st.lists(analysis(), min_size=1, max_size=4))
    picks = draw(st.lists(
        st.tuples(st.integers(0, len(words) - 1), st.integers(0, len(analyses) - 1)), min_size=1, max_size=15
    ))
    lines = []
    # key -> [[signature, positions, record], ...] in order of first line
    entries = {}
    for w, a in picks:
        form, positions = draw(form_of(words[w]))
        upos, feats, lemma, gloss = analyses[a]
        feats_text = feats if feats is not None else draw(st.sampled_from(["", "_"]))
        lines.append(line(form, upos, feats_text, lemma, gloss))
        records = entries.setdefault(key_of(words[w]), [])
        signature = (upos, feats, lemma, gloss)
        for rec in records:
            if rec[0] == signature:
                rec[1].extend(p for p in positions if p not in rec[1])
                break
        else:
            records.append([signature, list(positions)])
    expected = []
    for key in sorted(entries, key=lambda k: k.encode("utf-8")):
        expected.append((key, [
            (
                positions,
                upos.split(",") if upos else [],
                parsed_feats(feats),
                lemma or None,
                gloss or None,
            )
            for (upos, feats, lemma, gloss), positions in entries[key]
        ]))
    return lines, expected


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(word_data())
def test_round_trip_of_generated_word_data(tmp_path, data):
    lines, expected = data
    check_round_trip(lines, expected, tmp_path)

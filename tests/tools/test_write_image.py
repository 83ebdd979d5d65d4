"""Tests of the dictionary image writer, tools/write_image.py.

Images are checked by decoding them with read_image(), a reader written
here from the layout alone, so that a writer fault cannot hide behind a
shared helper.
"""
import bz2
import os
import struct
import subprocess
import sys
from pathlib import Path
from typing import NamedTuple

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from tools import write_image as wi
from tools.write_image import WriterError, build_image, normalize_word, parse_line

A = "\u0301"  # combining acute accent, the stress mark
ROOT = Path(__file__).resolve().parents[2]


# --- an independent reader of the image layout -----------------------------

class Record(NamedTuple):
    positions: list
    pos: list
    features: list  # [(key index, [value indexes])]
    lemma: object  # int or None
    definition: object


class Image(NamedTuple):
    pos_tags: list
    feature_keys: list
    feature_values: list
    lemmas: list
    definitions: list
    entries: list  # [(key, [Record])]


class Reader:
    def __init__(self, data):
        self.data = data
        self.at = 0

    def take(self, n):
        assert self.at + n <= len(self.data), "image ends inside a field"
        chunk = self.data[self.at:self.at + n]
        self.at += n
        return chunk

    def u8(self):
        return self.take(1)[0]

    def u64(self):
        return struct.unpack("<Q", self.take(8))[0]

    def string(self):
        return self.take(self.u64()).decode("utf-8")

    def byte_list(self):
        return list(self.take(self.u64()))

    def optional_u32(self):
        tag = self.u8()
        assert tag in (0, 1), f"optional tag {tag}"
        return struct.unpack("<I", self.take(4))[0] if tag else None


def read_image(data):
    """Decode a raw image; it must be consumed to its last byte."""
    r = Reader(data)
    tables = [[r.string() for _ in range(r.u64())] for _ in range(5)]
    entries = []
    for _ in range(r.u64()):
        key = r.string()
        records = []
        for _ in range(r.u64()):
            positions = r.byte_list()
            pos = r.byte_list()
            features = [(r.u8(), r.byte_list()) for _ in range(r.u64())]
            records.append(Record(positions, pos, features, r.optional_u32(), r.optional_u32()))
        entries.append((key, records))
    assert r.at == len(data), "bytes after the last entry"
    return Image(*tables, entries)


def resolved(image):
    """{key: [(positions, pos, features, lemma, gloss)]} with indexes resolved."""
    out = {}
    for key, records in image.entries:
        out[key] = [
            (
                rec.positions,
                [image.pos_tags[i] for i in rec.pos],
                [(image.feature_keys[k], [image.feature_values[v] for v in vs])
                 for k, vs in rec.features],
                None if rec.lemma is None else image.lemmas[rec.lemma],
                None if rec.definition is None else image.definitions[rec.definition],
            )
            for rec in records
        ]
    return out


def line(form, upos="X", feats="", lemma="lemma", gloss=""):
    return f"{form}\t{upos}\t{feats}\t{lemma}\t{gloss}\n"


def image_of(*lines):
    return read_image(build_image(lines))


def u64(n):
    return struct.pack("<Q", n)


def string(text):
    data = text.encode("utf-8")
    return u64(len(data)) + data


# --- the byte layout ---------------------------------------------------------

def test_worked_example_is_byte_exact():
    image = build_image(["(сім)-'яни́ни\tX\t\tсім'янина\tfamily member\n"])
    tables = (
        u64(1) + string("X")
        + u64(0)
        + u64(0)
        + u64(1) + string("сім'янина")
        + u64(1) + string("family member")
    )
    first_entry = bytes.fromhex(
        "15 00 00 00 00 00 00 00"
        " 28 d1 81 d1 96 d0 bc 29 2d ca bc d1 8f d0 bd d0 b8 d0 bd d0 b8"
        " 01 00 00 00 00 00 00 00"
        " 01 00 00 00 00 00 00 00 02"
        " 01 00 00 00 00 00 00 00 00"
        " 00 00 00 00 00 00 00 00"
        " 01 00 00 00 00"
        " 01 00 00 00 00"
    )
    assert len(first_entry) == 73
    assert image == tables + u64(1) + first_entry


def test_empty_input_is_six_zero_counts():
    assert build_image([]) == bytes(48)
    assert build_image(["\n", "# only a comment\n", ""]) == bytes(48)


def test_features_absent_lemma_and_gloss_encode_field_by_field():
    image = build_image([line("ру́ки", "NOUN,X", "Case=Nom,Acc|Number=Plur", "", "")])
    tables = (
        u64(2) + string("NOUN") + string("X")
        + u64(2) + string("Case") + string("Number")
        + u64(3) + string("Nom") + string("Acc") + string("Plur")
        + u64(0) + u64(0)
    )
    entry = (
        string("руки") + u64(1)
        + u64(1) + b"\x00"  # stress on the first vowel
        + u64(2) + b"\x00\x01"  # NOUN, X
        + u64(2) + b"\x00" + u64(2) + b"\x00\x01" + b"\x01" + u64(1) + b"\x02"
        + b"\x00" + b"\x00"  # no lemma, no definition
    )
    assert image == tables + u64(1) + entry


# --- keys and stress positions ------------------------------------------------

@pytest.mark.parametrize(
    "text, expected",
    [
        ("Руки", "руки"),
        ("ЇЖАК Є", "їжак є"),
        ("İ", "i\u0307"),
        ("İВАН", "i\u0307ван"),
        # Per-character lowercasing: no final-sigma rule.
        ("ΟΔΟΣ", "οδοσ"),
        ("ΣΑΣ ΣΑ", "σασ σα"),
        ("ẞ", "ß"),
        ("п'ять", "пʼять"),
        ("пʼять", "пʼять"),
        ("п\u2019ять", "пʼять"),
        ("п\u2018ять", "пʼять"),
        ("п`ять", "пʼять"),
        ("'`\u2018\u2019\u02bc", "ʼʼʼʼʼ"),
        # Nothing removed or trimmed; a typed stress mark is kept.
        ("  А-б (В)\t", "  а-б (в)\t"),
        ("ру́ки", "ру́ки"),
        ("", ""),
    ],
)
def test_normalize_word(text, expected):
    assert normalize_word(text) == expected


@pytest.mark.parametrize(
    "form, key, positions",
    [
        ("ру́ки", "руки", [0]),
        ("Ру́ки", "руки", [0]),
        ("рукі́", "рукі", [1]),
        ("А́ся", "ася", [0]),  # the mark follows a capital vowel
        ("ЇЖА́К", "їжак", [1]),
        ("Є́", "є", [0]),
        ("п'я́ть", "пʼять", [0]),
        ("пʼя́ть", "пʼять", [0]),
        ("п\u2019я́ть", "пʼять", [0]),
        ("п\u2018я́ть", "пʼять", [0]),
        ("П`Я́ТЬ", "пʼять", [0]),
        ("(сім)-'яни́ни", "(сім)-ʼянини", [2]),
        ("до́бре-пре́добре", "добре-предобре", [0, 2]),
        ("на ру́ки", "на руки", [1]),
        ("мо́ло́ко", "молоко", [0, 1]),  # two marks: one record, two positions
        ("ко́ло́", "коло", [0, 1]),
        ("İва́н", "i\u0307ван", [0]),  # Latin i is no vowel letter
        ("ΟΔΟΣ", "οδοσ", []),  # no vowel letter, so no mark needed
        ("ь", "ь", []),
        ("-", "-", []),
        ("ба" * 255 + A, "ба" * 255, [254]),
        ("ба" * 256 + A, "ба" * 256, [255]),
    ],
)
def test_key_and_stress_positions(form, key, positions):
    image = image_of(line(form))
    assert [(k, [r.positions for r in recs]) for k, recs in image.entries] == [
        (key, [positions])
    ]


def test_parse_line():
    parsed = parse_line("Ру́ки\tNOUN\tCase=Nom,Acc|Number=Plur\tрука\thands\r\n")
    assert parsed == wi.ParsedLine(
        "руки", (0,), ("NOUN",), (("Case", ("Nom", "Acc")), ("Number", ("Plur",))), "рука", "hands"
    )
    assert parse_line("ба\u0301\t\t_\t\t\n") == wi.ParsedLine("ба", (0,), (), (), None, None)


@pytest.mark.parametrize("text", ["", "\n", "\r\n", "# comment\n", "#\tX\t\t\t\n"])
def test_parse_line_skips_blank_and_comment_lines(text):
    assert parse_line(text) is None


# --- entries: order, uniqueness, merging -------------------------------------

def test_entries_sorted_by_utf8_bytes():
    # Byte order: a prefix first; ASCII < Latin-1 < U+02BC < Cyrillic;
    # U+FF01 (ef bc 81) before U+1F600 (f0 9f 98 80), which UTF-16 order
    # would reverse.
    expected = ["a b", "a-b", "ab", "abc", "z", "é", "ʼ", "а", "ь", "ї", "！", "😀"]
    forms = {"а": "а" + A, "ї": "ї" + A}
    lines = [line(forms.get(k, k)) for k in reversed(expected)]
    assert [k for k, _ in image_of(*lines).entries] == expected


def test_one_entry_per_key_records_in_line_order():
    image = image_of(
        line("за́мок", "NOUN", lemma="замок", gloss="castle"),
        line("ру́ки", "NOUN", lemma="рука"),
        line("замо́к", "NOUN", lemma="замок", gloss="lock"),
        line("За́мок", "NOUN", lemma="замок", gloss="castle"),  # same as line 1
        line("замо́к", "VERB", lemma="замокнути"),
    )
    assert resolved(image) == {
        "замок": [
            ([0], ["NOUN"], [], "замок", "castle"),
            ([1], ["NOUN"], [], "замок", "lock"),
            ([1], ["VERB"], [], "замокнути", None),
        ],
        "руки": [([0], ["NOUN"], [], "рука", None)],
    }


@pytest.mark.parametrize(
    "forms, positions",
    [
        (["за́мок", "замо́к"], [0, 1]),
        (["замо́к", "за́мок"], [1, 0]),  # order of first appearance
        (["замо́к", "замо́к"], [1]),  # a repeated line adds nothing
        (["замо́к", "за́мо́к", "за́мок"], [1, 0]),
        (["ра́ди́сто", "ра́дисто́", "радисто́"], [0, 1, 2]),
    ],
)
def test_identical_analyses_merge_with_union_of_positions(forms, positions):
    image = image_of(*(line(f, "NOUN", "Case=Nom", "замок", "castle") for f in forms))
    assert [[r.positions for r in recs] for _, recs in image.entries] == [[positions]]


def test_merge_keeps_the_first_record_place():
    image = image_of(
        line("за́мок", "NOUN", lemma="a"),
        line("за́мок", "NOUN", lemma="b"),
        line("замо́к", "NOUN", lemma="a"),
    )
    assert resolved(image)["замок"] == [
        ([0, 1], ["NOUN"], [], "a", None),
        ([0], ["NOUN"], [], "b", None),
    ]


@pytest.mark.parametrize(
    "a, b, merged",
    [
        (("NOUN", "_", "l", "g"), ("NOUN", "", "l", "g"), True),  # "_" means no features
        (("NOUN", "", "l", "g"), ("VERB", "", "l", "g"), False),
        (("NOUN", "", "l", "g"), ("NOUN,X", "", "l", "g"), False),
        (("NOUN", "Case=Nom", "l", "g"), ("NOUN", "Case=Gen", "l", "g"), False),
        (("NOUN", "", "l", "g"), ("NOUN", "", "m", "g"), False),
        (("NOUN", "", "l", "g"), ("NOUN", "", "l", ""), False),
        (("NOUN", "", "l", "g"), ("NOUN", "", "", "g"), False),
    ],
)
def test_which_analyses_are_equal(a, b, merged):
    image = image_of(line("за́мок", *a), line("замо́к", *b))
    assert [[r.positions for r in recs] for _, recs in image.entries] == (
        [[[0, 1]]] if merged else [[[0], [1]]]
    )


# --- features and tables --------------------------------------------------------

@pytest.mark.parametrize(
    "feats, expected",
    [
        ("", []),
        ("_", []),
        ("Case=Nom", [("Case", ["Nom"])]),
        ("Number=Plur|Case=Nom", [("Number", ["Plur"]), ("Case", ["Nom"])]),
        ("Case=Nom,Acc,Voc", [("Case", ["Nom", "Acc", "Voc"])]),
        ("Case=Nom,Acc,Nom", [("Case", ["Nom", "Acc", "Nom"])]),  # repeats kept
        ("Case=Nom|Case=Gen", [("Case", ["Nom"]), ("Case", ["Gen"])]),
        ("Person=0|Degree=Cmp", [("Person", ["0"]), ("Degree", ["Cmp"])]),
    ],
)
def test_features(feats, expected):
    image = image_of(line("ру́ки", "NOUN", feats))
    assert [[rec[2] for rec in recs] for recs in resolved(image).values()] == [[expected]]


def test_tables_numbered_by_first_use_in_sorted_order():
    image = image_of(
        line("ві́н", "PRON", "Case=Nom|Gender=Masc", "він", "he"),
        line("а́ле", "CCONJ,X", "", "але", "but"),
        line("ві́ти", "NOUN", "Number=Plur|Case=Gen,Nom", "віти", ""),
        line("бі́г", "NOUN,VERB", "Case=Acc", "біг", "run"),
        line("а́ле", "PART", "", "але", "but"),
    )
    assert [k for k, _ in image.entries] == ["але", "біг", "він", "віти"]
    assert image.pos_tags == ["CCONJ", "X", "PART", "NOUN", "VERB", "PRON"]
    assert image.feature_keys == ["Case", "Gender", "Number"]
    assert image.feature_values == ["Acc", "Nom", "Masc", "Plur", "Gen"]
    assert image.lemmas == ["але", "біг", "він", "віти"]
    assert image.definitions == ["but", "run", "he"]


def test_every_string_is_stored_once():
    image = image_of(*(line(f"ру́ки{n}", "NOUN", "Case=Nom", "рука", "hand") for n in range(5)))
    assert (image.pos_tags, image.feature_keys, image.feature_values,
            image.lemmas, image.definitions) == (["NOUN"], ["Case"], ["Nom"], ["рука"], ["hand"])
    assert {(r.pos[0], r.lemma, r.definition) for _, recs in image.entries for r in recs} == {(0, 0, 0)}


def test_256_strings_fit_a_u8_table():
    tags = [f"T{n}" for n in range(256)]
    image = image_of(*(line(f"ру́ки{n}", tag) for n, tag in enumerate(tags)))
    assert len(image.pos_tags) == 256
    assert sorted(image.pos_tags) == sorted(tags)
    assert max(r.pos[0] for _, recs in image.entries for r in recs) == 255


def test_upos_empty_means_no_tags():
    (_, (rec,)), = image_of(line("ру́ки", "")).entries
    assert rec.pos == []


# --- refusals --------------------------------------------------------------------

def many_pos(n):
    return [line(f"ру́ки{i}", f"T{i}") for i in range(n)]


@pytest.mark.parametrize(
    "lines, where, message",
    [
        (["ру́ки\tNOUN\t\tрука\n"], 1, "expected 5 TAB-separated fields, found 4"),
        (["ру́ки\tNOUN\t\tрука\t\t\n"], 1, "expected 5 TAB-separated fields, found 6"),
        (["# c\n", "\n", "ру́ки NOUN\n"], 3, "expected 5 TAB-separated fields, found 1"),
        (["   \n"], 1, "expected 5 TAB-separated fields, found 1"),
        ([line(A + "ру")], 1, "FORM '\u0301ру': U+0301 does not follow a vowel letter"),
        ([line("рук" + A + "и")], 1, "FORM 'рук\u0301и': U+0301 does not follow a vowel letter"),
        ([line("ка" + A + "t" + A)], 1, "FORM 'ка\u0301t\u0301': U+0301 does not follow a vowel letter"),
        ([line("ca" + A + "fé")], 1, "FORM 'ca\u0301fé': U+0301 does not follow a vowel letter"),
        ([line("ру" + A + A + "ки")], 1, "FORM 'ру\u0301\u0301ки': U+0301 follows another U+0301"),
        ([line("руки")], 1, "FORM 'руки': no stress mark (U+0301) on any vowel"),
        ([line("РУКИ")], 1, "FORM 'РУКИ': no stress mark (U+0301) on any vowel"),
        ([line("ру́ки"), line("на руки")], 2, "FORM 'на руки': no stress mark (U+0301) on any vowel"),
        ([line("ба" * 257 + A)], 1,
         f"FORM '{'ба' * 257 + A}': stress position 256 exceeds 255"),
        ([line("")], 1, "FORM is empty, which gives an empty key"),
        ([line("ру́ки", feats="Case")], 1,
         "FEATS 'Case': malformed pair 'Case', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=")], 1,
         "FEATS 'Case=': malformed pair 'Case=', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="=Nom")], 1,
         "FEATS '=Nom': malformed pair '=Nom', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=Nom|")], 1,
         "FEATS 'Case=Nom|': malformed pair '', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=Nom||Number=Plur")], 1,
         "FEATS 'Case=Nom||Number=Plur': malformed pair '', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=Nom,,Acc")], 1,
         "FEATS 'Case=Nom,,Acc': malformed pair 'Case=Nom,,Acc', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=Nom,")], 1,
         "FEATS 'Case=Nom,': malformed pair 'Case=Nom,', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case=Nom=Acc")], 1,
         "FEATS 'Case=Nom=Acc': malformed pair 'Case=Nom=Acc', expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="Case,Number=Plur")], 1,
         "FEATS 'Case,Number=Plur': malformed pair 'Case,Number=Plur', "
         "expected Name=Value[,Value...]"),
        ([line("ру́ки", feats="__")], 1,
         "FEATS '__': malformed pair '__', expected Name=Value[,Value...]"),
        (many_pos(257), 257, "more than 256 part-of-speech tags: 'T256' would be number 257"),
        ([line("ру́ки", "NOUN,T0,NOUN")] + many_pos(256), 257,
         "more than 256 part-of-speech tags: 'T255' would be number 257"),
        ([line("ру́ки", feats="|".join(f"F{i}=V" for i in range(257)))], 1,
         "more than 256 feature names: 'F256' would be number 257"),
        ([line(f"ру́ки{i}", feats=f"F=V{i}") for i in range(256)]
         + [line("ру́ки", feats="F=V0,V255,Vx")], 257,
         "more than 256 feature values: 'Vx' would be number 257"),
        ([line("ру́ки"), b"\xd1\x80\xd1\x83\xcc\x81\xd0\tX\t\t\t\n"], 2, "not valid UTF-8 (byte 6)"),
    ],
)
def test_refusals(lines, where, message):
    with pytest.raises(WriterError) as caught:
        build_image(lines, "words.tsv")
    assert str(caught.value) == f"words.tsv:{where}: {message}"
    assert (caught.value.filename, caught.value.lineno, caught.value.message) == (
        "words.tsv", where, message)


@pytest.mark.parametrize("column, what", [(3, "lemmas"), (4, "glosses")])
def test_u32_tables_refuse_overflow(monkeypatch, column, what):
    monkeypatch.setattr(wi, "U32_TABLE_LIMIT", 2)
    lines = []
    for n, text in enumerate(["a", "b", "a", "", "b", "c"]):
        fields = [f"ру́ки{n}", "X", "", "l", "g"]
        fields[column] = text
        lines.append("\t".join(fields))
    with pytest.raises(WriterError) as caught:
        build_image(lines)
    assert str(caught.value) == f"<input>:6: more than 2 {what}: 'c' would be number 3"


def test_parse_line_names_file_and_line():
    with pytest.raises(WriterError) as caught:
        parse_line(line("руки"), "a.tsv", 12)
    assert str(caught.value) == "a.tsv:12: FORM 'руки': no stress mark (U+0301) on any vowel"


# --- whole-image properties ------------------------------------------------------

FORM_CHARS = st.sampled_from(
    list("аеєиіїоуюяАЕЄИІЇОУЮЯбвгґьЬ'`ʼ\u2018\u2019 -()abzΣσİé！😀")
)


@st.composite
def word_lines(draw):
    chars = draw(st.lists(FORM_CHARS, min_size=1, max_size=8))
    # Mark at least one vowel of every form that has vowels.
    vowel_at = [i for i, c in enumerate(chars) if c.lower() in "аеєиіїоуюя"]
    marked = set(draw(st.lists(st.sampled_from(vowel_at), min_size=1))) if vowel_at else set()
    form = "".join(c + (A if i in marked else "") for i, c in enumerate(chars))
    upos = draw(st.sampled_from(["", "NOUN", "VERB", "NOUN,X"]))
    feats = draw(st.sampled_from(["", "_", "Case=Nom", "Case=Nom,Acc|Number=Plur", "Case=Nom,Nom"]))
    lemma = draw(st.sampled_from(["", "рука", "нога"]))
    gloss = draw(st.sampled_from(["", "hand", "leg"]))
    return form, upos, feats, lemma, gloss


@settings(max_examples=150, deadline=None)
@given(st.lists(word_lines(), max_size=25))
def test_image_holds_every_line_and_keeps_the_loader_invariants(rows):
    image = read_image(build_image("\t".join(r) + "\n" for r in rows))
    keys = [k.encode("utf-8") for k, _ in image.entries]
    assert all(a < b for a, b in zip(keys, keys[1:])), "keys not strictly ascending"
    for size in (len(image.pos_tags), len(image.feature_keys), len(image.feature_values)):
        assert size <= 256
    for _, recs in image.entries:
        assert recs
        for rec in recs:
            assert all(i < len(image.pos_tags) for i in rec.pos)
            assert all(k < len(image.feature_keys) for k, _ in rec.features)
            assert all(v < len(image.feature_values) for _, vs in rec.features for v in vs)
            assert rec.lemma is None or rec.lemma < len(image.lemmas)
            assert rec.definition is None or rec.definition < len(image.definitions)
            assert len(set(rec.positions)) == len(rec.positions)

    # Model: each line's analysis, under its normalised key, with the
    # vowels that carry a mark.
    expected = {}
    for form, upos, feats, lemma, gloss in rows:
        key = normalize_word(form.replace(A, ""))
        positions, n = [], 0
        for i, c in enumerate(form):
            if c.lower() in "аеєиіїоуюя":
                if form[i + 1:i + 2] == A:
                    positions.append(n)
                n += 1
        pairs = [] if feats in ("", "_") else [
            (name, values.split(",")) for name, _, values in (p.partition("=") for p in feats.split("|"))
        ]
        analysis = (upos.split(",") if upos else [], pairs, lemma or None, gloss or None)
        records = expected.setdefault(key, [])
        for rec in records:
            if tuple(rec[1:]) == analysis:
                rec[0].extend(p for p in positions if p not in rec[0])
                break
        else:
            records.append([positions, *analysis])
    assert resolved(image) == {k: [tuple(r) for r in recs] for k, recs in expected.items()}


# --- the command line --------------------------------------------------------------

def run_cli(*args, env=None):
    return subprocess.run(
        [sys.executable, "-m", "tools.write_image", *map(str, args)],
        capture_output=True, text=True, env=env, cwd=ROOT,
    )


FIRST = [
    "# first file\n",
    line("за́мок", "NOUN", "Case=Nom", "замок", "castle"),
    line("ру́ки", "NOUN", "", "рука", "hands"),
]
SECOND = [
    "\n",
    line("замо́к", "NOUN", "Case=Nom", "замок", "lock"),
    line("Ру́ки", "NOUN", "", "рука", "hands"),
    line("ні́", "PART", "", "ні", ""),
]


@pytest.fixture
def inputs(tmp_path):
    a, b = tmp_path / "a.tsv", tmp_path / "b.tsv"
    a.write_text("".join(FIRST), encoding="utf-8")
    b.write_text("".join(SECOND), encoding="utf-8")
    return a, b


def test_cli_writes_one_bzip2_stream_of_the_image(tmp_path, inputs):
    out = tmp_path / "dict.img.bz2"
    result = run_cli(*inputs, "-o", out)
    assert result.returncode == 0, result.stderr
    data = out.read_bytes()
    assert data.startswith(b"BZh9")
    decompressor = bz2.BZ2Decompressor()
    raw = decompressor.decompress(data)
    assert decompressor.eof and decompressor.unused_data == b""
    assert raw == bz2.decompress(data) == build_image(FIRST + SECOND)
    assert resolved(read_image(raw)) == {
        "замок": [([0], ["NOUN"], [("Case", ["Nom"])], "замок", "castle"),
                  ([1], ["NOUN"], [("Case", ["Nom"])], "замок", "lock")],
        "ні": [([0], ["PART"], [], "ні", None)],
        "руки": [([0], ["NOUN"], [], "рука", "hands")],
    }
    assert result.stdout == ""
    assert result.stderr == (
        f"{out}: 3 entries, 4 records, 2 pos tags, 1 feature names, 1 feature values, "
        f"3 lemmas, 3 definitions; raw image {len(raw)} bytes, compressed {len(data)} bytes\n"
        f"  records with a lemma 4, with a definition 3, with features 2; "
        f"entries with more than one stress position 1\n"
    )


def test_cli_raw_writes_the_uncompressed_image(tmp_path, inputs):
    out = tmp_path / "dict.img"
    result = run_cli(*inputs, "-o", out, "--raw")
    assert result.returncode == 0, result.stderr
    raw = out.read_bytes()
    assert raw == build_image(FIRST + SECOND)
    assert result.stderr == (
        f"{out}: 3 entries, 4 records, 2 pos tags, 1 feature names, 1 feature values, "
        f"3 lemmas, 3 definitions; raw image {len(raw)} bytes\n"
        f"  records with a lemma 4, with a definition 3, with features 2; "
        f"entries with more than one stress position 1\n"
    )


def test_cli_output_is_deterministic(tmp_path, inputs):
    outputs = []
    for seed in ("1", "2"):
        out = tmp_path / f"out{seed}"
        env = dict(os.environ, PYTHONHASHSEED=seed)
        assert run_cli(*inputs, "-o", out, env=env).returncode == 0
        outputs.append(out.read_bytes())
    assert outputs[0] == outputs[1]


def test_cli_input_order_decides_record_order(tmp_path, inputs):
    out = tmp_path / "out"
    assert run_cli(inputs[1], inputs[0], "-o", out, "--raw").returncode == 0
    assert resolved(read_image(out.read_bytes()))["замок"] == [
        ([1], ["NOUN"], [("Case", ["Nom"])], "замок", "lock"),
        ([0], ["NOUN"], [("Case", ["Nom"])], "замок", "castle"),
    ]


@pytest.mark.parametrize("raw", [False, True])
def test_cli_refusal_writes_nothing(tmp_path, inputs, raw):
    bad = tmp_path / "bad.tsv"
    bad.write_text("# ok so far\n" + line("ру́ки") + line("ноги"), encoding="utf-8")
    out = tmp_path / "out" / "dict.img"
    out.parent.mkdir()
    before = sorted(tmp_path.rglob("*"))
    result = run_cli(*inputs, bad, "-o", out, *(["--raw"] if raw else []))
    assert result.returncode == 1
    assert result.stderr == f"{bad}:3: FORM 'ноги': no stress mark (U+0301) on any vowel\n"
    assert sorted(tmp_path.rglob("*")) == before


def test_cli_refusal_keeps_an_existing_output(tmp_path, inputs):
    bad = tmp_path / "bad.tsv"
    bad.write_text(line("ру́ки", feats="Case"), encoding="utf-8")
    out = tmp_path / "dict.img"
    out.write_bytes(b"previous image")
    result = run_cli(*inputs, bad, "-o", out)
    assert result.returncode == 1
    assert result.stderr == (
        f"{bad}:1: FEATS 'Case': malformed pair 'Case', expected Name=Value[,Value...]\n")
    assert out.read_bytes() == b"previous image"
    assert sorted(p.name for p in tmp_path.iterdir()) == ["a.tsv", "b.tsv", "bad.tsv", "dict.img"]


def test_cli_rejects_invalid_utf8_with_file_and_line(tmp_path):
    src = tmp_path / "in.tsv"
    src.write_bytes(line("ру́ки").encode() + b"\xff\tX\t\t\t\n")
    out = tmp_path / "out"
    result = run_cli(src, "-o", out)
    assert (result.returncode, result.stderr) == (1, f"{src}:2: not valid UTF-8 (byte 0)\n")
    assert not out.exists()


def test_cli_missing_input_writes_nothing(tmp_path, inputs):
    out = tmp_path / "out"
    result = run_cli(inputs[0], tmp_path / "missing.tsv", "-o", out)
    assert result.returncode == 1
    assert result.stderr == (
        f"write_image.py: [Errno 2] No such file or directory: '{tmp_path / 'missing.tsv'}'\n")
    assert not out.exists()


def test_cli_splits_lines_on_newline_only(tmp_path):
    # A gloss may hold characters that str.splitlines() treats as line ends.
    src = tmp_path / "in.tsv"
    src.write_bytes(line("ру́ки", gloss="a\u2028b\x1cc\rd").rstrip("\n").encode() + b"\r\n")
    out = tmp_path / "out"
    assert run_cli(src, "-o", out, "--raw").returncode == 0
    assert read_image(out.read_bytes()).definitions == ["a\u2028b\x1cc\rd"]

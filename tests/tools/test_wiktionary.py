"""Tests of the StarDict reader and the Wiktionary word-data converter.

Every dictionary here is built in a temporary directory by make_stardict().
"""
import gzip
import io
import struct
import tarfile

import pytest

from tools import stardict
from tools import wiktionary_to_words as w2w
from tools.stardict import Section, StarDictError, load_stardict, parse_article

A = "\u0301"


def stardict_files(entries, synonyms, *, name="test", types="h", offset_bits=32,
                   compress=True, ifo_extra=None):
    """The files of a StarDict dictionary as {file name: bytes}.

    entries: [(headword, article)], in .idx order; synonyms: [(word, entry index)].
    """
    data = b""
    idx = b""
    fmt = ">QI" if offset_bits == 64 else ">II"
    for word, article in entries:
        body = article.encode("utf-8") if isinstance(article, str) else article
        idx += word.encode("utf-8") + b"\0" + struct.pack(fmt, len(data), len(body))
        data += body
    syn = b"".join(word.encode("utf-8") + b"\0" + struct.pack(">I", index)
                   for word, index in synonyms)
    ifo = ["StarDict's dict ifo file", "version=3.0.0", "bookname=test",
           f"wordcount={len(entries)}", f"idxfilesize={len(idx)}",
           f"synwordcount={len(synonyms)}"]
    if types:
        ifo.append(f"sametypesequence={types}")
    if offset_bits == 64:
        ifo.append("idxoffsetbits=64")
    ifo += ifo_extra or []
    files = {
        f"{name}.ifo": ("\n".join(ifo) + "\n").encode("utf-8"),
        f"{name}.idx": idx,
        f"{name}.syn": syn,
    }
    if compress:
        files[f"{name}.dict.dz"] = gzip.compress(data)
    else:
        files[f"{name}.dict"] = data
    return files


def make_stardict(tmp_path, entries, synonyms, layout="dir", **kw):
    """Writes a dictionary under tmp_path; returns the path to load."""
    files = stardict_files(entries, synonyms, **kw)
    if layout == "tar":
        path = tmp_path / "dict.tar.gz"
        with tarfile.open(path, "w:gz") as tar:
            for fname, body in files.items():
                info = tarfile.TarInfo("some dictionary/" + fname)
                info.size = len(body)
                tar.addfile(info, io.BytesIO(body))
        return path
    folder = tmp_path / "dict"
    folder.mkdir()
    for fname, body in files.items():
        (folder / fname).write_bytes(body)
    if layout == "ifo":
        return next(folder.glob("*.ifo"))
    return folder


# A long first article puts the later offsets past 255, so a little-endian
# reading of .idx would point elsewhere.
LONG = "<i>noun</i><br><ol><li>" + "x" * 300 + "</li></ol>"
ENTRIES = [
    ("довгий", LONG),
    ("замок", "<i>noun</i><br><ol><li>castle</li><li>lock</li></ol>"),
    ("що", "<i>conj</i><br><ol><li>that</li></ol><br><i>pron</i><br><ol><li>what</li></ol>"),
]
SYNONYMS = [("за" + A + "мок", 1), ("замо" + A + "к", 1), ("чого" + A, 2)]


# ---------------------------------------------------------------- reader

@pytest.mark.parametrize("layout", ["dir", "tar", "ifo"])
def test_load_reads_idx_articles_and_syn(tmp_path, layout):
    sd = load_stardict(make_stardict(tmp_path, ENTRIES, SYNONYMS, layout=layout))
    assert [lemma.word for lemma in sd.lemmas] == ["довгий", "замок", "що"]
    assert [sd.article(i) for i in range(3)] == [a for _, a in ENTRIES]
    assert sd.synonyms == SYNONYMS
    assert sd.info["bookname"] == "test"
    assert sd.articles("замок") == [ENTRIES[1][1]]
    assert sd.articles("нема") == []
    assert sd.sections(2) == [Section("conj", ["that"]), Section("pron", ["what"])]


@pytest.mark.parametrize("kw", [{"compress": False}, {"offset_bits": 64}])
def test_load_plain_dict_and_64_bit_offsets(tmp_path, kw):
    sd = load_stardict(make_stardict(tmp_path, ENTRIES, SYNONYMS, **kw))
    assert [sd.article(i) for i in range(3)] == [a for _, a in ENTRIES]


def test_syn_index_is_big_endian(tmp_path):
    entries = [(f"w{i}", f"<i>noun</i><ol><li>{i}</li></ol>") for i in range(300)]
    sd = load_stardict(make_stardict(tmp_path, entries, [("х", 1), ("у", 258)]))
    assert sd.synonyms == [("х", 1), ("у", 258)]
    assert sd.sections(258) == [Section("noun", ["258"])]


@pytest.mark.parametrize("kw, message", [
    ({"ifo_extra": ["wordcount=5"]}, "wordcount=5"),
    ({"ifo_extra": ["synwordcount=9"]}, "synwordcount=9"),
])
def test_counts_disagreeing_with_ifo_are_refused(tmp_path, kw, message):
    with pytest.raises(StarDictError, match=message):
        load_stardict(make_stardict(tmp_path, ENTRIES, SYNONYMS, **kw))


def test_syn_pointing_past_idx_is_refused(tmp_path):
    with pytest.raises(StarDictError, match="points to lemma 7"):
        load_stardict(make_stardict(tmp_path, ENTRIES, [("х", 7)]))


def test_truncated_idx_is_refused():
    idx = "слово".encode() + b"\0" + b"\0\0\0\0\0\0"
    with pytest.raises(StarDictError, match="truncated"):
        stardict.parse_idx(idx)


def test_typed_fields_without_sametypesequence(tmp_path):
    article = b"mplain\0h<i>noun</i><ol><li>one</li></ol>\0W" + struct.pack(">I", 2) + b"\x01\x02"
    sd = load_stardict(make_stardict(tmp_path, [("слово", article)], [], types=""))
    assert stardict.split_fields(sd.raw_article(0)) == [
        ("m", "plain"), ("h", "<i>noun</i><ol><li>one</li></ol>"), ("W", b"\x01\x02")]
    assert sd.article(0) == "plain\n<i>noun</i><ol><li>one</li></ol>"
    assert sd.sections(0) == [Section("noun", ["one"])]


@pytest.mark.parametrize("html, expected", [
    ("", []),
    ("<i>noun</i><br><ol><li>dog (animal)</li></ol>", [("noun", ["dog (animal)"])]),
    ("<i>adv</i><br><ol><li>so, thus</li></ol><br><i>intj</i><br><ol><li>yes</li></ol>",
     [("adv", ["so, thus"]), ("intj", ["yes"])]),
    # references unescaped, tags inside a sense dropped, whitespace collapsed
    ("<i> noun </i><ol><li>salt &amp; pepper, &lt;b&gt;, &#x301;x &quot;q&quot;</li>"
     "<li>  a <b>bold</b>\n\tword<br>next </li></ol>",
     [("noun", ["salt & pepper, <b>, \u0301x \"q\"", "a bold word next"])]),
    # an <i> inside a sense is text, not a part of speech
    ("<i>verb</i><ol><li>to go (<i>intransitive</i>)</li></ol>",
     [("verb", ["to go (intransitive)"])]),
    # empty senses dropped; a label without senses kept
    ("<i>noun</i><ol><li> </li><li>x</li></ol><i>adj</i>", [("noun", ["x"]), ("adj", [])]),
    # senses before any label; a nested sense follows the one containing it
    ("<ol><li>loose</li></ol><i>noun</i><ol><li>outer<ol><li>inner</li></ol>tail</li>"
     "<li>last</li></ol>",
     [("", ["loose"]), ("noun", ["outer tail", "inner", "last"])]),
])
def test_parse_article(html, expected):
    assert parse_article(html) == [Section(pos, senses) for pos, senses in expected]


def test_strip_html():
    assert stardict.strip_html("a<br>b&nbsp;<i>c</i>  &amp;\n d") == "a b c & d"


# ---------------------------------------------------------------- cleaning

@pytest.mark.parametrize("word, headword, expected", [
    ("соба" + A + "ка", "собака", "соба" + A + "ка"),
    ("м'я" + A + "ти", "м'яти", "м'я" + A + "ти"),
    ("бі" + A + "знес-пла" + A + "н", "бізнес-план", "бі" + A + "знес-пла" + A + "н"),
    ("Ки" + A + "їв", "Київ", "Ки" + A + "їв"),
    ("impersonal: шу" + A + "кано", "шукати", "шу" + A + "кано"),
    ("випа" + A + "дки\u00b9", "випадок", "випа" + A + "дки"),
    ("гарні" + A + "ший^", "гарний", "гарні" + A + "ший"),
    ("гарбу\u0300зоподі" + A + "бна", "гарбузоподібний", "гарбузоподі" + A + "бна"),
    ("сла" + A + "ва Украї" + A + "ні!", "слава Україні", "сла" + A + "ва Украї" + A + "ні"),
    ("мене" + A + " зва" + A + "ти ...", "мене звати", "мене" + A + " зва" + A + "ти"),
    ("стіл", "стіл", "сті" + A + "л"),
    ("Я", "я", "Я" + A),
    ("Бі" + A + "лої Це" + A + "ркви", "Біла Церква", "Бі" + A + "лої Це" + A + "ркви"),
    ("до ре" + A + "чі", "до речі", "до ре" + A + "чі"),
    ("к бі" + A + "су", "к бісу", "к бі" + A + "су"),
])
def test_clean_form_keeps(word, headword, expected):
    stats = w2w.Stats()
    assert w2w.clean_form(word, headword, stats) == expected
    assert not stats.dropped


@pytest.mark.parametrize("word, headword, reason", [
    ("[[#Ukrainian|]]", "одинадцять", "markup"),
    ("soba" + "\u0301" + "ka", "собака", "latin"),
    ("sobáka", "собака", "latin"),
    ("abʺjurácija", "аб'юрація", "latin"),
    ("\u00b9Colloquial.", "випадок", "latin"),
    ("сама" + A + " samá", "сам", "mixed_script"),
    ("бáрза", "барза", "mixed_script"),
    ("CРСР", "СРСР", "mixed_script"),
    ("наро" + A + "дъ", "народ", "other_character"),
    ("рези" + A + "новый", "резина", "other_character"),
    ("\u209aосі" + A + "я", "Росія", "mixed_script"),
    ("Алмати \u2022 Алмати" + A, "Алмати", "other_character"),
    ("пн.", "понеділок", "other_character"),
    ("Льво\u0302въ", "Львів", "other_character"),
    ("-", "щось", "empty"),
    ("б" + A + "ілгородський", "Білгород", "misplaced_acute"),
    (A + "южненський", "Южне", "misplaced_acute"),
    ("па" + A + A + "рк", "парк", "misplaced_acute"),
    ("Б", "б", "no_vowel"),
    ("собака", "собака", "unstressed"),
    ("Белґрад", "Белград", "unstressed"),
    ("бу" + A + "ду шука" + A + "ти", "шукати", "multiword_of_word"),
    ("аби" + A + " до чого" + A, "абищо", "multiword_of_word"),
    ("Боснія і Герцеговина", "Боснія і Герцеговина", "unstressed"),
    ("букови" + A + "нець си" + A + "пав виллів", "буковинець сипав виллів",
     "phrase_word_unstressed"),
])
def test_clean_form_drops(word, headword, reason):
    stats = w2w.Stats()
    assert w2w.clean_form(word, headword, stats) is None
    assert stats.dropped == {reason: 1}


@pytest.mark.parametrize("word, change", [
    ("impersonal: шу" + A + "кано", "label"),
    ("випа" + A + "дки\u00b9", "footnote"),
    ("уда" + A + "чі!", "punctuation"),
    ("гарбу\u0300зоподі" + A + "бна", "secondary_stress"),
    ("кіт", "single_vowel"),
])
def test_clean_form_counts_changes(word, change):
    stats = w2w.Stats()
    w2w.clean_form(word, "х", stats)
    assert stats.changed == {change: 1}


def test_key_of_lowercases_and_unifies_apostrophes():
    assert w2w.key_of("М'Я" + A + "ТИ") == "м\u02bcяти"
    assert w2w.key_of("м\u2019я" + A + "ти") == "м\u02bcяти"
    assert w2w.key_of("\u0130") == "i\u0307"


# ---------------------------------------------------------------- conversion

def noun(*senses):
    return "<i>noun</i><br><ol>" + "".join(f"<li>{s}</li>" for s in senses) + "</ol>"


def section(label, *senses):
    return f"<i>{label}</i><br><ol>" + "".join(f"<li>{s}</li>" for s in senses) + "</ol>"


def stress_last_vowels(text):
    """Marks the last vowel of every word (any stress will do for these tests)."""
    words = []
    for word in text.split(" "):
        last = max(i for i, c in enumerate(word) if c in w2w.VOWELS)
        words.append(word[:last + 1] + A + word[last + 1:])
    return " ".join(words)


def convert(tmp_path, entries, synonyms):
    sd = load_stardict(make_stardict(tmp_path, entries, synonyms))
    stats = w2w.Stats()
    return w2w.convert(sd, stats), stats


def test_heteronyms_and_inflections_each_get_a_line(tmp_path):
    lines, stats = convert(tmp_path, [("замок", noun("castle", "(figurative) a <b>lock</b>"))], [
        ("zámok", 0), ("за" + A + "мок", 0), ("замо" + A + "к", 0), ("за" + A + "мку", 0),
        ("замок", 0)])
    gloss = "castle; (figurative) a lock"
    assert lines == [
        ("за" + A + "мок", "NOUN", "", "замок", gloss),
        ("замо" + A + "к", "NOUN", "", "замок", gloss),
        ("за" + A + "мку", "NOUN", "", "замок", gloss),
    ]
    assert stats.read == 5
    assert stats.dropped == {"latin": 1, "unstressed": 1}


def test_multi_pos_headword(tmp_path):
    entries = [
        ("що", section("conj", "that") + "<br>" + section("pron", "what", "which")),
        ("так", section("adv", "so") + "<br>" + section("intj", "yes")),
        ("безпечно", section("adv", "safely") + section("adj", "(it is) safe")),
        ("з", section("character", "a letter") + section("prep", "with")),
    ]
    synonyms = [("що", 0), ("чого" + A, 0), ("так", 1), ("безпе" + A + "чніше", 2),
                ("із", 3)]
    lines, stats = convert(tmp_path, entries, synonyms)
    assert lines == [
        ("що" + A, "SCONJ", "", "що", "that"),
        ("що" + A, "PRON", "", "що", "what; which"),
        ("чого" + A, "PRON", "", "що", "what; which"),
        ("та" + A + "к", "ADV", "", "так", "so"),
        ("та" + A + "к", "INTJ", "", "так", "yes"),
        ("безпе" + A + "чніше", "ADV", "", "безпечно", "safely"),
        ("безпе" + A + "чніше", "ADJ", "", "безпечно", "(it is) safe"),
        # no part of speech of з inflects: both are kept
        ("і" + A + "з", "X", "", "з", "a letter"),
        ("і" + A + "з", "ADP", "", "з", "with"),
    ]
    assert stats.pos_restricted == 1


def test_repeated_label_is_one_line(tmp_path):
    lines, _ = convert(tmp_path, [("лук", noun("bow") + noun("onion"))], [("лу" + A + "к", 0)])
    assert lines == [("лу" + A + "к", "NOUN", "", "лук", "bow; onion")]


@pytest.mark.parametrize("label, headword, upos", [
    ("noun", "кіт", "NOUN"), ("name", "Київ", "PROPN"), ("verb", "іти", "VERB"),
    ("adj", "гарний", "ADJ"), ("adv", "тут", "ADV"), ("pron", "ти", "PRON"),
    ("det", "цей", "DET"), ("num", "два", "NUM"), ("prep", "до", "ADP"),
    ("conj", "але", "CCONJ"), ("conj", "якщо", "SCONJ"), ("conj", "Бо", "SCONJ"),
    ("particle", "би", "PART"), ("intj", "ой", "INTJ"), ("character", "а", "X"),
    ("phrase", "будь ласка", "X"), ("prep_phrase", "до речі", "X"), ("proverb", "о", "X"),
    ("symbol", "о", "SYM"), ("punct", "о", "PUNCT"), ("suffix", "о", "X"),
])
def test_part_of_speech_labels(tmp_path, label, headword, upos):
    form = stress_last_vowels(headword)
    lines, stats = convert(tmp_path, [(headword, section(label, "gloss"))], [(form, 0)])
    assert lines == [(form, upos, "", headword, "gloss")]
    assert dict(stats.unknown_labels) == ({"suffix": 1} if label == "suffix" else {})


def test_empty_article_gives_empty_upos_and_gloss(tmp_path):
    lines, stats = convert(tmp_path, [("авіста", "")], [("аві" + A + "ста", 0)])
    assert lines == [("аві" + A + "ста", "", "", "авіста", "")]
    assert stats.empty_articles == 1


def test_cross_references_stay_with_their_own_headword(tmp_path):
    entries = [
        ("розуміти", section("verb", "to understand")),
        ("зрозуміти", section("verb", "to understand (pf)")),
        ("Африка", section("name", "Africa")),
        ("африканський", section("adj", "African")),
    ]
    rozum = "розумі" + A + "ти"
    zrozum = "зрозумі" + A + "ти"
    afr = "африка" + A + "нський"
    synonyms = [
        (rozum, 0), ("розумі" + A + "ю", 0), (zrozum, 0),
        (zrozum, 1), ("зрозумі" + A + "ю", 1), (rozum, 1),
        ("А" + A + "фрика", 2), ("А" + A + "фрики", 2), (afr, 2),
        (afr, 3), ("африка" + A + "нська", 3),
    ]
    lines, stats = convert(tmp_path, entries, synonyms)
    assert [(f, lemma) for f, _, _, lemma, _ in lines] == [
        (rozum, "розуміти"), ("розумі" + A + "ю", "розуміти"),
        (zrozum, "зрозуміти"), ("зрозумі" + A + "ю", "зрозуміти"),
        ("А" + A + "фрика", "Африка"), ("А" + A + "фрики", "Африка"),
        (afr, "африканський"), ("африка" + A + "нська", "африканський"),
    ]
    assert stats.dropped == {"cross_reference": 3}


def test_shared_paradigms_and_unlisted_homographs_keep_every_link(tmp_path):
    entries = [
        ("російський", section("adj", "Russian")),
        ("російська", section("noun", "Russian language")),
        ("той", section("det", "that")),
        ("Того", section("name", "Togo")),
    ]
    ros_a = "росі" + A + "йська"
    ros_gen = "росі" + A + "йської"
    synonyms = [
        ("росі" + A + "йський", 0), (ros_a, 0), (ros_gen, 0),
        (ros_a, 1), (ros_gen, 1),
        ("того" + A, 2),
        ("То" + A + "го", 3),
    ]
    lines, stats = convert(tmp_path, entries, synonyms)
    assert [(f, lemma) for f, _, _, lemma, _ in lines] == [
        ("росі" + A + "йський", "російський"), (ros_a, "російський"), (ros_gen, "російський"),
        (ros_a, "російська"), (ros_gen, "російська"),
        ("того" + A, "той"), ("То" + A + "го", "Того"),
    ]
    assert "cross_reference" not in stats.dropped


def test_cleaned_duplicates_are_one_line(tmp_path):
    lines, stats = convert(tmp_path, [("випадок", noun("case"))], [
        ("випа" + A + "дки", 0), ("випа" + A + "дки\u00b9", 0)])
    assert lines == [("випа" + A + "дки", "NOUN", "", "випадок", "case")]
    assert stats.dropped == {"duplicate": 1}


def test_main_writes_word_data_and_prints_counts(tmp_path, capsys):
    source = make_stardict(tmp_path, [
        ("шукати", section("verb", "to look for", "to seek")),
        ("будь ласка", section("phrase", "please")),
    ], [
        ("šukáty", 0), ("шука" + A + "ти", 0), ("бу" + A + "де шука" + A + "ти", 0),
        ("шука" + A + "ю", 0), ("будь ла" + A + "ска", 1),
    ], layout="tar")
    out = tmp_path / "words.tsv"
    assert w2w.main([str(source), "-o", str(out)]) == 0
    text = out.read_text(encoding="utf-8")
    body = [line for line in text.splitlines() if not line.startswith("#")]
    assert body == [
        "шука" + A + "ти\tVERB\t\tшукати\tto look for; to seek",
        "шука" + A + "ю\tVERB\t\tшукати\tto look for; to seek",
        "будь ла" + A + "ска\tX\t\tбудь ласка\tplease",
    ]
    assert "CC BY-SA 3.0" in text and "Wiktionary contributors" in text
    printed = capsys.readouterr().out
    for expected in ["synonym entries read:       5", "links kept (form -> lemma): 3",
                     "1  latin:", "1  multiword_of_word:", "lines written:   3",
                     "distinct keys:   3", "lemmas:          2", "glosses:         2"]:
        assert expected in printed

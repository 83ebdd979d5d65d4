"""The frequency rules and the repairs: which stresses of a key stay."""
import collections
import io
from pathlib import Path

import pytest

from tools.fullscale.counters import Stats
from tools.fullscale.join import Joiner, write_words
from tools.fullscale.sources import MissingSource, check_sources, collect_morph, group_stress
from tools.fullscale.frequency import Evidence, name_wins, rare_first
from tools.fullscale.pairing import Record
from tools.fullscale.repairs import parse_repairs

F = frozenset


def join(stress_items, morph_items, freq, repairs=""):
    """Word data lines of hand-made sources, with the frequency rules on."""
    stats = Stats()
    stress = group_stress(stress_items, stats)
    needed = dict.fromkeys(stress)
    morph = collect_morph(morph_items, needed, stress, stats, freq)
    out = io.StringIO()
    joiner = Joiner(stress, None, morph, stats, Evidence(freq, morph.lexeme_forms),
                    parse_repairs(io.StringIO(repairs)))
    write_words(joiner, sorted(needed), out)
    return [line.split("\t")[0] + " " + line.split("\t")[3] for line in out.getvalue().splitlines()], stats


# ---------------------------------------------------------------- evidence

EV = Evidence({"a": 1.0, "b": 2.0, "c": 4.0, "d": 8.0},
              {1: F({"a", "b"}), 2: F({"b", "c"}), 3: F({"d"})})


@pytest.mark.parametrize("lexemes, against, expected", [
    # a form another lexeme also has is evidence for neither, competitor or not
    ({1}, set(), 1.0),
    ({1}, {2}, 1.0),
    ({1, 2}, set(), 7.0),
    ({2}, {1}, 4.0),
    ({1, 2}, {3}, 7.0),
    # no forms of its own: a lexeme the morphology does not hold
    ({9}, {1}, 0.0),
    (set(), set(), 0.0),
])
def test_evidence_counts_only_forms_no_competitor_has(lexemes, against, expected):
    assert EV.own(lexemes, against) == expected


@pytest.mark.parametrize("names, common, key_freq, expected", [
    ({1}, {3}, 1.0, False),        # the common word's own forms are more frequent
    ({3}, {1}, 1.0, True),         # the name's are
    ({9}, {8}, 1.0, False),        # neither has forms of its own, the key is used in text
    ({9}, {8}, 0.0, True),         # ... and not used: nothing to decide, both stay
    ({1}, {2}, 1.0, False),        # a tie goes to the common word
])
def test_name_wins(names, common, key_freq, expected):
    ev = Evidence(dict(EV.freq, k=key_freq), EV.forms)
    assert name_wins(ev, "k", names, common) is expected


def R(positions, lemma):
    return Record("NOUN", (), lemma, list(positions))


def test_rare_first_keeps_what_it_must():
    freq = {"k": 1e-3, "common": 1e-3, "rare": 1e-8, "other": 1e-4}
    ev = Evidence(freq, {1: F({"k", "common"}), 2: F({"k", "rare"}), 3: F({"k", "other"}),
                         4: F({"k"})})
    lex = {"rare": {2}, "common": {1}, "other": {3}, "both": {1}, "bare": set(), "lone": {4}}
    of = lambda r: lex[r.lemma]  # noqa: E731
    cases = [
        # the rare lexeme's stress sorts first: it goes
        ([R([0], "rare"), R([1], "common")], [[1]]),
        # comparable frequency (ratio below RARE_RATIO): both stay
        ([R([0], "other"), R([1], "common")], [[0], [1]]),
        # one lexeme on both stresses (ру́ки/руки́): both stay
        ([R([0], "both"), R([1], "common")], [[0], [1]]),
        # free variation of the rare word: it keeps its other stress
        ([R([0, 1], "rare"), R([1], "common")], [[1], [1]]),
        ([R([0, 2], "rare"), R([1], "common")], [[2], [1]]),
        # the frequent word is on the lowest stress already
        ([R([0], "common"), R([1], "rare")], [[0], [1]]),
        # a record without a lexeme and a one-form lexeme have no evidence of their own
        ([R([0], "bare"), R([1], "common")], [[1]]),
        ([R([0], "lone"), R([1], "common")], [[1]]),
        # two rare stresses before the common one both go
        ([R([0], "rare"), R([1], "bare"), R([2], "common")], [[2]]),
    ]
    for records, expected in cases:
        kept, dropped = rare_first(records, of, ev, "k")
        assert [r.positions for r in kept] == expected, records
        assert {id(r) for r in dropped} <= {id(r) for r in records}


@pytest.mark.parametrize("low_upos, name_freq, expected", [
    ("PROPN", 1e-6, [[1]]),     # the adverb's key outweighs the name's own forms
    ("PROPN", 1e-4, [[0], [1]]),  # ... unless the name is not that much rarer
    ("ADV", 1e-6, [[0], [1]]),    # two words of one form: the key is evidence for neither
])
def test_rare_first_counts_the_key_for_a_one_form_word_the_dictionary_lacks(
        low_upos, name_freq, expected):
    # "k" is a form of the name too (the river's vocative): it counts for the adverb alone
    ev = Evidence({"k": 1e-3, "name": name_freq}, {1: F({"k", "name"})})
    low = Record(low_upos, (), "Name", [0])
    adverb = Record("ADV", (), "k", [1], "wiktionary")
    of = lambda r: {1} if r is low else set()  # noqa: E731
    kept, _ = rare_first([low, adverb], of, ev, "k")
    assert [r.positions for r in kept] == expected


def test_rare_first_leaves_keys_text_never_uses_and_rare_competitors():
    ev = Evidence({"k": 0.0, "common": 1e-3}, {1: F({"common"}), 2: F()})
    of = lambda r: {"common": {1}, "rare": {2}}[r.lemma]  # noqa: E731
    records = [R([0], "rare"), R([1], "common")]
    assert rare_first(records, of, ev, "k")[0] == records
    # the competitor's own forms below MIN_EVIDENCE
    ev = Evidence({"k": 1e-3, "common": 1e-6}, {1: F({"common"}), 2: F()})
    assert rare_first(records, of, ev, "k")[0] == records


# ---------------------------------------------------------------- joined

TOHO = [("того", b"\x04"), ("Того", b"\x02"), ("той", b""), ("тому", b"\x04"), ("те", b""),
        ("київ", b"\x03"), ("Київ", b"\x02"), ("Києва", b"\x02"), ("Києву", b"\x02"),
        ("кия", b"\x03")]
TOHO_MORPH = [("того", "NPRO,masc,gent", "той", 1), ("той", "NPRO,masc,nomn", "той", 1),
              ("тому", "NPRO,masc,datv", "той", 1),
              ("київ", "NOUN,masc,inan nomn", "київ", 7), ("києва", "NOUN,masc,inan gent", "київ", 7),
              ("києву", "NOUN,masc,inan datv", "київ", 7), ("київ", "NOUN,inan plur,gent", "кий", 9), ("кия", "NOUN,inan masc,gent", "кий", 9)]


def test_a_rare_name_leaves_a_frequent_common_word_a_frequent_name_stays():
    freq = {"того": 1e-3, "тому": 1e-3, "київ": 3e-4, "києва": 2e-4, "кия": 1e-7}
    lines, stats = join(TOHO, TOHO_MORPH, freq)
    assert "то́го " not in {line.split(" ")[0] + " " for line in lines}
    assert "того́ той" in lines
    # Київ over кий: both stay, the name first
    assert "ки́їв Київ" in lines and "киї́в кий" in lines
    assert stats.counts["capitals_dropped"] == 1 and stats.counts["capitals_kept"] == 1


def test_without_any_frequency_both_spellings_stay():
    lines, _ = join(TOHO, TOHO_MORPH, {})
    assert "то́го " in lines and "того́ той" in lines


HOHO = [("його", b"\x02"), ("йога", b"\x02"), ("йогою", b"\x02"), ("він", b""), ("йому", b"\x04"),
        ("ним", b""), ("замок", b"\x02\xfe\x11 a1\xff\x04\xfe\x11 a1\xff")]
HOHO_MORPH = [("його", "NPRO,masc,gent", "він", 1), ("він", "NPRO,masc,nomn", "він", 1),
              ("йому", "NPRO,masc,datv", "він", 1),
              ("його", "NOUN,inan femn,voct", "йога", 2), ("йога", "NOUN,inan femn,nomn", "йога", 2),
              ("йогою", "NOUN,inan femn,ablt", "йога", 2),
              ("замок", "NOUN,inan masc,nomn", "замок", 3)]
HOHO_FREQ = {"його": 3e-3, "йому": 1e-3, "він": 2e-3, "йога": 2e-6, "йогою": 1e-7, "замок": 1e-5}
REPAIR = "# comment\nйого\tйого́\tвін\tthe pronoun is його́\n"


def test_a_repair_gives_the_pronoun_its_stress_and_the_rare_first_stress_goes():
    lines, stats = join(HOHO, HOHO_MORPH, HOHO_FREQ, REPAIR)
    assert [line for line in lines if line.startswith("йо")] == [
        "йо́га йога", "його́ він", "йо́гою йога", "йому́ він"]
    assert stats.counts["repaired"] == 1 and stats.counts["rare_first_dropped"] == 1


def test_a_repair_alone_keeps_the_other_lemmas_stress():
    freq = dict(HOHO_FREQ, йога=1e-2)       # a frequent йога keeps its vocative
    lines, _ = join(HOHO, HOHO_MORPH, freq, REPAIR)
    assert [line for line in lines if line.startswith(("йо́го ", "його́ "))] == ["його́ він", "йо́го йога"]


def test_heteronyms_of_one_lexeme_keep_both_stresses():
    lines, _ = join(HOHO, HOHO_MORPH, HOHO_FREQ, REPAIR)
    assert [line for line in lines if "зам" in line] == ["за́мо́к замок"]


@pytest.mark.parametrize("text, message", [
    ("його\tйого́\n", "4 tab-separated columns"),
    ("його\tйого\tвін\tno stress\n", "no stressed form"),
    ("його\tйому́\tвін\tanother word\n", "no stressed form"),
    ("Його\tЙого́\tвін\tnot a key\n", "no stressed form"),
    ("його\tйого́\t\tno lemma\n", "no lemma"),
])
def test_malformed_repairs_are_refused_with_their_line(text, message):
    with pytest.raises(ValueError, match=message):
        parse_repairs(io.StringIO("# header\n" + text))


def test_shipped_repairs_parse():
    path = Path(__file__).resolve().parents[2] / "tools" / "fullscale" / "repairs.tsv"
    repairs = parse_repairs(path.read_text(encoding="utf-8").splitlines(True))
    assert {"його", "воду"} <= repairs.keys()


def test_a_missing_source_fails_at_once_naming_it(tmp_path):
    there = tmp_path / "stress.trie"
    there.write_bytes(b"")
    for kwargs, named in [({"stress": str(tmp_path / "nothing.trie")}, "ukrainian-word-stress==2.1.0"),
                          ({"stress": str(there), "wiktionary": str(tmp_path / "w.tar.gz")},
                           "ukrainian-english-wiktionary-stardict.tar.gz")]:
        with pytest.raises(MissingSource, match=named):
            check_sources(**kwargs)


def test_a_record_without_analysis_takes_the_lexemes_of_its_lemma():
    stats = Stats()
    stress = group_stress([("вона", b"\x02")], stats)
    morph = collect_morph([("вона", "NPRO,femn,nomn", "вона", 5), ("її", "NPRO,femn,gent", "вона", 5),
                           ("вони", "NPRO,plur,nomn", "вони", 6)], stress, stress, stats, {"її": 1e-3})
    joiner = Joiner(stress, None, morph, stats)
    assert joiner.lexemes_of(Record("PRON", (), "вона", [1], "wiktionary"), {}) == {0}
    assert joiner.lexemes_of(Record("NOUN", (), None, [0], "variant"), {}) == set()
    # a record of analyses keeps their lexemes
    assert joiner.lexemes_of(Record("PRON", (), "вона", [1]), {("PRON", (), "вона"): {7}}) == {7}
    assert morph.lexeme_forms == {0: frozenset({"її"})}


def test_an_uninflected_word_counts_the_key_itself():
    # досі: the adverb has no form but the key; доха has forms of its own
    ev = Evidence({"досі": 1e-4, "доха": 2e-7, "дохи": 1e-7},
                  {1: F({"досі", "доха", "дохи"}), 2: F({"досі"}), 3: F({"досі"})})
    assert ev.own({2}, {1}, "досі", {2}) == 1e-4
    assert ev.own({1}, {2}, "досі", {2}) == pytest.approx(3e-7)
    # two uninflected words: the key is evidence for neither
    assert ev.own({2}, {3}, "досі", {2, 3}) == 0.0
    records = [R([0], "adv"), R([1], "noun")]
    of = lambda r: {"adv": {2}, "noun": {1}}[r.lemma]  # noqa: E731
    assert rare_first(records, of, ev, "досі", {2})[0] == records
    # the other way round the noun goes
    assert rare_first([R([0], "noun"), R([1], "adv")], of, ev, "досі", {2})[0] == [R([1], "adv")]


def test_a_name_that_gives_a_stress_the_lower_case_gives_together_with_another_stays():
    stress = [("військового", b"\x07\x09"), ("Військового", b"\x07")]
    morph = [("військового", "ADJF,masc,gent", "військовий", 1)]
    lines, stats = join(stress, morph, {"військового": 1e-4})
    assert lines == ["військо́во́го військовий"]
    assert stats.counts["capitals_dropped"] == 0


def O(positions, lemma, upos="NOUN", feats=(("Case", "Voc"), ("Gender", "Fem"))):
    """A record built from a stress variant's own tags: no analysis agreed."""
    return Record(upos, feats, lemma, list(positions), "variant")


@pytest.mark.parametrize("records, expected", [
    # кіно: a feminine vocative the dictionary lacks, its lemma borrowed from
    # the neuter noun of one form, goes although neither has forms of its own
    ([O([0], "кіно"), R([1], "кіно")], [[1]]),
    ([O([0], None), R([1], "кіно")], [[1]]),
    # free variation of the unknown word keeps its other stress
    ([O([0, 1], "кіно"), R([1], "кіно")], [[1], [1]]),
    # a variant without tags, or of an uninflected part of speech, is no unknown word
    ([O([0], "кіно", "X", ()), R([1], "кіно")], [[0], [1]]),
    ([O([0], None, "ADV", ()), R([1], "кіно")], [[0], [1]]),
    # with an analysed record on the low side the lemma is shared: both stay
    ([O([0], "кіно"), R([0], "кіно"), R([1], "кіно")], [[0], [0], [1]]),
    # the other side must hold an analysis of the dictionary
    ([O([0], None), O([1], None, feats=(("Case", "Nom"),))], [[0], [1]]),
    # усі: a rare word of the dictionary sorts first, and an unknown word
    # borrowed its lemma on the common side; the borrowed lemma shares nothing
    ([R([0], "ухо"), R([1], "усі"), O([1], "ухо")], [[1], [1]]),
])
def test_rare_first_drops_a_word_the_dictionary_does_not_hold(records, expected):
    # the key is the neuter noun's only form, and a second lexeme's too:
    # the noun has no evidence of its own
    ev = Evidence({"кіно": 1e-4, "усіх": 1e-3, "уха": 1e-8},
                  {1: F({"кіно"}), 2: F({"кіно"}), 3: F({"кіно", "усіх"}), 4: F({"кіно", "уха"})})
    of = lambda r: {"усі": {3}, "ухо": {4}}.get(r.lemma, {1} if r.lemma else set())  # noqa: E731
    assert [r.positions for r in rare_first(records, of, ev, "кіно")[0]] == expected
    # a key too rare in text keeps both
    rare = Evidence({"кіно": 1e-6}, ev.forms)
    assert rare_first(records, of, rare, "кіно")[0] == records

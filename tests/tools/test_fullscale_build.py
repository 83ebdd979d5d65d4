"""Joining hand-made sources into word data lines."""
import io

import pytest

from tools.fullscale.counters import Stats
from tools.fullscale.join import Joiner, write_words
from tools.fullscale.report import cross_check
from tools.fullscale.sources import (Wiktionary, collect_grounded, collect_morph, group_stress,
                                     stress_spelling, wiktionary_spellings)
from tools.spelling import normalize_word as normalize_key, strip_stress, spelling_kind
from tools.fullscale.pairing import Link
from tools.fullscale.stress import Variant


@pytest.mark.parametrize("text, value, variants, counted", [
    ("мама", b"\x02", [Variant((0,))], None),
    # the only vowel of a one-vowel form: the source stores no position
    ("бук", b"", [Variant((0,))], "stress_key_one_vowel_marked"),
    # no vowel at all: an entry without positions
    ("ВР", b"", [Variant(())], "stress_key_no_vowel"),
    # two vowels and no position: left out
    ("мама", b"", None, "stress_key_no_position"),
    # debris in the keys: markers, Latin letters, digits
    ("вихори*", b"\x02", None, "stress_key_bad_character"),
    ("вольт^у", b"\x02", None, "stress_key_bad_character"),
    ("башnew", b"\x02", None, "stress_key_bad_character"),
    ("банcурі", b"\x02", None, "stress_key_bad_character"),
    ("П6тік", b"\x02", None, "stress_key_bad_character"),
    # nothing decodable
    ("Кончею-Заспою", b"\x02\x08", None, "stress_key_undecodable"),
])
def test_stress_spelling(text, value, variants, counted):
    stats = Stats()
    spelling = stress_spelling(text, value, stats)
    assert (spelling.variants if spelling else None) == variants
    if counted:
        assert stats.counts[counted] == 1


def test_group_stress_merges_keys_that_collide_after_normalisation():
    stats = Stats()
    groups = group_stress([("Київ", b"\x02"), ("київ", b"\x03"), ("п'ять", b"\x03"),
                           ("мама*", b"\x02")], stats)
    assert {k: [s.text for s in v] for k, v in groups.items()} == {
        "київ": ["Київ", "київ"], "п\u02bcять": ["п'ять"]}
    assert stats.counts["stress_keys_colliding"] == 1
    assert stats.counts["stress_keys_colliding_differing"] == 1


def test_collect_morph_keeps_needed_keys_and_finds_proper_lexemes():
    stress = group_stress([("Київ", b"\x02"), ("київ", b"\x03"), ("Києва", b"\x02"),
                           ("Києву", b"\x02"), ("кия", b"\x03"), ("п'ять", b"\x03")], Stats())
    items = [
        ("київ", "NOUN,masc,inan nomn", "київ", 7), ("києва", "NOUN,masc,inan gent", "київ", 7),
        ("києву", "NOUN,masc,inan datv", "київ", 7),
        ("київ", "NOUN,inan plur,gent", "кий", 9), ("кия", "NOUN,inan masc,gent", "кий", 9),
        ("п'ять", "NUMR,plur nomn", "п'ять", 3), ("шість", "NUMR,plur nomn", "шість", 3),
    ]
    morph = collect_morph(items, stress, stress, Stats())
    assert morph.items["київ"] == [("NOUN,masc,inan nomn", "київ", 0), ("NOUN,inan plur,gent", "кий", 1)]
    assert "п\u02bcять" in morph.items and "шість" not in morph.items
    # київ: one lower-case form against two capitalised ones; кий: lower case only
    assert morph.proper_lexemes == {0}


def wiktionary(rows, glosses=None, headwords=None):
    links, forms = {}, {}
    for form, upos, lemma in rows:
        from tools.spelling import stressed_positions
        text = strip_stress(form)
        key = normalize_key(text)
        links.setdefault(key, []).append(Link(stressed_positions(form), upos, lemma, spelling_kind(text)))
        forms.setdefault(key, []).append((form, upos, lemma))
    return Wiktionary(links, forms, glosses or {}, headwords or {})


def test_wiktionary_spellings_tie_variants_to_lemmas_only_when_stresses_differ():
    w = wiktionary([("за́мок", "NOUN", "замок"), ("замо́к", "NOUN", "замок"),
                    ("замо́к", "VERB", "замокти"), ("руко́ю", "NOUN", "рука")])
    (zamok,) = wiktionary_spellings(w.forms["замок"], w.links["замок"])
    assert zamok.variants == [
        Variant((0,), frozenset({"NOUN"}), (), frozenset({"замок"})),
        Variant((1,), frozenset({"NOUN", "VERB"}), (), frozenset({"замок", "замокти"}))]
    (ruka,) = wiktionary_spellings(w.forms["рукою"], w.links["рукою"])
    assert ruka.variants == [Variant((1,))]


def join(stress_items, morph_items, wikt=None, grounded=None):
    stats = Stats()
    stress = group_stress(stress_items, stats)
    needed = dict.fromkeys(stress)
    if wikt:
        needed.update(dict.fromkeys(wikt.links))
    morph = collect_morph(morph_items, needed, stress, stats)
    morph.grounded = grounded or {}
    out = io.StringIO()
    write_words(Joiner(stress, wikt, morph, stats), sorted(needed), out)
    return out.getvalue().splitlines(), stats.counts


def test_join_writes_one_line_per_record_with_its_own_stresses():
    lines, counts = join(
        [("руки", b"\x02\xfe\x12 j2\xff\x04\xfe\x11!j2\xff"), ("Київ", b"\x02"), ("київ", b"\x03"),
         ("Києва", b"\x02"), ("Києву", b"\x02"), ("кия", b"\x03"), ("після того, як", b"\x02\x08")],
        [("руки", "NOUN,inan femn,gent", "рука", 1), ("руки", "NOUN,inan plur,nomn", "рука", 1),
         ("руки", "NOUN,inan plur,accs", "рука", 1),
         ("київ", "NOUN,masc,inan nomn", "київ", 7), ("києва", "NOUN,masc,inan gent", "київ", 7),
         ("києву", "NOUN,masc,inan datv", "київ", 7),
         ("київ", "NOUN,inan plur,gent", "кий", 9), ("кия", "NOUN,inan masc,gent", "кий", 9)],
        wiktionary([("ру́ки", "NOUN", "рука")],
                   glosses={("рука", "NOUN", False): "hand; arm", ("київ", "PROPN", True): "Kyiv",
                            ("кий", "PROPN", True): "Kyi (legendary founder)"},
                   headwords={"київ": "Київ"}))
    assert lines == [
        "кия́\tNOUN\tAnimacy=Inan|Case=Gen|Gender=Masc|Number=Sing\tкий\t",
        "ки́єва\tPROPN\tAnimacy=Inan|Case=Gen|Gender=Masc|Number=Sing\tКиїв\tKyiv",
        "ки́єву\tPROPN\tAnimacy=Inan|Case=Dat|Gender=Masc|Number=Sing\tКиїв\tKyiv",
        # one key, two spellings: the lower-case word first, each with its stress
        "киї́в\tNOUN\tAnimacy=Inan|Case=Gen|Number=Plur\tкий\t",
        "ки́їв\tPROPN\tAnimacy=Inan|Case=Nom|Gender=Masc|Number=Sing\tКиїв\tKyiv",
        "пі́сля то́го, як\tX\t\t\t",
        "ру́ки\tNOUN\tAnimacy=Inan|Case=Nom|Number=Plur\tрука\thand; arm",
        "руки́\tNOUN\tAnimacy=Inan|Case=Gen|Gender=Fem|Number=Sing\tрука\thand; arm",
    ]
    assert (counts["entries"], counts["records"], counts["records_with_lemma"],
            counts["records_with_feats"], counts["entries_several_positions"],
            counts["lemmas"], counts["definitions"]) == (6, 8, 7, 7, 3, 3, 2)
    # accusative plural ру́ки agrees with no variant of the source
    assert counts["dropped_no_variant"] == 1


def test_join_adds_forms_only_wiktionary_stresses():
    lines, counts = join(
        [("мама", b"\x02")],
        [("замок", "NOUN,inan masc,nomn", "замок", 1), ("замок", "VERB,perf masc,past", "замокти", 2),
         ("рукою", "NOUN,inan femn,ablt", "рука", 3)],
        wiktionary([("за́мок", "NOUN", "замок"), ("замо́к", "NOUN", "замок"), ("руко́ю", "NOUN", "рука")]))
    assert lines == [
        # heteronyms: the noun carries both stresses, the verb (no link) none
        "за́мо́к\tNOUN\tAnimacy=Inan|Case=Nom|Gender=Masc|Number=Sing\tзамок\t",
        "ма́ма\tX\t\t\t",
        "руко́ю\tNOUN\tAnimacy=Inan|Case=Ins|Gender=Fem|Number=Sing\tрука\t",
    ]
    assert counts["entries_from_wiktionary"] == 2 and counts["dropped_no_variant"] == 1


def test_join_output_is_word_data_the_image_writer_accepts():
    write_image = pytest.importorskip("tools.write_image")
    lines, _ = join([("Київ", b"\x02"), ("п'ять", b"\x03"), ("ВР", b""), ("після того, як", b"\x02\x08")],
                    [("п'ять", "NUMR,plur nomn", "п'ять", 1)])
    parsed = [write_image.parse_line(line) for line in lines]
    assert [(p.key, p.positions, p.pos, p.lemma) for p in parsed] == [
        ("вр", (), ("X",), None),
        ("київ", (0,), ("X",), None),
        ("п\u02bcять", (0,), ("NUM",), "п\u02bcять"),
        ("після того, як", (0, 2), ("X",), None),
    ]
    builder = write_image.ImageBuilder()
    builder.add_lines(line + "\n" for line in lines)
    assert (builder.entry_count, builder.record_count) == (4, 4)


def test_glosses_attach_by_lemma_part_of_speech_and_capitalisation():
    stats = Stats()
    w = wiktionary([], glosses={("колос", "NOUN", False): "ear of grain",
                                ("київ", "PROPN", True): "Kyiv", ("що", "SCONJ", False): "that"})
    joiner = Joiner({}, w, collect_morph([], {}, {}, stats), stats)
    assert [joiner.gloss(lemma, upos) for lemma, upos in [
        ("колос", "NOUN"), ("колос", "PROPN"), ("Колос", "PROPN"), ("Київ", "PROPN"), ("Київ", "NOUN"),
        ("київ", "PROPN"), ("що", "CCONJ"), ("що", "PRON"), (None, "NOUN")]] == [
        "ear of grain", "ear of grain", "", "Kyiv", "Kyiv", "", "that", "", ""]


def test_cross_check_counts_agreements_by_spelling_class():
    stats = Stats()
    stress = group_stress([("Київ", b"\x02"), ("київ", b"\x03"), ("рука", b"\x04"), ("зимову", b"\x04\x06")],
                          stats)
    w = wiktionary([("Ки́їв", "PROPN", "Київ"), ("ру́ка", "NOUN", "рука"), ("рука́", "NOUN", "рука"),
                    ("ні́ж", "NOUN", "ніж"), ("зимову́", "ADJ", "зимовий")])
    sample, disagreeing = cross_check(stress, w, stats)
    counts = stats.counts
    assert (counts["crosscheck_forms_both"], counts["crosscheck_agree"], counts["crosscheck_compatible"],
            disagreeing) == (4, 2, 1, 1)
    assert sample == [("ру́ка", "рука", ["рука́"])]


def test_analyses_of_proper_lexemes_are_propn_with_the_sources_spelling_of_the_lemma():
    stats = Stats()
    stress = group_stress([("ВР", b""), ("Мена", b"\x02"), ("мена", b"\x04")], stats)
    morph = collect_morph([], {}, stress, stats)
    morph.proper_lexemes.update({1, 2, 3})
    joiner = Joiner(stress, wiktionary([], headwords={"березань": "Березань"}), morph, stats)
    got = [(a.upos, a.lemma) for a in (joiner.analysis(*args) for args in [
        ("NOUN,Abbr,Fixd,femn,inan nomn", "вр", 1),     # spelled so in the stress source
        ("NOUN,femn,inan datv", "мена", 2),             # the capitalised one of two spellings
        ("NOUN,femn,inan loct", "березань", 3),         # spelled so by Wiktionary
        ("NOUN,Surn,masc,anim datv", "шев", 4),         # a surname no source spells
        ("NOUN,femn,inan nomn", "мена", 5),             # a common noun
        ("NOUN,inan femn,gent", "сім'я", 6),
    ])]
    assert got == [("PROPN", "ВР"), ("PROPN", "Мена"), ("PROPN", "Березань"), ("PROPN", "Шев"),
                   ("NOUN", "мена"), ("NOUN", "сім\u02bcя")]


def test_collect_grounded_adopts_only_one_lemma_per_word():
    found = {
        "посошкові": [("unknown_prefix", "ADJF plur,nomn", "посошковий"),
                      ("unknown_prefix", "ADJF plur,accs", "посошковий")],
        "антиприроднім": [("known_prefix", "ADJF masc,loct", "антиприродний"),
                          ("known_prefix", "ADJF masc,loct", "антиприродній")],
    }
    stats = Stats()
    asked = []

    def analyse_key(key):
        asked.append(key)
        return found.get(key, [])

    got = collect_grounded(["посошкові", "при посошкові", "облуки", "антиприроднім"], analyse_key, stats)
    assert got == {"посошкові": [("ADJF plur,nomn", "посошковий", "unknown_prefix"),
                                 ("ADJF plur,accs", "посошковий", "unknown_prefix")]}
    assert asked == ["посошкові", "облуки", "антиприроднім"]   # phrases are not asked about
    c = stats.counts
    assert (c["grounded_keys"], c["grounded_keys_unknown_prefix"], c["grounded_ambiguous"],
            c["grounded_none"], c["grounded_phrases_skipped"]) == (1, 1, 1, 1, 1)


def test_join_gives_grounded_analyses_to_keys_the_dictionary_lacks():
    grounded = {
        "посошкові": [("ADJF plur,nomn", "посошковий", "unknown_prefix")],
        # never used: the dictionary holds кия
        "кия": [("NOUN,inan masc,gent", "поский", "known_prefix")],
        # a name: it goes with the capitalised spelling, its lemma spelled as the source does
        "квітці-основʼяненку": [("NOUN,Surn,masc,anim datv", "квітка-основ'яненко", "hyphen")],
    }
    lines, counts = join(
        [("посошкові", b"\x07"), ("облуки", b"\x04"), ("кия", b"\x03"),
         ("Квітці-Основ'яненку", b"\x03\x0e"), ("Квітка-Основ'яненко", b"\x03\x0e")],
        [("кия", "NOUN,inan masc,gent", "кий", 9)], grounded=grounded)
    assert lines == [
        "кві́тка-основʼя́ненко\tX\t\t\t",
        "кві́тці-основʼя́ненку\tPROPN\tAnimacy=Anim|Case=Dat|Gender=Masc|NameType=Sur|Number=Sing"
        "\tКвітка-Основʼяненко\t",
        "кия́\tNOUN\tAnimacy=Inan|Case=Gen|Gender=Masc|Number=Sing\tкий\t",
        "облу́ки\tX\t\t\t",
        "посошко́ві\tADJ\tCase=Nom|Number=Plur\tпосошковий\t",
    ]
    assert (counts["records_unknown_prefix"], counts["records_hyphen"], counts["grounded_analyses_paired"],
            counts["records_morph"]) == (1, 1, 2, 1)

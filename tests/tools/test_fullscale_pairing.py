"""Pairing analyses with stress variants, key by key."""
import collections

import pytest

from tools.fullscale.pairing import Analysis, Link, Spelling, agrees, pair_key
from tools.fullscale.stress import Variant, decode_value

F = frozenset


def A(upos, feats="", lemma=None, proper=False):
    pairs = tuple(tuple(p.split("=")) for p in feats.split("|") if p)
    return Analysis(upos, pairs, lemma, proper)


def V(positions, upos=(), lemmas=None, **feats):
    return Variant(tuple(positions), F(upos),
                   tuple((k, F(v.split(","))) for k, v in sorted(feats.items())),
                   None if lemmas is None else F(lemmas))


def table(records):
    return [(r.upos, "|".join(f"{k}={v}" for k, v in r.feats), r.lemma, r.positions) for r in records]


RUKY_GEN = A("NOUN", "Animacy=Inan|Case=Gen|Gender=Fem|Number=Sing", "рука")
RUKY_NOM = A("NOUN", "Animacy=Inan|Case=Nom|Number=Plur", "рука")
RUKY_ACC = A("NOUN", "Animacy=Inan|Case=Acc|Number=Plur", "рука")


@pytest.mark.parametrize("analysis, variant, expected", [
    (RUKY_GEN, V([1], ["NOUN"], Case="Gen", Number="Sing", Gender="Fem"), True),
    (RUKY_GEN, V([0], ["NOUN"], Case="Nom", Number="Plur", Gender="Fem"), False),
    # a feature the analysis lacks (gender of a plural) does not conflict
    (RUKY_NOM, V([0], ["NOUN"], Case="Nom", Number="Plur", Gender="Fem"), True),
    # an untagged variant admits everything
    (RUKY_NOM, V([0]), True),
    # only the parts of speech of one group are compatible
    (A("PROPN", "Case=Nom"), V([0], ["NOUN"], Case="Nom"), True),
    (A("ADJ", "Case=Nom"), V([0], ["NOUN"], Case="Nom"), False),
    (A("SCONJ"), V([0], ["CCONJ"]), True),
    # a variant with features but no part of speech
    (A("VERB", "Person=0|VerbForm=Fin"), V([0], Person="0"), True),
    (A("VERB", "Person=3|VerbForm=Fin"), V([0], Person="0"), False),
    (A("VERB", "VerbForm=Fin|Number=Sing"), V([0], ["VERB"], VerbForm="Inf"), False),
    # several allowed values
    (A("ADJ", "Case=Acc"), V([0], ["ADJ"], Case="Nom,Acc"), True),
    # a variant tied to lemmas (Wiktionary)
    (A("NOUN", "Case=Nom", "замок"), V([0], lemmas=["замок"]), True),
    (A("NOUN", "Case=Nom", "Замок"), V([0], lemmas=["замок"]), True),
    (A("NOUN", "Case=Nom", "зámok"), V([0], lemmas=["замок"]), False),
    (A("NOUN", "Case=Nom"), V([0], lemmas=["замок"]), False),
])
def test_agrees(analysis, variant, expected):
    assert agrees(analysis, variant) is expected


def test_each_analysis_takes_only_the_stresses_of_its_tags():
    variants, _ = decode_value("руки", b"\x02\xfe\x12 j2\xff\x04\xfe\x11!j2\xff\x02\xfe\x12#j2\xff")
    stats = collections.Counter()
    records = pair_key([Spelling("руки", variants)], [RUKY_GEN, RUKY_NOM, RUKY_ACC], stats=stats)
    assert table(records) == [
        ("NOUN", "Animacy=Inan|Case=Nom|Number=Plur", "рука", [0]),
        ("NOUN", "Animacy=Inan|Case=Gen|Gender=Fem|Number=Sing", "рука", [1]),
        ("NOUN", "Animacy=Inan|Case=Acc|Number=Plur", "рука", [0]),
    ]
    assert stats["analyses_paired"] == 3 and stats["orphan_variants"] == 0


def test_homonyms_the_tags_cannot_separate_carry_both_stresses():
    # за́мок / замо́к nominative and accusative, замо́к past of замокти
    variants, _ = decode_value(
        "замок", b"\x02\xfe\x11 j1\xff\x02\xfe\x11#j1\xff\x04\xfe\x11 j1\xff\x04\xfe\x11#j1\xff\x04\xfe\x11g\xff")
    nom = A("NOUN", "Animacy=Inan|Case=Nom|Gender=Masc|Number=Sing", "замок")
    acc = A("NOUN", "Animacy=Inan|Case=Acc|Gender=Masc|Number=Sing", "замок")
    past = A("VERB", "Aspect=Perf|Gender=Masc|Mood=Ind|Number=Sing|Tense=Past|VerbForm=Fin", "замокти")
    # pymorphy3 lists the noun once per lexeme: duplicates become one record
    records = pair_key([Spelling("замок", variants)], [nom, acc, nom, acc, past])
    assert [(r.upos, r.lemma, r.positions) for r in records] == [
        ("NOUN", "замок", [0, 1]), ("NOUN", "замок", [0, 1]), ("VERB", "замокти", [1])]


def test_a_single_stress_set_goes_to_every_analysis():
    records = pair_key([Spelling("кутас", [V([0, 1])])],
                       [A("NOUN", "Case=Nom", "кутас"), A("NOUN", "Case=Acc", "кутас")])
    assert [r.positions for r in records] == [[0, 1], [0, 1]]


def test_analyses_no_variant_agrees_with_are_dropped():
    stats = collections.Counter()
    records = pair_key([Spelling("руки", [V([1], ["NOUN"], Case="Gen")])], [RUKY_GEN, RUKY_NOM], stats=stats)
    assert table(records) == [("NOUN", "Animacy=Inan|Case=Gen|Gender=Fem|Number=Sing", "рука", [1])]
    assert stats["dropped_no_variant"] == 1


def test_colliding_spellings_pair_by_class():
    # киї́в (genitive plural of кий) and Ки́їв (the city)
    city = A("PROPN", "Animacy=Inan|Case=Nom|Gender=Masc|Number=Sing", "Київ", proper=True)
    kyi = A("NOUN", "Animacy=Inan|Case=Gen|Number=Plur", "кий")
    spellings = [Spelling("Київ", [V([0])]), Spelling("київ", [V([1])])]
    records = pair_key(spellings, [city, kyi])
    # the lower-case spelling comes first whatever the input order
    assert [(r.lemma, r.positions) for r in records] == [("кий", [1]), ("Київ", [0])]


def test_analyses_whose_class_has_no_spelling_are_dropped():
    stats = collections.Counter()
    surname = A("PROPN", "Case=Dat|NameType=Sur", "Колос", proper=True)
    common = A("NOUN", "Case=Dat", "колос")
    records = pair_key([Spelling("колосу", [V([0])])], [surname, common], stats=stats)
    assert [r.lemma for r in records] == ["колос"]
    assert stats["dropped_class"] == 1
    # and the other way round: only a capitalised spelling, common analyses only
    stats = collections.Counter()
    records = pair_key([Spelling("Доми", [V([0])])], [A("NOUN", "Case=Nom", "дім")], stats=stats)
    assert table(records) == [("X", "", None, [0])]
    assert stats["dropped_class"] == 1 and stats["orphan_no_lemma"] == 1


def test_orphan_variant_becomes_a_record_of_its_own_tags():
    stats = collections.Counter()
    variants = [V([0], ["NOUN"], Case="Ins", Number="Plur"), V([1], ["INTJ"])]
    records = pair_key([Spelling("раками", variants)],
                       [A("NOUN", "Case=Ins|Number=Plur", "рак"), A("NOUN", "Case=Dat|Number=Plur", "рак")],
                       stats=stats)
    assert table(records) == [
        ("NOUN", "Case=Ins|Number=Plur", "рак", [0]),
        # no analysis is an interjection: own tags, no lemma
        ("INTJ", "", None, [1]),
    ]
    assert stats["orphan_variants"] == 1 and stats["orphan_no_lemma"] == 1


def test_orphan_lemma_from_the_only_lemma_of_its_part_of_speech():
    stats = collections.Counter()
    variant = V([2], ["NOUN"], Case="Nom", Number="Plur", Gender="Masc")
    mine = [A("NOUN", "Case=Gen|Number=Sing", "небіж"), A("ADJ", "Case=Nom", "небожий")]
    records = pair_key([Spelling("небожі", [variant])], mine, stats=stats)
    assert table(records) == [("NOUN", "Case=Nom|Gender=Masc|Number=Plur", "небіж", [2])]
    assert stats["orphan_lemma_morph"] == 1
    # two candidate lemmas: none is chosen
    mine.append(A("NOUN", "Case=Dat|Number=Sing", "небога"))
    assert table(pair_key([Spelling("небожі", [variant])], mine))[0][2] is None


def test_orphan_lemma_from_wiktionary_needs_the_same_stress_and_class():
    links = [Link((1,), "NOUN", "ковбаня", "lower"), Link((0,), "NOUN", "ковбаня", "lower"),
             Link((1,), "PROPN", "Ковбаня", "upper")]
    records = pair_key([Spelling("ковбані", [V([1])])], [], links)
    assert table(records) == [("NOUN", "", "ковбаня", [1])]
    # Wiktionary gives one of the two stresses the source accepts
    records = pair_key([Spelling("ковбані", [V([0, 1])])], [], links[:1])
    assert table(records) == [("NOUN", "", "ковбаня", [0, 1])]
    # a link of another part of speech than the variant's tags is not used
    records = pair_key([Spelling("ковбані", [V([1], ["VERB"])])], [], links)
    assert table(records) == [("VERB", "", None, [1])]


def test_positions_keep_the_order_of_first_appearance():
    variants = [V([2]), V([0]), V([2])]
    records = pair_key([Spelling("молоко", variants)], [A("NOUN", "Case=Nom", "молоко")])
    assert records[0].positions == [2, 0]


GRANIT = A("NOUN", "Animacy=Inan|Case=Ins|Gender=Masc|Number=Sing", "граніт")


@pytest.mark.parametrize("spellings, analyses, expected, dropped", [
    # a capitalised second spelling, untagged, of the same stress: nothing new
    ([Spelling("гранітом", [V([1])]), Spelling("Гранітом", [V([1])])], [GRANIT],
     [("NOUN", "граніт", [1])], 1),
    # ... of another stress: it adds a stress and stays
    ([Spelling("гранітом", [V([1])]), Spelling("Гранітом", [V([0])])], [GRANIT],
     [("NOUN", "граніт", [1]), ("X", None, [0])], 0),
    # ... one of whose two stresses is new
    ([Spelling("гранітом", [V([1])]), Spelling("Гранітом", [V([0, 1])])], [GRANIT],
     [("NOUN", "граніт", [1]), ("X", None, [0, 1])], 0),
    # an untagged variant beside tagged ones that no analysis takes: the
    # tagged records carry its stress
    ([Spelling("бігма", [V([0], ["ADV"]), V([1]), V([1], ["PART"])])], [],
     [("ADV", None, [0]), ("PART", None, [1])], 1),
    # a record with tags but no lemma is kept
    ([Spelling("раками", [V([0], ["NOUN"], Case="Ins"), V([0], ["INTJ"])])],
     [A("NOUN", "Case=Ins", "рак")], [("NOUN", "рак", [0]), ("INTJ", None, [0])], 0),
    # the only record of a key stays
    ([Spelling("облуки", [V([1])]), Spelling("Облуки", [V([1])])], [], [("X", None, [1])], 0),
])
def test_bare_records_that_add_nothing_are_left_out(spellings, analyses, expected, dropped):
    stats = collections.Counter()
    records = pair_key(spellings, analyses, stats=stats)
    assert [(r.upos, r.lemma, r.positions) for r in records] == expected
    assert stats["dropped_bare_variant"] == dropped


def test_bare_records_are_counted_by_the_class_of_their_spelling():
    stats = collections.Counter()
    pair_key([Spelling("гранітом", [V([1])]), Spelling("Гранітом", [V([1])])], [GRANIT], stats=stats)
    pair_key([Spelling("бігма", [V([0], ["ADV"]), V([1]), V([1], ["PART"])])], [], stats=stats)
    assert (stats["dropped_bare_variant"], stats["dropped_bare_variant_capitalised"]) == (2, 1)


def test_grounded_analyses_pair_like_dictionary_ones_and_mark_their_records():
    stats = collections.Counter()
    prefixed = Analysis("ADJ", (("Case", "Nom"), ("Number", "Plur")), "посошковий", False, "unknown_prefix")
    name = Analysis("PROPN", (("Case", "Nom"), ("NameType", "Sur")), "Квітка-Основʼяненко", True, "hyphen")
    records = pair_key([Spelling("посошкові", [V([2], ["ADJ"]), V([1], ["NOUN"])])], [prefixed, name],
                       stats=stats)
    assert [(r.lemma, r.positions, r.origin) for r in records] == [
        ("посошковий", [2], "unknown_prefix"), (None, [1], "variant")]
    assert (stats["grounded_analyses_paired"], stats["grounded_dropped_class"], stats["analyses_paired"]) == (
        1, 1, 0)

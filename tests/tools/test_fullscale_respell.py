"""Extra keys: first parts of compounds and older spellings."""

import pytest

from tools.fullscale.pairing import Record, Spelling
from tools.fullscale.respell import first_part, first_parts, modern_of, old_spellings
from tools.fullscale.stress import Variant


@pytest.mark.parametrize("key, positions, expected", [
    ("медико-санітарний", (0, 5), ("медико", (0,))),
    ("військово-польовий", (1, 5), ("військово", (1,))),
    # the compound stresses only its second part: the first gets nothing
    ("медико-санітарний", (5,), None),
    # no linking vowel, one vowel, no hyphen, a phrase
    ("прем'єр-міністр", (1, 3), None),
    ("штабс-капітан", (0, 3), None),
    ("пів-яблука", (0, 2), None),
    ("медикосанітарний", (0, 5), None),
    ("що-небудь та інше", (0,), None),
])
def test_first_part(key, positions, expected):
    assert first_part(key, positions) == expected


def test_first_parts_collect_every_stress_the_compounds_give_from_lower_case_spellings():
    stress = {
        "військово-морський": [Spelling("військово-морський", [Variant((1, 4))])],
        "військово-польовий": [Spelling("військово-польовий", [Variant((1, 5))])],
        "ґрунтово-рослинний": [Spelling("ґрунтово-рослинний", [Variant((0, 4))]),
                               Spelling("Ґрунтово-рослинний", [Variant((2, 4))])],
        "ново-йоркський": [Spelling("Ново-Йоркський", [Variant((0, 2))])],
        "ґрунтово-кліматичний": [Spelling("ґрунтово-кліматичний", [Variant((1, 5))])],
    }
    # in the order of the compound keys: ґрунтово-кліматичний first
    assert first_parts(stress) == {"військово": [(1,)], "ґрунтово": [(1,), (0,)]}


def R(upos, feats, lemma, positions=(1,)):
    return Record(upos, tuple(tuple(f.split("=")) for f in feats.split("|") if f), lemma, list(positions))


GEN = R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "можливість", (1,))
DAT = R("NOUN", "Case=Dat|Gender=Fem|Number=Sing", "можливість", (1,))
PLUR = R("NOUN", "Case=Nom|Number=Plur", "можливість", (1,))


@pytest.mark.parametrize("key, records, expected", [
    # the genitive singular of the consonant declension moves, nothing else
    ("можливості", [GEN, DAT, PLUR], [("можливости", [GEN])]),
    ("осені", [R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "осінь")],
     [("осени", [R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "осінь")])]),
    # a genitive of the -а declension, a masculine, a vowel before -і: no old spelling
    ("руки", [R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "рука")], []),
    ("землі", [R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "земля")], []),
    ("краї", [R("NOUN", "Case=Gen|Gender=Masc|Number=Sing", "край")], []),
    # іа after a consonant, every record
    ("матеріалізм", [R("NOUN", "Case=Nom", "матеріалізм", (4,))],
     [("матеріялізм", [R("NOUN", "Case=Nom", "матеріалізм", (4,))])]),
    ("соціальний", [R("ADJ", "Case=Nom", "соціальний", (2,))],
     [("соціяльний", [R("ADJ", "Case=Nom", "соціальний", (2,))])]),
    # after a vowel, and where ія after a consonant is there already (not reversible)
    ("віадук", [R("NOUN", "", "віадук")], [("віядук", [R("NOUN", "", "віадук")])]),
    ("оіа", [R("X", "", None)], []),
])
def test_old_spellings(key, records, expected):
    assert old_spellings(key, records) == expected


def test_an_ia_respelling_two_modern_keys_lead_back_to_is_not_made():
    # a made-up second modern key that the old spelling could also undo to
    assert old_spellings("спеціалізація", [R("X", "", None)],
                         {"спеціалізація", "спеціялізаціа"}) == []
    assert old_spellings("спеціалізація", [R("X", "", None)],
                         {"спеціалізація"})[0][0] == "спеціялізація"
    assert modern_of("спеціялізація", "ia", {"спеціалізація"}) == "спеціалізація"
    assert modern_of("спеціялізація", "ia", {"спеціалізація", "спеціялізаціа"}) is None


@pytest.mark.parametrize("modern", ["можливості", "осені", "радості"])
def test_the_genitive_respelling_is_undone_by_its_inverse(modern):
    ((old, _),) = old_spellings(modern, [R("NOUN", "Case=Gen|Gender=Fem|Number=Sing", "x" + "ь")])
    assert modern_of(old, "genitive") == modern


@pytest.mark.parametrize("modern", ["матеріалізм", "діалектичний", "спеціалізація", "піаніно"])
def test_the_ia_respelling_is_undone_by_its_inverse(modern):
    ((old, _),) = old_spellings(modern, [R("X", "", None)], {modern})
    assert old != modern and modern_of(old, "ia", {modern}) == modern

"""The shipped dictionary: heteronyms whose readings carry different
morphology, names found in lower case, apostrophe words."""
import pytest

import lexovia

ACUTE = "\u0301"


def readings(word):
    """{stressed form: [(pos, lemma, feats), ...]} of a word."""
    return {r["stressed_form"]: [(m["pos"], m["lemma"], m["feats"]) for m in r["morph"]]
            for r in lexovia.lookup(word)["readings"]}


def has(analyses, pos, lemma, **feats):
    return any(p == [pos] and l == lemma and all(f.get(k) == [v] for k, v in feats.items())
               for p, l, f in analyses)


def test_size():
    assert lexovia.word_count() > 2_500_000


def test_ruky_genitive_singular_and_nominative_plural():
    r = readings("руки")
    assert list(r) == ["ру" + ACUTE + "ки", "руки" + ACUTE]
    plural, genitive = r.values()
    assert has(plural, "NOUN", "рука", Case="Nom", Number="Plur")
    assert not has(plural, "NOUN", "рука", Case="Gen", Number="Sing")
    assert has(genitive, "NOUN", "рука", Case="Gen", Number="Sing")
    assert not has(genitive, "NOUN", "рука", Case="Nom", Number="Plur")


def test_vody_plural_and_genitive():
    r = readings("води")
    assert list(r) == ["во" + ACUTE + "ди", "води" + ACUTE]
    plural, genitive = r.values()
    assert has(plural, "NOUN", "вода", Case="Nom", Number="Plur")
    assert has(genitive, "NOUN", "вода", Case="Gen", Number="Sing")
    assert not has(plural, "NOUN", "вода", Case="Gen")
    assert readings("вода") and all(
        has(a, "NOUN", "вода", Case="Nom", Number="Sing") for a in readings("вода").values())


def test_zamok_and_zamka():
    r = readings("замок")
    assert list(r) == ["за" + ACUTE + "мок", "замо" + ACUTE + "к"]
    # Only the second stress is also a form of the verb замокти.
    assert not any(l == "замокти" for _, l, _ in r["за" + ACUTE + "мок"])
    assert any(l == "замокти" for _, l, _ in r["замо" + ACUTE + "к"])
    zamka = readings("замка")
    assert has(zamka["замка" + ACUTE], "NOUN", "замок", Case="Gen", Number="Sing")


@pytest.mark.parametrize("typed", ["Київ", "київ", "КИЇВ"])
def test_capitalised_name_found_in_lower_case(typed):
    result = lexovia.lookup(typed)
    assert result["form"] == "київ"
    r = readings(typed)
    city = r["ки" + ACUTE + "їв"]
    assert has(city, "PROPN", "Київ", Case="Nom")
    # The same letters are also the genitive plural of кий, stressed apart.
    assert has(r["киї" + ACUTE + "в"], "NOUN", "кий", Case="Gen", Number="Plur")


@pytest.mark.parametrize("typed", ["м'ясо", "м’ясо", "мʼясо", "М`ясо"])
def test_apostrophe_word(typed):
    result = lexovia.lookup(typed)
    assert result["form"] == "мʼясо"
    [(stressed, analyses)] = readings(typed).items()
    assert stressed == "мʼя" + ACUTE + "со"
    assert has(analyses, "NOUN", "мʼясо", Case="Nom")
    assert lexovia.mark(typed) == stressed


def test_glosses_attach_to_their_lemma():
    for r in lexovia.lookup("вода")["readings"]:
        assert any(m["lemma"] == "вода" and m["definition"] and "water" in m["definition"]
                   for m in r["morph"])


# Frequent words whose first reading was a rare name (Ме́ні, А́бо, То́го, У́же
# of the river Уж), a rare word (ко́ли, бу́ла, йо́го, the vocative of йо́га,
# го́тові of гот, бе́ре of бер), a
# word the dictionary does not hold (кі́но, про́грами, по́дії) or an error of
# the stress source or of the join (воду́, ні́чого, всьо́го, де́ржава, ста́є):
# mark must give the common word's stress.
FREQUENT = [
    "мені́", "собі́", "тобі́", "або́", "того́", "нови́й", "коли́", "була́", "вона́", "вони́",
    "його́", "во́ду", "мене́", "чому́", "адже́", "кому́", "яка́", "ціє́ї",
    "нічо́го", "ніко́ли", "ніко́му", "держа́ви", "держа́ва", "всього́", "усього́",
    "поді́ї", "поді́й", "викона́ння", "стає́", "програ́ми", "кіно́", "піти́", "прошу́",
    "основні́", "основно́му", "озна́ки", "виника́є",
    "уже́", "усі́", "гото́ві", "загало́м", "бере́", "пога́ні", "числе́нні", "живи́м",
]


@pytest.mark.parametrize("stressed", FREQUENT)
def test_frequent_words_are_marked_with_their_common_stress(stressed):
    word = stressed.replace(ACUTE, "")
    assert lexovia.mark(word) == stressed
    assert lexovia.mark(word.capitalize()) == stressed


def test_the_pronoun_yoho_has_its_own_stress_and_analyses():
    r = readings("його")
    assert has(r["його" + ACUTE], "PRON", "він", Case="Gen")
    assert not any(has(a, "PRON", "він", Case="Gen") for s, a in r.items() if s != "його" + ACUTE)


# Homographs of comparable frequency: every stress stays, in position order.
HETERONYMS = [
    ("замок", ["за́мок", "замо́к"]),
    ("руки", ["ру́ки", "руки́"]),
    ("роботи", ["ро́боти", "робо́ти"]),
    ("атлас", ["а́тлас", "атла́с"]),
    ("мука", ["му́ка", "мука́"]),
    ("води", ["во́ди", "води́"]),
    ("ноги", ["но́ги", "ноги́"]),
    ("плачу", ["пла́чу", "плачу́"]),
    ("дорогою", ["доро́гою", "дорого́ю"]),
    ("вікна", ["ві́кна", "вікна́"]),
    # the rarer word is not rare enough to go (ста́ттю of стать, па́лю of паля)
    ("статтю", ["ста́ттю", "статтю́"]),
    ("палю", ["па́лю", "палю́"]),
    ("ходи", ["хо́ди", "ходи́"]),
    ("купи", ["ку́пи", "купи́"]),
]


@pytest.mark.parametrize("word, stressed", HETERONYMS)
def test_heteronyms_keep_every_stress(word, stressed):
    assert list(readings(word)) == stressed


def test_a_frequent_name_keeps_its_stress_beside_a_rare_common_word():
    assert lexovia.mark("Київ") == "ки" + ACUTE + "їв"
    assert list(readings("київ")) == ["ки" + ACUTE + "їв", "киї" + ACUTE + "в"]


@pytest.mark.parametrize("typed, stressed", [
    # first parts of hyphenated compounds, as the compounds stress them
    ("медико", "ме́дико"),
    ("військово", "військо́во"),
    # older spellings carry the stress of the modern form
    ("можливости", "можли́вости"),
    ("матеріялізм", "матеріялі́зм"),
])
def test_extra_keys_for_running_text(typed, stressed):
    assert lexovia.mark(typed) == stressed

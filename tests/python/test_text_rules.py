"""Each context rule of lexovia_text, on a sentence that needs it.

Every row is a sentence whose stressed text comes out right only because
of the named rule: the test checks the output, that the rule is the one
annotate reports for the word, and that without the rule the word would be
stressed otherwise (so a row cannot pass by accident of the prior).
"""
import pytest

import lexovia_text
from lexovia_text import _choose

# (rule, sentence, word the rule decides, expected stressed sentence)
NEEDS_ONE_RULE = [
    ("lower-case-is-no-name", "Він не має київ для більярду.", "київ", "Він не ма́є киї́в для білья́рду."),
    ("capital-inside-sentence-is-a-name", "Ми подякували Бабаєві.", "Бабаєві", "Ми подя́кували Баба́єві."),
    ("preposition-case", "Після зміни вони пішли.", "зміни", "Пі́сля змі́ни вони́ пішли́."),
    ("preposition-case", "Ми говорили про руки.", "руки", "Ми говори́ли про ру́ки."),
    ("modifier-agreement", "Мої руки теплі.", "руки", "Мої́ ру́ки те́плі."),
    ("modifier-agreement", "Холодні води течуть.", "води", "Холо́дні во́ди течу́ть."),
    ("modifier-agreement", "Одна сім'я.", "сім'я", "Одна́ сім'я́."),
    ("subject-verb", "Я складу іспит.", "складу", "Я складу́ і́спит."),
    ("function-word", "Зараз усе добре.", "Зараз", "За́раз усе́ до́бре."),
]

# Sentences whose choice the rules above must leave right (the motivating
# examples among them).
CHOSEN = [
    ("Я дійшов до руки.", "Я дійшо́в до руки́."),
    ("Без води немає роботи.", "Без води́ нема́є робо́ти."),
    ("Вона була вдома, коли вони прийшли до мене.", "Вона́ була́ вдо́ма, коли́ вони́ прийшли́ до мене́."),
    ("Ти мені не казав.", "Ти мені́ не каза́в."),
    # A verb before a noun is no adjective: agreement must not pick бу́ла.
    ("Там була книжка.", "Там була́ кни́жка."),
]


def without(rule):
    return tuple(r for r in _choose.RULES if r[0] != rule)


@pytest.mark.parametrize("rule, sentence, word, expected", NEEDS_ONE_RULE)
def test_sentence_needs_its_rule(rule, sentence, word, expected, monkeypatch):
    assert lexovia_text.stress_text(sentence) == expected
    decided = {w.text: w.rule for w in lexovia_text.annotate(sentence)}
    assert decided[word] == rule
    monkeypatch.setattr(_choose, "RULES", without(rule))
    assert lexovia_text.stress_text(sentence) != expected


@pytest.mark.parametrize("sentence, expected", CHOSEN)
def test_sentences_come_out_stressed_right(sentence, expected):
    assert lexovia_text.stress_text(sentence) == expected


def test_every_rule_has_a_sentence():
    assert {name for name, _ in _choose.RULES} == {row[0] for row in NEEDS_ONE_RULE}


def test_the_prior_decides_what_the_rules_leave_open():
    # A bare heteronym has no neighbours: its reading comes from the prior.
    (word,) = lexovia_text.annotate("руки")
    assert word.rule in ("lexeme-frequency", "case-number-frequency", "lowest-stress")
    assert word.chosen is not None and word.stress is not None


class TestPreposition:
    @pytest.mark.parametrize("preposition, cases", [
        ("до", {"Gen"}), ("з", {"Gen", "Ins", "Acc"}), ("на", {"Loc", "Acc"}), ("у", {"Loc", "Acc", "Gen"}),
        ("при", {"Loc"}), ("через", {"Acc"}), ("завдяки", {"Dat"}),
    ])
    def test_governed_cases(self, preposition, cases):
        assert _choose.PREPOSITIONS[preposition] == cases

    def test_a_modifier_may_stand_between(self):
        # до моєї руки: the preposition reaches past the possessive.
        decided = {w.text: w.rule for w in lexovia_text.annotate("Він прийшов до моєї руки.")}
        assert decided["руки"] == "preposition-case"

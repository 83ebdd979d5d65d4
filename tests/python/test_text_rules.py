"""Each step of lexovia_text's chooser, on a sentence that needs it.

Every row of NEEDS_ONE_RULE is a sentence whose stressed text comes out
right because of the named rule: the test checks the output, that the rule
is the one annotate reports for the word, and that the rule alone, given
every reading of the word in that sentence, keeps only readings of the
right stress while the word has others (so a row cannot pass by accident
of the statistics or the frequencies).
"""
import pytest

import lexovia_text
from lexovia_text import _choose, _entries, _rules, _statistics, _tokens, _variants

# (rule, sentence, word the rule decides, expected stressed sentence)
NEEDS_ONE_RULE = [
    ("lower-case-is-no-name", "Він не має київ для більярду.", "київ", "Він не ма́є киї́в для білья́рду."),
    ("capital-inside-sentence-is-a-name", "Ми подякували Бабаєві.", "Бабаєві", "Ми подя́кували Баба́єві."),
    ("preposition-case", "Він дивився на руки.", "руки", "Він диви́вся на ру́ки."),
    ("preposition-case", "Ідемо через гори.", "гори", "Ідемо́ че́рез го́ри."),
    ("numeral-nominative", "Дві площини лежали поруч.", "площини", "Дві площи́ни лежа́ли по́руч."),
    ("quantity-genitive", "Багато води утекло.", "води", "Бага́то води́ утекло́."),
    ("modifier-agreement", "Мої сестри.", "сестри", "Мої́ се́стри."),
    ("modifier-agreement", "Білі руки.", "руки", "Бі́лі ру́ки."),
    ("subject-verb", "Я складу іспит.", "складу", "Я складу́ і́спит."),
    ("same-or-self", "Вона сама прийшла.", "сама", "Вона́ сама́ прийшла́."),
    ("same-or-self", "Та сама книжка лежить.", "сама", "Та са́ма кни́жка лежи́ть."),
    ("coordination", "Руки і ноги.", "ноги", "Ру́ки і но́ги."),
    ("subject-predicate", "Сестри прийшли.", "Сестри", "Се́стри прийшли́."),
    ("subject-predicate", "Гори здіймаються над морем.", "Гори", "Го́ри здійма́ються над мо́рем."),
    ("patronymic", "Іван Юхимович прийшов.", "Юхимович", "Іва́н Юхи́мович прийшо́в."),
    ("genitive-after-noun", "Назва села змінилася.", "села", "На́зва села́ зміни́лася."),
    ("function-word", "Зараз усе добре.", "Зараз", "За́раз усе́ до́бре."),
]

# Sentences whose choice the steps above must leave right (the motivating
# examples among them).
CHOSEN = [
    ("Я дійшов до руки.", "Я дійшо́в до руки́."),
    ("Без води немає роботи.", "Без води́ нема́є робо́ти."),
    ("Вона була вдома, коли вони прийшли до мене.", "Вона́ була́ вдо́ма, коли́ вони́ прийшли́ до ме́не."),
    ("Ти мені не казав.", "Ти мені́ не каза́в."),
    # A verb before a noun is no adjective: agreement must not pick бу́ла.
    ("Там була книжка.", "Там була́ кни́жка."),
    ("Озера й моря.", "Озе́ра й моря́."),
    # Agreement with a noun before: a postposed possessive, a predicate adjective.
    ("Брати наші на чужині.", "Брати́ на́ші на чужині́."),
    ("Руки теплі.", "Ру́ки те́плі."),
    # A place before the subject does not hide it; a name takes no genitive after it.
    ("У Києві бабця зустріла онуку.", "У Ки́єві ба́бця зустрі́ла ону́ку."),
]


def context_of(text):
    matches = list(_tokens.words(text))
    spellings = [m.group() for m in matches]
    entries = _entries.Cache().fill(spellings)
    ends = [0] + [m.end() for m in matches]
    starts = [m.start() for m in matches] + [len(text)]
    ctx = _rules.Context([entries[w] for w in spellings], [w.lower() for w in spellings],
                         [text[a:b] for a, b in zip(ends, starts)])
    return ctx, spellings


@pytest.mark.parametrize("rule, sentence, word, expected", NEEDS_ONE_RULE)
def test_sentence_needs_its_rule(rule, sentence, word, expected):
    assert lexovia_text.stress_text(sentence) == expected
    (w,) = [w for w in lexovia_text.annotate(sentence) if w.text == word]
    assert w.rule == rule
    ctx, spellings = context_of(sentence)
    i = spellings.index(word)
    for k in range(i):    # the words before are decided, as when the text is read
        if ctx.entries[k].stress:
            _choose.decide(ctx, k)
    entry = ctx.entries[i]
    kept = dict(_rules.RULES)[rule](ctx, i, list(range(len(entry.stress))))
    assert kept and {entry.stress[c] for c in kept} == {w.stress}
    assert len(set(entry.stress)) > 1


@pytest.mark.parametrize("sentence, expected", CHOSEN)
def test_sentences_come_out_stressed_right(sentence, expected):
    assert lexovia_text.stress_text(sentence) == expected


def test_every_rule_has_a_sentence():
    assert {name for name, _ in _rules.RULES} == {row[0] for row in NEEDS_ONE_RULE}


def test_rule_names_are_the_functions():
    # A reader finds a rule by the name annotate shows.
    for name, rule in _rules.RULES:
        assert rule.__name__ == name.replace("-", "_")
        assert rule.__doc__


def test_every_step_is_a_known_name():
    names = set(lexovia_text.RULE_NAMES)
    assert {name for name, _ in _rules.RULES} <= names
    assert {_choose.STATISTICS, _choose.LEXEME, _choose.LOWEST, _rules.SHIFT, "only-reading", "guess"} <= names
    assert {_choose.VARIANT_PREFIX + s for s in _variants.SIGNALS} <= names


class TestPreposition:
    @pytest.mark.parametrize("preposition, cases", [
        ("до", {"Gen"}), ("з", {"Gen", "Ins", "Acc"}), ("на", {"Loc", "Acc"}), ("у", {"Loc", "Acc", "Gen"}),
        ("при", {"Loc"}), ("через", {"Acc"}), ("завдяки", {"Dat"}),
    ])
    def test_governed_cases(self, preposition, cases):
        assert _rules.PREPOSITIONS[preposition] == cases

    def test_a_modifier_may_stand_between(self):
        # до моєї руки: the preposition reaches past the possessive.
        decided = {w.text: w.rule for w in lexovia_text.annotate("Він прийшов до моєї руки.")}
        assert decided["руки"] == "preposition-case"

    def test_a_comma_breaks_the_phrase(self):
        # "до," ends a clause; руки after it is no object of до.
        decided = {w.text: w.rule for w in lexovia_text.annotate("Він дійшов до, руки")}
        assert decided["руки"] != "preposition-case"


class TestStressShift:
    """мене, тебе, себе, того move their stress after a preposition."""

    @pytest.mark.parametrize("sentence, expected", [
        ("Він прийшов до мене.", "Він прийшо́в до ме́не."),
        ("Я думаю про тебе.", "Я ду́маю про те́бе."),
        ("Вона купила для себе.", "Вона́ купи́ла для се́бе."),
        ("Крім того, він прийшов.", "Крім то́го, він прийшо́в."),
        ("Після того як він пішов.", "Пі́сля то́го як він пішо́в."),
    ])
    def test_after_a_preposition(self, sentence, expected):
        assert lexovia_text.stress_text(sentence, single=True).replace("\u0301", "") == sentence
        assert lexovia_text.stress_text(sentence) == expected
        shifted = [w for w in lexovia_text.annotate(sentence) if w.rule == _rules.SHIFT]
        assert len(shifted) == 1 and shifted[0].stress == 0

    @pytest.mark.parametrize("sentence, expected", [
        ("Мене немає.", "Мене́ нема́є."),                  # no preposition
        ("Він бачив мене.", "Він ба́чив мене́."),         # a verb before
        ("До, мене.", "До, мене́."),                      # a comma between
        ("З того часу.", "З того́ ча́су."),               # того modifies the noun after it
    ])
    def test_elsewhere_the_dictionary_stress(self, sentence, expected):
        assert lexovia_text.stress_text(sentence) == expected


class TestCompounds:
    @pytest.mark.parametrize("word, expected", [
        ("торгово-промисловою", "торго́во-промисло́вою"),
        ("південно-східний", "півде́нно-схі́дний"),
        ("північно-західний", "півні́чно-за́хідний"),
    ])
    def test_every_part_is_stressed(self, word, expected):
        assert lexovia_text.stress_text(word) == expected
        (w,) = lexovia_text.annotate(word)
        assert len(w.stresses) == 2 and w.stress in w.stresses

    def test_a_word_of_one_part_has_one_stress(self):
        (w,) = lexovia_text.annotate("руки")
        assert w.stresses == (w.stress,)

    def test_the_last_part_has_the_primary_stress(self):
        ipa = lexovia_text.transcribe_text("торгово-промисловою")
        assert ipa.count("ˈ") == 1 and ipa.count("ˌ") == 1 and "-" in ipa
        assert ipa.index("ˌ") < ipa.index("-") < ipa.index("ˈ")

    @pytest.mark.parametrize("word, starts, parts", [
        ("торгово-промисловою", [0, 3], {0: 0, 2: 0, 3: 1, 7: 1}),
        ("будь-який", [0, 1], {0: 0, 1: 1, 2: 1}),
        ("бр-вода", [0, 0], {0: 1, 1: 1}),       # a part without a vowel owns none
    ])
    def test_parts_of_vowels(self, word, starts, parts):
        assert _tokens.part_vowel_starts(word) == starts
        for vowel, part in parts.items():
            assert _tokens.part_of(starts, vowel) == part

    def test_marks_on_several_vowels(self):
        assert _tokens.mark_vowels("торгово-промисловою", (1, 5)) == "торго́во-промисло́вою"
        assert _tokens.mark_vowels("мама", ()) == "мама"


class TestVariantOrder:
    def test_wiktionary_decides_between_tied_stresses(self):
        (w,) = [w for w in lexovia_text.annotate("Історія народу.") if w.text == "народу"]
        assert w.rule == "variant-wiktionary" and w.stress == 1      # наро́ду, not на́роду

    @pytest.mark.parametrize("text, word, rule, stress", [
        # where Wiktionary is silent, the stress the rest of the lexeme's forms have
        ("Нові артикули.", "артикули", "variant-paradigm", 1),    # арти́кули
        ("Читаю байкам.", "байкам", "variant-paradigm", 0),       # ба́йкам, as ба́йка
        # во́лом (воло, a crop) and воло́м (віл, an ox) share case and
        # number: the more frequent lexeme
        ("Це волом.", "волом", "lexeme-frequency", 1),
    ])
    def test_the_later_steps(self, text, word, rule, stress):
        (w,) = [w for w in lexovia_text.annotate(text) if w.text == word]
        assert (w.rule, w.stress) == (rule, stress)

    def test_a_preference_outside_the_candidates_is_ignored(self):
        order = _variants.VariantOrder({"народу": (1, "wiktionary")})
        assert order.preferred("народу", [0, 1]) == (1, "wiktionary")
        assert order.preferred("народу", [0, 2]) is None
        assert order.preferred("Народу".lower(), [1]) == (1, "wiktionary")
        assert order.preferred("роках", [0, 1]) is None

    def test_no_signal_falls_to_the_lowest_stress(self, monkeypatch):
        monkeypatch.setattr(_variants, "order", lambda: _variants.VariantOrder({}))
        (w,) = [w for w in lexovia_text.annotate("Історія народу.") if w.text == "народу"]
        assert w.rule == "lowest-stress" and w.stress == 0


class TestStatistics:
    def test_the_prior_and_statistics_decide_what_the_rules_leave_open(self):
        # A bare heteronym has no neighbours: statistics or frequency decide.
        (word,) = lexovia_text.annotate("руки")
        assert word.rule in (_choose.STATISTICS, _choose.LEXEME, _choose.LOWEST)
        assert word.chosen is not None and word.stress is not None

    @pytest.mark.parametrize("text, i, expected", [
        ("до руки", 1, ("Wдо", "EOS", "BOS", "EOS")),
        ("Руки, ноги", 0, ("BOS", "P,", "BOS", "EOS")),
        ("а руки.", 1, ("Wа", "P.", "BOS", "EOS")),
    ])
    def test_features_read_words_and_punctuation(self, text, i, expected):
        model = _statistics.model()
        ctx, _ = context_of(text)
        assert _statistics.features(model.vocabulary, ctx, i) == expected

    def test_a_neighbour_outside_the_vocabulary_is_its_classes(self):
        entry = _entries.Cache().fill(["кімнату"])["кімнату"]
        assert _statistics.signature(entry).startswith("CNOUN|Acc")

    def test_scores_prefer_the_class_the_context_has_seen(self):
        model = _statistics.ContextModel(
            frozenset({"до"}), {"NOUN|Gen|Sing": 10.0, "NOUN|Nom|Plur": 10.0},
            {("L", "Wдо", "NOUN|Gen|Sing"): 9.0, ("L", "Wдо", "NOUN|Nom|Plur"): 1.0})
        gen = _entries.Analysis("NOUN", {"Case": ("Gen",), "Number": ("Sing",)}, "рука")
        nom = _entries.Analysis("NOUN", {"Case": ("Nom",), "Number": ("Plur",)}, "рука")
        values = ("Wдо", "EOS", "BOS", "EOS")
        assert model.score([gen], values, lambda a: 0) > model.score([nom], values, lambda a: 0)
        unknown = _entries.Analysis("VERB", {}, "рукати")
        assert model.score([unknown], values, lambda a: 0) is None


class TestSameOrSelf:
    @pytest.mark.parametrize("sentence, expected", [
        ("Це те саме місто.", "Це те са́ме мі́сто."),
        ("Саме тоді він прийшов.", "Са́ме тоді́ він прийшо́в."),    # the adverb is no form of сам
        ("Вони самі знають.", "Вони́ самі́ зна́ють."),
    ])
    def test_stress(self, sentence, expected):
        assert lexovia_text.stress_text(sentence) == expected

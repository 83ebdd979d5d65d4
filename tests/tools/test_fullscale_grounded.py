"""Which of the analyzer's analyses of unknown forms rest on dictionary words."""

import pytest

from tools.fullscale.grounded import (analyse, fixed_left_checker,
                                      stack_methods, unambiguous)


# Stand-ins for pymorphy3's units: grounded.py knows units by class name only.
class DictionaryAnalyzer:
    def __init__(self, forms=()):
        # form -> [(tag, normal form)]; the form as the dictionary writes it
        self.forms = dict(forms)

    def parse(self, word, word_lower, seen):
        out = []
        for form in (word, word.replace("г", "ґ")):
            for tag, normal in self.forms.get(form, ()):
                out.append((form, tag, normal, 1.0, ((self, form, 0, 0),)))
            if form != word:
                break
        return out


class FakeDictionary(DictionaryAnalyzer):
    pass


class KnownSuffixAnalyzer:
    pass


class UnknAnalyzer:
    pass


class Unit:
    """A unit that answers from a table: word -> [(tag, normal form, stack)]."""

    def __init__(self, answers):
        self.answers = answers

    def parse(self, word, word_lower, seen):
        return [(word, tag, normal, 0.5, stack) for tag, normal, stack in self.answers.get(word, ())]


def unit(name, answers):
    return type(name, (Unit,), {})(answers)


D, FD, KS, UN = DictionaryAnalyzer(), FakeDictionary(), KnownSuffixAnalyzer(), UnknAnalyzer()
KP = unit("KnownPrefixAnalyzer", {})
UP = unit("UnknownPrefixAnalyzer", {})
HW = unit("HyphenatedWordsAnalyzer", {})
PA = unit("HyphenSeparatedParticleAnalyzer", {})
F = frozenset
LEFT_OK = {"науково", "кафе"}.__contains__


@pytest.mark.parametrize("stack, word, expected", [
    # the dictionary's own form, and one read with ґ for г
    (((D, "ґанок", 1, 0),), "ґанок", F()),
    (((D, "ґанок", 1, 0),), "ганок", F({"substitution"})),
    # prefixes before a dictionary form, nested known prefixes
    (((D, "зірка", 1, 0), (KP, "супер")), "суперзірка", F({"known_prefix"})),
    (((D, "зірка", 1, 0), (KP, "супер"), (KP, "анти")), "антисуперзірка", F({"known_prefix"})),
    (((D, "сошкові", 1, 0), (UP, "по")), "посошкові", F({"unknown_prefix"})),
    (((D, "ґанок", 1, 0), (KP, "пере")), "переганок", F({"known_prefix", "substitution"})),
    (((D, "прийди", 1, 0), (PA, "-но")), "прийди-но", F({"particle"})),
    # guesses from the ending, on their own or under a prefix
    (((FD, "шульська", 5, 9), (KS, "ьська")), "шульська", None),
    (((FD, "льська", 5, 9), (KS, "ьська"), (KP, "шу")), "шульська", None),
    (((UN, "шульська"),), "шульська", None),
    ((), "шульська", None),
    # hyphenated: both halves inflected, each grounded
    (((HW, ((D, "команд", 1, 0),), ((D, "учасниць", 2, 0),)),), "команд-учасниць", F({"hyphen"})),
    (((HW, ((D, "команд", 1, 0),), ((FD, "учасниць", 2, 0), (KS, "иць"))),), "команд-учасниць", None),
    # an unchanging left half must pass left_ok
    (((HW, "науково", ((D, "технічного", 2, 0),)),), "науково-технічного", F({"hyphen_left"})),
    (((HW, "художника", ((D, "модельєра", 2, 0),)),), "художника-модельєра", None),
    (((HW, "науково", ((FD, "технічного", 2, 0), (KS, "ого"))),), "науково-технічного", None),
    # a hyphenated stack is never inside another step
    (((HW, "кафе", ((D, "бар", 2, 0),)), (KP, "супер")), "суперкафе-бар", None),
])
def test_stack_methods(stack, word, expected):
    assert stack_methods(stack, word, LEFT_OK) == expected


def units(dictionary=None, **answers):
    by_name = {"particle": PA, "hyphen": HW, "known": KP, "unknown": UP}
    out = [dictionary or DictionaryAnalyzer()]
    for key, u in by_name.items():
        out.append(type(u)(answers.get(key, {})))
    return out


ALL = {"substitution", "known_prefix", "unknown_prefix", "hyphen", "hyphen_left", "particle"}


def test_analyse_takes_the_first_unit_with_grounded_analyses():
    guess = ("NOUN,inan femn,nomn", "суперзірка", ((FD, "суперзірка", 9, 0), (KS, "ірка")))
    grounded = ("NOUN,anim femn,nomn", "суперзірка", ((D, "зірка", 18, 0), (KP, "супер")))
    unknown = ("NOUN,anim femn,nomn", "суперзірка", ((D, "ерзірка", 3, 0), (UP, "суп")))
    us = units(known={"суперзірка": [guess, grounded]}, unknown={"суперзірка": [unknown]})
    assert analyse(us, "суперзірка", ALL, LEFT_OK) == [
        ("known_prefix", "NOUN,anim femn,nomn", "суперзірка")]
    # a unit that only guesses does not end the search
    us = units(known={"суперзірка": [guess]}, unknown={"суперзірка": [unknown]})
    assert analyse(us, "суперзірка", ALL, LEFT_OK, min_remainder=3) == [
        ("unknown_prefix", "NOUN,anim femn,nomn", "суперзірка")]
    # methods not allowed are not taken
    assert analyse(us, "суперзірка", ALL - {"unknown_prefix"}, LEFT_OK) == []


def test_analyse_reads_the_dictionary_only_through_a_substitution():
    d = DictionaryAnalyzer({"ґанок": [("NOUN,inan masc,nomn", "ґанок")],
                            "переганок": [("NOUN,inan masc,nomn", "переганок")]})
    assert analyse(units(d), "ганок", ALL, LEFT_OK) == [("substitution", "NOUN,inan masc,nomn", "ґанок")]
    assert analyse(units(d), "ганок", ALL - {"substitution"}, LEFT_OK) == []
    # hidden: as if the dictionary held neither form
    assert analyse(units(d), "ганок", ALL, LEFT_OK, hide=True) == []
    # the dictionary's own analysis of the word is no answer (the converter
    # asks only about words the dictionary lacks); the next unit's is
    prefix = ("NOUN,inan masc,nomn", "переганок", ((D, "ганок", 1, 0), (KP, "пере")))
    assert analyse(units(d, known={"переганок": [prefix]}), "переганок", ALL, LEFT_OK) == [
        ("known_prefix", "NOUN,inan masc,nomn", "переганок")]


def test_analyse_takes_only_analyses_whose_lemma_passes_lemma_ok():
    nonsense = ("VERB,perf plur,past", "зчудувалитися", ((D, "чудувалися", 1, 0), (UP, "з")))
    verb = ("VERB,perf plur,past", "зчудуватися", ((D, "чудувалися", 2, 0), (UP, "з")))
    us = units(unknown={"зчудувалися": [nonsense, verb]})
    got = analyse(us, "зчудувалися", ALL, LEFT_OK, min_remainder=5,
                  lemma_ok={"зчудуватися"}.__contains__)
    assert got == [("unknown_prefix", "VERB,perf plur,past", "зчудуватися")]
    # no lemma of a unit passes: it gives no answer and the next unit is asked
    known = ("VERB,perf plur,past", "зчудувалитися", ((D, "чудувалися", 1, 0), (KP, "з")))
    us = units(known={"зчудувалися": [known]}, unknown={"зчудувалися": [verb]})
    got = analyse(us, "зчудувалися", ALL, LEFT_OK, min_remainder=5, lemma_ok={"зчудуватися"}.__contains__)
    assert got == [("unknown_prefix", "VERB,perf plur,past", "зчудуватися")]


def test_analyse_asks_with_the_dictionarys_apostrophe():
    prefix = ("NOUN,inan femn,nomn", "перем'ята", ((D, "м'ята", 1, 0), (KP, "пере")))
    assert analyse(units(known={"перем'ята": [prefix]}), "перемʼята", ALL, LEFT_OK) == [
        ("known_prefix", "NOUN,inan femn,nomn", "перем'ята")]


def up(prefix, rest, normal):
    return ("ADJF plur,nomn", normal, ((D, rest, 5, 24), (UP, prefix)))


@pytest.mark.parametrize("word, answers, min_remainder, expected", [
    # the shortest prefix wins
    ("посошкові", [up("пос", "ошкові", "посошків"), up("по", "сошкові", "посошковий")], 5,
     ["посошковий"]),
    # too short a dictionary form after the prefix
    ("посошкові", [up("по", "сошкові", "посошковий")], 8, []),
    # no hyphen inside an unknown prefix
    ("по-сошкові", [up("по-", "сошкові", "по-сошковий")], 5, []),
    # an unknown prefix only right before the dictionary form
    ("непосошкові", [("ADJF plur,nomn", "непосошковий", ((D, "сошкові", 5, 24), (UP, "по"), (KP, "не")))],
     5, []),
])
def test_unknown_prefixes(word, answers, min_remainder, expected):
    us = units(unknown={word: answers}, known={word: answers})
    got = analyse(us, word, ALL, LEFT_OK, min_remainder=min_remainder)
    assert [nf for _m, _t, nf in got] == expected


@pytest.mark.parametrize("found, kept", [
    # one lemma: all its analyses
    ([("known_prefix", "ADJF plur,nomn", "антиприродний"), ("known_prefix", "ADJF plur,accs", "антиприродний")],
     2),
    # two lemmas: the reading is a guess, nothing is taken
    ([("known_prefix", "ADJF femn,loct", "антиприродний"), ("known_prefix", "ADJF femn,loct", "антиприродній")],
     0),
    # a prefix before a name does not make a name; what is left is one lemma
    ([("known_prefix", "NOUN,Surn,masc,anim datv", "зоологов"), ("known_prefix", "NOUN,anim masc,datv", "зоолог")],
     1),
    # names from hyphenated names stay
    ([("hyphen", "NOUN,Surn,masc,anim nomn", "квітка-основ'яненко")], 1),
    ([], 0),
])
def test_unambiguous(found, kept):
    assert len(unambiguous(found)) == kept


def test_fixed_left_checker_wants_a_lemma_that_is_no_preposition():
    d = DictionaryAnalyzer({
        "науково": [("ADVB", "науково")],
        "художника": [("NOUN,anim masc,gent", "художник")],
        "по": [("PREP", "по")],
        "кафе": [("NOUN,inan neut,Fixd nomn", "кафе")],
        "ґран": [("NOUN,inan masc,nomn", "ґран")],
    })
    left_ok = fixed_left_checker([d])
    assert [left_ok(w) for w in ["науково", "художника", "по", "кафе", "гран", "мама"]] == [
        True, False, False, True, False, False]


def test_holdout_scores_lemmas_and_parts_of_speech_against_the_dictionary():
    from tools.fullscale.holdout import Score, fold_g, score_key

    score = Score()
    truth = {("антиприродний", "ADJ")}
    score_key(score, "антиприроднім", {("ADJ", (), "антиприродний"), ("NOUN", (), "антиприродний"),
                                       ("ADJ", (), "антиприродній")}, truth)
    score_key(score, "несіть", {("NOUN", (), "несіть")}, {("нести", "VERB")})
    score_key(score, "кобзареві", {("PROPN", (), "кобзар")}, {("кобзар", "NOUN")})
    assert (score.keys, score.keys_all_right, score.records, score.lemma_right, score.upos_right) == (
        3, 1, 5, 3, 2)
    assert score.wrong == [("антиприроднім", "антиприродній", "ADJ", ["антиприродний"]),
                           ("несіть", "несіть", "NOUN", ["нести"])]
    assert fold_g("ґанок") == "ганок"

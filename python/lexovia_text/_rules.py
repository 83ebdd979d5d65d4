"""The context rules: grammar that narrows a heteronym's readings.

Each rule looks at the word's readings and at the words around it and
either keeps a subset of the readings or says nothing (None). The chooser
(_choose) runs them in the order of RULES; a rule's name is what `annotate`
shows when it made the choice, and each rule below is the function of that
name with underscores. The rules only read the morphology the dictionary
holds for each reading (and, for words of one vowel, short.tsv.gz) and the
spelling of the neighbouring words; nothing in them was learnt from an
annotated corpus.

One rule changes a stress instead of choosing among readings:
`preposition_stress_shift` (see there).
"""
from __future__ import annotations

from collections.abc import Callable, Sequence

import lexovia

from ._entries import CLOSED_CLASS, MOVABLE, NOMINAL, VERBAL, Analysis, Entry
from ._prior import prior
from ._tokens import SENTENCE_END

# The cases each preposition governs (lower-case spelling). Prepositions
# are mostly one-vowel words, which the dictionary gives no morphology.
PREPOSITIONS: dict[str, frozenset[str]] = {
    p: frozenset(cases.split()) for p, cases in {
        "до": "Gen", "від": "Gen", "од": "Gen", "без": "Gen", "для": "Gen", "біля": "Gen", "коло": "Gen",
        "після": "Gen", "серед": "Gen", "крім": "Gen", "окрім": "Gen", "замість": "Gen", "проти": "Gen",
        "навколо": "Gen", "довкола": "Gen", "край": "Gen", "поблизу": "Gen", "всередині": "Gen",
        "посеред": "Gen", "щодо": "Gen", "внаслідок": "Gen", "вздовж": "Gen", "уздовж": "Gen",
        "протягом": "Gen", "впродовж": "Gen", "упродовж": "Gen", "близько": "Gen", "з-під": "Gen",
        "з-за": "Gen", "з-поміж": "Gen", "у": "Loc Acc Gen", "в": "Loc Acc Gen", "уві": "Loc Acc",
        "ві": "Loc Acc", "на": "Loc Acc", "о": "Loc Acc", "об": "Loc Acc", "по": "Loc Dat Acc",
        "при": "Loc", "з": "Gen Ins Acc", "із": "Gen Ins Acc", "зі": "Gen Ins Acc", "зо": "Gen Ins Acc",
        "за": "Ins Acc Gen", "під": "Ins Acc", "попід": "Ins Acc", "над": "Ins Acc", "понад": "Ins Acc",
        "перед": "Ins Acc", "між": "Ins Gen Acc", "поміж": "Ins Gen", "через": "Acc", "про": "Acc",
        "крізь": "Acc", "повз": "Acc", "к": "Dat", "завдяки": "Dat", "всупереч": "Dat", "наперекір": "Dat",
        "назустріч": "Dat", "згідно": "Dat", "відповідно": "Dat",
    }.items()
}
# Subject pronouns: person, number and gender that the verb agrees with
# (gender only where the pronoun has one).
SUBJECTS: dict[str, tuple[str, str, str]] = {
    "я": ("1", "Sing", ""), "ти": ("2", "Sing", ""), "він": ("3", "Sing", "Masc"),
    "вона": ("3", "Sing", "Fem"), "воно": ("3", "Sing", "Neut"), "ми": ("1", "Plur", ""),
    "ви": ("2", "Plur", ""), "вони": ("3", "Plur", ""),
}
# Numerals after which a noun stands in the nominative plural (дві
# площи́ни, not the genitive singular площини́).
PAUCAL_NUMERALS = frozenset({"два", "дві", "три", "чотири", "обидва", "обидві"})
# Words after which a noun stands in the genitive: cardinal numerals from
# five on and the indefinite quantities (п'ять книжок, багато води́).
QUANTITIES = frozenset({
    "пʼять", "шість", "сім", "вісім", "девʼять", "десять", "одинадцять", "дванадцять", "тринадцять",
    "чотирнадцять", "пʼятнадцять", "шістнадцять", "сімнадцять", "вісімнадцять", "девʼятнадцять",
    "двадцять", "тридцять", "сорок", "пʼятдесят", "шістдесят", "сімдесят", "вісімдесят", "девʼяносто",
    "сто", "багато", "небагато", "мало", "чимало", "кілька", "декілька", "скільки", "стільки",
    "трохи", "більше", "менше", "немало", "безліч", "повно", "доволі", "достатньо",
})
# Conjunctions that join two phrases of the same case and number.
COORDINATORS = frozenset({"і", "й", "та", "або", "чи", "ні", "ані"})
# Text between words that ends a clause for the subject and predicate.
CLAUSE_BREAKS = frozenset(",.;:!?…—–()\"«»")
# Words that may stand between a subject and its verb without breaking the
# tie: the negation and common adverbs of time and degree.
BETWEEN_SUBJECT_AND_VERB = frozenset({"не", "ще", "вже", "уже", "теж", "також", "навіть", "лише", "тільки",
                                      "завжди", "часто", "ніколи", "знову", "досі", "ж", "же", "і", "й"})
# How far right of a subject its verb is looked for, in words.
PREDICATE_REACH = 4
# Possessives that do not decline with their noun (його руки) but belong to
# its phrase all the same.
POSSESSIVES = frozenset({"його", "її", "їх"})
# Demonstratives (and такий) after which самий, "the very same", is meant
# (той са́мий, таку́ са́му), by lemma; elsewhere сам, "oneself, alone".
SAME_AFTER = frozenset({"той", "цей", "такий", "отой", "оцей"})
SELF, SAME = "сам", "самий"
# Personal pronouns whose stress moves to the first syllable after a
# preposition: мене́, тебе́, себе́ but до ме́не, на те́бе, для се́бе, as the
# orthoepic dictionaries of Ukrainian record the norm; the same shift is
# usual for the substantive того́ (до то́го, пі́сля то́го, крі́м то́го),
# which is not applied where того is a modifier of the noun after it
# (з того́ ча́су).
SHIFTING_PRONOUNS = MOVABLE
MODIFIER_PRONOUNS = frozenset({"того"})


class Context:
    """The words of one text around the word being chosen: their entries
    (None for a word the dictionary is not asked about, such as a Latin
    one), lower-case spellings, `gaps[k]` the text between word k-1 and
    word k (gaps[0] before the first word, the last after the last one),
    and `decided[k]` the analyses of the reading chosen for word k once it
    has been (rules read the words before a word as decided; a word of one
    reading needs no entry there)."""
    __slots__ = ("entries", "lower", "gaps", "decided")

    def __init__(self, entries: Sequence[Entry | None], lower: Sequence[str], gaps: Sequence[str]) -> None:
        self.entries = entries
        self.lower = lower
        self.gaps = gaps
        self.decided: dict[int, tuple[Analysis, ...]] = {}

    def initial(self, i: int) -> bool:
        """Whether word i starts a sentence."""
        return i == 0 or not SENTENCE_END.isdisjoint(self.gaps[i])

    def neighbour(self, i: int) -> Entry | None:
        return self.entries[i] if 0 <= i < len(self.entries) else None

    def analyses(self, i: int) -> tuple[Analysis, ...]:
        """What word i may be: its chosen reading's analyses once decided,
        else all of them."""
        if not 0 <= i < len(self.entries):
            return ()
        decided = self.decided.get(i)
        if decided is not None:
            return decided
        entry = self.entries[i]
        return entry.all_analyses if entry is not None else ()

    def joined(self, i: int) -> bool:
        """Whether words i-1 and i stand in one clause (nothing but spaces
        and hyphens between them)."""
        return 0 < i < len(self.entries) and CLAUSE_BREAKS.isdisjoint(self.gaps[i])


Rule = Callable[[Context, int, list[int]], list[int] | None]


def _keep(entry: Entry, candidates: list[int], test: Callable[[Analysis], bool]) -> list[int]:
    return [c for c in candidates if any(test(a) for a in entry.analyses[c])]


def _entry(ctx: Context, i: int) -> Entry:
    entry = ctx.entries[i]
    assert entry is not None
    return entry


def lower_case_is_no_name(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A word written in lower case is not a name: readings that are only
    proper nouns go (до мене, not до Ме́не)."""
    entry = _entry(ctx, i)
    if entry.word != ctx.lower[i]:
        return None
    return [c for c in candidates if any(a.pos != "PROPN" for a in entry.analyses[c])]


def capital_inside_sentence_is_a_name(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A capital that does not start a sentence marks a name: readings
    with a proper noun (or a capitalised lemma) are kept."""
    entry = _entry(ctx, i)
    if not entry.word[:1].isupper() or ctx.initial(i):
        return None
    return _keep(entry, candidates, lambda a: a.pos == "PROPN" or a.lemma[:1].isupper())


def _governing(ctx: Context, i: int, words: frozenset[str] | dict[str, frozenset[str]]) -> str | None:
    """The word of `words` right before word i, or before one modifier
    that stands between (до моєї руки́, дві великі руки́), in one clause."""
    if ctx.joined(i) and ctx.lower[i - 1] in words:
        return ctx.lower[i - 1]
    if ctx.joined(i) and ctx.joined(i - 1) and ctx.lower[i - 2] in words:
        between = ctx.analyses(i - 1)
        if between and all(a.is_modifier for a in between):
            return ctx.lower[i - 2]
    return None


def preposition_case(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A preposition governs the case of the noun phrase after it; between
    them may stand one modifier (до моєї руки́)."""
    preposition = _governing(ctx, i, PREPOSITIONS)
    if preposition is None:
        return None
    cases = PREPOSITIONS[preposition]
    return _keep(_entry(ctx, i), candidates, lambda a: bool(a.case & cases))


def numeral_nominative(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """After два, три, чотири, обидва a noun stands in the nominative
    (or, as an object, accusative) plural (дві площи́ни)."""
    if _governing(ctx, i, PAUCAL_NUMERALS) is None:
        return None
    return _keep(_entry(ctx, i), candidates,
                 lambda a: a.pos in NOMINAL and bool(a.case & {"Nom", "Acc"}) and "Plur" in a.number)


def quantity_genitive(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """After a numeral from п'ять on or a word of quantity (багато,
    кілька) a noun stands in the genitive (багато води́)."""
    if _governing(ctx, i, QUANTITIES) is None:
        return None
    return _keep(_entry(ctx, i), candidates, lambda a: a.pos in NOMINAL and "Gen" in a.case)


def modifier_agreement(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """An adjective, determiner or numeral agrees with its noun in case,
    number and gender: the noun after it picks the modifier's reading
    (мої́ ру́ки), and the modifier before or after a noun picks the
    noun's."""
    entry = _entry(ctx, i)
    before = ctx.analyses(i - 1) if ctx.joined(i) else ()
    mods = [a for a in before if a.is_modifier]
    if mods:
        kept = _keep(entry, candidates, lambda a: a.pos in NOMINAL and any(m.agrees_with(a) for m in mods))
        if kept:
            return kept
    after = ctx.analyses(i + 1) if ctx.joined(i + 1) else ()
    nouns = [a for a in after if a.pos in NOMINAL]
    if nouns:
        kept = _keep(entry, candidates, lambda a: a.is_modifier and any(n.agrees_with(a) for n in nouns))
        if kept:
            # A verb stands before a noun as naturally as an adjective does:
            # verb readings stay (була книжка is not бу́ла, "bulging").
            return kept + [c for c in _keep(entry, candidates, lambda a: a.pos in VERBAL) if c not in kept]
    nouns_before = [a for a in before if a.pos in NOMINAL]
    if nouns_before and len(nouns_before) == len(before):
        # An adjective after a noun agrees with it as its modifier or its
        # predicate (ру́ки те́плі, not the noun теплі́); a verb is as likely
        # there, its subject before it (вона мала́, not ма́ла), and stays.
        kept = _keep(entry, candidates, lambda a: a.pos == "ADJ" and any(n.agrees_with(a) for n in nouns_before))
        if kept:
            return kept + [c for c in _keep(entry, candidates, lambda a: a.pos in VERBAL) if c not in kept]
    if after and all(a.is_modifier for a in after):
        # A modifier after its noun (брати́ наші), or an adjective as its
        # predicate (ру́ки теплі), agrees with it all the same.
        kept = _keep(entry, candidates, lambda a: a.pos in NOMINAL and any(m.agrees_with(a) for m in after))
        if kept:
            return kept
    return None


def subject_verb(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A subject pronoun just before a verb fixes its person, number and,
    in the past tense, gender (вона була́, not the adjective бу́ла)."""
    subject = SUBJECTS.get(ctx.lower[i - 1]) if ctx.joined(i) else None
    if subject is None:
        return None
    person, number, gender = subject

    def fits(a: Analysis) -> bool:
        if a.pos not in VERBAL:
            return False
        if a.person and person not in a.person:
            return False
        if a.number and number not in a.number:
            return False
        return not (gender and a.gender and gender not in a.gender)
    return _keep(_entry(ctx, i), candidates, fits)


def coordination(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """Nouns joined by і, та, або stand in one case and number (моря́ й
    океа́ни is no pair, мо́ря й океа́ни is): the other conjunct, two words
    away, keeps the readings whose case and number it shares."""
    entry = _entry(ctx, i)
    if not any(a.pos in NOMINAL for a in entry.all_analyses):
        return None
    for conjunction, other in ((i + 1, i + 2), (i - 1, i - 2)):
        if not (0 < conjunction < len(ctx.lower) and ctx.lower[conjunction] in COORDINATORS
                and ctx.joined(max(conjunction, other)) and ctx.joined(max(conjunction, i))):
            continue
        shapes = {(c, n) for a in ctx.analyses(other) if a.pos in NOMINAL for c in a.case for n in a.number}
        if not shapes:
            continue
        kept = _keep(entry, candidates, lambda a: a.pos in NOMINAL
                     and any((c, n) in shapes for c in a.case for n in a.number))
        if kept:
            return kept
    return None


def _starts_phrase(ctx: Context, i: int) -> bool:
    """Whether word i opens its clause, perhaps after modifiers of its own
    phrase (Його руки, Старі люди), a conjunction, or a preposition with
    its noun."""
    k = i
    while ctx.joined(k):
        before = ctx.analyses(k - 1)
        lower = ctx.lower[k - 1]
        if lower in POSSESSIVES or lower in COORDINATORS or (before and all(a.is_modifier for a in before)):
            k -= 1
        elif (before and all(a.pos in NOMINAL for a in before) and ctx.joined(k - 1)
              and ctx.lower[k - 2] in PREPOSITIONS):
            k -= 2    # a place or time before the subject (У Читі бабця зустріла)
        else:
            return False
    return True


def subject_predicate(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A noun that opens its clause is its subject when a finite verb
    follows it in the clause, and agrees with the verb in number (Ві́йни
    виграються, Но́ги не мали): readings whose nominative agrees with the
    verb are kept."""
    entry = _entry(ctx, i)
    if not _starts_phrase(ctx, i):
        return None
    for j in range(i + 1, min(i + 1 + PREDICATE_REACH, len(ctx.lower))):
        if not ctx.joined(j):
            return None
        analyses = ctx.analyses(j)
        if analyses and all(a.is_finite_verb for a in analyses):
            numbers = {n for a in analyses for n in a.number}
            genders = {g for a in analyses for g in a.gender}
            if len(numbers) != 1 or any(a.person and "3" not in a.person for a in analyses):
                return None

            def agrees(a: Analysis) -> bool:
                if a.pos not in NOMINAL or "Nom" not in a.case or not a.number & numbers:
                    return False
                return not (genders and a.gender and "Sing" in numbers and not a.gender & genders)
            return _keep(entry, candidates, agrees)
        if ctx.lower[j] not in BETWEEN_SUBJECT_AND_VERB:
            return None
    return None


def same_or_self(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """сам (сама́, само́, самі́, самого́: oneself, alone) and самий (са́ма,
    са́мого: the very same) are spelled alike in every form but stressed
    apart, the one on its ending and the other on its stem. Самий is meant
    after a demonstrative (та са́ма, того́ са́мого); elsewhere the word is
    сам."""
    entry = _entry(ctx, i)
    if not any(a.lemma == SELF for a in entry.all_analyses) or any(a.pos != "PRON" for a in entry.all_analyses):
        # са́ме, the adverb "exactly", shares a spelling with them.
        return None
    after_demonstrative = ctx.joined(i) and any(a.lemma in SAME_AFTER for a in ctx.analyses(i - 1))
    if after_demonstrative:
        return [c for c in candidates if entry.stress[c] == 0]
    return [c for c in candidates if entry.stress[c] > 0]


def patronymic(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A name after a given name is a patronymic, and a patronymic keeps
    the stress of the father's name (Гна́т: Гна́тович, Юхи́м: Юхи́мович,
    Петро́: Петро́вич), where the surname spelled alike may not
    (Гнато́вич)."""
    entry = _entry(ctx, i)
    if (not ctx.joined(i) or not any("Giv" in a.nametype for a in ctx.analyses(i - 1))
            or not any("Pat" in a.nametype for a in entry.all_analyses)):
        return None
    stress = father_name_stress(ctx.lower[i])
    if stress is None:
        return None
    return [c for c in candidates if entry.stress[c] == stress]


# A patronymic's suffix and the endings its father's name may have had:
# Андрі-йович from Андрій, Васил-ьович from Василь, Петр-ович from Петро,
# Іван-івна from Іван, Андрі-ївна from Андрій.
PATRONYMIC_SUFFIXES = (("йович", ("й",)), ("ьович", ("ь",)), ("ович", ("", "о")), ("евич", ("", "о")),
                       ("ївна", ("й",)), ("івна", ("", "о", "ь")))
_father_names: dict[str, int | None] = {}
FATHER_NAME_CACHE = 10_000


def father_name_stress(lower: str) -> int | None:
    """The stressed vowel of the given name a lower-case patronymic is made
    from, when the dictionary knows that name with one stress."""
    if lower in _father_names:
        return _father_names[lower]
    found = None
    for suffix, endings in PATRONYMIC_SUFFIXES:
        if lower.endswith(suffix) and len(lower) > len(suffix):
            for ending in endings:
                base = lower[:-len(suffix)] + ending
                readings = [r for r in lexovia.lookup(base)["readings"]
                            if any("Giv" in m["feats"].get("NameType", ()) for m in r["morph"])]
                if len({r["syllable_index"] for r in readings}) == 1:
                    found = readings[0]["syllable_index"]
                    break
            break
    if len(_father_names) >= FATHER_NAME_CACHE:
        _father_names.clear()
    _father_names[lower] = found
    return found


def genitive_after_noun(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A common noun right after another common noun is most often the
    genitive that completes it (гирло річки́, назва села́). Only where every
    reading is a common noun: an adverb or a preposition spelled like a
    noun (тому́, замість) follows nouns as freely, and a name after a noun
    is its apposition (місто Харків)."""
    entry = _entry(ctx, i)
    if not ctx.joined(i) or not all(a.pos == "NOUN" for c in candidates for a in entry.analyses[c]):
        return None
    before = ctx.analyses(i - 1)
    if not before or not all(a.pos == "NOUN" for a in before):
        # A name takes no genitive after it; the noun after one starts
        # another phrase (у Читі бабця).
        return None
    return _keep(entry, candidates, lambda a: "Gen" in a.case)


def function_word(ctx: Context, i: int, candidates: list[int]) -> list[int] | None:
    """A function word (pronoun, adverb, conjunction...) spelled like a
    noun or a name wins when the spelling is far more frequent than every
    open-class lexeme among the readings: their other forms show how much of
    the spelling's frequency they could account for (ко́ли, stakes, cannot
    make коли as frequent as it is; го́рі, archaic "up", loses to гора)."""
    entry = _entry(ctx, i)
    closed = _keep(entry, candidates, lambda a: a.pos in CLOSED_CLASS)
    if not closed or len(closed) == len(candidates):
        return None
    p = prior()
    open_class = max((p.lexeme(a) for c in candidates for a in entry.analyses[c] if a.pos not in CLOSED_CLASS),
                     default=0)
    if p.form(ctx.lower[i]) <= FUNCTION_WORD_MARGIN * open_class:
        return None
    pure = [c for c in closed if all(a.pos in CLOSED_CLASS for a in entry.analyses[c])]
    return pure or closed


# How many times more frequent than the open-class lexemes a spelling must
# be before the function word reading is taken: a lexeme's other forms
# together are usually more frequent than any single one of them.
FUNCTION_WORD_MARGIN = 2


RULES: tuple[tuple[str, Rule], ...] = (
    ("lower-case-is-no-name", lower_case_is_no_name),
    ("capital-inside-sentence-is-a-name", capital_inside_sentence_is_a_name),
    ("preposition-case", preposition_case),
    ("numeral-nominative", numeral_nominative),
    ("quantity-genitive", quantity_genitive),
    ("modifier-agreement", modifier_agreement),
    ("subject-verb", subject_verb),
    ("same-or-self", same_or_self),
    ("coordination", coordination),
    ("subject-predicate", subject_predicate),
    ("patronymic", patronymic),
    ("genitive-after-noun", genitive_after_noun),
    ("function-word", function_word),
)
SHIFT = "preposition-stress-shift"


def preposition_stress_shift(ctx: Context, i: int) -> int | None:
    """The stress (vowel 0) of мене, тебе, себе, того right after a
    preposition that governs their case (до ме́не), or None."""
    if ctx.lower[i] not in SHIFTING_PRONOUNS or not ctx.joined(i):
        return None
    cases = PREPOSITIONS.get(ctx.lower[i - 1])
    if not cases or not cases & {"Gen", "Acc"}:
        return None
    if ctx.lower[i] in MODIFIER_PRONOUNS and ctx.joined(i + 1):
        after = ctx.analyses(i + 1)
        entry = _entry(ctx, i)
        if after and all(a.pos in NOMINAL for a in after) and any(
                m.agrees_with(a) for a in after for m in entry.all_analyses):
            return None
    return 0

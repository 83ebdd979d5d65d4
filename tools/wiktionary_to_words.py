#!/usr/bin/env python3
"""Convert the English Wiktionary's Ukrainian StarDict dictionary to word data.

Usage (from the repository root):
    python -m tools.wiktionary_to_words SOURCE -o WORDS.tsv

SOURCE is the dictionary as a tar archive, an extracted directory or one of
its files. The output is word data as tools/README.md describes it (FORM,
UPOS, FEATS, LEMMA, GLOSS); a summary of what was kept and dropped is printed
on standard output.

Where the data comes from: the .idx holds the unstressed lemma headwords, each
with an HTML article (parts of speech and English senses); the .syn holds the
stressed word forms, each pointing to the lemma it was listed under. Every
.syn entry (a link form -> lemma) is cleaned and checked on its own:

  * Wiki or HTML markup debris ("[[#Ukrainian|]]") is dropped.
  * Romanizations and other Latin-script text are dropped, and so are forms
    mixing Latin and Cyrillic letters (homoglyphs are not repaired).
  * An English label before a colon ("impersonal: шу́кано") is removed,
    as are footnote markers after the form ("випа́дки¹", "гарні́ший^"),
    trailing "!", "?" or "..." of phrase entries, and U+0300 marks of
    secondary stress (the primary U+0301 stays).
  * Forms holding anything but Ukrainian letters, apostrophes, hyphens,
    spaces and U+0301 are dropped (pre-reform or Russian spellings with
    ъ ы, list debris, abbreviations with a dot; a subscript Latin letter
    counts as mixed script).
  * A U+0301 that does not follow a vowel letter drops the form.
  * A form without U+0301 is dropped: its stress is unknown. The exception
    is a form with exactly one vowel letter, whose only vowel is marked.
    A form without any vowel letter is dropped too.
  * A multi-word form of a one-word headword (the analytic future
    "бу́де шука́ти" under шукати, "аби́ до чого́" under абищо) is dropped:
    it is a construction, not a form of that lemma, and each of its words is
    listed with its stress under its own lemma. Forms of a multi-word
    headword ("Бі́лої Це́ркви" under "Біла Церква", "до ре́чі") are kept as
    phrases when every word of two or more vowels carries a stress mark; a
    one-vowel word may stay unmarked there (a clitic such as "до", "і").
  * Cross-references: the source also lists, under a lemma, the citation
    form of related lemmas (aspect partners, derived adjectives, adverbs,
    feminine counterparts: "зрозумі́ти" under розуміти, "африка́нський"
    under Африка). When a form is spelled like another headword, is listed
    under that headword as well, and the two lemmas share no other form
    (apart from forms spelled like either headword), the link to the
    referring lemma is dropped: the form stays under its own lemma, with
    that lemma's part of speech and gloss. Lemmas that do share further
    forms (substantivised adjectives such as росі́йська, heteronyms, and the
    cross-listed personal pronouns) keep every link: the data cannot tell
    which one a shared form belongs to.

Each kept link gives one line per part of speech of its lemma's article,
with the senses of that part of speech joined by "; " as GLOSS, the
headword as LEMMA and empty FEATS (the source has no per-form tags). A form
spelled differently from its headword is an inflected form, so when the
headword also has parts of speech that do not inflect (prepositions,
conjunctions, particles, interjections, letters, phrases), those get no line
for it: "чого́" under що (conj, pron) is a pronoun only. A lemma whose article
is empty gives one line with empty UPOS and GLOSS.
"""
from __future__ import annotations

import argparse
import collections
import re
import sys
import unicodedata
from dataclasses import dataclass, field

from .spelling import ACUTE, APOSTROPHES, UKRAINIAN_LETTERS, VOWELS, key_of, vowel_count
from .stardict import StarDict, load_stardict

GRAVE = "\u0300"
ALLOWED = UKRAINIAN_LETTERS | APOSTROPHES | frozenset("- " + ACUTE)

# Wiktionary part-of-speech label -> Universal Dependencies UPOS.
UPOS = {
    "noun": "NOUN",
    "name": "PROPN",
    "verb": "VERB",
    "adj": "ADJ",
    "adv": "ADV",
    "pron": "PRON",
    "det": "DET",
    "num": "NUM",
    "prep": "ADP",
    "conj": "CCONJ",      # SCONJ for the headwords in SUBORDINATORS
    "particle": "PART",
    "intj": "INTJ",
    "symbol": "SYM",
    "punct": "PUNCT",
    "character": "X",     # a letter of the alphabet
    "phrase": "X",
    "prep_phrase": "X",
    "proverb": "X",
}
UNKNOWN_UPOS = "X"

# Wiktionary labels every conjunction "conj"; these introduce a subordinate
# clause (or a comparison) and are tagged SCONJ, every other one CCONJ.
SUBORDINATORS = frozenset({
    "аби", "бо", "доки", "коли", "мов", "наче", "неначе", "немов", "ніби",
    "ніж", "оскільки", "поки", "раз", "тошо", "тому що", "хоч", "хоча", "хіба",
    "шоб", "що", "щоб", "щоби", "щойно", "як", "як тільки", "якби", "якщо",
})

# Parts of speech whose words have inflected forms (adverbs: degrees of
# comparison). The others only ever have the headword itself.
INFLECTING = frozenset({"noun", "name", "verb", "adj", "adv", "pron", "det", "num"})

MARKUP = frozenset("[]{}<>|=#")
LABEL = re.compile(r"^[A-Za-z][A-Za-z ]*:\s+(?=\S)")
FOOTNOTE = re.compile(r"[\u00b9\u00b2\u00b3\u2070-\u2079*^]+$")
TAIL_PUNCT = re.compile(r"\s*(?:[!?]+|\.\.\.|\u2026)$")


def is_latin(ch: str) -> bool:
    # U+02B9/U+02BA (modifier primes) write the soft and hard signs in the
    # scholarly romanization.
    return ch in "\u02b9\u02ba" or unicodedata.name(ch, "").startswith("LATIN")


def is_cyrillic(ch: str) -> bool:
    return unicodedata.name(ch, "").startswith("CYRILLIC")


def mark_single_vowel(word: str) -> str:
    for i, c in enumerate(word):
        if c in VOWELS:
            return word[:i + 1] + ACUTE + word[i + 1:]
    return word


# Drop reasons, in the order they are checked and reported.
DROP_REASONS = {
    "markup": "wiki or HTML markup debris",
    "latin": "Latin script (romanizations, English notes)",
    "mixed_script": "Latin and Cyrillic letters mixed",
    "other_character": "a character outside Ukrainian letters, apostrophes, hyphen, space",
    "empty": "nothing left after cleaning",
    "misplaced_acute": "U+0301 not after a vowel letter",
    "no_vowel": "no vowel letter",
    "unstressed": "no stress mark, two or more vowels",
    "multiword_of_word": "multi-word form of a one-word headword",
    "phrase_word_unstressed": "phrase with an unmarked word of two or more vowels",
    "cross_reference": "citation form of another headword listed under this one",
    "duplicate": "same form and lemma as an earlier entry",
}

CHANGES = {
    "label": "English label before a colon removed",
    "footnote": "footnote marker removed",
    "punctuation": "trailing !, ? or ... removed",
    "secondary_stress": "U+0300 secondary stress removed",
    "single_vowel": "only vowel of a one-vowel form marked",
}


@dataclass
class Stats:
    read: int = 0
    dropped: collections.Counter = field(default_factory=collections.Counter)
    changed: collections.Counter = field(default_factory=collections.Counter)
    examples: dict = field(default_factory=dict)
    links_kept: int = 0
    pos_restricted: int = 0
    labels: collections.Counter = field(default_factory=collections.Counter)
    unknown_labels: collections.Counter = field(default_factory=collections.Counter)
    empty_articles: int = 0

    def drop(self, reason: str, word: str) -> None:
        self.dropped[reason] += 1
        self.examples.setdefault(reason, word)


def clean_form(word: str, headword: str, stats: Stats) -> str | None:
    """The form to emit for the .syn entry `word` listed under `headword`,
    or None (the reason is counted in `stats`)."""
    if any(c in MARKUP for c in word):
        stats.drop("markup", word)
        return None
    has_latin = any(is_latin(c) for c in word)
    m = LABEL.match(word)
    if m and not any(is_latin(c) for c in word[m.end():]):
        word = word[m.end():]
        stats.changed["label"] += 1
    elif has_latin:
        if any(is_cyrillic(c) for c in word):
            stats.drop("mixed_script", word)
        else:
            stats.drop("latin", word)
        return None
    stripped = FOOTNOTE.sub("", word)
    if stripped != word:
        stats.changed["footnote"] += 1
        word = stripped
    stripped = TAIL_PUNCT.sub("", word)
    if stripped != word:
        stats.changed["punctuation"] += 1
        word = stripped
    if GRAVE in word:
        word = word.replace(GRAVE, "")
        stats.changed["secondary_stress"] += 1
    if any(c not in ALLOWED for c in word):
        stats.drop("other_character", word)
        return None
    word = " ".join(word.split())
    if not word.replace("-", "").replace(ACUTE, "").strip():
        stats.drop("empty", word)
        return None
    for i, c in enumerate(word):
        if c == ACUTE and (i == 0 or word[i - 1] not in VOWELS):
            stats.drop("misplaced_acute", word)
            return None
    if " " in word and " " not in headword.strip():
        stats.drop("multiword_of_word", word)
        return None
    vowels = vowel_count(word)
    if vowels == 0:
        stats.drop("no_vowel", word)
        return None
    if ACUTE not in word:
        if vowels == 1:
            stats.changed["single_vowel"] += 1
            return mark_single_vowel(word)
        stats.drop("unstressed", word)
        return None
    if " " in word:
        for part in word.split(" "):
            if ACUTE not in part and vowel_count(part) > 1:
                stats.drop("phrase_word_unstressed", word)
                return None
    return word


def pos_sections(sd: StarDict, index: int) -> list[tuple[str, str]]:
    """(label, gloss) of each part of speech of a lemma, in article order;
    sections with the same label are merged."""
    merged: dict[str, list[str]] = {}
    for section in sd.sections(index):
        merged.setdefault(section.pos, []).extend(section.senses)
    return [(label, "; ".join(senses)) for label, senses in merged.items()]


def upos_of(label: str, headword: str) -> str:
    if label == "conj" and headword.lower() in SUBORDINATORS:
        return "SCONJ"
    return UPOS.get(label, UNKNOWN_UPOS)


def cross_references(links: list[tuple[str, int]], sd: StarDict) -> set[tuple[str, int]]:
    """The links (form, lemma) that only point to another headword's citation
    form (see the module docstring)."""
    by_lemma: dict[int, set[str]] = collections.defaultdict(set)
    for form, index in links:
        by_lemma[index].add(form)
    headwords: dict[str, list[int]] = collections.defaultdict(list)
    for index, lemma in enumerate(sd.lemmas):
        headwords[key_of(lemma.word)].append(index)
    refs = set()
    for form, index in links:
        spelled = key_of(form)
        own = key_of(sd.lemmas[index].word)
        if spelled == own:
            continue
        for other in headwords.get(spelled, ()):
            if other == index or form not in by_lemma.get(other, ()):
                continue
            shared = by_lemma[index] & by_lemma[other]
            if all(key_of(f) in (spelled, own) for f in shared):
                refs.add((form, index))
                break
    return refs


def convert(sd: StarDict, stats: Stats | None = None) -> list[tuple[str, str, str, str, str]]:
    """The word-data lines (FORM, UPOS, FEATS, LEMMA, GLOSS) of a dictionary."""
    if stats is None:
        stats = Stats()
    links: list[tuple[str, int]] = []
    seen: set[tuple[str, int]] = set()
    for word, index in sd.synonyms:
        stats.read += 1
        form = clean_form(word, sd.lemmas[index].word, stats)
        if form is None:
            continue
        if (form, index) in seen:
            stats.drop("duplicate", form)
            continue
        seen.add((form, index))
        links.append((form, index))
    refs = cross_references(links, sd)
    sections: dict[int, list[tuple[str, str]]] = {}
    lines: list[tuple[str, str, str, str, str]] = []
    emitted: set[tuple[str, str, str, str, str]] = set()
    for form, index in links:
        if (form, index) in refs:
            stats.drop("cross_reference", form)
            continue
        stats.links_kept += 1
        headword = sd.lemmas[index].word
        if index not in sections:
            sections[index] = pos_sections(sd, index)
            if not sections[index]:
                stats.empty_articles += 1
            for label, _ in sections[index]:
                stats.labels[label] += 1
                if label not in UPOS:
                    stats.unknown_labels[label] += 1
        chosen = sections[index]
        if key_of(form) != key_of(headword):
            inflecting = [s for s in chosen if s[0] in INFLECTING]
            if inflecting and len(inflecting) < len(chosen):
                stats.pos_restricted += 1
                chosen = inflecting
        rows = [(form, upos_of(label, headword), "", headword, gloss) for label, gloss in chosen]
        if not rows:
            rows = [(form, "", "", headword, "")]
        for row in rows:
            if row not in emitted:
                emitted.add(row)
                lines.append(row)
    return lines


HEADER = (
    "# Word data built by tools/wiktionary_to_words.py from the English Wiktionary's\n"
    "# Ukrainian entries (StarDict build of 2022-11-09). Licence: CC BY-SA 3.0,\n"
    "# attribution: Wiktionary contributors.\n"
)


def write_lines(lines, path: str) -> None:
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(HEADER)
        for row in lines:
            for value in row:
                if "\t" in value or "\n" in value:
                    raise ValueError(f"field with a TAB or newline: {value!r}")
            f.write("\t".join(row) + "\n")


def report(stats: Stats, lines, out=None) -> None:
    out = out or sys.stdout
    p = lambda *a: print(*a, file=out)  # noqa: E731
    p(f"synonym entries read:       {stats.read}")
    p(f"links kept (form -> lemma): {stats.links_kept}")
    p(f"entries dropped:            {sum(stats.dropped.values())}")
    for reason, text in DROP_REASONS.items():
        if stats.dropped[reason]:
            p(f"  {stats.dropped[reason]:7d}  {reason}: {text} (e.g. {stats.examples[reason]!r})")
    p("forms changed:")
    for change, text in CHANGES.items():
        p(f"  {stats.changed[change]:7d}  {change}: {text}")
    p(f"links restricted to inflecting parts of speech: {stats.pos_restricted}")
    p(f"lemmas with an empty article (empty UPOS and GLOSS): {stats.empty_articles}")
    p("part-of-speech labels of the lemmas used (label -> UPOS: lemmas):")
    for label, n in stats.labels.most_common():
        upos = UPOS.get(label, UNKNOWN_UPOS)
        if label == "conj":
            upos = "CCONJ/SCONJ"
        p(f"  {label or '(none)'} -> {upos}: {n}")
    if stats.unknown_labels:
        p(f"labels without a mapping (tagged {UNKNOWN_UPOS}): {dict(stats.unknown_labels)}")
    upos = collections.Counter(row[1] for row in lines)
    p(f"lines written:   {len(lines)}")
    p("  by UPOS: " + ", ".join(f"{k or '(empty)'} {v}" for k, v in upos.most_common()))
    p(f"distinct forms:  {len(set(row[0] for row in lines))}")
    p(f"distinct keys:   {len(set(key_of(row[0]) for row in lines))}")
    p(f"lemmas:          {len(set(row[3] for row in lines))}")
    p(f"glosses:         {len(set(row[4] for row in lines if row[4]))}")
    p(f"forms with two or more stress marks: "
      f"{len(set(row[0] for row in lines if row[0].count(ACUTE) > 1))}")
    p(f"phrases (forms with a space): {len(set(row[0] for row in lines if ' ' in row[0]))}")


def main(argv=None) -> int:
    ap = argparse.ArgumentParser(prog="python -m tools.wiktionary_to_words",
                                 description=__doc__.split("\n\n")[0])
    ap.add_argument("source", help="the StarDict dictionary (.tar.gz, directory or one of its files)")
    ap.add_argument("-o", "--output", required=True, help="word data file to write")
    args = ap.parse_args(argv)
    sd = load_stardict(args.source)
    stats = Stats()
    lines = convert(sd, stats)
    write_lines(lines, args.output)
    report(stats, lines)
    return 0


if __name__ == "__main__":
    sys.exit(main())

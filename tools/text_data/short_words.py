"""The analyses of one-vowel word forms, which lexovia_text reads as context.

`lexovia.lookup` gives a word of one vowel a single reading without
morphology (its stress is no choice), but the words around a heteronym are
often such words: той, ці, мій, всі, цю (modifiers whose case and number a
noun agrees with), він, ми (subjects), два, три (numerals). This builder
writes their analyses from the same dictionary the image takes its
morphology from, pymorphy3's Ukrainian dictionary, mapped to UD as the image
maps it (tools/fullscale/udmap.py), and nothing else: only the dictionary
analyzer's analyses are kept, never its guesses from word endings, and
no abbreviation (аб, ав as abbreviations say nothing about the phrase).

Forms: every lower-case one-vowel spelling of wordfreq's Ukrainian list (the
forms running text actually holds). Output `short.tsv.gz`: lines
`form<TAB>UPOS<TAB>FEATS<TAB>lemma`, one per analysis, FEATS as in word data
(`Case=Nom|Number=Plur`).
"""
from __future__ import annotations

from ..fullscale import udmap
from ..spelling import UKRAINIAN_LETTERS, vowel_count

# Apostrophes are written as lookup writes them; the text layer normalises
# a word the same way before it reads the table.
APOSTROPHE = "\u02bc"


def dictionary_analyses(analyzer, form: str) -> list[tuple[str, str, str]]:
    """(UPOS, FEATS, lemma) of the dictionary's own analyses of `form`."""
    out = []
    for p in analyzer.parse(form):
        if type(p.methods_stack[0][0]).__name__ != "DictionaryAnalyzer" or len(p.methods_stack) != 1:
            continue
        upos, feats, _ = udmap.map_tag(str(p.tag))
        if ("Abbr", "Yes") in feats:
            continue   # an abbreviation spelled like a short word is no context for it
        row = (upos, udmap.feats_string(feats), p.normal_form)
        if row not in out:
            out.append(row)
    return out


def short_forms() -> list[str]:
    import wordfreq
    letters = UKRAINIAN_LETTERS | {APOSTROPHE, "'"}
    forms = {w.replace("'", APOSTROPHE) for w in wordfreq.get_frequency_dict("uk")
             if vowel_count(w) == 1 and w == w.lower() and all(c in letters for c in w)}
    return sorted(forms)


def build_lines() -> list[str]:
    import pymorphy3
    analyzer = pymorphy3.MorphAnalyzer(lang="uk")
    lines = []
    for form in short_forms():
        for upos, feats, lemma in dictionary_analyses(analyzer, form.replace(APOSTROPHE, "'")):
            lines.append(f"{form}\t{upos}\t{feats}\t{lemma.replace(chr(39), APOSTROPHE)}\n")
    return lines

"""pymorphy3 tags -> UD part of speech and features."""

import pytest

from tools.fullscale.udmap import feats_string, map_tag


@pytest.mark.parametrize("tag, upos, feats", [
    # nouns: a gender without a number is singular; plural forms carry no gender
    ("NOUN,inan femn,gent", "NOUN", "Animacy=Inan|Case=Gen|Gender=Fem|Number=Sing"),
    ("NOUN,inan plur,nomn", "NOUN", "Animacy=Inan|Case=Nom|Number=Plur"),
    ("NOUN,plur,Pltm,inan loct", "NOUN", "Animacy=Inan|Case=Loc|Number=Plur"),
    ("NOUN,anim neut,voct", "NOUN", "Animacy=Anim|Case=Voc|Gender=Neut|Number=Sing"),
    # names are proper nouns with their name type
    ("NOUN,Surn,masc,anim datv", "PROPN", "Animacy=Anim|Case=Dat|Gender=Masc|NameType=Sur|Number=Sing"),
    ("NOUN,Name,femn,anim ablt", "PROPN", "Animacy=Anim|Case=Ins|Gender=Fem|NameType=Giv|Number=Sing"),
    ("NOUN,Patr,masc,anim loct", "PROPN", "Animacy=Anim|Case=Loc|Gender=Masc|NameType=Pat|Number=Sing"),
    ("NOUN,Abbr,Fixd,femn,inan nomn", "NOUN", "Abbr=Yes|Animacy=Inan|Case=Nom|Gender=Fem|Number=Sing"),
    # verbs
    ("VERB,impf infn", "VERB", "Aspect=Imp|VerbForm=Inf"),
    ("VERB,impf masc,past", "VERB", "Aspect=Imp|Gender=Masc|Mood=Ind|Number=Sing|Tense=Past|VerbForm=Fin"),
    ("VERB,perf plur,past", "VERB", "Aspect=Perf|Mood=Ind|Number=Plur|Tense=Past|VerbForm=Fin"),
    ("VERB,Refl,impf plur,3per,pres", "VERB",
     "Aspect=Imp|Mood=Ind|Number=Plur|Person=3|Reflex=Yes|Tense=Pres|VerbForm=Fin"),
    ("VERB,impf sing,1per,futr", "VERB", "Aspect=Imp|Mood=Ind|Number=Sing|Person=1|Tense=Fut|VerbForm=Fin"),
    ("VERB,perf sing,2per,impr", "VERB", "Aspect=Perf|Mood=Imp|Number=Sing|Person=2|VerbForm=Fin"),
    ("VERB,perf Impe", "VERB", "Aspect=Perf|Person=0|VerbForm=Fin"),
    ("GRND,impf", "VERB", "Aspect=Imp|VerbForm=Conv"),
    # adjectives, participles, degrees
    ("ADJF masc,nomn", "ADJ", "Case=Nom|Gender=Masc|Number=Sing"),
    ("ADJF plur,accs", "ADJ", "Case=Acc|Number=Plur"),
    ("ADJF,pssv,perf masc,nomn", "ADJ", "Aspect=Perf|Case=Nom|Gender=Masc|Number=Sing|VerbForm=Part|Voice=Pass"),
    ("ADJF,actv,impf femn,gent", "ADJ", "Aspect=Imp|Case=Gen|Gender=Fem|Number=Sing|VerbForm=Part|Voice=Act"),
    ("ADJF,COMP femn,datv", "ADJ", "Case=Dat|Degree=Cmp|Gender=Fem|Number=Sing"),
    ("ADJF,Supr neut,loct", "ADJ", "Case=Loc|Degree=Sup|Gender=Neut|Number=Sing"),
    ("ADVB,compb", "ADV", "Degree=Pos"),
    ("ADVB,COMP", "ADV", "Degree=Cmp"),
    # closed classes
    ("NPRO,pers,sing,anim datv", "PRON", "Animacy=Anim|Case=Dat|Number=Sing|PronType=Prs"),
    ("NPRO masc,nomn", "PRON", "Case=Nom|Gender=Masc|Number=Sing"),
    ("NUMR,plur nomn", "NUM", "Case=Nom|Number=Plur"),
    ("CONJ,coord", "CCONJ", ""),
    ("CONJ,subord", "SCONJ", ""),
    ("PREP", "ADP", ""),
    ("PRCL", "PART", ""),
    ("INTJ", "INTJ", ""),
    # stylistic and lexical marks carry no feature
    ("NOUN,Slng,Arch,inan masc,nomn", "NOUN", "Animacy=Inan|Case=Nom|Gender=Masc|Number=Sing"),
    ("VERB,tran,Dist,perf infn", "VERB", "Aspect=Perf|VerbForm=Inf"),
])
def test_map_tag(tag, upos, feats):
    got_upos, got_feats, unmapped = map_tag(tag)
    assert (got_upos, feats_string(got_feats)) == (upos, feats)
    assert unmapped == frozenset()


def test_unknown_grammemes_are_reported_and_unknown_pos_is_x():
    upos, feats, unmapped = map_tag("WTF,masc,Zzz")
    assert upos == "X"
    assert unmapped == frozenset({"WTF", "Zzz"})
    assert feats_string(feats) == "Gender=Masc"  # no part of speech: number not inferred

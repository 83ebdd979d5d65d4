"""Gold morphology of running text, for measuring stress choices.

The text is the dev split of the UD Ukrainian-IU treebank, read at run time
from the shared data folder beside the project. Its licence (CC BY-NC-SA
4.0) allows measurement only: nothing this module computes is ever written
into the project, and no word list, count or weight taken from it may be
shipped. Rules written by a person who read the text are fine.

Definitions that every stress measurement on this text uses, so that the
figures of different scripts can be compared:

- A *multi-vowel token* is a token whose form holds two or more of the ten
  Ukrainian vowel letters (either case). One-vowel words always get a reading,
  so these are the tokens where the dictionary decides.
- An analysis (a morphology dict of a `lexovia.lookup` reading) *agrees* with
  the gold token when its part of speech is compatible with the gold UPOS and
  no feature that both carry has disjoint values. `X` (the stress source's
  variants without a part of speech) is compatible with every UPOS, since it
  says nothing against it.
- A token is *gold-resolvable* when its lookup gives two or more readings and
  exactly one of them has an agreeing analysis; the stress of that reading is
  the gold stress.
"""
import os
from dataclasses import dataclass

from common import REPO



def _shared_dir():
    """The shared data folder: beside the checkout, or beside one of its
    parent folders (a worktree may sit deeper than the main checkout)."""
    here = os.path.dirname(REPO)
    while True:
        candidate = os.path.join(here, "shared")
        if os.path.isdir(os.path.join(candidate, "data")):
            return candidate
        parent = os.path.dirname(here)
        if parent == here:
            return os.path.join(os.path.dirname(REPO), "shared")
        here = parent


CONLLU = os.path.join(_shared_dir(), "data", "ud-ukrainian-iu-dev", "uk_iu-ud-dev.conllu")

VOWELS = frozenset("аеєиіїоуюяАЕЄИІЇОУЮЯ")
ACUTE = "\u0301"

# Pairs of tags that the dictionary and the treebank use for one class of
# words: names are nouns to the stress source, possessives and demonstratives
# are determiners in UD but pronouns or adjectives in the dictionary, the
# auxiliary бути is a verb there, and the conjunction tags differ in whether
# they tell coordination from subordination.
COMPATIBLE_POS = frozenset({
    ("NOUN", "PROPN"), ("PRON", "DET"), ("DET", "ADJ"), ("CCONJ", "SCONJ"), ("AUX", "VERB"),
})


@dataclass(frozen=True)
class Token:
    form: str
    lemma: str
    upos: str
    feats: dict  # name -> frozenset of values


@dataclass(frozen=True)
class Sentence:
    sent_id: str
    text: str
    tokens: tuple


def _feats(field):
    if field == "_":
        return {}
    out = {}
    for pair in field.split("|"):
        name, _, values = pair.partition("=")
        out[name] = frozenset(values.split(","))
    return out


def sentences(path=CONLLU):
    """The sentences of the treebank in file order; multi-word token ranges
    and empty nodes are skipped (the words under a range are kept)."""
    if not os.path.exists(path):
        raise SystemExit(f"{path}: not found (the UD dev split is expected in the shared data folder)")
    sent_id, text, tokens = "", "", []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if not line:
                if tokens:
                    yield Sentence(sent_id, text, tuple(tokens))
                sent_id, text, tokens = "", "", []
            elif line.startswith("# sent_id = "):
                sent_id = line[len("# sent_id = "):]
            elif line.startswith("# text = "):
                text = line[len("# text = "):]
            elif not line.startswith("#"):
                cols = line.split("\t")
                if "-" in cols[0] or "." in cols[0]:
                    continue
                tokens.append(Token(cols[1], cols[2], cols[3], _feats(cols[5])))
    if tokens:
        yield Sentence(sent_id, text, tuple(tokens))


def vowel_count(text):
    return sum(1 for c in text if c in VOWELS)


def is_multi_vowel(form):
    return vowel_count(form) >= 2


def stress_of(reading):
    """The 0-based vowel ordinal that a reading stresses."""
    marked = reading["stressed_form"]
    cut = marked.find(ACUTE)
    return vowel_count(marked[:cut]) - 1 if cut > 0 else 0


def pos_compatible(analysis_pos, gold_upos):
    for tag in analysis_pos:
        if tag == "X" or tag == gold_upos:
            return True
        if (tag, gold_upos) in COMPATIBLE_POS or (gold_upos, tag) in COMPATIBLE_POS:
            return True
    return False


def agrees(analysis, token):
    if not pos_compatible(analysis["pos"], token.upos):
        return False
    for name, values in analysis["feats"].items():
        gold = token.feats.get(name)
        if gold is not None and values and not gold.intersection(values):
            return False
    return True


def gold_stress(readings, token):
    """The gold stress of a token from its lookup readings, or None when the
    token is not gold-resolvable."""
    if len(readings) < 2:
        return None
    matching = [stress_of(r) for r in readings if any(agrees(a, token) for a in r["morph"])]
    return matching[0] if len(matching) == 1 else None

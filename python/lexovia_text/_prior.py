"""The frequency prior: how often a lexeme, and a spelling with several
stresses, occur in running text.

Read from prior.tsv.gz (tools/text_data/prior.py builds it from wordfreq's
Ukrainian list and the dictionary). A lexeme's frequency is what the rules
and the chooser weigh readings of different lexemes by (за́мок "castle"
against замо́к "lock" is no grammatical question); the frequency of a
whole spelling tells a function word from the rare nouns spelled like it.
"""
from __future__ import annotations

import functools
import gzip
from importlib import resources

from ._entries import Analysis
from ._tokens import normalise_key


class Prior:
    def __init__(self, lexemes: dict[tuple[str, str], int], forms: dict[str, int]) -> None:
        self.lexemes = lexemes
        self.forms = forms

    @classmethod
    def shipped(cls) -> Prior:
        data = resources.files(__package__).joinpath("prior.tsv.gz").read_bytes()
        lexemes: dict[tuple[str, str], int] = {}
        forms: dict[str, int] = {}
        for line in gzip.decompress(data).decode("utf-8").splitlines():
            f = line.split("\t")
            if f[0] == "L":
                lexemes[(f[1], f[2])] = int(f[3])
            elif f[0] == "W":
                forms[f[1]] = int(f[2])
        return cls(lexemes, forms)

    def form(self, lower: str) -> int:
        """The frequency of a spelling with several stresses (lower case)."""
        return self.forms.get(normalise_key(lower), 0)

    def lexeme(self, a: Analysis) -> int:
        return self.lexemes.get((a.pos, a.lemma), 0)


# Read on first use, so that importing the package stays cheap.
@functools.cache
def prior() -> Prior:
    return Prior.shipped()

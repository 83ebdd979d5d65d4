"""An order among readings that grammar cannot tell apart.

Some spellings have two stresses with the very same analyses: free or
archaic variants (наро́ду and на́роду), or two lexemes the morphology merges
under one lemma (відпові́дний "responsible" and відповідни́й
"corresponding"). No context rule can choose there; what can is evidence
about which stress is the usual one, gathered per spelling by
tools/text_data/variants.py and shipped as variants.tsv.gz, each line
`form<TAB>stress<TAB>signal`:

- `wiktionary`: of the spelling's stresses, the English Wiktionary lists
  only this one under the reading's lemma (it gives на́роду under нарід and
  наро́ду under народ);
- `paradigm`: the lexeme's other forms, those with a single stress, stress
  the same letter of their shared stem (наро́д, наро́дові... support
  наро́ду), and more of them than support any other of the stresses.

The chooser asks `preferred` only when the readings left are tied; without
a signal it takes the lowest stress, as `lexovia.mark` does.
"""
from __future__ import annotations

import functools
import gzip
from importlib import resources

from ._tokens import normalise_key

SIGNALS = ("wiktionary", "paradigm")


class VariantOrder:
    def __init__(self, rows: dict[str, tuple[int, str]]) -> None:
        self._rows = rows

    @classmethod
    def shipped(cls) -> VariantOrder:
        data = resources.files(__package__).joinpath("variants.tsv.gz").read_bytes()
        rows: dict[str, tuple[int, str]] = {}
        for line in gzip.decompress(data).decode("utf-8").splitlines():
            form, stress, signal = line.split("\t")
            rows[form] = (int(stress), signal)
        return cls(rows)

    def preferred(self, lower: str, stresses: list[int]) -> tuple[int, str] | None:
        """(stress, signal) preferred among `stresses` for a lower-case
        spelling, or None when nothing prefers one of them."""
        row = self._rows.get(normalise_key(lower))
        if row is None or row[0] not in stresses:
            return None
        return row


# Read on first use, so that importing the package stays cheap.
@functools.cache
def order() -> VariantOrder:
    return VariantOrder.shipped()

"""Full-scale word data: joins three sources into lexovia's word data.

  * stress: the dictionary file shipped in the ukrainian-word-stress wheel
    (a marisa BytesTrie of word forms with their stress positions and, for
    forms with several possible stresses, the tags of each stress);
  * morphology: pymorphy3 with pymorphy3-dicts-uk (lemma, part of speech
    and grammatical tags of each form);
  * glosses and extra stressed forms: the English Wiktionary's Ukrainian
    StarDict dictionary, read through tools/wiktionary_to_words.py.

Modules:
  normalize  keys, vowels and stress marks
  stress     decoding the stress trie's values
  udmap      pymorphy3 (OpenCorpora-style) tags -> UD part of speech and features
  pairing    which analyses go with which stress variants of one key
  grounded   analyses of forms pymorphy3's dictionary lacks, built from
             dictionary words (prefixes, hyphenated compounds, г for ґ)
  holdout    how often those analyses give the right lemma, measured on
             forms the dictionary holds (python -m tools.fullscale.holdout)
  build      reading the sources, joining them, statistics, output
  __main__   the command line (python -m tools.fullscale --help)

Only build imports marisa_trie, pymorphy3 and the Wiktionary reader, and it
does so inside the functions that read each source, so the logic modules
import with the standard library alone.
"""

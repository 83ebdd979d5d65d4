"""Full-scale word data: joins three sources into lexovia's word data.

  * stress: the dictionary file shipped in the ukrainian-word-stress wheel
    (a marisa BytesTrie of word forms with their stress positions and, for
    forms with several possible stresses, the tags of each stress);
  * morphology: pymorphy3 with pymorphy3-dicts-uk (lemma, part of speech
    and grammatical tags of each form);
  * glosses and extra stressed forms: the English Wiktionary's Ukrainian
    StarDict dictionary, read through tools/wiktionary_to_words.py.

Modules (keys, vowels and stress marks are tools/spelling.py's):
  stress     decoding the stress trie's values
  udmap      pymorphy3 (OpenCorpora-style) tags -> UD part of speech and features
  pairing    which analyses go with which stress variants of one key
  grounded   analyses of forms pymorphy3's dictionary lacks, built from
             dictionary words (prefixes, hyphenated compounds, г for ґ)
  holdout    how often those analyses give the right lemma, measured on
             forms the dictionary holds (python -m tools.fullscale.holdout)
  counters   the names of the counters the report prints, and their tally
  sources    reading the three sources and the word frequencies
  join       the records of each key, written as word data
  report     the report of a run, and the frequency rules' decisions
  build      the driver: sources, join, output, report
  __main__   the command line (python -m tools.fullscale --help)

Only sources imports marisa_trie, pymorphy3, wordfreq and the Wiktionary
reader, and it does so inside the functions that read each source, so the
logic modules import with the standard library alone.
"""

"""Trains lexovia_text's stress model from the committed dictionary image.

The model (core/guess/stress_model.hpp) scores each vowel of a word with
hashed features of its spelling; this trainer fits those scores on every
stressed form of the image: a logistic regression on (vowel, is it stressed
in the dictionary?), with scikit-learn's SGD, a fixed seed and a fixed order,
so that the same image and the same pinned packages give the same model.
The features are read through lexovia_text._guesser.feature_rows, the very
code that scores them at run time.

Forms: the image's keys as lexovia_dump_image prints them (one word, no
space, no hyphen: a hyphenated word is guessed part by part), with two or
more vowels, and all the stresses the image gives each (any of them is a
right answer). The image never holds a guessed stress, so neither does the
model's training data.

Held-out protocol (--holdout): the lexemes whose lemma's CRC-32 falls in
one tenth are left out of training whole, every form of them, and the model
trained on the rest guesses their forms that no training lexeme shares;
the report gives accuracy at full coverage and against confidence
thresholds, for names (PROPN), for compounds (lemmas that end in another
lemma of three or more syllables after a linking о/е) and by syllable count.

Run from the repository root (the dev build provides lexovia_dump_image,
.venv the installed package):
  cmake --preset dev && cmake --build --preset dev
  .venv/bin/pip install -r tools/text_data/requirements-model.txt
  .venv/bin/python -m tools.text_data.stress_model [--holdout]
Without --holdout it writes python/lexovia_text/stress_model.bin.
"""
from __future__ import annotations

import argparse
import collections
import json
import os
import struct
import subprocess
import sys
import time
import zlib

from ..spelling import vowel_count

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(REPO, "python", "lexovia_text", "stress_model.bin")
IMAGE = os.path.join(REPO, "data", "lexovia.dict.bz2")
DUMP_TOOL = os.path.join(REPO, "build", "dev", "tools", "lexovia_dump_image")

# 2^22 one-byte weights: 4 MiB, where collisions cost less than 0.1 point
# on held-out lexemes against 2^24.
BITS = 22
# L2 strength and passes of SGD, chosen on held-out lexemes: weaker
# regularisation keeps the rare endings that carry an unusual stress.
ALPHA = 1e-7
EPOCHS = 12
SEED = 0
CHUNK = 100_000
# Share of lexemes held out: CRC-32 of the lemma modulo HOLDOUT_MOD == 0.
HOLDOUT_MOD = 10
THRESHOLDS = (0.0, 0.5, 0.6, 0.7, 0.8, 0.9, 0.95)
MODEL_MAGIC = b"LXSM"
MODEL_VERSION = 1


def image_forms(dump_tool: str = DUMP_TOOL, image: str = IMAGE) -> dict[str, list]:
    """form -> [stressed vowels (set), lemmas (set), parts of speech (set)]
    for every one-word key of two or more vowels."""
    done = subprocess.run([dump_tool, image], check=True, stdout=subprocess.PIPE)
    dump = json.loads(done.stdout)
    del done
    pos_tags, lemmas = dump["pos_tags"], dump["lemmas"]
    forms: dict[str, list] = {}
    for entry in dump["entries"]:
        key = entry["key"]
        if " " in key or "-" in key or vowel_count(key) < 2:
            continue
        row = forms.setdefault(key, [set(), set(), set()])
        for r in entry["records"]:
            row[0].update(r["positions"])
            row[1].add(lemmas[r["lemma"]] if r["lemma"] is not None else key)
            row[2].update(pos_tags[p] for p in r["pos"])
    return forms


def held_out(lemma: str) -> bool:
    return zlib.crc32(lemma.encode()) % HOLDOUT_MOD == 0


def matrix(words: list[str], stresses: list[set[int]]):
    """The feature matrix of every vowel of the words and its labels."""
    import numpy as np
    import scipy.sparse as sp
    from lexovia_text import _guesser
    rows, sizes, labels = [], [], []
    for i in range(0, len(words), CHUNK):
        r, s, c = _guesser.feature_rows(words[i:i + CHUNK], BITS)
        rows.append(np.frombuffer(r, dtype=np.uint32))
        sizes.append(np.frombuffer(s, dtype=np.uint32))
        for count, stressed in zip(np.frombuffer(c, dtype=np.uint32), stresses[i:i + CHUNK]):
            labels.extend(int(k in stressed) for k in range(count))
    indices = np.concatenate(rows).astype(np.int32)
    sizes_ = np.concatenate(sizes)
    indptr = np.zeros(len(sizes_) + 1, dtype=np.int64)
    np.cumsum(sizes_, out=indptr[1:])
    x = sp.csr_matrix((np.ones(len(indices), dtype=np.float64), indices, indptr), shape=(len(sizes_), 1 << BITS))
    # The same feature twice in one vowel (an edge read twice in a short
    # word) counts twice, as the scorer adds it twice.
    x.sum_duplicates()
    return x, np.array(labels, dtype=np.int8)


def train(words: list[str], stresses: list[set[int]]) -> bytes:
    import numpy as np
    from sklearn.linear_model import SGDClassifier
    x, y = matrix(words, stresses)
    clf = SGDClassifier(loss="log_loss", alpha=ALPHA, max_iter=EPOCHS, tol=None, random_state=SEED, shuffle=True)
    clf.fit(x, y)
    w = clf.coef_[0]
    scale = float(np.abs(w).max()) / 127 or 1.0
    q = np.clip(np.rint(w / scale), -127, 127).astype(np.int8)
    return MODEL_MAGIC + struct.pack("<IIff", MODEL_VERSION, BITS, scale, float(clf.intercept_[0])) + q.tobytes()


def compound_lemmas(lemmas: set[str]) -> set[str]:
    """Lemmas made of a stem, a linking о or е and another lemma of three or
    more vowels (водопостачання, північноамериканський)."""
    long = {lemma for lemma in lemmas if vowel_count(lemma) >= 3}
    out = set()
    for lemma in lemmas:
        for i in range(2, len(lemma) - 4):
            if lemma[i] in "ое" and lemma[i + 1:] in long:
                out.add(lemma)
                break
    return out


def report(forms: dict[str, list]) -> None:
    from lexovia_text import _guesser
    train_words, test_words = [], []
    for form, (stressed, lemmas, _) in forms.items():
        out = [held_out(lemma) for lemma in lemmas]
        if all(out):
            test_words.append(form)
        elif not any(out):
            train_words.append(form)
    t = time.time()
    model = train(train_words, [forms[w][0] for w in train_words])
    print(f"trained on {len(train_words):,} forms in {time.time() - t:.0f} s; "
          f"{len(test_words):,} forms of held-out lexemes")
    guesses = _guesser.guess_many(model, test_words)
    compounds = compound_lemmas({lemma for row in forms.values() for lemma in row[1]})
    groups: dict[str, list[tuple[bool, float]]] = collections.defaultdict(list)
    for word, g in zip(test_words, guesses):
        stressed, lemmas, pos = forms[word]
        seen = (g[0] in stressed, g[1])
        groups["all"].append(seen)
        if "PROPN" in pos:
            groups["names (PROPN)"].append(seen)
        if lemmas & compounds:
            groups["compounds"].append(seen)
        n = vowel_count(word)
        groups[f"{n if n < 5 else '5+'} syllables"].append(seen)
    print(f"{'held-out forms':<16}" + "".join(f"  ≥{th:<4} right/cover" for th in THRESHOLDS))
    for name in ["all", "names (PROPN)", "compounds", "2 syllables", "3 syllables", "4 syllables", "5+ syllables"]:
        seen = groups[name]
        cells = []
        for th in THRESHOLDS:
            kept = [ok for ok, conf in seen if conf >= th]
            cells.append(f"  {100 * sum(kept) / max(len(kept), 1):5.1f} % {100 * len(kept) / len(seen):5.1f} %")
        print(f"{name:<16}" + "".join(cells) + f"   ({len(seen):,} forms)")


def main(argv=None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--holdout", action="store_true", help="measure on held-out lexemes, write nothing")
    parser.add_argument("--dump-tool", default=DUMP_TOOL)
    parser.add_argument("--out", default=OUT, help="where to write the model (default: %(default)s)")
    args = parser.parse_args(argv)
    forms = image_forms(args.dump_tool)
    print(f"{len(forms):,} forms of two or more vowels")
    if args.holdout:
        report(forms)
        return
    words = sorted(forms)
    model = train(words, [forms[w][0] for w in words])
    with open(args.out, "wb") as f:
        f.write(model)
    print(f"wrote {args.out}: {len(model):,} bytes")


if __name__ == "__main__":
    sys.exit(main())

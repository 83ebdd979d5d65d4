"""Writes a synthetic dictionary image of full-dictionary scale for the load benchmark.

The image has the scale of the full dictionary: its number of entries and
records, spread of records per entry and of stress marks per record, and
table sizes (the constants below) were taken from one build of the shipped
image, so that inflating and decoding it costs about what the full
dictionary costs. They are fixed so that timings stay comparable from run
to run; the shipped image's own counts, which have moved since, are in
data/README.md.

Keys are real: every form of Debian's Ukrainian word list (lowercased,
apostrophes unified, forms without a vowel letter left out), then prefixed,
suffixed and hyphen-compounded variants of them until there are ENTRIES
distinct keys. Stress marks sit on real vowel letters of each form. Lemmas
are runs of neighbouring keys in sorted order (a paradigm shares its stem),
each named after its first key. Everything is drawn from one seeded
generator, so a seed always gives the same image, byte for byte.

The word data goes to bench/work/synthetic.words, the image writer
(python -m tools.write_image) turns it into bench/work/synthetic.bz2, and bench/work/synthetic.json keeps
the counts, the raw and compressed sizes and the timings. The word data is
removed afterwards unless --keep-words is given.

Usage: bench/run make_synthetic_image.py [--seed N] [--keep-words]
   or: .venv/bin/python bench/make_synthetic_image.py [...]
"""
from __future__ import annotations

import argparse
import array
import bisect
import itertools
import json
import os
import random
import re
import subprocess
import sys
import time

from common import REPO, WORK_DIR, ukrainian_words

IMAGE = os.path.join(WORK_DIR, "synthetic.bz2")
INFO = os.path.join(WORK_DIR, "synthetic.json")
WORDS = os.path.join(WORK_DIR, "synthetic.words")

# The full dictionary's shape, as one build of it had it.
ENTRIES = 3_008_723
RECORDS = 4_078_014
SINGLE_RECORD_ENTRIES = 2_630_836
MAX_RECORDS_PER_ENTRY = 124
SINGLE_STRESS_RECORDS = 3_890_058
MAX_STRESSES = 6
MAX_STRESS_POSITION = 23
LEMMAS = 435_541
GLOSSES = 60_359
GLOSSED_RECORDS = 1_100_000
FEATURED_RECORDS = 3_883
MAX_FEATURE_PAIRS = 8

VOWELS = "аеєиіїоуюя"
VOWEL = re.compile("[" + VOWELS + "]")
ACUTE = "\u0301"
APOSTROPHE = "\u02bc"

# Part-of-speech tags with their share of lemmas.
UPOS = {
    "NOUN": 36, "ADJ": 25, "VERB": 22, "PROPN": 8, "ADV": 5, "NUM": 1,
    "INTJ": 0.5, "PRON": 0.5, "DET": 0.5, "PART": 0.4, "ADP": 0.3,
    "CCONJ": 0.2, "SCONJ": 0.2,
}
# Feature names with their values: 10 names, 27 distinct values ("Imp" is
# both an aspect and a mood).
FEATURES = {
    "Case": ["Nom", "Gen", "Dat", "Acc", "Ins", "Loc", "Voc"],
    "Number": ["Sing", "Plur"],
    "Gender": ["Masc", "Fem", "Neut"],
    "Animacy": ["Anim", "Inan"],
    "Aspect": ["Imp", "Perf"],
    "Tense": ["Past", "Pres", "Fut"],
    "Person": ["1", "2", "3"],
    "Mood": ["Ind", "Imp", "Cnd"],
    "VerbForm": ["Inf"],
    "Degree": ["Cmp", "Sup"],
}
# Records with 2, 3, ... 6 stress marks.
MULTI_STRESS = {2: 169_200, 3: 15_900, 4: 2_400, 5: 400, 6: 56}

PREFIXES = ["не", "по", "най", "пере", "при", "за", "роз", "від", "на", "об", "пів",
            "само", "дво", "між", "над", "під", "понад", "пра", "су", "анти", "архі",
            "ультра", "недо", "прото", "контр", "спів", "все", "без", "ви", "до"]
SUFFIXES = ["ся", "сь", "ий", "ого", "ому", "ими", "ами", "ові", "ство", "ність",
            "ськ", "ок", "ка", "чик", "еньк", "ечко", "ище", "ання", "ення", "увати",
            "ував", "ів", "ах", "ям", "ею", "ою", "ості", "ськими", "івна", "ович"]

# Words the English-like glosses are made of.
GLOSS_NOUNS = """
house home room door window wall roof floor table chair bed kitchen garden field
forest tree leaf branch root flower grass seed fruit apple bread milk water fire
earth stone sand river lake sea shore island mountain hill valley road street bridge
town city village country land border king queen prince soldier army war peace
battle weapon sword shield horse cow dog cat bird fish snake wolf bear fox mouse
child boy girl man woman mother father brother sister friend enemy neighbour guest
teacher student doctor priest judge law court crime thief prison money price market
trade shop goods tool hammer knife needle thread cloth coat shirt shoe hat bag box
letter book page word name voice song music dance game joke story truth lie dream
thought idea reason mind heart soul body head face eye ear nose mouth tooth tongue
hand finger arm leg foot skin blood bone hair illness pain fever medicine health
morning evening night day week month year season spring summer autumn winter time
hour minute moment weather rain snow wind cloud storm sun moon star sky light shadow
colour sound smell taste heat cold edge corner side top bottom middle part piece
number amount size shape line circle point surface area place space distance
journey ship boat wheel cart engine machine iron copper silver gold glass paper
wood oil salt sugar honey meat soup grain flour wine beer tea coffee pot cup plate
spoon bell clock key lock ring chain rope net basket barrel bucket ladder wagon
""".split()
GLOSS_VERBS = """
make take give keep hold bring carry send throw catch break cut build burn clean
cook wash dry fill empty open close cover hide find lose seek follow lead join
separate gather spread count measure weigh compare choose prefer allow forbid help
protect defend attack fight win fail begin finish continue stop wait hurry run walk
jump climb fall fly swim sail ride drive pull push press turn bend shake rub tie
sew knit weave paint draw write read sing speak tell ask answer call shout whisper
listen hear see watch look notice remember forget learn teach know believe doubt
think understand explain describe promise refuse accept offer sell buy pay lend
borrow owe steal save spend grow plant dig sow harvest feed eat drink sleep wake
rest live die kill bury heal cure hurt suffer laugh cry smile frown love hate fear
""".split()
GLOSS_ADJECTIVES = """
big small long short tall low wide narrow thick thin heavy light strong weak hard
soft rough smooth sharp dull hot cold warm cool wet dry clean dirty new old young
fresh rotten sweet bitter sour salty bright dark loud quiet fast slow early late
rich poor full empty open closed high deep shallow near far good bad kind cruel
wise foolish brave timid proud humble happy sad angry calm busy idle true false
red blue green yellow white black grey brown golden wooden stony sandy icy rainy
""".split()
GLOSS_FORMS = [
    "{a} {n}", "to {v}", "to {v} {n}", "to {v} a {n}", "{n} of the {n2}", "a {a} {n}",
    "{a}, {a2}", "one who {v}s", "the act of {v}ing", "{n}; {n2}", "to {v} again",
    "a kind of {n}", "{a} {n} (of {n2})", "having a {a} {n}", "to {v} the {n} of {n2}",
    "small {n}", "to begin to {v}", "{n}, {n2}, {n3}", "{a}; {a2} (of a {n})",
    "relating to {n}", "in a {a} manner", "without a {n}", "to be {a}",
    "a place where {n}s are kept", "someone who {v}s {n}s", "to {v} with a {n}",
]


def normalize(form: str) -> str:
    """The key of a word list form: lowercased, apostrophes unified."""
    return (form.lower().replace("'", APOSTROPHE).replace("\u2019", APOSTROPHE)
            .replace("\u2018", APOSTROPHE).replace("`", APOSTROPHE))


def make_keys(rng: random.Random) -> list[str]:
    """ENTRIES distinct keys, sorted: the word list plus variants of it."""
    keys: dict[str, None] = {}
    for w in ukrainian_words():
        k = normalize(w)
        if VOWEL.search(k):
            keys[k] = None
    base = list(keys)
    if len(base) > ENTRIES:
        base = rng.sample(base, ENTRIES)
        keys = dict.fromkeys(base)
    # A long compound so that the deepest stress position occurs.
    long_words = sorted(base, key=lambda w: (-len(VOWEL.findall(w)), w))
    compound = long_words[0]
    for w in long_words[1:]:
        if len(VOWEL.findall(compound)) > MAX_STRESS_POSITION:
            break
        compound += "-" + w
    keys[compound] = None
    # Affixes go onto runs of neighbouring words, the way a prefixed or
    # suffixed lexeme brings its whole paradigm; shorter words are favoured
    # as stems, and a suffix replaces the last letter or two of the word.
    base.sort()
    choice, randrange, random_ = rng.choice, rng.randrange, rng.random
    n = len(base)
    while len(keys) < ENTRIES:
        i, j = randrange(n), randrange(n)
        if len(base[j]) < len(base[i]):
            i = j
        run = base[i:i + 1 + randrange(12)]
        r = random_()
        if r < 0.03:
            other = base[randrange(n)]
            variants = [w + "-" + other for w in run]
        else:
            prefix = choice(PREFIXES) if r < 0.55 or r > 0.9 else ""
            suffix = choice(SUFFIXES) if r >= 0.55 else ""
            cut = 1 + randrange(2) if suffix else 0
            variants = [prefix + (w[:-cut] if cut and len(w) > 4 else w) + suffix for w in run]
        for k in variants:
            if len(keys) < ENTRIES and VOWEL.search(k):
                keys[k] = None
    return sorted(keys)


def records_per_entry(rng: random.Random) -> bytearray:
    """How many records each entry has, hitting the record totals exactly."""
    counts = bytearray(b"\x01") * ENTRIES
    multi = rng.sample(range(ENTRIES), ENTRIES - SINGLE_RECORD_ENTRIES)
    extra = RECORDS - SINGLE_RECORD_ENTRIES - 2 * len(multi)  # beyond 2 each
    # Heavy-tailed extra counts (0 .. MAX-2), then nudged to the exact sum.
    top = MAX_RECORDS_PER_ENTRY - 2
    weights = list(itertools.accumulate((x + 1) ** -2.35 for x in range(top + 1)))
    drawn = rng.choices(range(top + 1), cum_weights=weights, k=len(multi))
    drawn[0] = top
    diff = extra - sum(drawn)
    while diff:
        i = rng.randrange(1, len(drawn))
        if diff > 0 and drawn[i] < top - 1:
            drawn[i] += 1
            diff -= 1
        elif diff < 0 and drawn[i] > 0:
            drawn[i] -= 1
            diff += 1
    for e, x in zip(multi, drawn):
        counts[e] = 2 + x
    return counts


def make_glosses(rng: random.Random) -> list[str]:
    glosses: dict[str, None] = {}
    pick = rng.choice
    while len(glosses) < GLOSSES:
        text = pick(GLOSS_FORMS).format(
            n=pick(GLOSS_NOUNS), n2=pick(GLOSS_NOUNS), n3=pick(GLOSS_NOUNS),
            v=pick(GLOSS_VERBS), a=pick(GLOSS_ADJECTIVES), a2=pick(GLOSS_ADJECTIVES))
        glosses[text] = None
    return list(glosses)


def feature_text(rng: random.Random, serial: int) -> str:
    """FEATS of 1..8 pairs; the first ones walk every name and value once."""
    names = list(FEATURES)
    if serial < len(FEATURES):
        chosen = [names[serial]]
        values = {names[serial]: FEATURES[names[serial]]}
    else:
        chosen = rng.sample(names, rng.choice([1, 1, 2, 2, 3, 3, 4, 5, 6, 7, 8]))
        values = {}
        for n in chosen:
            k = 1 if rng.random() < 0.8 or len(FEATURES[n]) == 1 else 2
            values[n] = sorted(rng.sample(FEATURES[n], k), key=FEATURES[n].index)
    order = {n: i for i, n in enumerate(names)}
    return "|".join(f"{n}={','.join(values[n])}" for n in sorted(chosen, key=order.get))


def mark(key: str, vowel_at: list[int], positions) -> str:
    """`key` with U+0301 after the vowels of the given ordinals."""
    parts, last = [], 0
    for p in positions:
        i = vowel_at[p] + 1
        parts.append(key[last:i])
        parts.append(ACUTE)
        last = i
    parts.append(key[last:])
    return "".join(parts)


def generate(seed: int, out_path: str) -> dict:
    """Writes the word data; returns the shape it has."""
    rng = random.Random(seed)
    t0 = time.perf_counter()
    keys = make_keys(rng)
    counts = records_per_entry(rng)
    n_records = sum(counts)
    assert len(keys) == ENTRIES and n_records == RECORDS

    # Lemmas: runs of neighbouring keys, LEMMAS of them.
    cuts = sorted(rng.sample(range(1, ENTRIES), LEMMAS - 1))
    group_start = [0] + cuts
    upos_names = list(UPOS)
    group_upos = bytes(rng.choices(range(len(upos_names)), weights=list(UPOS.values()), k=LEMMAS))
    lemma_text = []
    for g, start in enumerate(group_start):
        k = keys[start]
        lemma_text.append(k[:1].upper() + k[1:] if upos_names[group_upos[g]] == "PROPN" else k)
    assert len(set(lemma_text)) == LEMMAS

    # Every record's (lemma, tag). The first record of an entry belongs to
    # its own run; the others to the same lemma under another tag or to a
    # lemma nearby, never repeating an analysis of the entry.
    rec_lemma = array.array("i", bytes(4 * RECORDS))
    rec_upos = bytearray(RECORDS)
    rec_start = array.array("i", bytes(4 * (ENTRIES + 1)))
    lemma_uses = array.array("i", bytes(4 * LEMMAS))
    randrange, random_ = rng.randrange, rng.random
    r = 0
    g = 0
    for e in range(ENTRIES):
        if g + 1 < LEMMAS and group_start[g + 1] == e:
            g += 1
        rec_start[e] = r
        rec_lemma[r] = g
        rec_upos[r] = group_upos[g]
        lemma_uses[g] += 1
        r += 1
        n = counts[e]
        if n > 1:
            seen = {(g, group_upos[g])}
            window = 8 + 2 * n
            while len(seen) < n:
                if random_() < 0.3:
                    lg = g
                    tag = randrange(len(upos_names))
                else:
                    lg = min(LEMMAS - 1, max(0, g + randrange(-window, window + 1)))
                    tag = group_upos[lg] if random_() < 0.8 else randrange(len(upos_names))
                if (lg, tag) in seen:
                    continue
                seen.add((lg, tag))
                rec_lemma[r] = lg
                rec_upos[r] = tag
                lemma_uses[lg] += 1
                r += 1
    rec_start[ENTRIES] = r

    # Glosses belong to lemmas: every gloss to one lemma, then more lemmas
    # share them until about GLOSSED_RECORDS records carry one.
    glosses = make_glosses(rng)
    lemma_gloss = array.array("i", [-1]) * LEMMAS
    glossed = 0
    for i, lg in enumerate(rng.sample(range(LEMMAS), LEMMAS)):
        if i >= GLOSSES and glossed >= GLOSSED_RECORDS:
            break
        lemma_gloss[lg] = i if i < GLOSSES else randrange(GLOSSES)
        glossed += lemma_uses[lg]

    # Vowel counts, then which records get several stress marks and which
    # get features.
    vowel_counts = bytes(min(255, len(VOWEL.findall(k))) for k in keys)
    multi_stress: dict[int, int] = {}
    for k_marks, want in sorted(MULTI_STRESS.items(), reverse=True):
        got = 0
        while got < want:
            rec = randrange(RECORDS)
            e = bisect.bisect_right(rec_start, rec) - 1
            if rec not in multi_stress and vowel_counts[e] >= k_marks:
                multi_stress[rec] = k_marks
                got += 1
    featured: dict[int, str] = {}
    for serial, rec in enumerate(rng.sample(range(RECORDS), FEATURED_RECORDS)):
        featured[rec] = feature_text(rng, serial)
    deepest = next(e for e in range(ENTRIES) if vowel_counts[e] > MAX_STRESS_POSITION)
    # The forms of a lexeme mostly keep its stressed vowel.
    group_stress = bytes(randrange(min(vowel_counts[start], MAX_STRESS_POSITION + 1))
                         for start in group_start)

    shape = {"stress_marks": [0] * (MAX_STRESSES + 1), "max_position": 0,
             "glossed_records": 0, "featured_records": 0}
    marks = shape["stress_marks"]
    sample = rng.sample
    with open(out_path, "w", encoding="utf-8", newline="\n") as out:
        buf = []
        g = 0
        for e, key in enumerate(keys):
            if g + 1 < LEMMAS and group_start[g + 1] == e:
                g += 1
            vowel_at = [m.start() for m in VOWEL.finditer(key)]
            reach = min(len(vowel_at), MAX_STRESS_POSITION + 1)
            if e == deepest:
                main = MAX_STRESS_POSITION
            elif group_stress[g] < reach and random_() < 0.93:
                main = group_stress[g]
            else:
                main = randrange(reach)
            for rec in range(rec_start[e], rec_start[e + 1]):
                k_marks = multi_stress.get(rec)
                if k_marks:
                    positions = sorted(sample(range(reach), k_marks))
                elif rec == rec_start[e] or random_() < 0.85:
                    positions = (main,)
                else:
                    positions = (randrange(reach),)
                marks[len(positions)] += 1
                if positions[-1] > shape["max_position"]:
                    shape["max_position"] = positions[-1]
                lg = rec_lemma[rec]
                gl = lemma_gloss[lg]
                feats = featured.get(rec, "")
                if gl >= 0:
                    shape["glossed_records"] += 1
                if feats:
                    shape["featured_records"] += 1
                buf.append(f"{mark(key, vowel_at, positions)}\t{upos_names[rec_upos[rec]]}\t"
                           f"{feats}\t{lemma_text[lg]}\t{glosses[gl] if gl >= 0 else ''}\n")
            if len(buf) >= 65536:
                out.write("".join(buf))
                buf.clear()
        out.write("".join(buf))
    assert marks[1] == SINGLE_STRESS_RECORDS, marks
    shape.update(
        entries=ENTRIES, records=RECORDS,
        single_record_entries=sum(1 for c in counts if c == 1),
        max_records_per_entry=max(counts),
        lemmas=LEMMAS, glosses=GLOSSES,
        key_bytes_mean=round(sum(len(k.encode()) for k in keys) / ENTRIES, 2),
        seconds=round(time.perf_counter() - t0, 1))
    return shape


def run_writer(words: str, image: str) -> tuple[str, dict]:
    """Runs the image writer; returns its summary and the counts in it."""
    proc = subprocess.run([sys.executable, "-m", "tools.write_image", words, "-o", image],
                          capture_output=True, text=True, cwd=REPO)
    sys.stderr.write(proc.stderr)
    if proc.returncode != 0:
        raise SystemExit(f"write_image.py failed with status {proc.returncode}")
    summary = next(line for line in proc.stderr.splitlines() if "raw image" in line)
    found = {name.replace(" ", "_"): int(num) for num, name in re.findall(
        r"(\d+) (entries|records|pos tags|feature names|feature values|lemmas|definitions)",
        summary)}
    found["raw_bytes"] = int(re.search(r"raw image (\d+) bytes", summary).group(1))
    found["compressed_bytes"] = int(re.search(r"compressed (\d+) bytes", summary).group(1))
    return summary, found


def load_info() -> dict | None:
    """What synthetic.json says about synthetic.bz2, or None when it is
    missing or no longer describes the image on disk."""
    try:
        with open(INFO, encoding="utf-8") as f:
            info = json.load(f)
    except (OSError, ValueError):
        return None
    try:
        size = os.path.getsize(IMAGE)
    except OSError:
        return None
    return info if info.get("writer", {}).get("compressed_bytes") == size else None


def make(seed: int = 1, keep_words: bool = False) -> dict:
    os.makedirs(WORK_DIR, exist_ok=True)
    start = time.perf_counter()
    print(f"generating word data (seed {seed}) into {WORDS} ...", file=sys.stderr, flush=True)
    shape = generate(seed, WORDS)
    print(f"  {shape['seconds']} s; writing the image ...", file=sys.stderr, flush=True)
    t = time.perf_counter()
    summary, found = run_writer(WORDS, IMAGE)
    writer_seconds = time.perf_counter() - t
    if not keep_words:
        os.unlink(WORDS)
    info = {"seed": seed, "image": IMAGE, "shape": shape, "writer": found,
            "writer_summary": summary, "writer_seconds": round(writer_seconds, 1),
            "total_seconds": round(time.perf_counter() - start, 1)}
    with open(INFO, "w", encoding="utf-8") as f:
        json.dump(info, f, indent=2)
        f.write("\n")
    return info


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--keep-words", action="store_true",
                        help=f"keep the word data in {WORDS}")
    args = parser.parse_args()
    info = make(args.seed, args.keep_words)
    s, w = info["shape"], info["writer"]
    print(f"image              : {IMAGE}")
    print(f"entries / records  : {w['entries']:,} / {w['records']:,}")
    print(f"single-record      : {s['single_record_entries']:,} entries; "
          f"largest entry {s['max_records_per_entry']} records")
    print("stress marks       : " + ", ".join(
        f"{k}: {n:,}" for k, n in enumerate(s["stress_marks"]) if n) +
        f"; deepest position {s['max_position']}")
    print(f"tables             : {w['pos_tags']} tags, {w['feature_names']} feature names, "
          f"{w['feature_values']} feature values, {w['lemmas']:,} lemmas, "
          f"{w['definitions']:,} definitions")
    print(f"records with gloss : {s['glossed_records']:,}; with features: "
          f"{s['featured_records']:,}; mean key {s['key_bytes_mean']} bytes")
    print(f"raw / compressed   : {w['raw_bytes']:,} / {w['compressed_bytes']:,} bytes")
    print(f"time               : {s['seconds']} s word data + {info['writer_seconds']} s writer"
          f" = {info['total_seconds']} s")


if __name__ == "__main__":
    main()

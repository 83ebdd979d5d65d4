#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets.

Usage: make_corpus.py OUTDIR

OUTDIR/decode_image/ and OUTDIR/mark/ get raw dictionary images, OUTDIR/load_compressed/
bzip2-compressed ones (and OUTDIR/bzip2_block/ single-block streams):
well-formed images small and larger, the broken and edge-case images the
module's load tests use, truncations, and streams of several blocks whose
boundaries fall inside entries (with corrupt, truncated and over-long
variants), so that mutation starts from every kind of input the loader
distinguishes. OUTDIR/transcribe/ gets words after a
stress-index byte: ordinary ones, every apostrophe, and long runs of the
letters whose rules look back over earlier tokens (soft signs after vowels
and apostrophes, chains of soft dentals, iotated vowels after hyphens);
OUTDIR/guess/ the same words for the stress model.
"""
import bz2
import os
import random
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# The writer is a module of the repository's tools package.
sys.path.insert(0, os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(HERE, "..", "images"))
import make_test_images  # noqa: E402
from tools import write_image  # noqa: E402
from tools.spelling import ACUTE  # noqa: E402

SYLLABLES = ["ба", "ко", "ні", "лу", "ме", "ри", "со", "тю", "зя", "ґє", "ви", "жї"]
UPOS = ["NOUN", "VERB", "ADJ", "ADV", ""]
FEATS = ["Case=Nom|Number=Sing", "Case=Gen,Acc|Number=Plur", "Aspect=Imp", "_", ""]


def word_lines(count, seed):
    """Lines of word data: made-up forms with one stressed syllable, a
    part of speech, features, a lemma and sometimes a gloss."""
    rng = random.Random(seed)
    lines = []
    for _ in range(count):
        syllables = rng.choices(SYLLABLES, k=rng.randint(1, 4))
        stressed = rng.randrange(len(syllables))
        syllables[stressed] += ACUTE
        form = "".join(syllables)
        if rng.random() < 0.1:
            form = form.capitalize() + "ʼ" + rng.choice(SYLLABLES)
        lemma = form.replace(ACUTE, "")[:4]
        gloss = rng.choice(["", "a thing", "to do", "big \"quoted\" word"])
        lines.append("\t".join([form, rng.choice(UPOS), rng.choice(FEATS), lemma, gloss]))
    return lines


def periodic_lemmas(image, copies):
    """image with its lemma table replaced by `copies` copies of one lemma:
    hundreds of kilobytes that compress to a few bytes per block, so a
    small stream holds several blocks whose edges fall inside strings."""
    start = make_test_images.table_offset(image, 3)
    end = make_test_images.table_offset(image, 4)
    lemma = "лема".encode()
    table = struct.pack("<Q", copies) + (struct.pack("<Q", len(lemma)) + lemma) * copies
    return image[:start] + table + image[end:]


def raw_images():
    good = write_image.build_image(make_test_images.WORDS)
    medium = write_image.build_image(word_lines(300, 1))
    out = {"good": good, "medium": medium, "empty": bytes(48)}
    for name, compressed in make_test_images.images().items():
        if name not in ("corrupt_stream", "truncated_stream"):
            out["test_" + name] = bz2.decompress(compressed)
    for cut in (1, 8, 9, len(medium) // 3, len(medium) // 2, len(medium) - 1):
        out[f"medium_cut_{cut}"] = medium[:cut]
    out["medium_trailing"] = medium + b"trailing bytes"
    return out


def compressed_images(raw):
    out = {}
    for name in ("good", "medium", "empty", "medium_cut_9", "test_bad_utf8", "test_huge_list_count"):
        for level in (1, 9):
            out[f"{name}_l{level}"] = bz2.compress(raw[name], level)
    out.update(make_test_images.images())
    out["empty_stream"] = bz2.compress(b"")

    blocks = bz2.compress(periodic_lemmas(raw["good"], 40_000), 1)
    out["multiblock"] = blocks
    middle = len(blocks) // 2
    out["multiblock_flipped"] = blocks[:middle] + bytes([blocks[middle] ^ 0x08]) + blocks[middle + 1:]
    out["multiblock_truncated"] = blocks[: len(blocks) * 3 // 4]
    out["multiblock_trailer_cut"] = blocks[:-3]
    out["multiblock_trailing_garbage"] = blocks + b"garbage"
    out["multiblock_two_streams"] = blocks + bz2.compress(raw["good"], 9)
    out["multiblock_level_1_as_9"] = blocks[:3] + b"9" + blocks[4:]
    out["not_bzip2"] = raw["good"][:64]
    return out


def transcription_words():
    words = ["мама", "Ходжу", "сім'я", "сімʼя", "сім’я", "будь-який", "знання", "щастя", "пісня",
             "віджати", "передзвін", "ввічливий", "радість", "смерть", "вода", "ї", "", "ь", "'ь"]
    # About 200 KB each: long enough that a scan restarted for every letter
    # exceeds the run's time limit per input by far.
    runs = {"soft_after_vowels": "оь" * 50_000, "soft_after_apostrophes": "'ь" * 60_000 + "а",
            "soft_dental_chain": "тьс" * 33_000, "soft_nasals": "нь" * 50_000,
            "iotated_after_hyphens": "-я" * 60_000, "labial_glides": "ав" * 50_000}
    out = {f"word_{i}": bytes([i % 3]) + w.encode() for i, w in enumerate(words)}
    out.update({name: b"\x00" + text.encode() for name, text in runs.items()})
    out["ill_formed"] = b"\x01\xd0\xd1\x8c\xff\xfe\xd0\xb0"
    return out


def bzip2_blocks(raw):
    """Single-block streams, which are what a worker gets re-framed: small
    images, and texts that reach the decoder's corners (runs just below and
    above the four bytes that start a count, the longest count, a periodic
    text whose rows form several cycles, every byte value, incompressible
    bytes)."""
    rng = random.Random(7)
    texts = {name: data[:20000] for name, data in list(raw.items())[:4]}
    texts.update({
        "run_3": b"xyz" + b"a" * 3 + b"b", "run_4": b"a" * 4, "run_5": b"a" * 5 + b"q",
        "run_259": b"b" * 259, "run_260": b"c" * 260 + b"d" * 1000, "single": b"z",
        "periodic": b"ab" * 3000, "periodic_3": b"abc" * 2001, "all_bytes": bytes(range(256)) * 4,
        "random": bytes(rng.randrange(256) for _ in range(4000)),
    })
    out = {}
    for name, text in texts.items():
        out[name] = bz2.compress(text, 9)
        out[name + "_level1"] = bz2.compress(text, 1)
    return out


def write(directory, files):
    os.makedirs(directory, exist_ok=True)
    seen = set()
    for name, data in files.items():
        if data in seen:
            continue
        seen.add(data)
        with open(os.path.join(directory, name), "wb") as f:
            f.write(data)


def main():
    outdir = sys.argv[1]
    raw = raw_images()
    write(os.path.join(outdir, "decode_image"), raw)
    write(os.path.join(outdir, "mark"), raw)
    write(os.path.join(outdir, "load_compressed"), compressed_images(raw))
    write(os.path.join(outdir, "bzip2_block"), bzip2_blocks(raw))
    write(os.path.join(outdir, "transcribe"), transcription_words())
    # The stress model reads the same words, without the stress byte.
    write(os.path.join(outdir, "guess"), {n: w[1:] for n, w in transcription_words().items()})


if __name__ == "__main__":
    main()

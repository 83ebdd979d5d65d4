#!/usr/bin/env python3
"""Writes the broken and edge-case dictionary images that test builds of the
module embed: each is a bzip2 stream whose content fails (or passes) loading
in one particular way.

Usage: make_test_images.py OUTDIR
"""
import bz2
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
# The writer is a module of the repository's tools package.
sys.path.insert(0, os.path.join(HERE, "..", ".."))
from tools import write_image  # noqa: E402

WORDS = [
    "за́мок\tNOUN\tCase=Nom|Number=Sing\tзамок\tcastle",
    "замо́к\tNOUN\tCase=Nom|Number=Sing\tзамок\tlock",
    "мама́\tNOUN\t\tмама\tmother",
]


def u64_at(image, offset):
    return struct.unpack_from("<Q", image, offset)[0]


def table_offset(image, table):
    """Offset of the count of list number `table` (0-4 the string tables,
    5 the entries)."""
    offset = 0
    for _ in range(table):
        count = u64_at(image, offset)
        offset += 8
        for _ in range(count):
            offset += 8 + u64_at(image, offset)
    return offset


def entries_offset(image):
    return table_offset(image, 5)


def first_lemma_tag_offset(image):
    """Offset of the lemma tag of the first record of the first entry."""
    offset = entries_offset(image) + 8
    offset += 8 + u64_at(image, offset)  # key
    offset += 8                          # record count
    offset += 8 + u64_at(image, offset)  # stress positions
    offset += 8 + u64_at(image, offset)  # pos
    pairs = u64_at(image, offset)
    offset += 8
    for _ in range(pairs):
        offset += 1
        offset += 8 + u64_at(image, offset)
    return offset


def images():
    good = write_image.build_image(WORDS)
    entries = entries_offset(good)
    first_key = entries + 8 + 8  # entry count, key length
    out = {
        # The data ends inside the u64 entry count.
        "truncated_count": good[: entries + 3],
        # The data ends inside the bytes of the first key.
        "truncated_string": good[: first_key + 2],
        "bad_utf8": good[:first_key] + b"\xff" + good[first_key + 1:],
        "bad_tag": bytearray(good),
        "empty": bytes(48),
        "good": good,
    }
    # Corrupt counts that promise more elements than any machine holds: the
    # load must fail at the end of the data without reserving for them.
    huge = struct.pack("<Q", 2**63 - 1)
    lemmas = table_offset(good, 3)
    out["huge_table_count"] = good[:lemmas] + huge + good[lemmas + 8:]
    positions = first_key + u64_at(good, first_key - 8) + 8
    out["huge_list_count"] = good[:positions] + huge + good[positions + 8:]
    out["huge_entry_count"] = good[:entries] + huge + good[entries + 8:]
    tag = first_lemma_tag_offset(good)
    assert out["bad_tag"][tag] == 1
    out["bad_tag"][tag] = 2
    compressed = {name: bz2.compress(bytes(data), 9) for name, data in out.items()}
    stream = compressed["good"]
    middle = len(stream) // 2
    compressed["corrupt_stream"] = stream[:middle] + bytes([stream[middle] ^ 0x55]) + stream[middle + 1:]
    compressed["truncated_stream"] = stream[:middle]
    return compressed


def main():
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    for name, data in images().items():
        with open(os.path.join(outdir, name + ".bz2"), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()

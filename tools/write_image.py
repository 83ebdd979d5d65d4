#!/usr/bin/env python3
"""Turn word data into the dictionary image that the module embeds.

Usage (from the repository root):
    python -m tools.write_image INPUT [INPUT ...] -o OUT [--raw]

The inputs are read in order, as if they were one file, in the word data
format described in tools/README.md. OUT receives the image compressed as a
single bzip2 stream (level 9), or the uncompressed image with --raw. A
one-line summary of the counts goes to stderr.

Image layout (every count and length is a u64, little-endian):

    pos_tags, feature_keys, feature_values, lemmas, definitions
        list of string: count, then per string its byte length and UTF-8
    entries
        count, then per entry:
            key                 string
            records             count, then per record:
                stress_positions    byte list (count, then u8s)
                pos                 byte list of pos_tags indexes
                features            count, then pairs of
                                        u8 feature_keys index,
                                        byte list of feature_values indexes
                lemma               optional u32 (u8 tag 0/1, then u32 LE)
                definition          optional u32

The loader relies on the entries being sorted strictly ascending by the
bytes of their UTF-8 keys, on unique keys and on every index lying inside
its table; it checks none of that, so this writer guarantees it.

Any input error is reported as "FILE:LINE: message" with exit status 1, and
then nothing is written: the image goes to a temporary file beside OUT that
is renamed over OUT only once it is complete.
"""

from __future__ import annotations

import argparse
import bz2
import contextlib
import gc
import os
import re
import struct
import sys
import tempfile
from typing import Iterable, NamedTuple

from .spelling import ACUTE, LOWER_VOWELS, lower, normalize_word, unify_apostrophes

__all__ = [
    "WriterError",
    "ParsedLine",
    "ImageBuilder",
    "normalize_word",
    "parse_form",
    "parse_upos",
    "parse_feats",
    "parse_line",
    "build_image",
    "build_image_from_files",
    "main",
]

# Largest table sizes the index widths can address: part-of-speech tags,
# feature names and feature values are referred to by a u8, lemmas and
# glosses by a u32.
U8_TABLE_LIMIT = 256
U32_TABLE_LIMIT = 1 << 32
# A stress position is stored as a u8.
MAX_STRESS_POSITION = 255

# Keys are lower case by the time vowels are counted.
_VOWEL = re.compile("[" + LOWER_VOWELS + "]")

_U64 = struct.Struct("<Q")
_U32 = struct.Struct("<I")
# Most counts and lengths are small; their encodings are made once.
_SMALL_U64 = [_U64.pack(n) for n in range(1024)]
_ABSENT = b"\x00"


def _u64(n: int) -> bytes:
    return _SMALL_U64[n] if n < 1024 else _U64.pack(n)


def _optional_u32(index: int | None) -> bytes:
    return _ABSENT if index is None else b"\x01" + _U32.pack(index)


class WriterError(Exception):
    """Input the writer refuses; str() is "FILE:LINE: message"."""

    def __init__(self, filename: str, lineno: int, message: str):
        super().__init__(f"{filename}:{lineno}: {message}")
        self.filename = filename
        self.lineno = lineno
        self.message = message


class _LineError(ValueError):
    """A refusal found while parsing one line; the caller adds file and line."""


class ParsedLine(NamedTuple):
    key: str
    positions: tuple[int, ...]
    pos: tuple[str, ...]
    feats: tuple[tuple[str, tuple[str, ...]], ...]
    lemma: str | None
    gloss: str | None


def parse_form(form: str) -> tuple[str, tuple[int, ...]]:
    """Split a stress-marked FORM into its key and its stress positions.

    The positions are the 0-based ordinals, among the vowel letters of the
    key, of the vowels followed by U+0301, in order of appearance.
    Raises ValueError, with the message the writer reports, for a form the
    image cannot hold.
    """
    # Lowercasing first is safe: a U+0301 is unchanged by it, and the only
    # characters that lowercase to a vowel letter are the capital vowels, so
    # a mark follows a vowel in `low` exactly when it did in `form`.
    low = lower(form)
    i = low.find(ACUTE)
    if i < 0:
        if _VOWEL.search(low):
            raise _LineError(f"FORM {form!r}: no stress mark (U+0301) on any vowel")
        if not low:
            raise _LineError("FORM is empty, which gives an empty key")
        return unify_apostrophes(low), ()
    positions = []
    while i >= 0:
        if i == 0 or low[i - 1] not in LOWER_VOWELS:
            if i > 0 and low[i - 1] == ACUTE:
                raise _LineError(f"FORM {form!r}: U+0301 follows another U+0301")
            raise _LineError(f"FORM {form!r}: U+0301 does not follow a vowel letter")
        position = len(_VOWEL.findall(low, 0, i)) - 1
        if position > MAX_STRESS_POSITION:
            raise _LineError(
                f"FORM {form!r}: stress position {position} exceeds {MAX_STRESS_POSITION}"
            )
        positions.append(position)
        i = low.find(ACUTE, i + 1)
    return unify_apostrophes(low.replace(ACUTE, "")), tuple(positions)


def parse_upos(text: str) -> tuple[str, ...]:
    """Part-of-speech tags: comma-separated, empty for none."""
    return tuple(text.split(",")) if text else ()


def parse_feats(text: str) -> tuple[tuple[str, tuple[str, ...]], ...]:
    """Features "Name=V1,V2|Name=V" as ((name, (values...)), ...).

    "_" and "" mean no features. Pairs and values keep their order, and
    repeats are kept. Raises ValueError when the text is malformed: every
    pair needs a non-empty name, one "=", and non-empty values.
    """
    if text in ("", "_"):
        return ()
    pairs = []
    for pair in text.split("|"):
        name, eq, values = pair.partition("=")
        split = values.split(",")
        if not eq or not name or "," in name or "=" in values or "" in split:
            raise _LineError(
                f"FEATS {text!r}: malformed pair {pair!r}, expected Name=Value[,Value...]"
            )
        pairs.append((name, tuple(split)))
    return tuple(pairs)


def _split_fields(line: str) -> list[str]:
    fields = line.split("\t")
    if len(fields) != 5:
        raise _LineError(f"expected 5 TAB-separated fields, found {len(fields)}")
    return fields


def _strip_newline(line: str) -> str:
    if line.endswith("\n"):
        line = line[:-1]
        if line.endswith("\r"):
            line = line[:-1]
    return line


def parse_line(line: str, filename: str = "<input>", lineno: int = 1) -> ParsedLine | None:
    """Parse one line of word data; None for a blank or comment line.

    A trailing "\\n" or "\\r\\n" is ignored. Raises WriterError naming
    `filename` and `lineno` for a line the writer refuses.
    """
    line = _strip_newline(line)
    if not line or line[0] == "#":
        return None
    try:
        form, upos, feats, lemma, gloss = _split_fields(line)
        key, positions = parse_form(form)
        return ParsedLine(
            key, positions, parse_upos(upos), parse_feats(feats), lemma or None, gloss or None
        )
    except _LineError as err:
        raise WriterError(filename, lineno, str(err)) from None


@contextlib.contextmanager
def _gc_paused():
    # The builder creates millions of small lists and tuples and frees none
    # of them; the cyclic collector would rescan them all again and again,
    # which roughly doubles the running time.
    was_enabled = gc.isenabled()
    gc.disable()
    try:
        yield
    finally:
        if was_enabled:
            gc.enable()


class _Table:
    """Strings numbered in order of first use."""

    __slots__ = ("index", "name")

    def __init__(self, name: str):
        self.name = name
        self.index: dict[str, int] = {}

    def get(self, text: str) -> int:
        i = self.index.get(text)
        if i is None:
            i = self.index[text] = len(self.index)
        return i

    def encode(self) -> bytes:
        parts = [_u64(len(self.index))]
        for text in self.index:
            data = text.encode("utf-8")
            parts.append(_u64(len(data)))
            parts.append(data)
        return b"".join(parts)


class ImageBuilder:
    """Collects word data line by line and encodes the image.

    Memory stays compact for millions of lines: each distinct analysis
    (UPOS, FEATS, LEMMA, GLOSS) is stored once and numbered, and an entry
    is a flat list [analysis, positions, analysis, positions, ...] under its
    UTF-8 key, with positions as a shared bytes object.
    """

    def __init__(self) -> None:
        self._entries: dict[bytes, list] = {}
        # (upos, feats, lemma, gloss) as raw text -> analysis number
        self._analysis_ids: dict[tuple[str, str, str, str], int] = {}
        # analysis number -> (pos tags, feature pairs, lemma, gloss)
        self._analyses: list[tuple] = []
        self._positions: dict[tuple[int, ...], bytes] = {}
        self._records = 0
        # Distinct strings of each table, to refuse an overflowing table at
        # the line that would overflow it.
        self._pos_seen: set[str] = set()
        self._feature_names_seen: set[str] = set()
        self._feature_values_seen: set[str] = set()
        self._lemmas_seen: set[str] = set()
        self._glosses_seen: set[str] = set()

    @property
    def entry_count(self) -> int:
        return len(self._entries)

    @property
    def record_count(self) -> int:
        return self._records

    def add_lines(self, lines: Iterable[str | bytes], filename: str = "<input>") -> None:
        """Add every line of one input; bytes lines must be UTF-8."""
        add = self._add
        lineno = 0
        with _gc_paused():
            try:
                for lineno, line in enumerate(lines, 1):
                    if isinstance(line, bytes):
                        try:
                            line = line.decode("utf-8")
                        except UnicodeDecodeError as err:
                            raise _LineError(f"not valid UTF-8 (byte {err.start})") from None
                    if line.endswith("\n"):
                        line = _strip_newline(line)
                    if line and line[0] != "#":
                        add(*_split_fields(line))
            except _LineError as err:
                raise WriterError(filename, lineno, str(err)) from None

    def add_line(self, line: str, filename: str = "<input>", lineno: int = 1) -> None:
        """Add one line (a trailing newline is ignored)."""
        line = _strip_newline(line)
        if not line or line[0] == "#":
            return
        try:
            self._add(*_split_fields(line))
        except _LineError as err:
            raise WriterError(filename, lineno, str(err)) from None

    def _add(self, form: str, upos: str, feats: str, lemma: str, gloss: str) -> None:
        key, positions = parse_form(form)
        if feats == "_":
            feats = ""
        signature = (upos, feats, lemma, gloss)
        aid = self._analysis_ids.get(signature)
        if aid is None:
            aid = self._new_analysis(signature)
        pos_bytes = self._positions.get(positions)
        if pos_bytes is None:
            pos_bytes = self._positions[positions] = bytes(positions)

        key_bytes = key.encode("utf-8")
        self._records += 1
        records = self._entries.get(key_bytes)
        if records is None:
            self._entries[key_bytes] = [aid, pos_bytes]
            return
        for i in range(0, len(records), 2):
            if records[i] == aid:
                # The same analysis again: one record, positions united in
                # order of first appearance.
                self._records -= 1
                old = records[i + 1]
                extra = bytes(p for p in pos_bytes if p not in old)
                if extra:
                    records[i + 1] = old + extra
                return
        records.append(aid)
        records.append(pos_bytes)

    def _new_analysis(self, signature: tuple[str, str, str, str]) -> int:
        upos, feats, lemma, gloss = signature
        tags = parse_upos(upos)
        pairs = parse_feats(feats)
        self._note(self._pos_seen, tags, U8_TABLE_LIMIT, "part-of-speech tags")
        self._note(self._feature_names_seen, (n for n, _ in pairs), U8_TABLE_LIMIT, "feature names")
        self._note(
            self._feature_values_seen,
            (v for _, vs in pairs for v in vs),
            U8_TABLE_LIMIT,
            "feature values",
        )
        if lemma:
            self._note(self._lemmas_seen, (lemma,), U32_TABLE_LIMIT, "lemmas")
        if gloss:
            self._note(self._glosses_seen, (gloss,), U32_TABLE_LIMIT, "glosses")
        aid = len(self._analyses)
        self._analyses.append((tags, pairs, lemma or None, gloss or None))
        self._analysis_ids[signature] = aid
        return aid

    @staticmethod
    def _note(seen: set[str], texts: Iterable[str], limit: int, what: str) -> None:
        for text in texts:
            if text not in seen:
                if len(seen) >= limit:
                    raise _LineError(f"more than {limit} {what}: {text!r} would be number {limit + 1}")
                seen.add(text)

    def build(self) -> tuple[bytes, dict[str, int]]:
        """Encode the image; returns (raw image, counts for the summary)."""
        with _gc_paused():
            return self._build()

    def _build(self) -> tuple[bytes, dict[str, int]]:
        pos_tags = _Table("pos_tags")
        feature_keys = _Table("feature_keys")
        feature_values = _Table("feature_values")
        lemmas = _Table("lemmas")
        definitions = _Table("definitions")
        analyses = self._analyses
        # Encoded (pos, features, lemma, definition) of each analysis, made
        # at its first use so that table strings are numbered in the order
        # in which the sorted entries first use them.
        tails: list[bytes | None] = [None] * len(analyses)
        pos_lists = {p: _u64(len(p)) + p for p in self._positions.values()}

        out = bytearray()
        entries = self._entries
        keys = sorted(entries)
        with_lemma = with_definition = with_features = several_stresses = 0
        for key in keys:
            records = entries[key]
            distinct = set()
            out += _u64(len(key))
            out += key
            out += _u64(len(records) >> 1)
            for i in range(0, len(records), 2):
                aid = records[i]
                positions = records[i + 1]
                tail = tails[aid]
                if tail is None:
                    tags, pairs, lemma, gloss = analyses[aid]
                    parts = [_u64(len(tags)), bytes(pos_tags.get(t) for t in tags), _u64(len(pairs))]
                    for name, values in pairs:
                        parts.append(bytes((feature_keys.get(name),)))
                        parts.append(_u64(len(values)))
                        parts.append(bytes(feature_values.get(v) for v in values))
                    parts.append(_optional_u32(None if lemma is None else lemmas.get(lemma)))
                    parts.append(_optional_u32(None if gloss is None else definitions.get(gloss)))
                    tail = tails[aid] = b"".join(parts)
                out += pos_lists.get(positions) or (_u64(len(positions)) + positions)
                out += tail
                tags, pairs, lemma, gloss = analyses[aid]
                with_lemma += lemma is not None
                with_definition += gloss is not None
                with_features += bool(pairs)
                distinct.update(positions)
            several_stresses += len(distinct) > 1

        head = b"".join(
            t.encode() for t in (pos_tags, feature_keys, feature_values, lemmas, definitions)
        )
        image = b"".join((head, _u64(len(keys)), out))
        del out
        counts = {
            "entries": len(keys),
            "records": self._records,
            "pos_tags": len(pos_tags.index),
            "feature_keys": len(feature_keys.index),
            "feature_values": len(feature_values.index),
            "lemmas": len(lemmas.index),
            "definitions": len(definitions.index),
            "raw_bytes": len(image),
            "records_with_lemma": with_lemma,
            "records_with_definition": with_definition,
            "records_with_features": with_features,
            "entries_with_several_stresses": several_stresses,
        }
        return image, counts


def build_image(lines: Iterable[str | bytes], filename: str = "<input>") -> bytes:
    """The raw (uncompressed) image of the given lines of word data."""
    builder = ImageBuilder()
    builder.add_lines(lines, filename)
    return builder.build()[0]


def _read_files(builder: ImageBuilder, paths: Iterable[str]) -> None:
    for path in paths:
        # Binary mode splits on "\n" only; text mode would also split on
        # "\r", U+2028 and friends, which may legitimately sit in a gloss.
        with open(path, "rb") as f:
            builder.add_lines(f, path)


def build_image_from_files(paths: Iterable[str]) -> bytes:
    """The raw image of the given files, read in order as one input."""
    builder = ImageBuilder()
    _read_files(builder, paths)
    return builder.build()[0]


def _write_atomically(path: str, data: bytes) -> None:
    directory = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", suffix=".tmp", dir=directory)
    try:
        with os.fdopen(fd, "wb") as f:
            f.write(data)
            f.flush()
            os.fsync(f.fileno())
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(tmp, 0o666 & ~umask)
        os.replace(tmp, path)
    except BaseException:
        try:
            os.unlink(tmp)
        except FileNotFoundError:
            pass
        raise


def format_summary(counts: dict[str, int], compressed: int | None) -> str:
    text = (
        f"{counts['entries']} entries, {counts['records']} records, "
        f"{counts['pos_tags']} pos tags, {counts['feature_keys']} feature names, "
        f"{counts['feature_values']} feature values, {counts['lemmas']} lemmas, "
        f"{counts['definitions']} definitions; raw image {counts['raw_bytes']} bytes"
    )
    if compressed is not None:
        text += f", compressed {compressed} bytes"
    text += (
        f"\n  records with a lemma {counts['records_with_lemma']}, with a definition "
        f"{counts['records_with_definition']}, with features {counts['records_with_features']}; "
        f"entries with more than one stress position {counts['entries_with_several_stresses']}"
    )
    return text


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python -m tools.write_image",
        description="Write the dictionary image from word data (see tools/README.md).",
    )
    parser.add_argument("inputs", nargs="+", metavar="INPUT", help="word data files, read in order")
    parser.add_argument("-o", "--output", required=True, metavar="OUT", help="image file to write")
    parser.add_argument(
        "--raw", action="store_true", help="write the uncompressed image instead of bzip2"
    )
    args = parser.parse_args(argv)

    builder = ImageBuilder()
    try:
        _read_files(builder, args.inputs)
    except WriterError as err:
        print(err, file=sys.stderr)
        return 1
    except OSError as err:
        print(f"write_image.py: {err}", file=sys.stderr)
        return 1

    image, counts = builder.build()
    del builder  # the word data is no longer needed while compressing
    if args.raw:
        data, compressed = image, None
    else:
        data = bz2.compress(image, 9)
        compressed = len(data)
    try:
        _write_atomically(args.output, data)
    except OSError as err:
        print(f"write_image.py: {err}", file=sys.stderr)
        return 1
    print(f"{args.output}: {format_summary(counts, compressed)}", file=sys.stderr)
    return 0


if __name__ == "__main__":
    sys.exit(main())

"""Read StarDict dictionaries: .ifo, .idx, .dict(.dz) and .syn.

A dictionary is loaded from an extracted directory, from any one of its files
(the sibling files with the same base name are used), or straight from a
.tar.gz / .tar.bz2 / .tar archive holding those files.

    sd = load_stardict("dict.tar.gz")
    for i, lemma in enumerate(sd.lemmas):
        for pos, senses in sd.sections(i):
            ...
    for word, index in sd.synonyms:      # index into sd.lemmas
        ...

File layout (StarDict 3.0.0):
  .ifo   "StarDict's dict ifo file", then key=value lines.
  .idx   per headword: UTF-8 word, NUL, offset and size of its article in
         .dict as big-endian unsigned 32-bit integers (64-bit offsets when
         the .ifo says idxoffsetbits=64). May be gzip-compressed (.idx.gz).
  .dict  the articles, concatenated. .dict.dz is the same gzip-compressed
         (dictzip is a gzip file with random-access extras; plain gzip
         decompression reads it whole).
  .syn   per synonym: UTF-8 word, NUL, big-endian u32 index of an .idx entry.

An article's fields are typed. With sametypesequence=<types> in the .ifo the
article is just the fields, without type bytes, the last one running to the
end. Otherwise each field starts with its type byte. Lowercase types are
NUL-terminated text, uppercase ones a big-endian u32 size then data.

parse_article() turns an HTML article of the form
  <i>noun</i><br><ol><li>sense</li><li>sense</li></ol><br><i>verb</i>...
into [(pos, [sense, ...]), ...] with markup stripped, character references
unescaped and whitespace collapsed.
"""
from __future__ import annotations

import gzip
import html.parser
import os
import struct
import tarfile
from dataclasses import dataclass, field
from typing import NamedTuple

IFO_MAGIC = "StarDict's dict ifo file"


class StarDictError(Exception):
    pass


class Lemma(NamedTuple):
    """One .idx entry."""

    word: str
    offset: int
    size: int


class Section(NamedTuple):
    """One part of speech of an article with its senses, in article order."""

    pos: str
    senses: list[str]


@dataclass
class StarDict:
    info: dict[str, str]
    lemmas: list[Lemma]
    synonyms: list[tuple[str, int]]
    data: bytes = field(repr=False)
    _by_word: dict[str, list[int]] | None = field(default=None, repr=False)

    def raw_article(self, index: int) -> bytes:
        """The article bytes of lemma `index`, type fields not split."""
        lemma = self.lemmas[index]
        end = lemma.offset + lemma.size
        if end > len(self.data):
            raise StarDictError(
                f"article of {lemma.word!r} ends at {end}, past the end of .dict ({len(self.data)})")
        return self.data[lemma.offset:end]

    def article(self, index: int) -> str:
        """The text of lemma `index`'s article: its text fields joined by newlines."""
        fields = split_fields(self.raw_article(index), self.info.get("sametypesequence", ""))
        return "\n".join(text for kind, text in fields if isinstance(text, str))

    def sections(self, index: int) -> list[Section]:
        """The parsed article of lemma `index`."""
        return parse_article(self.article(index))

    def indices(self, word: str) -> list[int]:
        """Indices of the lemmas whose headword is exactly `word`."""
        if self._by_word is None:
            by_word: dict[str, list[int]] = {}
            for i, lemma in enumerate(self.lemmas):
                by_word.setdefault(lemma.word, []).append(i)
            self._by_word = by_word
        return self._by_word.get(word, [])

    def articles(self, word: str) -> list[str]:
        """The articles of every lemma whose headword is exactly `word`."""
        return [self.article(i) for i in self.indices(word)]


# ---------------------------------------------------------------- files

def parse_ifo(text: str) -> dict[str, str]:
    lines = text.splitlines()
    if not lines or lines[0].strip() != IFO_MAGIC:
        raise StarDictError("not a StarDict .ifo file (bad first line)")
    info = {}
    for line in lines[1:]:
        if "=" in line:
            key, value = line.split("=", 1)
            info[key.strip()] = value.strip()
    return info


def parse_idx(data: bytes, offset_bits: int = 32) -> list[Lemma]:
    if offset_bits == 64:
        fmt = ">QI"
    elif offset_bits == 32:
        fmt = ">II"
    else:
        raise StarDictError(f"unsupported idxoffsetbits={offset_bits}")
    width = struct.calcsize(fmt)
    lemmas = []
    pos = 0
    while pos < len(data):
        nul = data.find(b"\0", pos)
        if nul < 0 or nul + 1 + width > len(data):
            raise StarDictError(f".idx truncated in the entry at byte {pos}")
        word = data[pos:nul].decode("utf-8")
        offset, size = struct.unpack_from(fmt, data, nul + 1)
        lemmas.append(Lemma(word, offset, size))
        pos = nul + 1 + width
    return lemmas


def parse_syn(data: bytes, lemma_count: int | None = None) -> list[tuple[str, int]]:
    synonyms = []
    pos = 0
    while pos < len(data):
        nul = data.find(b"\0", pos)
        if nul < 0 or nul + 5 > len(data):
            raise StarDictError(f".syn truncated in the entry at byte {pos}")
        word = data[pos:nul].decode("utf-8")
        (index,) = struct.unpack_from(">I", data, nul + 1)
        if lemma_count is not None and index >= lemma_count:
            raise StarDictError(f".syn entry {word!r} points to lemma {index}, "
                                f"but .idx has {lemma_count}")
        synonyms.append((word, index))
        pos = nul + 5
    return synonyms


def split_fields(raw: bytes, sametypesequence: str = "") -> list[tuple[str, str | bytes]]:
    """Splits an article into (type, content) fields.

    Text types (lowercase) give str, binary types (uppercase) give bytes.
    """
    fields: list[tuple[str, str | bytes]] = []
    pos = 0
    if sametypesequence:
        for n, kind in enumerate(sametypesequence):
            last = n == len(sametypesequence) - 1
            if kind.islower():
                end = len(raw) if last else raw.find(b"\0", pos)
                if end < 0:
                    raise StarDictError("article field not NUL-terminated")
                fields.append((kind, raw[pos:end].decode("utf-8")))
                pos = end + 1
            else:
                if last:
                    fields.append((kind, raw[pos:]))
                else:
                    (size,) = struct.unpack_from(">I", raw, pos)
                    fields.append((kind, raw[pos + 4:pos + 4 + size]))
                    pos += 4 + size
        return fields
    while pos < len(raw):
        kind = chr(raw[pos])
        pos += 1
        if kind.islower():
            end = raw.find(b"\0", pos)
            if end < 0:
                end = len(raw)
            fields.append((kind, raw[pos:end].decode("utf-8")))
            pos = end + 1
        else:
            (size,) = struct.unpack_from(">I", raw, pos)
            fields.append((kind, raw[pos + 4:pos + 4 + size]))
            pos += 4 + size
    return fields


def _maybe_gunzip(name: str, data: bytes) -> bytes:
    if name.endswith((".dz", ".gz")) or data[:2] == b"\x1f\x8b":
        return gzip.decompress(data)
    return data


def _pick(files: dict[str, bytes], suffixes: tuple[str, ...], required: bool) -> tuple[str, bytes] | None:
    for suffix in suffixes:
        hits = sorted(name for name in files if name.endswith(suffix))
        if len(hits) > 1:
            raise StarDictError(f"several {suffix} files: {', '.join(hits)}")
        if hits:
            return hits[0], files[hits[0]]
    if required:
        raise StarDictError(f"no {' or '.join(suffixes)} file found")
    return None


def _from_files(files: dict[str, bytes]) -> StarDict:
    ifo = _pick(files, (".ifo",), True)
    assert ifo is not None
    info = parse_ifo(ifo[1].decode("utf-8"))
    idx_name, idx = _pick(files, (".idx", ".idx.gz"), True)  # type: ignore[misc]
    lemmas = parse_idx(_maybe_gunzip(idx_name, idx), int(info.get("idxoffsetbits", "32")))
    dict_name, dict_data = _pick(files, (".dict.dz", ".dict"), True)  # type: ignore[misc]
    data = _maybe_gunzip(dict_name, dict_data)
    syn = _pick(files, (".syn", ".syn.dz", ".syn.gz"), False)
    synonyms = parse_syn(_maybe_gunzip(*syn), len(lemmas)) if syn else []
    if "wordcount" in info and int(info["wordcount"]) != len(lemmas):
        raise StarDictError(f".ifo says wordcount={info['wordcount']}, .idx has {len(lemmas)}")
    if "synwordcount" in info and int(info["synwordcount"]) != len(synonyms):
        raise StarDictError(
            f".ifo says synwordcount={info['synwordcount']}, .syn has {len(synonyms)}")
    return StarDict(info, lemmas, synonyms, data)


STARDICT_SUFFIXES = (".ifo", ".idx", ".idx.gz", ".dict", ".dict.dz", ".syn", ".syn.dz", ".syn.gz")


def load_stardict(path: str | os.PathLike) -> StarDict:
    """Loads a dictionary from a tar archive, a directory or one of its files.

    A directory or an archive must hold exactly one dictionary (one .ifo).
    """
    path = os.fspath(path)
    files: dict[str, bytes] = {}
    if os.path.isdir(path):
        for root, _dirs, names in os.walk(path):
            for name in names:
                if name.endswith(STARDICT_SUFFIXES):
                    with open(os.path.join(root, name), "rb") as f:
                        files[os.path.join(root, name)] = f.read()
    elif tarfile.is_tarfile(path):
        with tarfile.open(path) as tar:
            for member in tar.getmembers():
                if member.isfile() and member.name.endswith(STARDICT_SUFFIXES):
                    extracted = tar.extractfile(member)
                    assert extracted is not None
                    files[member.name] = extracted.read()
    elif path.endswith(STARDICT_SUFFIXES):
        base = path
        for suffix in sorted(STARDICT_SUFFIXES, key=len, reverse=True):
            if path.endswith(suffix):
                base = path[:-len(suffix)]
                break
        for suffix in STARDICT_SUFFIXES:
            if os.path.exists(base + suffix):
                with open(base + suffix, "rb") as f:
                    files[base + suffix] = f.read()
    else:
        raise StarDictError(f"{path}: not a directory, a tar archive or a StarDict file")
    return _from_files(files)


# ---------------------------------------------------------------- articles

def collapse(text: str) -> str:
    """Collapses runs of whitespace to one space and trims the ends."""
    return " ".join(text.split())


class _ArticleParser(html.parser.HTMLParser):
    """Collects <i> labels outside list items as parts of speech and every
    <li> as a sense. A nested list item is a sense of its own, placed after
    the item that contains it; text outside list items and labels is dropped.
    """

    BREAKS = {"br", "p", "div", "ol", "ul", "li", "tr", "td", "dd", "dt"}

    def __init__(self) -> None:
        super().__init__(convert_charrefs=True)
        self.sections: list[Section] = []
        self._label: list[str] | None = None   # text of an open <i> label
        self._items: list[list[str]] = []      # open <li>s, innermost last
        self._slots: list[int] = []            # each open <li>'s place in its section
        self._section: Section | None = None

    def _current(self) -> Section:
        if self._section is None:
            self._section = Section("", [])
            self.sections.append(self._section)
        return self._section

    def handle_starttag(self, tag: str, attrs: list) -> None:
        if tag == "li":
            section = self._current()
            self._slots.append(len(section.senses))
            section.senses.append("")
            self._items.append([])
        elif tag == "i" and not self._items:
            self._label = []
        elif tag in self.BREAKS and self._items:
            self._items[-1].append(" ")

    def handle_startendtag(self, tag: str, attrs: list) -> None:
        if tag in self.BREAKS and self._items:
            self._items[-1].append(" ")

    def handle_endtag(self, tag: str) -> None:
        if tag == "li" and self._items:
            text = collapse("".join(self._items.pop()))
            self._current().senses[self._slots.pop()] = text
        elif tag == "i" and self._label is not None and not self._items:
            self._section = Section(collapse("".join(self._label)), [])
            self.sections.append(self._section)
            self._label = None
        elif tag in self.BREAKS and self._items:
            self._items[-1].append(" ")

    def handle_data(self, data: str) -> None:
        if self._items:
            self._items[-1].append(data)
        elif self._label is not None:
            self._label.append(data)

    def close(self) -> None:
        super().close()
        while self._items:  # unclosed <li>s
            text = collapse("".join(self._items.pop()))
            self._current().senses[self._slots.pop()] = text
        if self._label is not None:
            self.sections.append(Section(collapse("".join(self._label)), []))
            self._label = None


def parse_article(article: str) -> list[Section]:
    """Splits an HTML article into its parts of speech and their senses.

    Empty senses are dropped; a section is kept even when it has no sense.
    Senses found before any part-of-speech label form a section with pos "".
    """
    parser = _ArticleParser()
    parser.feed(article)
    parser.close()
    return [Section(s.pos, [t for t in s.senses if t]) for s in parser.sections]


def strip_html(fragment: str) -> str:
    """Plain text of an HTML fragment: tags removed, references unescaped,
    whitespace collapsed."""
    parts: list[str] = []

    class _Text(html.parser.HTMLParser):
        def handle_data(self, data: str) -> None:
            parts.append(data)

        def handle_starttag(self, tag: str, attrs: list) -> None:
            parts.append(" " if tag in _ArticleParser.BREAKS else "")

        def handle_endtag(self, tag: str) -> None:
            parts.append(" " if tag in _ArticleParser.BREAKS else "")

    p = _Text(convert_charrefs=True)
    p.feed(fragment)
    p.close()
    return collapse("".join(parts))

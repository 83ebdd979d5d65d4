"""The `lexovia` command: stress or transcribe text files, look words up.

Files (or standard input) are read line by line as bytes and decoded one
line at a time, so memory stays constant however long the input is and a
decoding error can name the byte offset where it happened. The lines are
converted on --jobs worker processes, in chunks, and written in input order
(_jobs). Any problem with the input ends the command with one line on
standard error and exit status 2; a worker process that dies or fails ends
it with one line naming the input and the line where the output stops, and
exit status 1; a closed standard output (`lexovia stress big.txt | head`)
ends it quietly. A progress bar goes to standard error only where it is
seen and cannot get into the text (see Progress).
"""
from __future__ import annotations

import argparse
import functools
import importlib.metadata
import json
import os
import stat
import sys
import time
from collections.abc import Iterator, Sequence
from typing import BinaryIO, NoReturn

import lexovia

from . import MARK_FORMATS
from ._batch import stress_batch, transcribe_batch
from ._jobs import Runner, WorkerFailed, usable_cores

# Lines longer than this are cut at their last space so that a file with no
# line breaks is still read in pieces of bounded size.
MAX_CHUNK = 1 << 20
# Seconds between two redraws of the progress bar.
PROGRESS_EVERY = 0.2
EXIT_BAD_INPUT = 2
EXIT_FAILED = 1
# More worker processes than this would only compete for memory.
MAX_JOBS = 256

EPILOG = """\
examples:
  lexovia stress book.txt > book-stressed.txt
  echo 'Мої руки пахнуть хлібом.' | lexovia stress
  lexovia stress --single --no-guess notes.txt
  lexovia stress --mark plus-before corpus.txt     # з+амок, as many TTS models want
  lexovia stress --jobs 4 corpus.txt > corpus-stressed.txt
  lexovia ipa --errors=replace old-encoding.txt
  lexovia ipa --syllable-separator . --word-separator ' | ' words.txt
  lexovia lookup замок руки
"""


class InputError(Exception):
    """A problem with the input, reported as one line and exit status 2."""


class RunError(Exception):
    """A worker process that died or failed, reported as one line and exit status 1."""


def fail(message: str, status: int = EXIT_BAD_INPUT) -> NoReturn:
    sys.stderr.write(f"lexovia: {message}\n")
    raise SystemExit(status)


def _reason(e: OSError) -> str:
    if isinstance(e, FileNotFoundError):
        return "no such file"
    if isinstance(e, IsADirectoryError):
        return "is a directory, not a file"
    if isinstance(e, PermissionError):
        return "permission denied"
    return e.strerror or str(e)


def _open(path: str) -> BinaryIO:
    if path == "-":
        return sys.stdin.buffer
    try:
        if os.path.isdir(path):
            raise IsADirectoryError(path)
        return open(path, "rb")
    except OSError as e:
        raise InputError(f"{path}: {_reason(e)}") from None


def _chunks(stream: BinaryIO) -> Iterator[bytes]:
    carry = b""
    while True:
        piece = stream.readline(MAX_CHUNK)
        if not piece:
            if carry:
                yield carry
            return
        piece = carry + piece
        carry = b""
        if not piece.endswith(b"\n") and len(piece) >= MAX_CHUNK:
            cut = max(piece.rfind(b" "), piece.rfind(b"\t"))
            if cut > 0:
                piece, carry = piece[:cut + 1], piece[cut + 1:]
        yield piece


class Progress:
    """A percentage bar on standard error, redrawn at most every
    PROGRESS_EVERY seconds, where it is seen and cannot get into the text:
    only when the size is known, standard error is a terminal and standard
    output is not that same terminal (the text would run into the bar
    there). It fits on one line of the terminal, so that erasing it (close,
    which runs before the command writes anything more: an error message,
    the next file's bar, the shell's prompt) leaves nothing behind."""

    def __init__(self, name: str, size: int | None) -> None:
        self.name = name
        self.size = size if size and _bar_visible() else None
        self.last = 0.0
        self.shown = False

    def update(self, done: int) -> None:
        now = time.monotonic()
        if self.size is None or now - self.last < PROGRESS_EVERY:
            return
        self.last = now
        done = min(done, self.size)
        # The last column stays free: a line that fills it wraps on some
        # terminals, and erasing would then miss its first part. A narrow
        # terminal shortens the bar, then the file name from its start.
        width = _columns() - 1
        frame = len(": [] 100 %")
        bar = max(0, min(BAR_WIDTH, width - frame - min(len(self.name), MIN_NAME)))
        room = width - frame - bar
        if len(self.name) <= room:
            name = self.name
        elif room > 1:
            name = "…" + self.name[len(self.name) - room + 1:]
        else:
            name = ""
        filled = bar * done // self.size
        line = f"{name}: [{'#' * filled}{'.' * (bar - filled)}] {100 * done // self.size:3d} %"
        sys.stderr.write("\r" + line[max(0, len(line) - width):])
        sys.stderr.flush()
        self.shown = True

    def close(self) -> None:
        if self.shown:
            sys.stderr.write(ERASE_LINE)
            sys.stderr.flush()
            self.shown = False


# Back to the start of the line and clear it.
ERASE_LINE = "\r\x1b[K"
BAR_WIDTH = 30
# How much of a long file name a narrow terminal keeps before the bar
# gives up its width.
MIN_NAME = 12


def _columns() -> int:
    """The width of the terminal on standard error."""
    try:
        return os.get_terminal_size(sys.stderr.fileno()).columns or DEFAULT_COLUMNS
    except (OSError, ValueError):
        return DEFAULT_COLUMNS


DEFAULT_COLUMNS = 80


def _bar_visible() -> bool:
    """Standard error is a terminal, and standard output is not the same
    one."""
    try:
        if not os.isatty(sys.stderr.fileno()):
            return False
        out, err = os.fstat(sys.stdout.fileno()), os.fstat(sys.stderr.fileno())
    except (OSError, ValueError):   # a closed or replaced stream
        return False
    if not stat.S_ISCHR(out.st_mode) or not os.isatty(sys.stdout.fileno()):
        return True
    return not (os.path.samestat(out, err) or out.st_rdev == err.st_rdev)


def _decoded(stream: BinaryIO, label: str, errors: str) -> Iterator[tuple[int, str]]:
    """(bytes read, text) for each line, or piece of an over-long line."""
    offset = 0
    for raw in _chunks(stream):
        try:
            line = raw.decode("utf-8", errors)
        except UnicodeDecodeError as e:
            raise InputError(f"{label}: not UTF-8 at byte {offset + e.start} "
                             f"(use --errors=replace to replace undecodable bytes)") from None
        yield len(raw), line
        offset += len(raw)


def _process(paths: Sequence[str], errors: str, runner: Runner) -> None:
    names = list(paths) or ["-"]
    streams = [_open(p) for p in names]   # every file is checked before any output
    out = sys.stdout.buffer
    for path, stream in zip(names, streams):
        label = "standard input" if path == "-" else path
        size = None if path == "-" else _size(stream)
        progress = Progress(label, size)
        offset = 0
        try:
            typed = stream.isatty()   # each line answered as it is typed
            for done, text in runner.run(_decoded(stream, label, errors), line_by_line=typed):
                out.write(text)
                if typed:
                    out.flush()
                offset += done
                progress.update(offset)
        except WorkerFailed as e:
            raise RunError(f"{label}: {e}") from None
        except OSError as e:
            if isinstance(e, BrokenPipeError):
                raise
            raise InputError(f"{label}: {_reason(e)}") from None
        finally:
            progress.close()
            if stream is not sys.stdin.buffer:
                stream.close()
        out.flush()


def _size(stream: BinaryIO) -> int | None:
    try:
        return os.fstat(stream.fileno()).st_size or None
    except OSError:
        return None


def _job_count(text: str) -> int:
    try:
        n = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if not 1 <= n <= MAX_JOBS:
        raise argparse.ArgumentTypeError(f"must be from 1 to {MAX_JOBS}: {text!r}")
    return n


def _jobs(args: argparse.Namespace) -> int:
    """--jobs, or its default: one when reading a terminal (each line is
    then answered as it is typed), else the usable cores."""
    if args.jobs is not None:
        return int(args.jobs)
    reads_terminal = (not args.files or "-" in args.files) and sys.stdin.isatty()
    return 1 if reads_terminal else usable_cores()


def _parser() -> argparse.ArgumentParser:
    parser = argparse.ArgumentParser(
        prog="lexovia", formatter_class=argparse.RawDescriptionHelpFormatter, epilog=EPILOG,
        description="Stress Ukrainian text, transcribe it to IPA, or look words up in lexovia's dictionary. "
                    "Reads the FILEs (or standard input) line by line and writes standard output.")
    parser.add_argument("--version", action="version", version=f"lexovia {_version()}")
    sub = parser.add_subparsers(dest="command", required=True, metavar="COMMAND")

    def text_command(name: str, help: str) -> argparse.ArgumentParser:
        p = sub.add_parser(name, help=help, description=help, epilog=EPILOG,
                           formatter_class=argparse.RawDescriptionHelpFormatter)
        p.add_argument("files", nargs="*", metavar="FILE", help="UTF-8 text files; none or - for standard input")
        p.add_argument("--errors", choices=["strict", "replace"], default="strict",
                       help="what to do with bytes that are not UTF-8: stop with an error (default) "
                            "or replace them with U+FFFD")
        p.add_argument("--guess", action=argparse.BooleanOptionalAction, default=True,
                       help="stress the words the dictionary lacks with the stress model's guess (the "
                            "default), or leave them unmarked (--no-guess)")
        p.add_argument("--jobs", type=_job_count, metavar="N",
                       help="worker processes (default: the usable cores, or 1 when reading a terminal); "
                            "the output keeps the input's order")
        return p

    stress = text_command("stress", "write the text with a stress mark (by default U+0301 after the stressed "
                                    "vowel) on each word; words already marked stay as they are")
    stress.add_argument("--single", action="store_true", help="mark words of one vowel too")
    stress.add_argument("--mark", choices=MARK_FORMATS, default=MARK_FORMATS[0],
                        help="the stress mark written and read: acute (U+0301 after the vowel, за́мок; default), "
                             "plus-after (за+мок) or plus-before (з+амок)")
    ipa = text_command("ipa", "write the text with each Ukrainian word replaced by its IPA as it is said: "
                              "в before a vowel is ʋ, one-vowel function words are unstressed, a hyphenated "
                              "word keeps its hyphens; words already marked are stressed as marked")
    ipa.add_argument("--mark", choices=MARK_FORMATS, default=MARK_FORMATS[0],
                     help="the stress marks the text may already carry (U+0301 is always read): "
                          "acute (default), plus-after (за+мок) or plus-before (з+амок)")
    ipa.add_argument("--syllable-separator", default="", metavar="SEP",
                     help="put SEP between the syllables of each word")
    ipa.add_argument("--word-separator", default=None, metavar="SEP",
                     help="write only the words of each line, joined by SEP (pronunciation-dictionary style)")
    lookup = sub.add_parser("lookup", help="print every reading of the WORDs as JSON",
                            description="print every reading of the WORDs (lexovia.lookup) as a JSON array",
                            epilog=EPILOG, formatter_class=argparse.RawDescriptionHelpFormatter)
    lookup.add_argument("words", nargs="+", metavar="WORD")
    return parser


def _version() -> str:
    try:
        return importlib.metadata.version("lexovia")
    except importlib.metadata.PackageNotFoundError:
        return "(not installed as a distribution)"


def main(argv: Sequence[str] | None = None) -> int:
    args = _parser().parse_args(argv)
    try:
        if args.command == "lookup":
            results = lexovia.lookup_many(args.words)
            sys.stdout.write(json.dumps(results, ensure_ascii=False, indent=1) + "\n")
        elif args.command == "stress":
            convert = functools.partial(stress_batch, single=args.single, guess=args.guess, mark=args.mark)
            with Runner(convert, _jobs(args)) as runner:
                _process(args.files, args.errors, runner)
        else:
            convert = functools.partial(transcribe_batch, guess=args.guess, mark=args.mark,
                                        syllable_separator=args.syllable_separator,
                                        word_separator=args.word_separator)
            with Runner(convert, _jobs(args)) as runner:
                _process(args.files, args.errors, runner)
    except InputError as e:
        fail(str(e))
    except RunError as e:
        fail(str(e), EXIT_FAILED)
    except UnicodeEncodeError:
        fail("a WORD holds a lone surrogate, which is not text")
    except BrokenPipeError:
        # Whoever reads our output has stopped: not an error of ours. Standard
        # output is pointed at /dev/null so that the interpreter's final flush
        # does not complain a second time.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
    except KeyboardInterrupt:
        return 130
    return 0


if __name__ == "__main__":
    sys.exit(main())

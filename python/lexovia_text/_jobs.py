"""Converts a stream of lines on several worker processes, in input order.

`Runner(convert, jobs)` takes a batch conversion (a list of lines to the
list of their conversions, such as stress_batch with its options bound)
and `run(pieces)` applies it to an iterable of (size, line) pairs, yielding
(total size, UTF-8 output) for consecutive runs of lines in input order.
The sizes are the caller's (the bytes each line took in its file) and only
summed, for a progress display.

The contract:

- Output is complete or the run fails: either every line is converted and
  yielded, or WorkerFailed is raised naming the line at which the output
  stops; everything before that line has then been yielded and nothing
  after it.
- Lines go to the workers in chunks of about CHUNK_CHARS characters, each
  worker holding one at a time, and at most WINDOW_PER_JOB chunks per worker
  are past the first one not yet yielded, so memory does not grow with the
  input.
- With jobs > 1 the workers are started once, when an input turns out to
  need more than one chunk; a shorter input, and one read line by line (a
  terminal, each line answered before the next is read), is converted in
  this process.
  Before they start, this process converts a short passage, which loads the
  dictionary and the chooser's tables, and freezes everything it holds
  against the cyclic garbage collector; the workers are then forked, so
  they share those pages instead of each loading its own copy. Where fork
  is unavailable they are spawned and each loads its own.
- An exception while reading the input (a decoding error) is raised after
  the lines before it have been converted and yielded, as they would be
  one by one.
- Workers ignore SIGINT: Ctrl-C interrupts this process, and close() (or
  leaving the `with` block) kills the workers at once.
"""
from __future__ import annotations

import gc
import multiprocessing
import os
import signal
import sys
from collections.abc import Callable, Iterable, Iterator
from multiprocessing.connection import Connection, wait
from multiprocessing.process import BaseProcess
from types import TracebackType
from typing import NamedTuple

from ._batch import WARM_UP_TEXT

Convert = Callable[[list[str]], list[str]]

# Characters of text in one chunk: about a tenth of a second of work, so
# the round trip to hand a worker its next chunk (well under a millisecond)
# is lost in it, and the last chunk, on which the other workers may wait, is
# short.
CHUNK_CHARS = 1 << 16
# Chunks handed out beyond the first one not yet yielded, per worker: room
# for each worker to be at work while the oldest chunk is finished
# elsewhere, without letting one slow chunk make the others pile up.
WINDOW_PER_JOB = 2
# Seconds a worker asked to stop is given before it is killed.
CLOSE_WAIT = 5


class WorkerFailed(Exception):
    """A worker died or failed; the output stops before line `line` (1-based)
    of the current input."""

    def __init__(self, line: int, reason: str) -> None:
        super().__init__(f"line {line}: {reason}; the output stops before this line")
        self.line = line
        self.reason = reason


def usable_cores() -> int:
    return os.process_cpu_count() or 1


class _Chunk(NamedTuple):
    seq: int
    line: int        # the 1-based number of its first line
    next_line: int   # that of the line after it
    size: int
    lines: list[str]


def _chunks(pieces: Iterable[tuple[int, str]], limit: int) -> Iterator[_Chunk]:
    """Groups the pieces into chunks of at least `limit` characters (the
    last one shorter). An exception from `pieces` ends the chunks: the
    partial chunk before it is yielded first."""
    seq, line, next_line = 0, 1, 1
    size, chars, lines = 0, 0, list[str]()
    it = iter(pieces)
    while True:
        try:
            piece = next(it, None)
        except Exception:
            if lines:
                yield _Chunk(seq, line, next_line, size, lines)
            raise
        if piece is None:
            break
        n, text = piece
        lines.append(text)
        size += n
        chars += len(text)
        if text.endswith("\n"):
            next_line += 1
        if chars >= limit:
            yield _Chunk(seq, line, next_line, size, lines)
            seq, line = seq + 1, next_line
            size, chars, lines = 0, 0, []
    if lines:
        yield _Chunk(seq, line, next_line, size, lines)


def _encode(convert: Convert, lines: list[str]) -> bytes:
    return "".join(convert(lines)).encode("utf-8")


def _serve(tasks: Connection, results: Connection, convert: Convert, inherited: list[Connection]) -> None:
    """A worker's life: convert each chunk received until told to stop or
    the parent goes away."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT})
    # Pipe ends forked along that belong to the parent: held here, they
    # would keep this worker, or an older one, from seeing the parent go.
    for c in inherited:
        c.close()
    try:
        while True:
            lines = tasks.recv()
            if lines is None:
                return
            try:
                reply: tuple[str, bytes | str] = ("ok", _encode(convert, lines))
            except BaseException as e:   # noqa: BLE001  reported to the parent, which names the line
                reply = ("error", f"{type(e).__name__}: {e}")
            results.send(reply)
    except (EOFError, OSError):
        # The parent has gone (killed, or stopped reading): nothing to report to.
        return


class _Worker:
    def __init__(self, ctx: multiprocessing.context.BaseContext, convert: Convert,
                 others: list[_Worker]) -> None:
        tasks_r, self.tasks = ctx.Pipe(duplex=False)
        self.results, results_w = ctx.Pipe(duplex=False)
        inherited = [c for w in others for c in (w.tasks, w.results)] + [self.tasks, self.results]
        if ctx.get_start_method() != "fork":
            inherited = []   # a spawned worker inherits only what it is given
        self.process: BaseProcess = ctx.Process(  # type: ignore[attr-defined]
            target=_serve, args=(tasks_r, results_w, convert, inherited), daemon=True)
        self.process.start()
        tasks_r.close()
        results_w.close()
        self.chunk: _Chunk | None = None

    def reason(self) -> str:
        """Why the worker is gone, once it is."""
        self.process.join(1)
        code = self.process.exitcode
        if code is None:
            return "a worker process stopped answering"
        if code < 0:
            try:
                name = signal.Signals(-code).name
            except ValueError:
                name = f"signal {-code}"
            hint = " (perhaps the system ran out of memory)" if -code == signal.SIGKILL else ""
            return f"a worker process was killed by {name}{hint}"
        return f"a worker process exited with status {code}"


class Runner:
    """The workers of one command, started on first need and kept for every
    input after it (see the module's contract)."""

    def __init__(self, convert: Convert, jobs: int) -> None:
        self.convert = convert
        self.jobs = jobs
        self.workers: list[_Worker] = []

    def __enter__(self) -> Runner:
        return self

    def __exit__(self, kind: type[BaseException] | None, value: BaseException | None,
                 tb: TracebackType | None) -> None:
        self.close(kill=kind is not None)

    def run(self, pieces: Iterable[tuple[int, str]], line_by_line: bool = False) -> Iterator[tuple[int, bytes]]:
        """(size, output) for consecutive runs of the pieces, in order; with
        line_by_line each piece is converted as soon as it is read, in this
        process."""
        chunks = _chunks(pieces, 1 if line_by_line else CHUNK_CHARS)
        if self.jobs == 1 or line_by_line:
            # A line typed is answered here at once: waiting for the next
            # one to decide on workers would hold its answer back.
            for c in chunks:
                yield c.size, _encode(self.convert, c.lines)
            return
        first = next(chunks, None)
        if first is None:
            return
        if not self.workers:
            try:
                second = next(chunks, None)
            except Exception:
                yield first.size, _encode(self.convert, first.lines)
                raise
            if second is None:
                # One chunk: not worth the workers.
                yield first.size, _encode(self.convert, first.lines)
                return
            self._start()
            chunks = _prepend([first, second], chunks)
        else:
            chunks = _prepend([first], chunks)
        yield from self._parallel(chunks)

    def _start(self) -> None:
        methods = multiprocessing.get_all_start_methods()
        ctx = multiprocessing.get_context("fork" if "fork" in methods else "spawn")
        if ctx.get_start_method() == "fork":
            self.convert([WARM_UP_TEXT])
            # The loaded tables live as long as the process: frozen, no
            # collection walks them again, here or in a worker, which would
            # otherwise also copy every page it touched.
            gc.collect()
            gc.freeze()
        # What a forked child would write again if it were left in a buffer.
        sys.stdout.flush()
        sys.stderr.flush()
        # A Ctrl-C between the fork and the worker's own handler would make
        # the worker print a traceback: the signal waits until it is set.
        signal.pthread_sigmask(signal.SIG_BLOCK, {signal.SIGINT})
        try:
            for _ in range(self.jobs):
                self.workers.append(_Worker(ctx, self.convert, self.workers))
        except OSError as e:
            raise WorkerFailed(1, f"cannot start a worker process: {e.strerror or e}") from None
        finally:
            signal.pthread_sigmask(signal.SIG_UNBLOCK, {signal.SIGINT})

    def _parallel(self, chunks: Iterator[_Chunk]) -> Iterator[tuple[int, bytes]]:
        done: dict[int, _Chunk] = {}
        outputs: dict[int, bytes] = {}
        given: dict[int, _Chunk] = {}     # handed out and not yet yielded, by seq
        live = list(self.workers)         # the workers still to wait for
        failure: str | None = None
        input_error: Exception | None = None
        window = WINDOW_PER_JOB * len(live)

        def take() -> _Chunk | None:
            nonlocal input_error
            try:
                return next(chunks, None)
            except Exception as e:
                input_error = e
                return None

        upcoming = take()
        base = upcoming.seq if upcoming is not None else 0   # the next chunk to yield
        next_line = upcoming.line if upcoming is not None else 1
        while True:
            for w in live:
                if failure is None and w.chunk is None and upcoming is not None and upcoming.seq < base + window:
                    try:
                        w.tasks.send(upcoming.lines)
                    except OSError:
                        failure = w.reason()
                        break
                    w.chunk = given[upcoming.seq] = upcoming
                    upcoming = take()
            busy = [w for w in live if w.chunk is not None]
            if not busy:
                break
            ready = wait([w.results for w in busy] + [w.process.sentinel for w in live])
            for w in live:
                if w.chunk is not None and w.results in ready:
                    try:
                        status, out = w.results.recv()
                    except (EOFError, OSError):
                        failure = failure or w.reason()
                        w.chunk = None
                        continue
                    if status == "ok" and isinstance(out, bytes):
                        done[w.chunk.seq] = w.chunk
                        outputs[w.chunk.seq] = out
                    else:
                        failure = failure or f"a worker process failed: {out!s}"
                    w.chunk = None
                elif w.process.sentinel in ready and not w.process.is_alive():
                    failure = failure or w.reason()
                    w.chunk = None
            if failure is not None:
                # What the others are at is still yielded; nothing more is handed out.
                live = [w for w in live if w.chunk is not None and w.process.is_alive()]
            while base in done:
                c = done.pop(base)
                del given[base]
                next_line = c.next_line
                yield c.size, outputs.pop(base)
                base += 1
        if failure is not None:
            lost = given.get(base) or upcoming
            self.close(kill=True)
            raise WorkerFailed(lost.line if lost is not None else next_line, failure)
        if input_error is not None:
            raise input_error

    def close(self, kill: bool = False) -> None:
        """Stops the workers: asks those at rest to, kills the others (all
        of them with kill=True)."""
        for w in self.workers:
            if w.process.is_alive():
                if w.chunk is None and not kill:
                    try:
                        w.tasks.send(None)
                    except OSError:
                        pass
                else:
                    w.process.kill()
        for w in self.workers:
            w.process.join(CLOSE_WAIT)
            if w.process.is_alive():
                w.process.kill()
                w.process.join()
            w.tasks.close()
            w.results.close()
        self.workers = []


def _prepend(head: list[_Chunk], rest: Iterator[_Chunk]) -> Iterator[_Chunk]:
    yield from head
    yield from rest

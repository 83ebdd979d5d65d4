"""The parallel driver of the command (lexovia_text._jobs.Runner): output in
input order and complete, or a failure naming the line where it stops;
bounded read-ahead; workers that die or fail; input errors after the lines
before them. The conversions here are cheap stand-ins, so that what is
tested is the driver; the command's own runs are in test_text_cli."""
import os
import random
import signal
import time

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

from lexovia_text import _jobs


def tag(lines):
    """A conversion whose output shows each line and the order kept."""
    return [f"<{line}>" for line in lines]


def shuffled_timing(lines):
    # Chunks finish out of order: some take far longer than others.
    time.sleep(random.random() * 0.02)
    return tag(lines)


def die_on(lines):
    if any(line.startswith("die") for line in lines):
        os.kill(os.getpid(), signal.SIGKILL)
    return tag(lines)


def fail_on(lines):
    if any(line.startswith("boom") for line in lines):
        raise ValueError("boom in a worker")
    return tag(lines)


def exit_on(lines):
    if any(line.startswith("exit") for line in lines):
        os._exit(7)
    return tag(lines)


def pieces(lines):
    return [(len(line.encode()), line) for line in lines]


def expected(lines):
    return "".join(tag(lines)).encode()


def run_all(convert, lines, jobs, **kw):
    with _jobs.Runner(convert, jobs) as runner:
        out = list(runner.run(pieces(lines), **kw))
    return out


@pytest.fixture
def small_chunks(monkeypatch):
    """Chunks of a few characters, so that a short input makes many."""
    monkeypatch.setattr(_jobs, "CHUNK_CHARS", 12)


LINES = st.lists(st.text(alphabet="абв xyz.\u0301", max_size=15).map(lambda s: s + "\n"), max_size=40)


class TestOrderAndCompleteness:
    @settings(max_examples=25, deadline=None)
    @given(LINES, st.integers(1, 3), st.booleans())
    def test_output_is_the_conversion_of_every_line_in_order(self, lines, jobs, last_line_open):
        if lines and last_line_open:
            lines[-1] = lines[-1].rstrip("\n")
        with pytest.MonkeyPatch.context() as mp:
            mp.setattr(_jobs, "CHUNK_CHARS", 12)
            out = run_all(shuffled_timing, lines, jobs)
        assert b"".join(o for _, o in out) == expected(lines)
        assert sum(n for n, _ in out) == sum(len(line.encode()) for line in lines)

    @pytest.mark.parametrize("jobs", [1, 2])
    def test_line_by_line_answers_each_line_before_reading_the_next(self, jobs):
        read = []

        def typed():
            for line in ["а\n", "б\n", "в"]:
                read.append(line)
                yield 1, line

        with _jobs.Runner(tag, jobs) as runner:
            answers = [(len(read), o) for _, o in runner.run(typed(), line_by_line=True)]
            assert runner.workers == []
        assert answers == [(1, "<а\n>".encode()), (2, "<б\n>".encode()), (3, "<в>".encode())]

    def test_one_chunk_starts_no_worker(self):
        with _jobs.Runner(tag, 4) as runner:
            assert b"".join(o for _, o in runner.run(pieces(["мама\n"] * 3))) == expected(["мама\n"] * 3)
            assert runner.workers == []

    def test_spawned_workers_where_fork_is_unavailable(self, monkeypatch, small_chunks):
        monkeypatch.setattr(_jobs.multiprocessing, "get_all_start_methods", lambda: ["spawn"])
        lines = [f"{i} абв\n" for i in range(30)]
        with _jobs.Runner(tag, 2) as runner:
            assert b"".join(o for _, o in runner.run(pieces(lines))) == expected(lines)
            assert [w.process._start_method for w in runner.workers] == ["spawn", "spawn"]

    def test_workers_serve_input_after_input_and_stop(self, small_chunks):
        first, second = [f"{i}\n" for i in range(50)], [f"x{i}\n" for i in range(30)]
        with _jobs.Runner(shuffled_timing, 2) as runner:
            assert b"".join(o for _, o in runner.run(pieces(first))) == expected(first)
            procs = [w.process for w in runner.workers]
            assert len(procs) == 2 and all(p.is_alive() and p.pid != os.getpid() for p in procs)
            assert b"".join(o for _, o in runner.run(pieces(second))) == expected(second)
            assert [w.process for w in runner.workers] == procs
        assert all(p.exitcode == 0 for p in procs)


def slow_on(lines):
    if any(line.startswith("slow") for line in lines):
        time.sleep(0.5)
    return tag(lines)


class TestBoundedReadAhead:
    @pytest.mark.parametrize("jobs", [2, 3])
    def test_one_slow_chunk_does_not_let_the_reader_run_ahead(self, small_chunks, jobs):
        # While one worker is held up, the others may not take the input
        # on and pile up its output: only a window of chunks is handed out
        # beyond the one being waited for.
        read = 0

        def counted():
            nonlocal read
            for i in range(3000):
                read += 1
                yield 5, "slow\n" if i == 30 else f"{i:04d}\n"   # 5 characters: 3 lines a chunk

        lines_per_chunk = 3
        most = yielded = 0
        with _jobs.Runner(slow_on, jobs) as runner:
            for _, out in runner.run(counted()):
                yielded += out.count(b"\n")
                most = max(most, read - yielded)
        assert yielded == 3000
        # A few chunks per worker; unbounded, the fast workers would have
        # read most of the input while the slow one slept.
        assert most <= 10 * jobs * lines_per_chunk


class TestFailures:
    LINES = [f"line {i}\n" for i in range(1, 41)]

    def check_stops_at(self, out, line):
        """Everything before `line` was yielded and nothing from it on."""
        assert b"".join(o for _, o in out) == expected(self.LINES[:line - 1])

    @pytest.mark.parametrize("convert, marker, reason", [
        (die_on, "die", "killed by SIGKILL"),
        (fail_on, "boom", "ValueError: boom in a worker"),
        (exit_on, "exit", "exited with status 7"),
    ])
    @pytest.mark.parametrize("at", [1, 17, 40])
    def test_a_worker_that_dies_or_fails_names_the_line(self, monkeypatch, convert, marker, reason, at):
        monkeypatch.setattr(_jobs, "CHUNK_CHARS", 1)   # one line a chunk
        lines = list(self.LINES)
        lines[at - 1] = f"{marker} here\n"
        out = []
        with _jobs.Runner(convert, 2) as runner:
            with pytest.raises(_jobs.WorkerFailed) as failed:
                for item in runner.run(pieces(lines)):
                    out.append(item)
            assert runner.workers == []   # the rest were stopped
        assert failed.value.line == at and reason in failed.value.reason
        assert str(failed.value).startswith(f"line {at}: ") and "\n" not in str(failed.value)
        assert b"".join(o for _, o in out) == expected(lines[:at - 1])

    def test_a_worker_killed_between_two_outputs(self, small_chunks):
        out = []
        with _jobs.Runner(tag, 2) as runner:
            with pytest.raises(_jobs.WorkerFailed) as failed:
                for item in runner.run(pieces(self.LINES)):
                    if not out:
                        victim = runner.workers[0].process
                        os.kill(victim.pid, signal.SIGKILL)
                        victim.join()
                    out.append(item)
        # The output stops at a chunk boundary, before the line named.
        self.check_stops_at(out, failed.value.line)
        assert 1 < failed.value.line <= len(self.LINES) and "SIGKILL" in failed.value.reason

    def test_a_worker_that_cannot_start(self, monkeypatch, small_chunks):
        def no_fork(self, *args):
            raise OSError(11, "Resource temporarily unavailable")

        monkeypatch.setattr(_jobs._Worker, "__init__", no_fork)
        with _jobs.Runner(tag, 2) as runner:
            with pytest.raises(_jobs.WorkerFailed, match="line 1: cannot start a worker process"):
                list(runner.run(pieces(self.LINES)))


class InputBroke(Exception):
    pass


class TestInputErrors:
    @pytest.mark.parametrize("jobs", [1, 2])
    @pytest.mark.parametrize("at", [0, 1, 13, 39])
    def test_lines_before_the_error_come_out_first(self, small_chunks, jobs, at):
        lines = [f"{i}: абв\n" for i in range(40)]

        def broken():
            yield from pieces(lines[:at])
            raise InputBroke("not UTF-8")

        out = []
        with _jobs.Runner(tag, jobs) as runner:
            with pytest.raises(InputBroke):
                for item in runner.run(broken()):
                    out.append(item)
        assert b"".join(o for _, o in out) == expected(lines[:at])


class TestUsableCores:
    def test_counts_this_process_s_cores(self):
        n = _jobs.usable_cores()
        assert n >= 1 and n <= (os.cpu_count() or 1)
        if hasattr(os, "sched_getaffinity"):
            assert n == len(os.sched_getaffinity(0))

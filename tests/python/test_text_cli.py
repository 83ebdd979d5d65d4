"""The installed `lexovia` command: output, exit codes and messages."""
import json
import os
import shutil
import signal
import subprocess
import sys

import pytest

LEXOVIA = shutil.which("lexovia", path=os.path.dirname(sys.executable)) or "lexovia"


def run(*args, stdin=b"", cwd=None):
    return subprocess.run([LEXOVIA, *args], input=stdin, capture_output=True, timeout=300, cwd=cwd)


@pytest.fixture
def text_file(tmp_path):
    path = tmp_path / "in.txt"
    path.write_bytes("Мої руки.\nДо води!\n".encode())
    return path


class TestOutput:
    """Each command starts the dictionary afresh (seconds on a busy
    machine), so one run serves several checks where it can."""

    @pytest.fixture(scope="class")
    def stressed(self, tmp_path_factory):
        path = tmp_path_factory.mktemp("cli") / "in.txt"
        path.write_bytes("Мої руки.\nДо води!\n".encode() + b"\xff\n")
        return run("stress", "--single", "--errors=replace", str(path), "-", str(path), stdin="дім".encode())

    def test_files_and_standard_input_in_order(self, stressed):
        one = "Мої́ ру́ки.\nДо́ води́!\n\ufffd\n"
        assert (stressed.returncode, stressed.stdout.decode()) == (0, one + "ді́м" + one)

    def test_no_progress_bar_when_stderr_is_not_a_terminal(self, stressed):
        assert stressed.stderr == b""

    def test_ipa(self):
        import lexovia
        proc = run("ipa", stdin="мама, мама".encode())
        ipa = "".join(lexovia.lookup("мама")["readings"][0]["ipa_syllables"])
        assert proc.stdout.decode() == f"{ipa}, {ipa}"

    def test_lookup_prints_json(self):
        import lexovia
        proc = run("lookup", "замок", "мама")
        assert proc.returncode == 0
        assert json.loads(proc.stdout) == lexovia.lookup_many(["замок", "мама"])

    def test_help_has_examples(self):
        proc = run("--help")
        assert proc.returncode == 0 and b"examples:" in proc.stdout and b"lexovia stress" in proc.stdout

    def test_version(self):
        import importlib.metadata
        proc = run("--version")
        assert (proc.returncode, proc.stdout.decode()) == (0, f"lexovia {importlib.metadata.version('lexovia')}\n")

    def test_a_line_longer_than_a_chunk_keeps_its_words(self):
        text = ("мама " * 300_000).encode()   # 3 MB, no line break
        proc = run("stress", stdin=text)
        assert proc.returncode == 0
        assert proc.stdout.decode() == "ма́ма " * 300_000


@pytest.mark.parametrize("args, expected", [
    (["stress"], "Шпу́ндрик і тї́ло.\n"),       # the model's guess and the modern spelling's stress
    (["stress", "--no-guess"], "Шпундрик і тїло.\n"),
    (["ipa", "--no-guess", "--word-separator", " "], "ʃpundrɪk i tjilɔ\n"),
])
def test_guess_is_the_default(args, expected):
    proc = run(*args, stdin="Шпундрик і тїло.\n".encode())
    assert (proc.returncode, proc.stdout.decode()) == (0, expected)


class TestMarks:
    TEXT = "Мої руки.\nЗа́мок і з+амок.\n"

    @pytest.mark.parametrize("args, expected", [
        ([], "Мої́ ру́ки.\nЗа́мок і з+а́мок.\n"),
        (["--mark", "acute"], "Мої́ ру́ки.\nЗа́мок і з+а́мок.\n"),
        # a + before a consonant is no mark in plus-after: амок is a word
        (["--mark", "plus-after"], "Мої+ ру+ки.\nЗа́мок і з+а+мок.\n"),
        (["--mark", "plus-before"], "Мо+ї р+уки.\nЗа́мок і з+амок.\n"),
    ])
    def test_stress(self, args, expected):
        proc = run("stress", *args, stdin=self.TEXT.encode())
        assert (proc.returncode, proc.stdout.decode()) == (0, expected)

    def test_ipa_reads_the_marks_and_separates(self):
        proc = run("ipa", "--mark", "plus-before", "--syllable-separator", ".", "--word-separator", " | ",
                   stdin="з+амок на горі,\nсло́во\n".encode())
        assert (proc.returncode, proc.stdout.decode()) == (0, "ˈzɑ.mɔk | nɑ | ɦɔ̝.ˈri\nˈslɔ.ʋɔ\n")

    @pytest.mark.parametrize("command", ["stress", "ipa"])
    def test_an_unknown_format_is_a_usage_error(self, command):
        proc = run(command, "--mark", "caret")
        assert proc.returncode == 2 and b"--mark" in proc.stderr and b"Traceback" not in proc.stderr


class TestBadInput:
    """One line on standard error, exit status 2, no traceback."""

    def check(self, proc, *fragments):
        err = proc.stderr.decode()
        assert proc.returncode == 2, err
        assert err.count("\n") == 1 and err.startswith("lexovia: "), err
        assert "Traceback" not in err
        for fragment in fragments:
            assert fragment in err
        return err

    def test_missing_file(self, tmp_path):
        self.check(run("stress", str(tmp_path / "nope.txt")), "nope.txt", "no such file")

    def test_directory(self, tmp_path):
        self.check(run("ipa", str(tmp_path)), str(tmp_path), "directory")

    @pytest.mark.skipif(os.geteuid() == 0, reason="root reads every file")
    def test_unreadable_file(self, text_file):
        text_file.chmod(0)
        self.check(run("stress", str(text_file)), "permission denied")

    def test_not_utf8_names_file_and_offset(self, tmp_path):
        path = tmp_path / "latin1.txt"
        path.write_bytes(b"hello\nab\xe9cd\n")   # Latin only: fails before the dictionary loads
        err = self.check(run("stress", str(path)), "latin1.txt", "byte 8", "--errors=replace")
        assert "UTF-8" in err

    def test_not_utf8_on_standard_input(self):
        self.check(run("ipa", stdin=b"\x80"), "standard input", "byte 0")

    def test_files_are_checked_before_any_output(self, text_file, tmp_path):
        proc = run("stress", str(text_file), str(tmp_path / "nope.txt"))
        assert proc.stdout == b""
        self.check(proc, "nope.txt")

    @pytest.mark.parametrize("args", [[], ["stress", "--no-such-option"], ["lookup"], ["frobnicate"]])
    def test_usage_errors(self, args):
        proc = run(*args)
        assert proc.returncode == 2 and b"usage:" in proc.stderr and b"Traceback" not in proc.stderr


def test_closed_output_is_not_an_error(text_file):
    big = ("Мої руки. " * 100_000 + "\n").encode() * 5
    proc = subprocess.run(f"{LEXOVIA} stress | head -c 10", shell=True, input=big, capture_output=True,
                          timeout=300)
    assert b"Traceback" not in proc.stderr and b"Broken pipe" not in proc.stderr


class TestProgressBar:
    """The bar goes to standard error when that is a terminal and standard
    output is not the same one, fits its line, and is erased before anything
    more is written there. Latin text only: the dictionary is not loaded."""

    TEXT = b"hello world\n" * 2000
    ERASE = b"\r\x1b[K"

    @staticmethod
    def run_on(args, stdout, stderr, columns=80):
        """Runs the command with standard output and error each on a
        terminal ("a", "b": two different ones) or a pipe (None); returns the
        exit status and what each terminal and the pipe received."""
        import fcntl
        import pty
        import select
        import struct
        import termios
        terminals = {}
        for name in {stdout, stderr} - {None}:
            master, slave = pty.openpty()
            fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
            terminals[name] = (master, slave)
        proc = subprocess.Popen([LEXOVIA, *args],
                                stdout=terminals[stdout][1] if stdout else subprocess.PIPE,
                                stderr=terminals[stderr][1] if stderr else subprocess.PIPE)
        for _, slave in terminals.values():
            os.close(slave)
        sources = {master: name for name, (master, _) in terminals.items()}
        for pipe, name in ((proc.stdout, "out"), (proc.stderr, "err")):
            if pipe is not None:
                sources[pipe.fileno()] = name
        seen = {name: b"" for name in sources.values()}
        try:
            while sources:
                ready, _, _ = select.select(list(sources), [], [], 300)
                assert ready, "the command hung"
                for fd in ready:
                    try:
                        chunk = os.read(fd, 65536)
                    except OSError:   # a terminal whose other end has closed
                        chunk = b""
                    if chunk:
                        seen[sources[fd]] += chunk
                    else:
                        del sources[fd]
        finally:
            for master, _ in terminals.values():
                os.close(master)
            proc.wait(timeout=300)
        return proc.returncode, seen

    @pytest.fixture
    def latin(self, tmp_path):
        path = tmp_path / "latin.txt"
        path.write_bytes(self.TEXT)
        return path

    def test_drawn_when_output_goes_elsewhere_and_erased_at_the_end(self, latin):
        status, seen = self.run_on(["stress", str(latin)], stdout=None, stderr="a")
        assert status == 0 and seen["out"] == self.TEXT
        assert b"latin.txt: [" in seen["a"] and b"%" in seen["a"]
        assert seen["a"].endswith(self.ERASE)

    def test_drawn_when_output_is_another_terminal(self, latin):
        status, seen = self.run_on(["stress", str(latin)], stdout="b", stderr="a")
        assert status == 0 and b"latin.txt: [" in seen["a"] and seen["a"].endswith(self.ERASE)
        assert seen["b"] == self.TEXT.replace(b"\n", b"\r\n")

    def test_not_drawn_into_text_on_the_same_terminal(self, latin):
        status, seen = self.run_on(["stress", str(latin)], stdout="a", stderr="a")
        assert status == 0 and seen["a"] == self.TEXT.replace(b"\n", b"\r\n")

    def test_not_drawn_when_standard_error_is_no_terminal(self, latin):
        status, seen = self.run_on(["stress", str(latin)], stdout="a", stderr=None)
        assert status == 0 and seen["err"] == b""

    def test_erased_before_an_error_message(self, latin, tmp_path):
        bad = tmp_path / "bad.txt"
        bad.write_bytes(self.TEXT + b"\xff\n")
        status, seen = self.run_on(["ipa", str(latin), str(bad)], stdout=None, stderr="a")
        assert status == 2
        bar, _, message = seen["a"].rpartition(self.ERASE)
        assert b"bad.txt: [" in bar
        assert message.startswith(b"lexovia: ") and b"bad.txt" in message and b"[" not in message

    def test_fits_a_narrow_terminal(self, tmp_path):
        path = tmp_path / ("a-rather-long-file-name-" * 4 + ".txt")
        path.write_bytes(self.TEXT)
        status, seen = self.run_on(["stress", str(path)], stdout=None, stderr="a", columns=40)
        drawn = [line for line in seen["a"].replace(self.ERASE, b"\r").split(b"\r") if line]
        assert status == 0 and drawn
        for line in drawn:
            assert len(line.decode()) < 40 and line.decode().endswith("%")
            assert "-.txt: [" in line.decode()


SENTENCES = ["Мої руки пахнуть хлібом.", "Без води не буде роботи, сім'я!", "До руки дали новий замок.",
             "Дві площини перетинаються — будь-який учень це знає.", "Старий замок стоїть на горі.",
             "Вона сама прийшла до мене того ж дня.", "Latin words, 2024 and «лапки» stay."]


def corpus_lines(n):
    return [f"{i}. {SENTENCES[i % len(SENTENCES)]} {SENTENCES[(i * 3 + 1) % len(SENTENCES)]}\n"
            for i in range(n)]


@pytest.fixture(scope="module")
def corpus(tmp_path_factory):
    """A file of 0.6 MB (some six chunks of work) and its lines."""
    lines = corpus_lines(6_000)
    path = tmp_path_factory.mktemp("jobs") / "corpus.txt"
    path.write_text("".join(lines), encoding="utf-8")
    return path, lines


def stressed(lines, **options):
    import lexovia_text
    return "".join(lexovia_text.stress_text(line, **options) for line in lines).encode()


def children(pid):
    """The processes whose parent is `pid`."""
    out = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open(f"/proc/{entry}/stat") as f:
                    fields = f.read().rsplit(")", 1)[1].split()
            except OSError:
                continue
            if int(fields[1]) == pid:
                out.append(int(entry))
    return out


def gone(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] == "Z"
    except OSError:
        return True


class TestJobs:
    def test_output_in_input_order_across_files_and_standard_input(self, corpus, tmp_path):
        path, lines = corpus
        short = tmp_path / "short.txt"
        short.write_text("до руки\nбез води", encoding="utf-8")
        proc = run("stress", "--jobs", "2", "--single", str(path), str(short), "-", str(path),
                   stdin="Замок на горі.\n".encode())
        assert proc.returncode == 0 and proc.stderr == b"", proc.stderr
        whole = stressed(lines, single=True)
        expected = whole + stressed(["до руки\n", "без води"], single=True) + stressed(["Замок на горі.\n"],
                                                                                       single=True) + whole
        assert proc.stdout == expected

    def test_ipa_with_workers(self, corpus):
        import lexovia_text
        path, lines = corpus
        proc = run("ipa", "--jobs", "3", "--guess", str(path))
        assert proc.returncode == 0, proc.stderr
        assert proc.stdout == "".join(lexovia_text.transcribe_text(line, guess=True) for line in lines).encode()

    def test_undecodable_byte_after_many_chunks(self, corpus, tmp_path):
        _, lines = corpus
        bad = tmp_path / "bad.txt"
        head = "".join(lines[:4000]).encode()
        bad.write_bytes(head + b"\xff oops\n" + "".join(lines[4000:]).encode())
        proc = run("stress", "--jobs", "2", str(bad))
        err = proc.stderr.decode()
        assert proc.returncode == 2 and err == (f"lexovia: {bad}: not UTF-8 at byte {len(head)} "
                                                f"(use --errors=replace to replace undecodable bytes)\n")
        assert proc.stdout == stressed(lines[:4000])   # everything before the bad line, as with one job

    def test_a_killed_worker_ends_the_command_naming_the_line(self, corpus):
        path, lines = corpus
        proc = subprocess.Popen([LEXOVIA, "stress", "--jobs", "2", str(path)], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        try:
            # Output has begun, so the workers are at work; while it is not
            # read, the command cannot get far.
            out = proc.stdout.read(1)
            workers = children(proc.pid)
            assert len(workers) == 2
            os.kill(workers[0], signal.SIGKILL)
            out += proc.stdout.read()
            err = proc.stderr.read().decode()
        finally:
            proc.kill()
            proc.wait()
        assert proc.returncode == 1 and err.count("\n") == 1 and "Traceback" not in err, err
        prefix = f"lexovia: {path}: line "
        assert err.startswith(prefix) and "killed by SIGKILL" in err, err
        line = int(err[len(prefix):].split(":")[0])
        assert 1 < line < len(lines)
        # Never silently short: exactly the lines before the one named.
        assert out == stressed(lines[:line - 1])

    def test_ctrl_c_stops_every_process_at_once(self, corpus):
        path, _ = corpus
        proc = subprocess.Popen([LEXOVIA, "stress", "--jobs", "2", str(path)], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, start_new_session=True)
        try:
            proc.stdout.read(1)
            workers = children(proc.pid)
            assert len(workers) == 2
            os.killpg(proc.pid, signal.SIGINT)   # what a terminal sends the whole foreground group
            out, err = proc.communicate(timeout=60)
        finally:
            proc.kill()
            proc.wait()
        assert proc.returncode == 130 and err == b""
        assert all(gone(w) for w in workers)

    @pytest.mark.parametrize("value, message", [("0", "must be from 1"), ("-2", "must be from 1"),
                                                ("two", "not a whole number"), ("100000", "must be from 1"),
                                                ("", "not a whole number")])
    def test_bad_job_counts(self, value, message):
        proc = run("stress", "--jobs", value)
        assert proc.returncode == 2 and message.encode() in proc.stderr and b"Traceback" not in proc.stderr

    def test_a_terminal_is_answered_line_by_line(self):
        import pty
        import select
        master, slave = pty.openpty()
        proc = subprocess.Popen([LEXOVIA, "stress"], stdin=slave, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        os.close(slave)
        try:
            os.write(master, "до руки\n".encode())
            # The answer comes while the input is still open.
            ready, _, _ = select.select([proc.stdout], [], [], 120)
            assert ready and proc.stdout.readline() == "до руки́\n".encode()
            assert children(proc.pid) == []   # one job: no workers
            os.write(master, b"\x04")   # end of input
            assert proc.wait(timeout=60) == 0
        finally:
            proc.kill()
            proc.wait()
            os.close(master)

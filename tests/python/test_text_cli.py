"""The installed `lexovia` command: output, exit codes and messages."""
import json
import os
import shutil
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

    def test_a_line_longer_than_a_chunk_keeps_its_words(self):
        text = ("мама " * 300_000).encode()   # 3 MB, no line break
        proc = run("stress", stdin=text)
        assert proc.returncode == 0
        assert proc.stdout.decode() == "ма́ма " * 300_000


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


def test_progress_bar_on_a_terminal(tmp_path):
    import pty
    path = tmp_path / "latin.txt"
    path.write_bytes(b"hello world\n" * 1000)   # no Ukrainian word: the dictionary is not loaded
    master, slave = pty.openpty()
    try:
        proc = subprocess.run([LEXOVIA, "stress", str(path)], stderr=slave, stdout=subprocess.PIPE, timeout=300)
        os.close(slave)
        seen = b""
        while True:
            try:
                chunk = os.read(master, 4096)
            except OSError:   # the terminal is closed once everything is read
                break
            if not chunk:
                break
            seen += chunk
    finally:
        os.close(master)
    assert proc.returncode == 0 and proc.stdout == b"hello world\n" * 1000
    assert b"latin.txt: [" in seen and b"%" in seen

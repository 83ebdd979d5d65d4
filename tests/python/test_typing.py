"""The installed type information matches the module and checks real code."""
import os
import subprocess
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))


def mypy(*args, cwd=HERE):
    return subprocess.run([sys.executable, "-m", *args], capture_output=True, text=True, cwd=cwd,
                          timeout=600)


@pytest.mark.parametrize("module", ["lexovia", "lexovia_text._phonetics"])
def test_stub_matches_the_runtime_module(module):
    proc = mypy("mypy.stubtest", module, cwd="/")
    assert proc.returncode == 0, proc.stdout + proc.stderr


@pytest.mark.parametrize("target", [["typed_example.py"], ["typed_text_example.py"], ["-p", "lexovia_text"]])
def test_code_passes_strict_checking(target):
    cwd = "/" if target[0] == "-p" else HERE
    proc = mypy("mypy", "--strict", "--no-incremental", *target, cwd=cwd)
    assert proc.returncode == 0, proc.stdout + proc.stderr


MISUSE = {
    "module": (
        "import lexovia\n"
        "lexovia.transcribe(1, 0)\n"
        "x: int = lexovia.mark('a')\n"
        "lexovia.lookup('a')['readings'][0]['no_such_key']\n"
        "lexovia.mark_many('abc').append(1)\n"
    ),
    "text": (
        "import lexovia_text\n"
        "lexovia_text.stress_text(b'bytes')\n"
        "x: int = lexovia_text.transcribe_text('a')\n"
        "lexovia_text.stress_text('a', single='yes')\n"
        "next(lexovia_text.annotate('a')).no_such_field\n"
        "lexovia_text.stress_text('a', mark='plus')\n"
    ),
}
ERRORS = {"module": 4, "text": 5}


@pytest.mark.parametrize("name", sorted(MISUSE))
def test_misuse_is_caught(tmp_path, name):
    bad = tmp_path / f"bad_{name}.py"
    bad.write_text(MISUSE[name])
    proc = mypy("mypy", "--strict", "--no-incremental", str(bad), cwd=str(tmp_path))
    assert proc.returncode == 1
    assert proc.stdout.count("error:") == ERRORS[name], proc.stdout

"""tools/setup: which Debian packages it installs, how (root, sudo), what
it says when it cannot, and the virtual environment it leaves.

The script runs from a copy of the tree's tools/ with stand-ins for
dpkg-query, apt-get, apt-cache, sudo, id and the Python interpreter on PATH;
each stand-in logs its call, so the tests see exactly what would have run.
"""
import os
import shutil
import subprocess
import textwrap
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
BUILD = ["g++", "libbz2-dev"]
TESTS = BUILD + ["libgtest-dev", "bzip2", "clang-14", "libclang-rt-14-dev"]

STANDINS = {
    "dpkg-query": """
        # dpkg-query -W -f=${Status} PACKAGE
        for p in $FAKE_INSTALLED; do
            if [ "$p" = "$3" ]; then printf 'install ok installed'; exit 0; fi
        done
        exit 1
        """,
    "apt-get": 'echo "apt-get $*" >> "$FAKE_LOG"',
    "apt-cache": "exit 100",
    "sudo": """
        if [ "$1" = -n ]; then exit "$FAKE_SUDO_STATUS"; fi
        echo "sudo" >> "$FAKE_LOG"
        exec "$@"
        """,
    "id": 'echo "$FAKE_UID"',
}

# Creates a venv as a directory holding a copy of itself; logs pip calls.
FAKE_PYTHON = """
    if [ "$1 $2" = "-m venv" ]; then
        mkdir -p "$3/bin" && cp "$0" "$3/bin/python"
    else
        echo "python $*" >> "$FAKE_LOG"
    fi
    """


def script(path, body):
    path.write_text("#!/bin/sh\n" + textwrap.dedent(body))
    path.chmod(0o755)


@pytest.fixture
def run(tmp_path):
    tree = tmp_path / "tree"
    (tree / "tools").mkdir(parents=True)
    shutil.copy(ROOT / "tools" / "setup", tree / "tools" / "setup")
    bin_dir = tmp_path / "bin"
    bin_dir.mkdir()
    for name, body in STANDINS.items():
        script(bin_dir / name, body)
    script(tmp_path / "python3.13", FAKE_PYTHON)
    log = tmp_path / "log"

    def go(*args, installed=(), uid=0, sudo_ok=False, python=True):
        script(tree / "tools" / "find-python",
               f'echo "{tmp_path / "python3.13"}"' if python else "exit 1")
        log.write_text("")
        env = dict(os.environ, PATH=f"{bin_dir}:{os.environ['PATH']}", FAKE_LOG=str(log),
                   FAKE_INSTALLED=" ".join(installed), FAKE_UID=str(uid),
                   FAKE_SUDO_STATUS="0" if sudo_ok else "1")
        proc = subprocess.run([str(tree / "tools" / "setup"), *args], env=env, capture_output=True,
                              text=True, timeout=60)
        return proc, log.read_text().splitlines(), tree
    return go


def apt_install(packages):
    return "apt-get install -y -qq --no-install-recommends " + " ".join(packages)


@pytest.mark.parametrize("args, installed, uid, sudo_ok, calls", [
    # nothing missing: apt is never called, so no network or root is needed
    ([], BUILD, 1000, False, []),
    (["--tests"], TESTS, 1000, False, ["python -m pip install -q --disable-pip-version-check "
                                       "-r tests/requirements.txt"]),
    # as root: apt-get directly, only what is missing, in the listed order
    ([], ["g++"], 0, False, ["apt-get update -qq", apt_install(["libbz2-dev"])]),
    (["--tests"], ["g++", "bzip2"], 0, False,
     ["apt-get update -qq", apt_install(["libbz2-dev", "libgtest-dev", "clang-14", "libclang-rt-14-dev"]),
      "python -m pip install -q --disable-pip-version-check -r tests/requirements.txt"]),
    # not root, password-less sudo: through sudo
    ([], [], 1000, True, ["sudo", "apt-get update -qq", "sudo", apt_install(BUILD)]),
])
def test_installs_what_is_missing(run, args, installed, uid, sudo_ok, calls):
    proc, log, tree = run(*args, installed=installed, uid=uid, sudo_ok=sudo_ok)
    assert proc.returncode == 0, proc.stderr
    assert log == calls
    assert (tree / ".venv" / "bin" / "python").is_file()


@pytest.mark.parametrize("args, installed, missing", [
    ([], ["g++"], ["libbz2-dev"]),
    (["--tests"], BUILD + ["bzip2"], ["libgtest-dev", "clang-14", "libclang-rt-14-dev"]),
])
def test_without_root_or_sudo_names_what_is_missing_in_one_line(run, args, installed, missing):
    proc, log, tree = run(*args, installed=installed, uid=1000, sudo_ok=False)
    assert proc.returncode == 1
    assert log == []
    assert proc.stderr.count("\n") == 1
    assert f"missing Debian packages: {' '.join(missing)};" in proc.stderr
    assert proc.stderr.rstrip().endswith("sudo apt-get install " + " ".join(missing))
    assert not (tree / ".venv").exists()


def test_without_python_313_says_how_to_get_it(run):
    proc, log, tree = run(installed=BUILD, python=False)
    assert proc.returncode == 1
    assert proc.stderr.count("\n") == 1
    assert "no CPython 3.13 with headers" in proc.stderr and "pyenv install 3.13" in proc.stderr
    assert not (tree / ".venv").exists()


def test_rejects_unknown_arguments(run):
    proc, log, _ = run("--test", installed=TESTS)
    assert proc.returncode == 2
    assert log == []

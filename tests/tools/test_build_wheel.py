"""tools/build-wheel on the .venv that tools/demo alone leaves (no build
tools in it), on a full one, and without one; and the README's install
lines, run as written against the wheel the test command built.

build-wheel runs from a copy of the tree's tools/ with a stand-in for the
venv's Python that logs its calls and makes the files the real tools would,
so the tests see what would have run and in which order.
"""
import os
import re
import shutil
import subprocess
import textwrap
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]

# The venv's python: the import check answers from FAKE_HAS_TOOLS, pip logs,
# build and auditwheel make their files.
FAKE_PYTHON = """
    echo "python $*" >> "$FAKE_LOG"
    case "$*" in
        "-P -c "*) exit "$FAKE_HAS_TOOLS" ;;
        *" -m build "*)
            out=$6
            touch "$out/lexovia-0.1.0.tar.gz" "$out/lexovia-0.1.0-cp313-cp313-linux_x86_64.whl" ;;
        *" -m auditwheel repair "*)
            touch "$6/lexovia-0.1.0-cp313-cp313-manylinux_2_35_x86_64.whl" ;;
    esac
    """


def script(path, body):
    path.write_text("#!/bin/sh\n" + textwrap.dedent(body))
    path.chmod(0o755)


@pytest.fixture
def run(tmp_path):
    tree = tmp_path / "tree"
    (tree / "tools").mkdir(parents=True)
    (tree / "build").mkdir()       # as in a tree that has been built: it must not shadow `build`
    for name in ("build-wheel", "build-requirements.txt"):
        shutil.copy(ROOT / "tools" / name, tree / "tools" / name)
    log = tmp_path / "log"

    def go(venv=True, has_tools=True, patchelf=True):
        if venv:
            (tree / ".venv" / "bin").mkdir(parents=True, exist_ok=True)
            script(tree / ".venv" / "bin" / "python", FAKE_PYTHON)
            if patchelf:
                script(tree / ".venv" / "bin" / "patchelf", "exit 0")
        log.write_text("")
        env = dict(os.environ, FAKE_LOG=str(log), FAKE_HAS_TOOLS="0" if has_tools else "1")
        env.pop("LEXOVIA_VENV", None)
        proc = subprocess.run([str(tree / "tools" / "build-wheel"), "dist"], env=env, capture_output=True,
                              text=True, timeout=60, cwd=tmp_path)
        return proc, log.read_text().splitlines(), tree
    return go


def install_line(tree):
    return ("python -m pip install -q --disable-pip-version-check -r "
            f"{tree / 'tools' / 'build-requirements.txt'}")


@pytest.mark.parametrize("has_tools, patchelf, installs", [
    (True, True, False),     # a .venv set up by tests/run
    (False, False, True),    # the .venv of tools/demo: nothing to build with
    (True, False, True),     # the system's patchelf is no substitute
])
def test_builds_installing_the_tools_it_lacks(run, has_tools, patchelf, installs):
    proc, log, tree = run(has_tools=has_tools, patchelf=patchelf)
    assert proc.returncode == 0, proc.stderr
    assert (install_line(tree) in log) is installs
    build = [k for k, line in enumerate(log) if " -m build " in line]
    assert len(build) == 1
    if installs:
        assert log.index(install_line(tree)) < build[0]
        assert "installing the build tools" in proc.stdout
    assert sorted(p.name for p in (tree / "dist").iterdir()) == [
        "lexovia-0.1.0-cp313-cp313-manylinux_2_35_x86_64.whl", "lexovia-0.1.0.tar.gz"]


def test_python_never_looks_for_modules_in_the_tree(run):
    # build/ in the repository root would be taken for the build package.
    proc, log, _ = run()
    assert proc.returncode == 0, proc.stderr
    for line in log:
        if " -m pip " not in line:
            assert line.startswith("python -P "), line


def test_without_a_venv_says_what_to_run_first(run):
    proc, log, _ = run(venv=False)
    assert proc.returncode == 1 and log == []
    assert proc.stderr.count("\n") == 1 and "tools/demo" in proc.stderr


def readme_block(heading):
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    section = text.split(heading, 1)[1]
    return re.search(r"```sh\n(.*?)```", section, re.S).group(1)


def test_readme_install_lines_work_with_the_python_find_python_finds(tmp_path):
    block = readme_block("## Installing the wheel")
    assert "tools/find-python" in block
    wheels = re.findall(r"dist/(\S+\.whl)", block)
    assert wheels and all((ROOT / "dist" / w).is_file() for w in wheels), \
        f"{wheels} not in {ROOT / 'dist'}: build the wheel first (tools/build-wheel, as tests/run does)"
    for name in ("tools", "dist"):
        (tmp_path / name).symlink_to(ROOT / name)
    proc = subprocess.run(["bash", "-euo", "pipefail", "-c", block], cwd=tmp_path, capture_output=True,
                          text=True, timeout=600)
    assert proc.returncode == 0, proc.stdout + proc.stderr
    assert "Name: lexovia" in proc.stdout
    check = subprocess.run([str(tmp_path / "env" / "bin" / "python"), "-c",
                            "import lexovia_text; print(lexovia_text.transcribe_text('слово'))"],
                           cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert (check.returncode, check.stdout) == (0, "ˈslɔʋɔ\n"), check.stderr

import os
import subprocess
import sys
import textwrap

import pytest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
TEST_MODULES = os.path.join(ROOT, "build", "dev", "test-modules")


def run_python(code, module_dir=None, timeout=300, stdin=None, env=None):
    """Runs code in a fresh interpreter; module_dir, when given, is put first
    on the module path so that its build of lexovia is imported; `stdin` is
    its input and `env` variables added to its environment."""
    env = dict(os.environ, **(env or {}))
    if module_dir is not None:
        env["PYTHONPATH"] = module_dir
    return subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True, input=stdin,
                          text=True, timeout=timeout, env=env, cwd="/")


@pytest.fixture
def variant():
    """The directory of a test build of the module that embeds the named
    test image (built by the dev CMake preset)."""
    def find(name):
        path = os.path.join(TEST_MODULES, name)
        if not os.path.isdir(path):
            pytest.fail(f"test build {path} is missing: build the dev preset first (tests/run does)")
        return path
    return find

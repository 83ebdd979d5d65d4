"""Helpers shared by the benchmarks: the word list and Debian packages."""
import os
import random
import shutil
import subprocess
import sys

WORDLIST = "/usr/share/dict/ukrainian"  # Debian package wukrainian
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Large generated files (gitignored).
WORK_DIR = os.path.join(REPO, "bench", "work")
# Not resolved further: the venv's python is a symlink out of the venv.
PYTHON = os.path.abspath(sys.executable)


def ensure_debian_packages(*packages):
    """Installs the Debian packages that are missing (needs root or sudo)."""
    missing = [p for p in packages
               if subprocess.run(["dpkg", "-s", p], capture_output=True).returncode != 0]
    if not missing:
        return
    sudo = [] if os.geteuid() == 0 else ["sudo"]
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(sudo + ["apt-get", "update", "-qq"], check=True, env=env)
    subprocess.run(sudo + ["apt-get", "install", "-y", "-qq", *missing], check=True, env=env,
                   stdout=subprocess.DEVNULL)


def ukrainian_words():
    """Every form of Debian's Ukrainian word list, in file order."""
    ensure_debian_packages("wukrainian")
    with open(WORDLIST, encoding="utf-8") as f:
        return [w for w in (line.strip() for line in f) if w]


def sample(words, n, seed=1):
    return random.Random(seed).sample(words, min(n, len(words)))


def require(tool, package):
    if shutil.which(tool) is None:
        ensure_debian_packages(package)


def tool_env():
    """The environment with the virtual environment's bin first (cmake, ninja)."""
    env = dict(os.environ)
    env["PATH"] = os.path.dirname(PYTHON) + os.pathsep + env.get("PATH", "")
    return env


def cmake_cached(build, name):
    """A value from a build directory's CMake cache, or None."""
    try:
        with open(os.path.join(build, "CMakeCache.txt"), encoding="utf-8") as f:
            for line in f:
                key, sep, value = line.rstrip("\n").partition("=")
                if sep and key.split(":")[0] == name:
                    return value
    except OSError:
        pass
    return None


def run_quietly(cmd, env):
    """Runs a build step; its output is shown only when it fails."""
    proc = subprocess.run(cmd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    if proc.returncode != 0:
        sys.stderr.write(proc.stdout[-20000:])
        raise SystemExit(f"{' '.join(cmd)}: exit status {proc.returncode}")


def build_module(image, build):
    """Builds the module embedding `image` (a compressed dictionary image) in
    `build`: configured when needed, then rebuilt where stale. Import it with
    PYTHONPATH=build."""
    env = tool_env()
    cmake = shutil.which("cmake", path=env["PATH"])
    if cmake is None:
        raise SystemExit("cmake not found (pip install cmake ninja into the venv)")
    if (cmake_cached(build, "LEXOVIA_DICT_IMAGE") != image or cmake_cached(build, "Python_EXECUTABLE") != PYTHON
            or cmake_cached(build, "CMAKE_BUILD_TYPE") != "Release"):
        run_quietly([cmake, "-S", REPO, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     "-DLEXOVIA_BUILD_TESTS=OFF", f"-DPython_EXECUTABLE={PYTHON}",
                     f"-DLEXOVIA_DICT_IMAGE={image}"], env)
    run_quietly([cmake, "--build", build, "--target", "lexovia"], env)

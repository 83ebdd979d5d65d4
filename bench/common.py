"""Helpers shared by the benchmarks: the word list and Debian packages."""
import os
import random
import shutil
import subprocess

WORDLIST = "/usr/share/dict/ukrainian"  # Debian package wukrainian
REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Large generated files (gitignored).
WORK_DIR = os.path.join(REPO, "bench", "work")


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

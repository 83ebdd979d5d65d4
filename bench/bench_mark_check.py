"""mark() against the full lookup over every key of the shipped image.

mark() computes only the stress position of the first reading; lookup()
builds every reading with its transcription and morphology. This script
checks, for every key of the embedded dictionary as stored and with its
first letter capitalised, that mark() equals the first reading's stressed
form, and prints how much faster the short path is (both timed in the same
process, on the same words). The C++ tests run the same check on a sample
of the keys.

Usage: bench/run bench_mark_check.py [--every N]
"""
import argparse
import os
import subprocess
import sys

from common import PYTHON, REPO, WORK_DIR, cmake_cached, run_quietly, tool_env

BUILD = os.path.join(WORK_DIR, "build-mark-check")
IMAGE = os.path.join(REPO, "data", "lexovia.dict.bz2")


def build_checker():
    env = tool_env()
    if cmake_cached(BUILD, "CMAKE_BUILD_TYPE") != "Release":
        run_quietly(["cmake", "-S", REPO, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                     "-DLEXOVIA_BUILD_MODULE=OFF", f"-DPython_EXECUTABLE={PYTHON}"], env)
    run_quietly(["cmake", "--build", BUILD, "--target", "lexovia_mark_check"], env)
    return os.path.join(BUILD, "tools", "lexovia_mark_check")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--every", type=int, default=1, help="check every N-th key (default: all)")
    args = parser.parse_args()
    checker = build_checker()
    sys.exit(subprocess.run([checker, "--every", str(args.every), IMAGE]).returncode)


if __name__ == "__main__":
    main()

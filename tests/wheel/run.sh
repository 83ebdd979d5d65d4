#!/usr/bin/env bash
# Runs the Python tests against an installed wheel, as a user gets it:
# a fresh virtual environment holding only the wheel and the test tools
# (tests/requirements-check.txt), pytest started outside the source tree so
# that nothing but the installed module can be imported, and, where this
# script may (root and unshare), no C/C++ compiler and no headers visible,
# so that the install cannot quietly lean on a build.
#
# Usage: tests/wheel/run.sh WHEEL [PYTEST ARGS...]
set -euo pipefail

wheel=$(realpath "${1:?usage: tests/wheel/run.sh WHEEL [PYTEST ARGS...]}")
shift
root=$(cd "$(dirname "$0")/../.." && pwd)
venv=$root/build/wheel-venv
scratch=$root/build/wheel-scratch

if [ "${1:-}" != --inside ]; then
    rm -rf "$venv" "$scratch"
    mkdir -p "$scratch"
    "$("$root/tools/find-python")" -m venv "$venv"
    "$venv/bin/python" -m pip install -q --disable-pip-version-check -r "$root/tests/requirements-check.txt"
    # The wheel alone, never the sdist beside it, and nothing from an index.
    "$venv/bin/python" -m pip install -q --disable-pip-version-check --no-index --no-deps \
        --only-binary=:all: "$wheel"
fi

# Directories whose absence leaves no way to compile anything: the system's
# headers (Python.h, bzlib.h), the interpreter's headers, and the compilers'
# back ends (cc1plus, collect2, clang's resources).
include=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["include"])')
hide=(/usr/include /usr/local/include "$include" /usr/lib/gcc /usr/libexec/gcc /usr/lib/llvm-14)

run_tests() {
    cd "$scratch"
    # Reports where the module came from; the suite checks it belongs to
    # the installed distribution.
    "$venv/bin/python" -c 'import lexovia; print("testing", lexovia.__file__)'
    "$venv/bin/python" -m pytest -q -p no:cacheprovider "$root/tests/python" "$@"
}

if [ "${1:-}" = --inside ]; then
    shift
    for d in "${hide[@]}"; do
        if [ -d "$d" ]; then mount -t tmpfs -o ro,size=4k lexovia-hidden "$d"; fi
    done
    if printf 'int main() { return 0; }\n' | c++ -x c++ -o /dev/null - >/dev/null 2>&1; then
        echo "tests/wheel/run.sh: a C++ compiler still works after hiding ${hide[*]}" >&2
        exit 1
    fi
    echo "no compiler, no headers: ${hide[*]} hidden"
    run_tests "$@"
elif [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
    # A private mount namespace: the hiding ends with this command.
    exec unshare -m --propagation private "$0" "$wheel" --inside "$@"
else
    echo "compilers and headers stay visible: hiding them needs root and a private mount namespace (unshare -m)"
    run_tests "$@"
fi

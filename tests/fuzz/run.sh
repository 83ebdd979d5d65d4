#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz, writes their seed corpora and
# runs each target for SECONDS seconds.
#
# Usage: tests/fuzz/run.sh SECONDS [TARGET...]
#   TARGET: decode_image, load_compressed, bzip2_block, transcribe, mark, guess (default: all, one
#   after the other)
#   FUZZ_CONCURRENT=1 runs the targets at the same time instead.
#   CXX_FUZZ picks the clang (default clang++-14).
#
# Inputs that libFuzzer finds new coverage with accumulate in
# build/fuzz/corpus/TARGET; crashes land in build/fuzz/artifacts/. A run
# fails (non-zero exit) on any crash, sanitizer report, disagreement between
# loading paths, timeout, or an allocation over the limit below: the image
# decoder never reserves more than 1 MiB for a count it has not seen the
# data of, and an inflated bzip2 block is at most ~47 MB. The transcription
# target gets words of up to 256 KiB and 10 s each: linear passes take
# milliseconds there even instrumented, while one scan restarted for every
# letter takes far longer than the limit (its seeds hold such words).
set -euo pipefail

seconds=${1:?usage: tests/fuzz/run.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(decode_image load_compressed bzip2_block transcribe mark guess)

root=$(cd "$(dirname "$0")/../.." && pwd)
build="$root/build/fuzz"
cxx=${CXX_FUZZ:-clang++-14}
python="$root/.venv/bin/python"
[ -x "$python" ] || python=python3

generator=()
if [ ! -f "$build/CMakeCache.txt" ] && command -v ninja >/dev/null; then generator=(-G Ninja); fi
# Quiet unless something fails; then the whole output is shown.
quietly() {
    local out
    if ! out=$("$@" 2>&1); then
        printf '%s\n' "$out"
        echo "fuzz build failed: $*" >&2
        return 1
    fi
}
quietly cmake -S "$root/tests/fuzz" -B "$build" "${generator[@]}" -DCMAKE_CXX_COMPILER="$cxx"
quietly cmake --build "$build"
rm -rf "$build/seeds"
"$python" "$root/tests/fuzz/make_corpus.py" "$build/seeds"
mkdir -p "$build/artifacts" "$build/logs"

run_target() {
    local target=$1
    local log="$build/logs/$target.log"
    mkdir -p "$build/corpus/$target"
    local limits=(-timeout=60 -dict="$root/tests/fuzz/bzip2.dict")
    if [ "$target" = transcribe ]; then
        limits=(-timeout=10 -max_len=262144 -dict="$root/tests/fuzz/letters.dict")
    elif [ "$target" = guess ]; then
        # Words of up to 8 KiB: the model's cost is linear in the vowels,
        # and short inputs let the run try many more of them.
        limits=(-timeout=10 -max_len=8192 -dict="$root/tests/fuzz/letters.dict")
    fi
    local status=0
    ASAN_OPTIONS="${ASAN_OPTIONS:-}:detect_leaks=1:quarantine_size_mb=64" \
    UBSAN_OPTIONS="${UBSAN_OPTIONS:-}:print_stacktrace=1:halt_on_error=1" \
        "$build/fuzz_$target" \
        -max_total_time="$seconds" "${limits[@]}" \
        -malloc_limit_mb=256 -rss_limit_mb=1536 \
        -print_final_stats=1 \
        -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "$build/seeds/$target" >"$log" 2>&1 || status=$?
    local runs
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz_$target: FAILED (exit $status) after ${runs:-?} executions; log: $log"
        return 1
    fi
    echo "fuzz_$target: ${runs:-?} executions in ${seconds} s, no crash," \
        "corpus $(ls "$build/corpus/$target" | wc -l) inputs"
}

failed=0
if [ "${FUZZ_CONCURRENT:-0}" = 1 ]; then
    pids=()
    for t in "${targets[@]}"; do
        run_target "$t" &
        pids+=($!)
    done
    for p in "${pids[@]}"; do wait "$p" || failed=1; done
else
    for t in "${targets[@]}"; do run_target "$t" || failed=1; done
fi
exit $failed

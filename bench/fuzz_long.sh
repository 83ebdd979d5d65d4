#!/usr/bin/env bash
# Long fuzzing session: both fuzz targets at once (one per core) for HOURS
# hours each, then their execution counts. HOURS may be fractional.
#
# Usage: bench/fuzz_long.sh HOURS
set -euo pipefail
hours=${1:?usage: bench/fuzz_long.sh HOURS}
seconds=$(awk -v h="$hours" 'BEGIN { printf "%d", h * 3600 }')
root=$(cd "$(dirname "$0")/.." && pwd)
FUZZ_CONCURRENT=1 "$root/tests/fuzz/run.sh" "$seconds"

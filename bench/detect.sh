#!/usr/bin/env bash
# Prints how long the line-settings scan takes to find the simulated modem at 115200 8N1, 9600 7E1
# and 300 baud, and to give up with no modem, beside the floor its scan order implies (the read
# time-outs of the silent tries before the answer). Takes about three minutes.
#   BUILD_DIR (default build): an existing build, measured as it is (build detect_bench first);
#   an argument picks one case: 115200, 9600, 300 or none.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
program="$build_dir/bench/detect_bench"
[ -x "$program" ] || { echo "$program is missing: build it first (cmake --build $build_dir --target detect_bench)" >&2; exit 1; }
exec "$program" "${1:-all}"

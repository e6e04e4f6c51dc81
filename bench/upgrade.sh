#!/usr/bin/env bash
# Prints how long the configurator's firmware upgrade takes to send an image (default 1 MiB) to the
# simulated modem at 115200 baud, beside the line time of its bytes; the goal is 85% of the line.
#   BUILD_DIR (default build): an existing build, measured as it is (build upgrade_bench first);
#   an argument gives the image's size in bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
program="$build_dir/bench/upgrade_bench"
[ -x "$program" ] || { echo "$program is missing: build it first (cmake --build $build_dir --target upgrade_bench)" >&2; exit 1; }
exec "$program" "${1:-1048576}"

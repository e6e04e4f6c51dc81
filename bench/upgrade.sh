#!/usr/bin/env bash
# Prints how long the configurator's firmware upgrade takes to send an image (default 1 MiB) to the
# simulated modem at 115200 baud, beside the line time of its bytes; the goal is 85% of the line.
#   BUILD_DIR (default build); an argument gives the image's size in bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
cmake --build "$build_dir" --target upgrade_bench -j 3 >/dev/null
exec "$build_dir/bench/upgrade_bench" "${1:-1048576}"

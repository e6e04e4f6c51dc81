#!/usr/bin/env bash
# ZMODEM and Kermit throughput over one pty line: our pair next to lrzsz's sz/rz and C-Kermit's pair.
# Unthrottled with BENCH_SIZE bytes (default 8 MiB): seconds and the ratio peers/ours (above 1: we are
# faster). Throttled to 11520 B/s (a 115200-baud line) with BENCH_SLOW_SIZE bytes (default 128 KiB):
# the share of the line that carried file data. The file is random bytes (every byte value).
# Unthrottled figures are the best of BENCH_REPEAT (default 5) runs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh" --target interop_tests >/dev/null
export BENCH_SIZE="${BENCH_SIZE:-8388608}"
export BENCH_SLOW_SIZE="${BENCH_SLOW_SIZE:-131072}"
"$build_dir/tests/interop_tests" --gtest_also_run_disabled_tests --gtest_filter='ZmodemKermitBench.*' |
    grep -E '^(ZMODEM|Kermit) |FAILED'

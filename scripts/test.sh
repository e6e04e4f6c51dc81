#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite. Exits non-zero on any failure.
# BUILD_DIR, SANITIZE=1 and WERROR=1 as for scripts/build.sh; extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build test
"$root/scripts/build.sh"
build_dir="${BUILD_DIR:-$root/build}"
cd "$build_dir"
ctest --output-on-failure -j "$(nproc)" "$@"

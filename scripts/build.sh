#!/usr/bin/env bash
# Configures and builds the tree. BUILD_DIR (default build), SANITIZE=1 for ASan+UBSan, WERROR=1,
# JOBS (default: every processor).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${BUILD_DIR:-$root/build}"
args=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}")
[ "${SANITIZE:-0}" = 1 ] && args+=(-DBREL_SANITIZE=ON)
[ "${WERROR:-0}" = 1 ] && args+=(-DBREL_WERROR=ON)
[ -n "${CMAKE_ARGS:-}" ] && read -r -a extra <<<"$CMAKE_ARGS" && args+=("${extra[@]}")
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    cmake -S "$root" -B "$build_dir" "${gen[@]}" "${args[@]}"
else
    cmake -S "$root" -B "$build_dir" "${args[@]}" >/dev/null
fi
cmake --build "$build_dir" -j "${JOBS:-$(nproc)}" "$@"

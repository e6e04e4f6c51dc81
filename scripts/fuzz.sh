#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (ASan+UBSan) and runs each for FUZZ_SECONDS (default 60), in parallel.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build test
build_dir="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
seconds="${FUZZ_SECONDS:-60}"
if ! grep -rq brel_add_fuzzer "$root/fuzz" --include=CMakeLists.txt; then
    echo "no fuzz targets"
    exit 0
fi
CC=clang CXX=clang++ BUILD_DIR="$build_dir" BUILD_TYPE=RelWithDebInfo \
    CMAKE_ARGS="-DBREL_FUZZ=ON -DBREL_SANITIZE=ON -DBREL_BENCH=OFF" "$root/scripts/build.sh" --target fuzzers
pids=()
names=()
for f in "$build_dir"/fuzzers/*; do
    [ -x "$f" ] || continue
    name="$(basename "$f")"
    corpus="$build_dir/corpus/$name"
    mkdir -p "$corpus"
    seeds=()
    [ -d "$root/fuzz/seeds/$name" ] && seeds=("$root/fuzz/seeds/$name")
    "$f" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 "$corpus" "${seeds[@]}" \
        >"$build_dir/$name.log" 2>&1 &
    pids+=($!)
    names+=("$name")
done
failed=0
for i in "${!pids[@]}"; do
    if wait "${pids[$i]}"; then
        echo "fuzz ${names[$i]}: ok ($(grep -o 'Done [0-9]* runs' "$build_dir/${names[$i]}.log" || true))"
    else
        echo "fuzz ${names[$i]}: FAILED"; tail -40 "$build_dir/${names[$i]}.log"; failed=1
    fi
done
exit $failed

# Sourced by the transfer benches: where the programs are, a scratch folder removed on exit with
# every background job stopped, the clock, medians.
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bridge="$build/bin/pty_bridge"
ours="$build/bin/xfer_bench"
watch="$build/bin/xfer_watch"

# need_built PROGRAM...: stops with what to build when one is missing.
need_built() {
    local p
    for p in "$@"; do
        [ -x "$build/bin/$p" ] || { echo "build first: cmake --build $build --target $*" >&2; exit 1; }
    done
}

# need_programs PROGRAM...: stops when a peer program is not installed.
need_programs() {
    local p
    for p in "$@"; do command -v "$p" >/dev/null || { echo "$p is missing (scripts/deps.sh)" >&2; exit 1; }; done
}

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

now() { echo "$EPOCHREALTIME"; }

# median <numbers (one a line or space-separated): "nan" when there are none.
median() {
    tr ' ' '\n' | awk 'NF' | sort -g | awk '{v[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'
}

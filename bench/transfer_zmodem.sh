#!/usr/bin/env bash
# ZMODEM on a fast line: our sender -> rz and sz -> our receiver next to the sz -> rz pair, each over
# a fresh unthrottled pty_bridge, the three runs taking turns REPEAT times (default 5). The time is
# until the received file is complete (a receiver that lingers over the goodbye does not count; the
# time until it has left is shown too). Prints the medians and the ratios pair/ours (above 1: ours is
# faster).
#   SIZE (bytes, default 8 MiB), REPEAT, LIMIT (seconds per run, default 120).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bridge="$build/bin/pty_bridge"
ours="$build/bin/xfer_bench"
size="${SIZE:-$((8 * 1024 * 1024))}"
repeat="${REPEAT:-5}"
limit="${LIMIT:-120}"
[ -x "$bridge" ] && [ -x "$ours" ] || { echo "build first: pty_bridge xfer_bench" >&2; exit 1; }
for p in sz rz; do command -v "$p" >/dev/null || { echo "lrzsz is missing ($p)" >&2; exit 1; }; done

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
head -c "$size" /dev/urandom >"$work/data.bin"

now() { date +%s.%N; }

# run SENDER(ours|sz) RECEIVER(ours|rz): prints "seconds-to-file seconds-to-exit", or "FAILED"
run() {
    local sender="$1" receiver="$2" dir="$work/run"
    rm -rf "$dir" && mkdir -p "$dir/rx"
    coproc BRIDGE { exec "$bridge"; }
    local a b rpid spid start end complete=""
    read -r a b <&"${BRIDGE[0]}"
    start=$(now)
    if [ "$receiver" = ours ]; then
        "$ours" receive zmodem "$b" "$dir/rx" >"$dir/rx.txt" &
    else
        (cd "$dir/rx" && exec rz -q <"$b" >"$b" 2>/dev/null) &
    fi
    rpid=$!
    if [ "$sender" = ours ]; then
        "$ours" send zmodem "$a" "$work/data.bin" >"$dir/tx.txt" &
    else
        (cd "$work" && exec sz -q data.bin <"$a" >"$a" 2>/dev/null) &
    fi
    spid=$!
    local deadline=$((SECONDS + limit))
    while kill -0 "$rpid" 2>/dev/null && [ $SECONDS -lt $deadline ]; do
        if [ -z "$complete" ] && [ "$(stat -c %s "$dir/rx/data.bin" 2>/dev/null || echo 0)" = "$size" ]; then
            complete=$(now)
        fi
        sleep 0.002
    done
    end=$(now)
    complete="${complete:-$end}"
    kill "$rpid" 2>/dev/null || true
    wait "$rpid" 2>/dev/null || true
    # A sender still waiting has lost the receiver's last answer; it does not count.
    sleep 0.2
    kill "$spid" 2>/dev/null || true
    wait "$spid" 2>/dev/null || true
    kill "${BRIDGE_PID}" 2>/dev/null || true
    wait "${BRIDGE_PID}" 2>/dev/null || true
    if cmp -s "$work/data.bin" "$dir/rx/data.bin"; then
        echo "$(echo "$complete - $start" | bc) $(echo "$end - $start" | bc)"
    else
        echo FAILED
    fi
}

# median COLUMN <file
median() {
    awk -v c="$1" '{print $c}' | sort -g |
        awk '{v[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'
}

: >"$work/pair" && : >"$work/send" && : >"$work/receive"
failed=0
for ((i = 0; i < repeat; i++)); do
    for kind in pair send receive; do
        case $kind in
            pair) t=$(run sz rz) ;;
            send) t=$(run ours rz) ;;
            receive) t=$(run sz ours) ;;
        esac
        if [ "$t" = FAILED ]; then
            failed=$((failed + 1))
            echo "run $i $kind FAILED" >&2
        else
            echo "$t" >>"$work/$kind"
        fi
    done
done
echo "ZMODEM $size bytes unthrottled, median of $repeat (failed runs: $failed)"
printf '  %-12s %10s %8s %12s\n' "" "file (s)" ratio "left (s)"
for kind in pair send receive; do
    t=$(median 1 <"$work/$kind")
    left=$(median 2 <"$work/$kind")
    case $kind in
        pair) label="sz -> rz" && pair=$t ;;
        send) label="ours -> rz" ;;
        receive) label="sz -> ours" ;;
    esac
    printf '  %-12s %10.3f %8.2f %12.3f\n' "$label" "$t" "$(echo "$pair / $t" | bc -l)" "$left"
done
echo "(ratio = pair seconds / these seconds until the file is complete; above 1: ours is faster)"

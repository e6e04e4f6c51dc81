#!/usr/bin/env bash
# Our Kermit sender on a noisy line (not a test): a pty bridge held to 11520 bytes/s (a 115200-baud
# line) that flips bits and inserts bytes at a per-byte rate, both ways, with C-Kermit (its default
# settings) and gkermit as receivers, next to C-Kermit's own pair on the same faults. Each run gets a
# seed of its own, the same for every pairing. A run ends when the sender does; it is "whole" when
# the receiver kept the exact file, and "FALSE" when the sender reported success without it.
#   SIZE (bytes, default 20000), SEEDS (default 40), RATE (default 1e-3), LIMIT (seconds before a run
#   is stopped and counted hung, default 120), JOBS (runs side by side, default 6), PAIRINGS (default
#   "ckermit gkermit pair"; "ours" is our sender to our receiver), KINDS (faults, default "fi":
#   flipped bits and inserted bytes), KEEP_SLOW (seconds: runs slower than this keep their folder in
#   KEEP_DIR, default /tmp/kermit_slow), TRACE (set: our sender runs under strace, kept with the run).
set -euo pipefail
source "$(dirname "$0")/common.sh"
size="${SIZE:-20000}"
seeds="${SEEDS:-40}"
rate="${RATE:-1e-3}"
limit="${LIMIT:-120}"
jobs="${JOBS:-6}"
pairings="${PAIRINGS:-ckermit gkermit pair}"
kinds="${KINDS:-fi}"
line_rate=11520
need_built pty_bridge xfer_bench
need_programs kermit gkermit

head -c "$size" /dev/urandom >"$work/noisy.bin"

# one PAIRING SEED: prints "PAIRING SEED result seconds whole|partial|none FALSE?".
one() {
    local pairing="$1" seed="$2" dir="$work/$1-$2"
    mkdir -p "$dir/rx"
    "$bridge" "$line_rate" "$rate" "$seed" 4096 "$kinds" >"$dir/bridge.txt" &
    local bpid=$!
    while [ ! -s "$dir/bridge.txt" ]; do sleep 0.01; done
    local a b
    read -r a b <"$dir/bridge.txt"
    local rpid spid
    case "$pairing" in
    gkermit) (cd "$dir/rx" && exec gkermit -P -r <"$b" >"$b" 2>"$dir/rx.log") & ;;
    ours) "$ours" receive kermit "$b" "$dir/rx" >"$dir/rx.log" 2>&1 & ;;
    *) (cd "$dir/rx" && exec kermit -Y -q -l "$b" -b 115200 -i -r >"$dir/rx.log" 2>&1 </dev/null) & ;;
    esac
    rpid=$!
    local start end rc=0
    start=$(now)
    if [ "$pairing" = pair ]; then
        (cd "$work" && exec kermit -Y -q -l "$a" -b 115200 -i -s noisy.bin >"$dir/tx.log" 2>&1 </dev/null) &
    else
        ${TRACE:+strace -tt -e trace=read,write -o "$dir/tx.strace"} "$ours" send kermit "$a" "$work/noisy.bin" \
            >"$dir/tx.log" 2>&1 &
    fi
    spid=$!
    local deadline=$((SECONDS + limit)) hung=""
    while kill -0 "$spid" 2>/dev/null; do
        sleep 0.05
        if [ $SECONDS -ge $deadline ]; then
            kill "$spid" 2>/dev/null || true
            hung=1
            break
        fi
    done
    wait "$spid" 2>/dev/null || rc=$?
    end=$(now)
    # The receiver has a moment to finish its file after the sender's end.
    local grace=$((SECONDS + 5))
    while kill -0 "$rpid" 2>/dev/null && [ $SECONDS -lt $grace ]; do sleep 0.05; done
    kill "$rpid" 2>/dev/null || true
    wait "$rpid" 2>/dev/null || true
    kill "$bpid" 2>/dev/null || true
    wait "$bpid" 2>/dev/null || true
    local got state=none
    got=$(find "$dir/rx" -maxdepth 1 -type f -iname noisy.bin | head -1)
    if [ -n "$got" ] && cmp -s "$work/noisy.bin" "$got"; then
        state=whole
    elif [ -n "$got" ]; then
        state=partial
    fi
    local result=ok
    [ "$rc" != 0 ] && result=failed
    [ -n "$hung" ] && result=hung
    local flag=""
    [ "$result" = ok ] && [ "$state" != whole ] && flag=FALSE
    if [ -n "${KEEP_SLOW:-}" ] && awk -v s="$start" -v e="$end" -v k="$KEEP_SLOW" 'BEGIN { exit !(e - s > k) }'; then
        mkdir -p "${KEEP_DIR:-/tmp/kermit_slow}" && cp -r "$dir" "${KEEP_DIR:-/tmp/kermit_slow}/"
    fi
    printf '%s %s %s %.2f %s %s\n' "$pairing" "$seed" "$result" \
        "$(awk -v s="$start" -v e="$end" 'BEGIN { print e - s }')" "$state" "$flag"
}
export -f one now
export work bridge ours line_rate rate kinds limit

echo "Kermit send, $size bytes, faults '$kinds' at $rate per byte both ways, $seeds seeds, line $line_rate B/s"
for seed in $(seq 1 "$seeds"); do
    for pairing in $pairings; do echo "$pairing $seed"; done
done | xargs -P "$jobs" -n 2 bash -c 'one "$0" "$1"' | tee "$work/runs.txt" >&2
printf '%-8s %5s %6s %6s %5s %6s %9s %9s\n' pairing runs ok failed hung FALSE "median s" "longest s"
for pairing in $pairings; do
    awk -v p="$pairing" '$1 == p' "$work/runs.txt" >"$work/$pairing.txt"
    n=$(wc -l <"$work/$pairing.txt")
    ok=$(awk '$3 == "ok"' "$work/$pairing.txt" | wc -l)
    failed=$(awk '$3 == "failed"' "$work/$pairing.txt" | wc -l)
    hung=$(awk '$3 == "hung"' "$work/$pairing.txt" | wc -l)
    false_ok=$(awk '$6 == "FALSE"' "$work/$pairing.txt" | wc -l)
    med=$(awk '{ print $4 }' "$work/$pairing.txt" | median)
    longest=$(awk '{ print $4 }' "$work/$pairing.txt" | sort -g | tail -1)
    printf '%-8s %5d %6d %6d %5d %6d %9s %9s\n' "$pairing" "$n" "$ok" "$failed" "$hung" "$false_ok" "$med" "$longest"
done
echo "(seconds from the start to the sender's end, success or failure; FALSE = success reported without"
echo " the whole file at the receiver; pair = C-Kermit sending to C-Kermit)"

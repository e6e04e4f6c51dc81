#!/usr/bin/env bash
# Goodput on a noisy line (not a test): a pty bridge held to 11520 bytes/s (a 115200-baud line) that
# flips, drops or inserts bytes at a per-byte rate, with our ZMODEM, YMODEM-1K and Kermit (long
# packets, sliding windows) pairs next to lrzsz's sz/rz and sb -k/rb and C-Kermit's pair on the same
# bridge. Runs alternate ours/peers with the same fault seed; each table row gives the median goodput
# (file bytes per second until the receiver is done; a failed run counts 0), the ratio ours/peers,
# the runs that ended with the right file, and the wrong files: a receiver that claimed success with
# bytes that differ from the sent file.
#   SIZE (bytes, default 64 KiB), RUNS (per protocol, rate and side, default 3), LIMIT (seconds a run
#   may take before it is stopped and counted failed, default 40), RATES (default "1e-4 1e-3"),
#   SEED (default 1), PROTOCOLS (default "zmodem ymodem kermit"), TX_BUFFER (bytes a writer may have
#   queued ahead of the line, default 4096; 0: what the pty takes, about 20 KiB).
set -euo pipefail
source "$(dirname "$0")/common.sh"
size="${SIZE:-$((64 * 1024))}"
runs="${RUNS:-3}"
limit="${LIMIT:-40}"
rates="${RATES:-1e-4 1e-3}"
seed="${SEED:-1}"
protocols="${PROTOCOLS:-zmodem ymodem kermit}"
line_rate=11520
# What a serial port takes ahead of the line (a UART driver's 4 KiB transmit buffer).
tx_buffer="${TX_BUFFER:-4096}"
need_built pty_bridge xfer_bench
need_programs sz rz sb rb kermit

# start_side PROTOCOL SIDE(ours|peers) send|receive TTY DIR FILE: starts one end in the background.
start_side() {
    local protocol="$1" side="$2" role="$3" tty="$4" dir="$5" file="$6"
    if [ "$side" = ours ]; then
        if [ "$role" = send ]; then
            "$ours" send "$protocol" "$tty" "$file" >"$dir/tx.txt" 2>&1 &
        else
            "$ours" receive "$protocol" "$tty" "$dir/rx" >"$dir/rx.txt" 2>&1 &
        fi
        return
    fi
    case "$protocol-$role" in
    zmodem-send) (cd "$(dirname "$file")" && exec sz -q "$(basename "$file")" <"$tty" >"$tty" 2>"$dir/tx.log") & ;;
    zmodem-receive) (cd "$dir/rx" && exec rz -q <"$tty" >"$tty" 2>"$dir/rx.log") & ;;
    ymodem-send) (cd "$(dirname "$file")" && exec sb -k -q "$(basename "$file")" <"$tty" >"$tty" 2>"$dir/tx.log") & ;;
    ymodem-receive) (cd "$dir/rx" && exec rb -q <"$tty" >"$tty" 2>"$dir/rx.log") & ;;
    # Long packets and a window as ours offer them (9024 bytes, 31 packets).
    kermit-send)
        (cd "$(dirname "$file")" && exec kermit -Y -q -l "$tty" -b 115200 -i -e 9024 -v 31 \
            -s "$(basename "$file")" >"$dir/tx.log" 2>&1 </dev/null) &
        ;;
    kermit-receive)
        (cd "$dir/rx" && exec kermit -Y -q -l "$tty" -b 115200 -i -e 9024 -v 31 -r \
            >"$dir/rx.log" 2>&1 </dev/null) &
        ;;
    esac
}

# run NAME PROTOCOL SIDE FAULT_RATE SEED FILE: prints "goodput ok|failed|WRONG faults note".
run() {
    local name="$1" protocol="$2" side="$3" fault="$4" run_seed="$5" file="$6"
    local dir="$work/$name"
    mkdir -p "$dir/rx"
    "$bridge" "$line_rate" "$fault" "$run_seed" "$tx_buffer" >"$dir/bridge.txt" &
    local bpid=$!
    while [ ! -s "$dir/bridge.txt" ]; do sleep 0.01; done
    local a b
    read -r a b <"$dir/bridge.txt"
    local start end rpid spid rc=0 note=""
    start=$(now)
    start_side "$protocol" "$side" receive "$b" "$dir" "$file"
    rpid=$!
    start_side "$protocol" "$side" send "$a" "$dir" "$file"
    spid=$!
    # The receiver decides: it has the whole file when it leaves.
    local deadline=$((SECONDS + limit))
    while kill -0 "$rpid" 2>/dev/null; do
        sleep 0.02
        if [ $SECONDS -ge $deadline ]; then
            kill "$rpid" 2>/dev/null || true
            note="stopped at ${limit} s"
            break
        fi
    done
    wait "$rpid" 2>/dev/null || rc=$?
    end=$(now)
    local grace=$((SECONDS + 3))
    while kill -0 "$spid" 2>/dev/null && [ $SECONDS -lt $grace ]; do sleep 0.02; done
    kill "$spid" 2>/dev/null || true
    wait "$spid" 2>/dev/null || true
    kill "$bpid" 2>/dev/null || true
    wait "$bpid" 2>/dev/null || true
    local faults
    faults=$(awk 'NR == 2 { print $3 + $4 }' "$dir/bridge.txt")
    local out="$dir/rx/$(basename "$file")" result
    if [ -n "$note" ] || [ "$rc" != 0 ]; then
        result=failed
    elif [ -f "$out" ] && cmp -s "$file" "$out"; then
        result=ok
    else
        result=WRONG
    fi
    local goodput=0
    [ "$result" = ok ] && goodput=$(awk -v n="$size" -v s="$start" -v e="$end" 'BEGIN { printf "%.0f", n / (e - s) }')
    printf '%s %s %s %s\n' "$goodput" "$result" "${faults:-0}" "${note:-rc=$rc}"
}

declare -A label=([zmodem]="ZMODEM" [ymodem]="YMODEM-1K" [kermit]="Kermit")
declare -A peer=([zmodem]="sz/rz" [ymodem]="sb -k/rb" [kermit]="C-Kermit")
head -c "$size" /dev/urandom >"$work/noisy.bin"

echo "Noisy line at $line_rate B/s, $size-byte random file, $runs runs per side, ${limit} s limit per run"
printf '%-10s %-9s %-9s %10s %10s %6s %8s %8s %6s %6s\n' protocol "fault/B" peers "ours B/s" "peers B/s" \
    ratio "ours ok" "peers ok" wrong "wrong*"
total_wrong=0
total_wrong_peers=0
slot=0
for fault in $rates; do
    for protocol in $protocols; do
        g_ours="" g_peers="" ok_ours=0 ok_peers=0 wrong_ours=0 wrong_peers=0
        for ((i = 1; i <= runs; i++)); do
            slot=$((slot + 1))
            run_seed=$((seed * 1000 + slot))
            order="ours peers"
            [ $((i % 2)) = 0 ] && order="peers ours"
            for side in $order; do
                read -r g result faults note < <(run "$protocol-$fault-$i-$side" "$protocol" "$side" "$fault" \
                    "$run_seed" "$work/noisy.bin")
                echo "  $protocol $fault run $i $side: $g B/s $result ($faults faults, $note)" >&2
                if [ "$side" = ours ]; then
                    g_ours+=" $g"
                    [ "$result" = ok ] && ok_ours=$((ok_ours + 1))
                    [ "$result" = WRONG ] && wrong_ours=$((wrong_ours + 1))
                else
                    g_peers+=" $g"
                    [ "$result" = ok ] && ok_peers=$((ok_peers + 1))
                    [ "$result" = WRONG ] && wrong_peers=$((wrong_peers + 1))
                fi
            done
        done
        m_ours=$(echo "$g_ours" | median)
        m_peers=$(echo "$g_peers" | median)
        ratio=$(awk -v a="$m_ours" -v b="$m_peers" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print (a > 0 ? "inf" : "-") }')
        printf '%-10s %-9s %-9s %10.0f %10.0f %6s %8s %8s %6d %6d\n' "${label[$protocol]}" "$fault" \
            "${peer[$protocol]}" "$m_ours" "$m_peers" "$ratio" "$ok_ours/$runs" "$ok_peers/$runs" \
            "$wrong_ours" "$wrong_peers"
        total_wrong=$((total_wrong + wrong_ours))
        total_wrong_peers=$((total_wrong_peers + wrong_peers))
    done
done
echo "(goodput: medians, a failed run counts 0; ratio = ours / peers, above 1 means ours is faster;"
echo " wrong = our receiver claimed success with a wrong file, wrong* = the same for the peers)"
echo "wrong files: ours $total_wrong, peers $total_wrong_peers"

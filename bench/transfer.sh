#!/usr/bin/env bash
# Transfer benchmark over pseudo-terminals (not a test). Every transfer runs on a fresh pty_bridge;
# ours and the peer programs use the same bridge. Prints each goal as a ratio or a share of the line:
#  - unthrottled, SIZE bytes: our sender to the peer's receiver and the peer's sender to our receiver,
#    each against the peer's own pair in its best comparable mode: sz/rz (ZMODEM), a C-Kermit pair
#    (CKERMIT_OPTS) and a gkermit pair; groups "ymodem" and "xmodem" (not run by default, slow) do the
#    same against sb -k/rb and sx -k/rx, for information;
#  - unthrottled, the port layer: our pair through SerialOpen and File* against the bare engines,
#    and ZMODEM through SerialOpen and File* to and from lrzsz against the sz -> rz pair;
#  - at 11520 bytes/s (a 115200-baud line), SLOW_SIZE bytes: file bytes per second as a share of the
#    line, our pair taking turns with the peer's (sz/rz, sb -k/rb, sx -k/rx, C-Kermit);
#  - at 92160 bytes/s (a 921600-baud line), SLOW_SIZE bytes: YMODEM-1K and XMODEM-1K from lrzsz's
#    sender (sb -k, sx -k) into our receiver against rb and rx, and our sender into theirs (info).
# The runs of one comparison take turns (the machine may be busy) and the medians are compared;
# ratio = the baseline's seconds / these seconds, so above 1 means faster than the baseline.
# The time is until the received file is complete or the receiver has left, whichever comes first.
#   SIZE (default 8 MiB), SLOW_SIZE (default 256 KiB), REPEAT (turns, default 7), SLOW_REPEAT
#   (default 3), LIMIT (seconds per run, default 120), ONLY (groups, default
#   "zmodem kermit gkermit port line fast"), CKERMIT_OPTS (default "-Q -e 9024 -v 31", its fastest here).
set -euo pipefail
source "$(dirname "$0")/common.sh"
size="${SIZE:-$((8 * 1024 * 1024))}"
slow_size="${SLOW_SIZE:-$((256 * 1024))}"
repeat="${REPEAT:-7}"
slow_repeat="${SLOW_REPEAT:-3}"
limit="${LIMIT:-120}"
only="${ONLY:-zmodem kermit gkermit port line fast}"
port_protocols="${PORT_PROTOCOLS:-zmodem kermit}"
ckermit_opts="${CKERMIT_OPTS:--Q -e 9024 -v 31}"
line_rate=11520
fast_rate=92160
need_built pty_bridge xfer_bench xfer_watch
need_programs sz rz sb rb sx rx kermit gkermit bc

head -c "$size" /dev/urandom >"$work/data.bin"
head -c "$slow_size" /dev/urandom >"$work/slow.bin"
mkdir -p "$work/src" "$work/slow"
mv "$work/data.bin" "$work/src/data.bin"
mv "$work/slow.bin" "$work/slow/data.bin"

# launch SIDE PROTOCOL send|receive TTY DIR: one end in the background; the sender in the file's
# folder sends data.bin, the receiver writes data.bin into DIR.
launch() {
    local side="$1" protocol="$2" role="$3" tty="$4" dir="$5" log="$dir/$3.log" port=""
    case "$side" in
    ours | port)
        [ "$side" = port ] && port=--port
        local path="$dir"
        [ "$role" = send ] && path="$src/data.bin"
        [ "$role" = receive ] && [ "$protocol" = xmodem1k ] && path="$dir/data.bin"
        "$ours" $port "$role" "$protocol" "$tty" "$path" >"$log" 2>&1 &
        return
        ;;
    esac
    local cmd
    case "$side-$protocol-$role" in
    lrzsz-zmodem-send) cmd="sz -q data.bin" ;;
    lrzsz-zmodem-receive) cmd="rz -q" ;;
    lrzsz-ymodem-send) cmd="sb -k -q data.bin" ;;
    lrzsz-ymodem-receive) cmd="rb -q" ;;
    lrzsz-xmodem1k-send) cmd="sx -k -q data.bin" ;;
    lrzsz-xmodem1k-receive) cmd="rx -q -c data.bin" ;;
    gkermit-kermit-send) cmd="gkermit -q -P -i -e 9000 -S -s data.bin" ;;
    gkermit-kermit-receive) cmd="gkermit -q -P -i -e 9000 -S -r" ;;
    gkstream-kermit-send) cmd="gkermit -q -P -i -e 9000 -s data.bin" ;;
    gkstream-kermit-receive) cmd="gkermit -q -P -i -e 9000 -r" ;;
    ckermit-kermit-send | ckermit-kermit-receive)
        local action="-s data.bin -a data.bin"
        [ "$role" = receive ] && action="-r"
        # shellcheck disable=SC2086
        (cd "$([ "$role" = send ] && echo "$src" || echo "$dir")" &&
            exec kermit -Y -q -l "$tty" -b 115200 -i $ckermit_opts $action >"$log" 2>&1 </dev/null) &
        return
        ;;
    *) echo "no $side $protocol $role" >&2 && exit 1 ;;
    esac
    # shellcheck disable=SC2086
    (cd "$([ "$role" = send ] && echo "$src" || echo "$dir")" && exec $cmd <"$tty" >"$tty" 2>"$log") &
}

# run RATE PROTOCOL SENDER RECEIVER: prints the seconds until the file is complete, or FAILED.
run() {
    local rate="$1" protocol="$2" sender="$3" receiver="$4" dir="$work/run"
    rm -rf "$dir" && mkdir -p "$dir"
    coproc BRIDGE { exec "$bridge" "$rate"; }
    local a b rpid spid start end how
    read -r a b <&"${BRIDGE[0]}"
    start=$(now)
    launch "$receiver" "$protocol" receive "$b" "$dir"
    rpid=$!
    launch "$sender" "$protocol" send "$a" "$dir"
    spid=$!
    read -r end how < <("$watch" "$rpid" "$dir/data.bin" "$(stat -c %s "$src/data.bin")" "$limit")
    # The receiver decides: a sender still waiting when it has left lost its last answer.
    local grace=$((SECONDS + 5))
    while kill -0 "$rpid" 2>/dev/null && [ $SECONDS -lt $grace ]; do sleep 0.01; done
    kill "$rpid" 2>/dev/null || true
    wait "$rpid" 2>/dev/null || true
    grace=$((SECONDS + 3))
    while kill -0 "$spid" 2>/dev/null && [ $SECONDS -lt $grace ]; do sleep 0.01; done
    kill "$spid" 2>/dev/null || true
    wait "$spid" 2>/dev/null || true
    kill "${BRIDGE_PID}" 2>/dev/null || true
    wait "${BRIDGE_PID}" 2>/dev/null || true
    if [ "$how" != limit ] && cmp -s "$src/data.bin" "$dir/data.bin"; then
        echo "$end - $start" | bc
    else
        echo FAILED
    fi
}

goals="$work/goals"
: >"$goals"
failed=0

# turns RATE PROTOCOL "SENDER RECEIVER"...: each pair runs once a turn, REPEAT turns (SLOW_REPEAT on
# a throttled line); the seconds of pair k go to $work/times.k.
turns() {
    local rate="$1" protocol="$2" n="$repeat" i k t
    shift 2
    local pairs=("$@")
    [ "$rate" != 0 ] && n="$slow_repeat"
    for k in "${!pairs[@]}"; do : >"$work/times.$k"; done
    for ((i = 0; i < n; i++)); do
        for k in "${!pairs[@]}"; do
            # shellcheck disable=SC2086
            t=$(run "$rate" "$protocol" ${pairs[$k]})
            if [ "$t" = FAILED ]; then
                failed=$((failed + 1))
                echo "  turn $i: $protocol ${pairs[$k]} at rate $rate FAILED" >&2
            else
                echo "$t" >>"$work/times.$k"
            fi
        done
    done
}

# goal LABEL VALUE WANTED: a row of the goals table; WANTED "-" is for information only.
goal() {
    printf '%-44s %7.2f %6s\n' "$1" "$2" "$3" >>"$goals"
}

# compare LABEL PROTOCOL GOAL "SENDER RECEIVER" (baseline) "SENDER RECEIVER"...: unthrottled turns,
# the medians and each pair's ratio to the baseline, recorded with the goal ("-": none). A pair
# named "... (info)" is shown but is no goal.
compare() {
    local label="$1" protocol="$2" want="$3" k t ratio name base
    shift 3
    local pairs=("$@") plain=()
    for k in "${!pairs[@]}"; do plain[$k]="${pairs[$k]% (info)}"; done
    turns 0 "$protocol" "${plain[@]}"
    echo "$label, $size bytes unthrottled, medians of $repeat turns"
    base=$(median <"$work/times.0")
    for k in "${!pairs[@]}"; do
        t=$(median <"$work/times.$k")
        ratio=$(echo "$base / $t" | bc -l 2>/dev/null || echo 0)
        name=$(echo "${pairs[$k]}" | sed 's/ / -> /')
        printf '  %-26s %8.3f s  ratio %5.2f  (%d runs)\n' "$name" "$t" "$ratio" "$(wc -l <"$work/times.$k")"
        [ "$k" -gt 0 ] && goal "$label: $name" "$ratio" "$([[ "$name" == *info* ]] && echo - || echo "$want")"
    done
}

# line PROTOCOL GOAL PEER: our pair and the peer's pair take turns on the throttled line; file bytes
# per second as a percentage of it; the goal is ours.
line() {
    local protocol="$1" want="$2" peer="$3" keep="$src" k t pct
    src="$work/slow"
    turns "$line_rate" "$protocol" "ours ours" "$peer $peer"
    src="$keep"
    for k in 0 1; do
        t=$(median <"$work/times.$k")
        pct=$(echo "100 * $slow_size / $t / $line_rate" | bc -l 2>/dev/null || echo 0)
        printf '  %-10s %-8s %8.3f s  %5.1f%% of the line  (%d runs)\n' "$protocol" \
            "$([ $k = 0 ] && echo ours || echo "$peer")" "$t" "$pct" "$(wc -l <"$work/times.$k")"
        goal "line $line_rate B/s: $protocol, $([ $k = 0 ] && echo ours || echo "$peer (info)") %" "$pct" \
            "$([ $k = 0 ] && echo "$want" || echo -)"
    done
}

# fast PROTOCOL: on the 921600-baud line, lrzsz's pair, its sender into our receiver and our sender
# into its receiver take turns; our receiver's ratio to lrzsz's is the goal.
fast() {
    local protocol="$1" keep="$src" k t base ratio pct
    local pairs=("lrzsz lrzsz" "lrzsz ours" "ours lrzsz") names=("lrzsz pair" "into ours" "from ours")
    src="$work/slow"
    turns "$fast_rate" "$protocol" "${pairs[@]}"
    src="$keep"
    base=$(median <"$work/times.0")
    for k in 0 1 2; do
        t=$(median <"$work/times.$k")
        ratio=$(echo "$base / $t" | bc -l 2>/dev/null || echo 0)
        pct=$(echo "100 * $slow_size / $t / $fast_rate" | bc -l 2>/dev/null || echo 0)
        printf '  %-10s %-10s %8.3f s  ratio %5.2f  %5.1f%% of the line  (%d runs)\n' "$protocol" \
            "${names[$k]}" "$t" "$ratio" "$pct" "$(wc -l <"$work/times.$k")"
    done
    ratio=$(echo "$base / $(median <"$work/times.1")" | bc -l 2>/dev/null || echo 0)
    goal "line $fast_rate B/s: $protocol into ours / lrzsz" "$ratio" 1.0
    ratio=$(echo "$base / $(median <"$work/times.2")" | bc -l 2>/dev/null || echo 0)
    goal "line $fast_rate B/s: $protocol from ours / lrzsz" "$ratio" -
}

src="$work/src"
echo "load before: $(uptime)"
for group in $only; do
    case "$group" in
    zmodem) compare ZMODEM zmodem 1.0 "lrzsz lrzsz" "ours lrzsz" "lrzsz ours" ;;
    kermit) compare C-Kermit kermit 1.0 "ckermit ckermit" "ours ckermit" "ckermit ours" ;;
    # gkermit has no sliding windows; its pair streams (no ACKs at all) unless told not to, which no
    # Kermit here does on a serial line: the baseline is its pair with packets acknowledged.
    gkermit) compare gkermit kermit 1.0 "gkermit gkermit" "ours gkermit" "gkermit ours" "gkstream gkstream (info)" ;;
    ymodem) compare YMODEM-1K ymodem - "lrzsz lrzsz" "ours lrzsz" "lrzsz ours" ;;
    xmodem) compare XMODEM-1K xmodem1k - "lrzsz lrzsz" "ours lrzsz" "lrzsz ours" ;;
    port)
        for p in $port_protocols; do compare "port layer $p" "$p" 0.95 "ours ours" "port port"; done
        # As the programs use it: SerialOpen and the File* calls on one end, lrzsz on the other.
        compare "ZMODEM through the port" zmodem 1.0 "lrzsz lrzsz" "port lrzsz" "lrzsz port"
        ;;
    line)
        echo "At $line_rate bytes/s each way, $slow_size bytes, medians of $slow_repeat turns"
        line zmodem 96 lrzsz
        line ymodem 92 lrzsz
        line xmodem1k 92 lrzsz
        line kermit 88 ckermit
        ;;
    fast)
        echo "At $fast_rate bytes/s each way, $slow_size bytes, medians of $slow_repeat turns"
        fast ymodem
        fast xmodem1k
        ;;
    *) echo "unknown group $group" >&2 && exit 1 ;;
    esac
done
echo
echo "Goals (ratio: baseline seconds / these seconds; line: file bytes per second / $line_rate)"
printf '%-44s %7s %6s %s\n' goal measured wanted verdict
while read -r row; do
    value=$(echo "$row" | awk '{print $(NF-1)}')
    want=$(echo "$row" | awk '{print $NF}')
    verdict=info
    [ "$want" != - ] && verdict=$([ "$(echo "$value >= $want" | bc -l)" = 1 ] && echo met || echo "NOT met")
    printf '%s %s\n' "$row" "$verdict"
done <"$goals"
echo "failed runs: $failed"
echo "load after: $(uptime)"

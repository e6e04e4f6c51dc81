#!/usr/bin/env bash
# Transfer benchmark over pseudo-terminals (not a test): our XMODEM-1K and YMODEM sender to our
# receiver, and lrzsz's pair on the same bridge, then our YMODEM on a line held to 11520 bytes/s.
#   SIZE (bytes, default 8 MiB), SLOW_SIZE (throttled run, default 256 KiB), LIMIT (seconds per run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
bridge="$build/bin/pty_bridge"
ours="$build/bin/xfer_bench"
size="${SIZE:-$((8 * 1024 * 1024))}"
slow_size="${SLOW_SIZE:-$((256 * 1024))}"
limit="${LIMIT:-300}"
rate=11520
[ -x "$bridge" ] && [ -x "$ours" ] || { echo "build first: scripts/build.sh" >&2; exit 1; }
for p in sx rx sb rb; do command -v "$p" >/dev/null || { echo "lrzsz is missing ($p)" >&2; exit 1; }; done

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

now() { date +%s.%N; }

# run NAME RATE FILE KIND(xmodem|ymodem) SIDE(ours|lrzsz): prints "seconds ok|FAILED note"
run() {
    local name="$1" line_rate="$2" file="$3" kind="$4" side="$5"
    local dir="$work/$name" out
    mkdir -p "$dir/rx"
    coproc BRIDGE { exec "$bridge" "$line_rate"; }
    local a b
    read -r a b <&"${BRIDGE[0]}"
    local start end rpid spid note=""
    start=$(now)
    if [ "$side" = ours ]; then
        if [ "$kind" = xmodem ]; then
            "$ours" receive xmodem1k "$b" "$dir/rx/out.bin" >"$dir/rx.txt" &
            rpid=$!
            "$ours" send xmodem1k "$a" "$file" >"$dir/tx.txt" &
            spid=$!
        else
            "$ours" receive ymodem "$b" "$dir/rx" >"$dir/rx.txt" &
            rpid=$!
            "$ours" send ymodem "$a" "$file" >"$dir/tx.txt" &
            spid=$!
        fi
    else
        if [ "$kind" = xmodem ]; then
            (cd "$dir/rx" && exec rx -c out.bin <"$b" >"$b" 2>"$dir/rx.log") &
            rpid=$!
            (exec sx -k "$file" <"$a" >"$a" 2>"$dir/tx.log") &
            spid=$!
        else
            (cd "$dir/rx" && exec rb <"$b" >"$b" 2>"$dir/rx.log") &
            rpid=$!
            (exec sb "$file" <"$a" >"$a" 2>"$dir/tx.log") &
            spid=$!
        fi
    fi
    # The receiver decides: it has the whole file when it leaves. A sender still waiting then has
    # lost the receiver's last answer (lrzsz on a pty does that).
    local deadline=$((SECONDS + limit))
    while kill -0 "$rpid" 2>/dev/null; do
        sleep 0.01
        if [ $SECONDS -ge $deadline ]; then
            kill "$rpid" "$spid" 2>/dev/null || true
            note="stopped at the ${limit} s limit"
            break
        fi
    done
    wait "$rpid" 2>/dev/null || true
    end=$(now)
    local grace=$((SECONDS + 3))
    while kill -0 "$spid" 2>/dev/null && [ $SECONDS -lt $grace ]; do sleep 0.01; done
    if kill -0 "$spid" 2>/dev/null; then
        kill "$spid" 2>/dev/null || true
        note="${note:+$note, }sender hung after the receiver left"
    else
        end=$(now)
    fi
    wait "$spid" 2>/dev/null || true
    kill "${BRIDGE_PID}" 2>/dev/null || true
    wait "${BRIDGE_PID}" 2>/dev/null || true
    out="$dir/rx/$( [ "$kind" = xmodem ] && echo out.bin || basename "$file")"
    local ok=FAILED n
    n=$(stat -c %s "$file")
    if [ -f "$out" ] && cmp -s -n "$n" "$file" "$out"; then
        if [ "$kind" = ymodem ] && [ "$(stat -c %s "$out")" != "$n" ]; then ok=FAILED; else ok=ok; fi
    fi
    local retries=""
    if [ "$side" = ours ]; then
        retries="retries $(awk '{print $3}' "$dir/tx.txt")/$(awk '{print $3}' "$dir/rx.txt")"
    fi
    printf '%s %s %s\n' "$(echo "$end - $start" | bc)" "$ok" "$retries${note:+ ($note)}"
}

head -c "$size" /dev/urandom >"$work/data.bin"
head -c "$slow_size" /dev/urandom >"$work/slow.bin"

echo "Unthrottled pty bridge, $size bytes"
printf '%-12s %12s %12s %8s\n' protocol "ours (s)" "lrzsz (s)" ratio
for kind in xmodem ymodem; do
    read -r t_ours ok_ours note_ours < <(run "$kind-ours" 0 "$work/data.bin" "$kind" ours)
    read -r t_lrz ok_lrz note_lrz < <(run "$kind-lrzsz" 0 "$work/data.bin" "$kind" lrzsz)
    label=$([ "$kind" = xmodem ] && echo XMODEM-1K || echo YMODEM)
    printf '%-12s %12.2f %12.2f %8.2f   ours %s %s; lrzsz %s %s\n' "$label" "$t_ours" "$t_lrz" \
        "$(echo "$t_lrz / $t_ours" | bc -l)" "$ok_ours" "$note_ours" "$ok_lrz" "$note_lrz"
done
echo "(ratio = lrzsz seconds / our seconds; above 1 means ours is faster)"

echo
echo "Throttled to $rate bytes/s each way, $slow_size bytes, YMODEM-1K"
read -r t_slow ok_slow note_slow < <(run ymodem-slow "$rate" "$work/slow.bin" ymodem ours)
eff=$(echo "$slow_size / $t_slow / $rate * 100" | bc -l)
printf 'ours: %.2f s, %.0f file bytes/s, efficiency %.1f%% of the line, %s %s\n' "$t_slow" \
    "$(echo "$slow_size / $t_slow" | bc -l)" "$eff" "$ok_slow" "$note_slow"

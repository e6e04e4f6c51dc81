#!/usr/bin/env bash
# The terminal window's real path (pty -> reader -> receive pipeline -> model -> paint) under the
# offscreen platform, next to the core alone (termreplay) on the same bytes in the same run:
#   - a SIZE text stream (default 16 MiB) into an ANSI, a VT100 and a Dumb window, unthrottled; the
#     ratio is the window's throughput over termreplay's (goal >= 0.5; the Dumb window, which has no
#     description of its own, is held to the VT100 core), with the longest time the GUI thread was
#     held (goal <= 16 ms), and whether the window's last screen rows equal the core's after the same
#     bytes (the Dumb window's screen is one row taller; its last rows are compared); next to it the
#     same flood through the same kind of pty read by a bare loop, the floor under the window's time;
#   - the same flood into a capturing VT100 and Dumb window, next to the flood without capture
#     (goal: throughput >= 0.9 of it), and whether the capture file holds every byte;
#   - sz sending a DOWNLOAD-byte file (default 8 MiB) over an unthrottled pty_bridge to a VT100 window
#     whose detector starts the download, next to the same file to our receiver alone (xfer_bench),
#     taking turns; the time is until the received file is complete (goal: direct over window >= 0.95);
#     skipped without xfer_bench or sz;
#   - CPU seconds over wall seconds for a VT100 and a Dumb window fed at 921600 baud through
#     pty_bridge 92160 for SECONDS (default 5; goal < 10%);
#   - key to echo through a pty loopback, KEYS keys (default 200; goal median <= 10 ms, p99 <= 25 ms).
# The throughput runs take turns REPEAT times (default 5); the medians count.
# Each figure is printed with the machine's load next to it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
window="$build/bin/window_bench"
core="$build/bin/termreplay"
bridge="$build/bin/pty_bridge"
receiver="$build/bin/xfer_bench"
size="${SIZE:-$((16 * 1024 * 1024))}"
seconds="${SECONDS_FED:-5}"
keys="${KEYS:-200}"
downloadSize="${DOWNLOAD:-$((8 * 1024 * 1024))}"
repeat="${REPEAT:-5}"
for p in "$window" "$core" "$bridge"; do
    [ -x "$p" ] || { echo "build first: window_bench termreplay pty_bridge (and xfer_bench)" >&2; exit 1; }
done
export QT_QPA_PLATFORM=offscreen

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
awk 'BEGIN { for (n = 0;; ++n) printf "line %d of a long listing scrolling past, %s\r\n", n, "with some words in it" }' |
    head -c "$size" >"$work/text" || true
# What the window is fed: the text and the end mark it waits for.
{ cat "$work/text"; printf '\r\n<<window-bench-end>>'; } >"$work/text.end"

now() { date +%s.%N; }
load() { uptime | sed 's/.*load average: /load /'; }

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
# The last 24 rows of a screen as termreplay prints it (its attribute and cursor lines dropped).
rows() { sed '/^attr /d; /^cursor /d' "$1" | tail -n 24; }

echo "== throughput, $size bytes of text, medians of $repeat turns"
for mode in ansi vt100 dumb; do
    description="$root/terminal/resources/$([ "$mode" = dumb ] && echo vt100 || echo "$mode")"
    : >"$work/core" && : >"$work/window" && : >"$work/held" && : >"$work/pty"
    for _ in $(seq "$repeat"); do
        # The core's own start (description loaded, nothing fed) is taken off its time.
        start=$(now)
        "$core" "$description" /dev/null >/dev/null
        middle=$(now)
        "$core" "$description" "$work/text" >/dev/null
        echo "$(now) - $middle - ($middle - $start)" | bc -l >>"$work/core"
        read -r _ windowSeconds _ paints _ held < <("$window" flood "$mode" "$work/text" "$work/screen")
        echo "$windowSeconds" >>"$work/window"
        echo "$held" >>"$work/held"
        "$window" pty - "$work/text" | awk '{ print $2 }' >>"$work/pty"
    done
    "$core" "$description" "$work/text.end" >"$work/core.screen"
    same=$(cmp -s <(rows "$work/core.screen") <(rows "$work/screen") && echo same || echo DIFFERS)
    coreSeconds=$(median <"$work/core")
    windowSeconds=$(median <"$work/window")
    printf '%-6s core %6.3f s  window %6.3f s  ratio %.2f  gui held at most %s ms  screen %s  pty alone %.3f s   [%s]\n' \
        "$mode" "$coreSeconds" "$windowSeconds" "$(echo "$coreSeconds / $windowSeconds" | bc -l)" \
        "$(sort -g "$work/held" | tail -1)" "$same" "$(median <"$work/pty")" "$(load)"
done

echo "== capture, the same flood with and without a capture file, medians of $repeat turns"
for mode in vt100 dumb; do
    : >"$work/plain" && : >"$work/captured"
    for _ in $(seq "$repeat"); do
        "$window" flood "$mode" "$work/text" | awk '{ print $2 }' >>"$work/plain"
        "$window" capture "$mode" "$work/text" >"$work/capture.out"
        awk '/^seconds/ { print $2 }' "$work/capture.out" >>"$work/captured"
        bytes=$(awk '/^captured/ { print $2 }' "$work/capture.out")
    done
    plainSeconds=$(median <"$work/plain")
    captureSeconds=$(median <"$work/captured")
    printf '%-6s without %6.3f s  capturing %6.3f s  ratio %.2f  file %s   [%s]
' "$mode" "$plainSeconds" \
        "$captureSeconds" "$(echo "$plainSeconds / $captureSeconds" | bc -l)" \
        "$([ "$bytes" = "$(stat -c %s "$work/text.end")" ] && echo whole || echo "SHORT ($bytes bytes)")" "$(load)"
done

# download window|direct: seconds from sz's start until the received file is complete, or FAILED
download() {
    local how="$1" dir="$work/download" a b start complete="" receiverPid deadline
    rm -rf "$dir" && mkdir -p "$dir/rx"
    coproc BRIDGE { exec "$bridge"; }
    read -r a b <&"${BRIDGE[0]}"
    if [ "$how" = window ]; then
        "$window" download vt100 "$b" "$dir/rx" >"$dir/out" 2>/dev/null &
        receiverPid=$!
        deadline=$((SECONDS + 30))
        until grep -q ready "$dir/out" || [ $SECONDS -ge $deadline ]; do sleep 0.01; done
    else
        "$receiver" receive zmodem "$b" "$dir/rx" >/dev/null &
        receiverPid=$!
    fi
    start=$(now)
    (cd "$work" && exec sz -q data.bin <"$a" >"$a" 2>/dev/null) &
    local sender=$!
    deadline=$((SECONDS + 120))
    while [ $SECONDS -lt $deadline ]; do
        if [ "$(stat -c %s "$dir/rx/data.bin" 2>/dev/null || echo 0)" = "$downloadSize" ]; then
            complete=$(now)
            break
        fi
        sleep 0.002
    done
    wait "$receiverPid" 2>/dev/null || true
    kill "$sender" "$BRIDGE_PID" 2>/dev/null || true
    wait "$sender" "$BRIDGE_PID" 2>/dev/null || true
    if [ -n "$complete" ] && cmp -s "$work/data.bin" "$dir/rx/data.bin"; then
        echo "$complete - $start" | bc -l
    else
        echo FAILED
    fi
}

if [ -x "$receiver" ] && command -v sz >/dev/null; then
    echo "== automatic download, $downloadSize bytes by sz, medians of $repeat turns"
    head -c "$downloadSize" /dev/urandom >"$work/data.bin"
    : >"$work/direct" && : >"$work/window"
    for _ in $(seq "$repeat"); do
        download direct >>"$work/direct"
        download window >>"$work/window"
    done
    if grep -q FAILED "$work/direct" "$work/window"; then
        printf 'a transfer FAILED (direct: %s; window: %s)   [%s]\n' "$(tr '\n' ' ' <"$work/direct")" \
            "$(tr '\n' ' ' <"$work/window")" "$(load)"
    else
        directSeconds=$(median <"$work/direct")
        windowSeconds=$(median <"$work/window")
        printf 'vt100  direct %6.3f s  window %6.3f s  ratio %.2f   [%s]\n' "$directSeconds" "$windowSeconds" \
            "$(echo "$directSeconds / $windowSeconds" | bc -l)" "$(load)"
    fi
else
    echo "== automatic download skipped: build xfer_bench and install lrzsz"
fi

echo "== CPU at 921600 baud (pty_bridge 92160), ${seconds} s"
for mode in vt100 dumb; do
    coproc BRIDGE { exec "$bridge" 92160; }
    read -r a b <&"${BRIDGE[0]}"
    (exec cat "$work/text" >"$b") &
    feeder=$!
    read -r _ cpuSeconds _ wallSeconds < <("$window" cpu "$mode" "$a" "$seconds")
    kill "$feeder" "$BRIDGE_PID" 2>/dev/null || true
    wait "$feeder" "$BRIDGE_PID" 2>/dev/null || true
    printf '%-6s cpu %.3f s / wall %.3f s = %.1f%%   [%s]\n' "$mode" "$cpuSeconds" "$wallSeconds" \
        "$(echo "100 * $cpuSeconds / $wallSeconds" | bc -l)" "$(load)"
done

echo "== key to echo, $keys keys through a pty loopback"
for mode in vt100 dumb; do
    printf '%-6s %s   [%s]\n' "$mode" "$("$window" echo "$mode" "$keys")" "$(load)"
done

#!/usr/bin/env bash
# The terminal window's real path (pty -> reader -> receive pipeline -> model -> paint), judged against
# what the same machine does in the same run, each pair taking turns REPEAT times (default 5, medians):
#   - throughput: a SIZE text stream (default 16 MiB) into an ANSI, a VT100 and a Dumb window, and an
#     escape-heavy stream (cursor moves, attributes, erases, scroll regions) into an ANSI and a VT100
#     window, unthrottled, beside the same bytes through the same kind of pty read by a bare loop
#     (goal: window / bare reader >= 0.6 on text, >= 0.8 on escapes) and beside xterm showing them
#     (halvic / xterm, > 1 is faster); the longest time the GUI thread was held (goal <= 16 ms), and
#     whether the window's last screen rows equal termreplay's after the same bytes;
#   - the Dumb window beside the VT100 window on text (goal: dumb / vt100 >= 1, > 1 is faster);
#   - the text flood into a capturing VT100 and Dumb window beside the flood without capture (goal
#     >= 0.9), and whether the capture file holds every byte;
#   - sz sending a DOWNLOAD-byte file (default 8 MiB) over an unthrottled pty_bridge to a VT100 window
#     whose detector starts the download, beside our receiver alone (goal: direct / window >= 0.95);
#     skipped without xfer_bench or sz;
#   - CPU over wall time for a VT100 and a Dumb window and for xterm fed at 921600 baud through
#     pty_bridge 92160 for SECONDS_FED (default 5), the X server's share counted (goal < 10%);
#   - key to echo through a loopback far end, KEYS keys (default 200): with Xvfb and x_key_echo, from
#     the X key event to changed pixels for halvic and xterm (goal: halvic / xterm <= 1); inside the
#     program (key event to the paint) otherwise.
# With Xvfb installed everything runs on a private Xvfb, so the X server's work counts; without it on
# the offscreen platform, and xterm is left out. Each figure has the machine's load beside it.
#   BUILD_DIR (default build): an existing build, measured as it is.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
window="$build/bin/window_bench"
core="$build/bin/termreplay"
bridge="$build/bin/pty_bridge"
receiver="$build/bin/xfer_bench"
keyEcho="$build/bin/x_key_echo"
size="${SIZE:-$((16 * 1024 * 1024))}"
seconds="${SECONDS_FED:-5}"
keys="${KEYS:-200}"
downloadSize="${DOWNLOAD:-$((8 * 1024 * 1024))}"
repeat="${REPEAT:-5}"
for p in "$window" "$core" "$bridge"; do
    [ -x "$p" ] || {
        echo "$p is missing: build first (cmake --build $build --target window_bench termreplay pty_bridge" \
            "xfer_bench x_key_echo)" >&2
        exit 1
    }
done

work="$(mktemp -d)"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

now() { echo "$EPOCHREALTIME"; }
load() { uptime | sed 's/.*load average: /load /'; }
median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else print v[int((NR + 1) / 2)] }'; }
ratio() { echo "$1 / $2" | bc -l; }
# The last 24 rows of a screen as termreplay prints it (its attribute and cursor lines dropped).
rows() { sed '/^attr /d; /^cursor /d' "$1" | tail -n 24; }

xvfbPid=""
if command -v Xvfb >/dev/null; then
    display=$((100 + $$ % 400))
    Xvfb ":$display" -screen 0 1600x1200x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfbPid=$!
    for _ in $(seq 500); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.01; done
    [ -S "/tmp/.X11-unix/X$display" ] || { echo "Xvfb did not start:" >&2; cat "$work/xvfb.log" >&2; exit 1; }
    export DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    echo "== on Xvfb $DISPLAY"
else
    export QT_QPA_PLATFORM=offscreen
    echo "== no Xvfb (apt-get install xvfb): offscreen platform, no xterm beside the window"
fi
xterm=""
[ -n "$xvfbPid" ] && command -v xterm >/dev/null && xterm=xterm
[ -n "$xvfbPid" ] && [ -z "$xterm" ] && echo "== no xterm (apt-get install xterm): halvic alone"
ticks=$(getconf CLK_TCK)
# CPU seconds the X server has used so far (0 without one).
xSeconds() {
    if [ -n "$xvfbPid" ]; then awk -v t="$ticks" '{ print ($14 + $15) / t }' "/proc/$xvfbPid/stat"; else echo 0; fi
}

awk 'BEGIN { for (n = 0;; ++n) printf "line %d of a long listing scrolling past, %s\r\n", n, "with some words in it" }' |
    head -c "$size" >"$work/text" || true
# Whole sequences only, so that the end mark is text.
awk -v size="$size" 'BEGIN {
    srand(2)
    while (written < size) {
        k = int(rand() * 10)
        if (k == 0) s = sprintf("\033[%d;%dH", 1 + int(rand() * 24), 1 + int(rand() * 80))
        else if (k == 1) s = sprintf("\033[%d%s", 1 + int(rand() * 9), substr("ABCD", 1 + int(rand() * 4), 1))
        else if (k == 2) s = sprintf("\033[%dm", int(rand() * 8))
        else if (k == 3) s = "\033[0;4;7m"
        else if (k == 4) s = "\033[K"
        else if (k == 5) s = sprintf("\033[%d;%dr", 1 + int(rand() * 8), 12 + int(rand() * 13))
        else if (k == 6) s = "\033[L\033[M"
        else if (k == 7) s = "\r\n"
        else { s = ""; for (i = int(rand() * 12); i >= 0; --i) s = s substr("abcdefghijklmnopqrstuvwxyz", 1 + int(rand() * 26), 1) }
        printf "%s", s
        written += length(s)
    }
    printf "\033[1;24r\033[0m\033[24;1H"
}' >"$work/escapes"

# xterm's start and end alone (a child that does nothing), taken off its time for a stream.
xtermIdle() {
    local start
    start=$(now)
    "$xterm" -geometry 80x24+0+0 -e true 2>/dev/null
    echo "$(now) - $start" | bc -l
}
xtermShows() {
    local start
    start=$(now)
    "$xterm" -geometry 80x24+0+0 -e cat "$1" 2>/dev/null
    echo "$(now) - $start" | bc -l
}

echo "== throughput, $size bytes, medians of $repeat turns (ratios > 1: halvic faster)"
for run in text:ansi text:vt100 text:dumb escapes:ansi escapes:vt100; do
    stream=${run%%:*} mode=${run#*:}
    description="$root/terminal/resources/$([ "$mode" = dumb ] && echo vt100 || echo "$mode")"
    goal=$([ "$stream" = text ] && echo 0.6 || echo 0.8)
    for f in window held bare xterm idle; do : >"$work/$f"; done
    for _ in $(seq "$repeat"); do
        "$window" pty - "$work/$stream" 2>/dev/null | awk '{ print $2 }' >>"$work/bare"
        read -r _ windowSeconds _ _ _ held < <("$window" flood "$mode" "$work/$stream" "$work/screen" 2>/dev/null)
        echo "$windowSeconds" >>"$work/window"
        echo "$held" >>"$work/held"
        if [ -n "$xterm" ]; then
            xtermIdle >>"$work/idle"
            xtermShows "$work/$stream" >>"$work/xterm"
        fi
    done
    { cat "$work/$stream"; printf '\r\n<<window-bench-end>>'; } >"$work/stream.end"
    "$core" "$description" "$work/stream.end" >"$work/core.screen"
    same=$(cmp -s <(rows "$work/core.screen") <(rows "$work/screen") && echo same || echo DIFFERS)
    windowSeconds=$(median <"$work/window")
    bareSeconds=$(median <"$work/bare")
    beside=""
    if [ -n "$xterm" ]; then
        xtermSeconds=$(echo "$(median <"$work/xterm") - $(median <"$work/idle")" | bc -l)
        beside=$(printf '  xterm %6.3f s  halvic/xterm %.2f' "$xtermSeconds" "$(ratio "$xtermSeconds" "$windowSeconds")")
    fi
    printf '%-7s %-5s window %6.3f s  bare reader %6.3f s  window/bare %.2f (goal >= %s)%s  gui held at most %s ms  screen %s   [%s]\n' \
        "$stream" "$mode" "$windowSeconds" "$bareSeconds" "$(ratio "$bareSeconds" "$windowSeconds")" "$goal" \
        "$beside" "$(sort -g "$work/held" | tail -1)" "$same" "$(load)"
done
echo "== Dumb window beside VT100 window on text, taking turns, medians of $repeat turns"
: >"$work/flood.vt100" && : >"$work/flood.dumb"
for _ in $(seq "$repeat"); do
    for mode in vt100 dumb; do
        "$window" flood "$mode" "$work/text" 2>/dev/null | awk '{ print $2 }' >>"$work/flood.$mode"
    done
done
vt100Seconds=$(median <"$work/flood.vt100")
dumbSeconds=$(median <"$work/flood.dumb")
printf 'vt100 %6.3f s  dumb %6.3f s  dumb/vt100 %.2f (goal >= 1)   [%s]\n' "$vt100Seconds" "$dumbSeconds" \
    "$(ratio "$vt100Seconds" "$dumbSeconds")" "$(load)"

echo "== capture, the same flood with and without a capture file, medians of $repeat turns"
for mode in vt100 dumb; do
    : >"$work/plain" && : >"$work/captured"
    for _ in $(seq "$repeat"); do
        "$window" flood "$mode" "$work/text" 2>/dev/null | awk '{ print $2 }' >>"$work/plain"
        "$window" capture "$mode" "$work/text" >"$work/capture.out" 2>/dev/null
        awk '/^seconds/ { print $2 }' "$work/capture.out" >>"$work/captured"
        bytes=$(awk '/^captured/ { print $2 }' "$work/capture.out")
    done
    { cat "$work/text"; printf '\r\n<<window-bench-end>>'; } >"$work/text.end"
    plainSeconds=$(median <"$work/plain")
    captureSeconds=$(median <"$work/captured")
    printf '%-6s without %6.3f s  capturing %6.3f s  ratio %.2f  file %s   [%s]\n' "$mode" "$plainSeconds" \
        "$captureSeconds" "$(ratio "$plainSeconds" "$captureSeconds")" \
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
            "$(ratio "$directSeconds" "$windowSeconds")" "$(load)"
    fi
else
    echo "== automatic download skipped: build xfer_bench and install lrzsz"
fi

# cpuOf vt100|dumb|xterm: "own-cpu x-cpu wall" for SECONDS_FED of a 921600-baud text line.
cpuOf() {
    local who="$1" a b feeder xBefore own wall
    coproc BRIDGE { exec "$bridge" 92160; }
    read -r a b <&"${BRIDGE[0]}"
    (exec cat "$work/text" >"$b") &
    feeder=$!
    xBefore=$(xSeconds)
    if [ "$who" = xterm ]; then
        # The far end's cat counts as xterm's reader (its waited-for child).
        /usr/bin/time -f '%U %S %e' -o "$work/time" "$xterm" -geometry 80x24+0+0 \
            -e sh -c "stty raw -echo <'$a'; exec timeout $seconds cat '$a'" 2>/dev/null
        read -r user system wall <"$work/time"
        own=$(echo "$user + $system" | bc -l)
    else
        read -r _ own _ wall < <("$window" cpu "$who" "$a" "$seconds" 2>/dev/null)
    fi
    echo "$own $(echo "$(xSeconds) - $xBefore" | bc -l) $wall"
    kill "$feeder" "$BRIDGE_PID" 2>/dev/null || true
    wait "$feeder" "$BRIDGE_PID" 2>/dev/null || true
}

echo "== CPU at 921600 baud (pty_bridge 92160), ${seconds} s, the X server's share counted"
who="vt100 dumb"
[ -n "$xterm" ] && who="vt100 xterm dumb xterm"
for w in $who; do
    read -r own x wall < <(cpuOf "$w")
    share=$(echo "100 * ($own + $x) / $wall" | bc -l)
    echo "$share" >"$work/cpu.$w"
    printf '%-6s cpu %.3f s + X %.3f s / wall %.3f s = %.1f%% (goal < 10%%)   [%s]\n' "$w" "$own" "$x" "$wall" \
        "$share" "$(load)"
done
[ -n "$xterm" ] && printf 'halvic vt100 / xterm cpu %.2f, dumb / xterm %.2f (< 1: halvic spends less)\n' \
    "$(ratio "$(cat "$work/cpu.vt100")" "$(cat "$work/cpu.xterm")")" \
    "$(ratio "$(cat "$work/cpu.dumb")" "$(cat "$work/cpu.xterm")")"

echo "== key to echo, $keys keys through a loopback far end"
if [ -n "$xterm" ] && [ -x "$keyEcho" ]; then
    # Both on the same X server and the same far end; the turns alternate.
    for mode in vt100 dumb; do
        : >"$work/echo.halvic" && : >"$work/echo.xterm"
        for _ in $(seq "$repeat"); do
            "$keyEcho" halvic "$window" "$mode" "$((keys / repeat))" 2>/dev/null >>"$work/echo.halvic" || true
            "$keyEcho" xterm "$xterm" "$((keys / repeat))" 2>/dev/null >>"$work/echo.xterm" || true
        done
        halvicMs=$(median <"$work/echo.halvic")
        xtermMs=$(median <"$work/echo.xterm")
        printf '%-6s X key to pixels: halvic median %.2f ms  xterm %.2f ms  halvic/xterm %.2f (goal <= 1)   [%s]\n' \
            "$mode" "$halvicMs" "$xtermMs" "$(ratio "$halvicMs" "$xtermMs")" "$(load)"
    done
else
    [ -n "$xterm" ] && echo "(build x_key_echo, which needs libxtst-dev, for the X key to pixels beside xterm)"
    for mode in vt100 dumb; do
        printf '%-6s in the program, key event to paint: %s   [%s]\n' "$mode" "$("$window" echo "$mode" "$keys" 2>/dev/null)" "$(load)"
    done
fi

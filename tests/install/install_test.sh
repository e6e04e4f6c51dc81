#!/usr/bin/env bash
# Usage: install_test.sh BUILD_DIR. Fails naming the first missing file or the program that did not start.
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for f in bin/halvic bin/vantro-configurator share/halvic/ansi share/halvic/vt100 \
         share/applications/halvic.desktop share/applications/vantro-configurator.desktop \
         share/icons/hicolor/64x64/apps/halvic.png share/icons/hicolor/64x64/apps/vantro-configurator.png; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
for d in "$prefix"/share/applications/*.desktop; do
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$d")"
    [ -x "$prefix/bin/$exec_name" ] || { echo "$d starts $exec_name, which is not installed"; exit 1; }
done

# A program that is still running after three seconds has started; one that exited has not.
export QT_QPA_PLATFORM=offscreen HOME="$prefix/home" XDG_CONFIG_HOME="$prefix/home/.config"
export XDG_RUNTIME_DIR="$prefix/run" BREL_PORT_MAP="$prefix/home/ports.conf"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
cd "$prefix"
# Both are started at once; each one's status is checked on its own.
pids=()
for program in halvic vantro-configurator; do
    timeout 3 "$prefix/bin/$program" >"$prefix/$program.log" 2>&1 &
    pids+=($!)
done
programs=(halvic vantro-configurator)
for i in 0 1; do
    status=0
    wait "${pids[$i]}" || status=$?
    if [ "$status" -ne 124 ]; then
        echo "${programs[$i]} exited with status $status:"; cat "$prefix/${programs[$i]}.log"; exit 1
    fi
done
echo "both programs start from $prefix"

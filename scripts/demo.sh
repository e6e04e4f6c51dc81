#!/usr/bin/env bash
# Installs what is needed, builds both programs, starts a simulated modem on COM1 of a private port map
# and the configurator on the same map, and stops the modem when the configurator exits.
# Q86SIM_OPTS passes options to the simulated modem (see q86sim --help), e.g. "--baud 9600".
# The firmware images for "Upgrade FW" are kept in DEMO_FIRMWARE_DIR (default build/demo-firmware);
# the upgrade's file dialog opens there. The configurator's Terminal Emulator menu starts the Halvic of
# the same build, on the same port map. `cmake --install build` installs what the demo built.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build demo
"$root/scripts/build.sh" --target vantro-configurator halvic q86sim-program q86sim-image help_pages
build_dir="${BUILD_DIR:-$root/build}"

map="$(mktemp -t brel-ports.XXXXXX)"
images="${DEMO_FIRMWARE_DIR:-$build_dir/demo-firmware}"
mkdir -p "$images"
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -f "$map"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
export BREL_PORT_MAP="$map"

read -r -a sim_opts <<<"${Q86SIM_OPTS:-}"
"$build_dir/bin/q86sim" --port 1 "${sim_opts[@]}" >/dev/null &
sim_pid=$!
for _ in $(seq 50); do
    grep -q '^COM1=' "$map" 2>/dev/null && break
    kill -0 "$sim_pid" 2>/dev/null || { echo "demo: the simulated modem did not start" >&2; exit 1; }
    sleep 0.1
done
grep -q '^COM1=' "$map" || { echo "demo: the simulated modem did not publish COM1" >&2; exit 1; }
echo "demo: simulated modem on COM1 ($(sed -n 's/^COM1=\([^;]*\).*/\1/p' "$map"))" >&2

# Images for "Upgrade FW": the simulated modem takes the one of its model.
"$build_dir/bin/q86sim-image" --model Q8690I "$images/Q8690I.img"
"$build_dir/bin/q86sim-image" --model Q8630 "$images/Q8630.img"
echo "demo: firmware images in $images (kept)" >&2
export BREL_FIRMWARE_DIR="$images"

"$build_dir/bin/vantro-configurator" "$@"

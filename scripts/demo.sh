#!/usr/bin/env bash
# Installs what is needed, builds, and starts the configurator.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build demo
"$root/scripts/build.sh" --target vantro-configurator
build_dir="${BUILD_DIR:-$root/build}"
exec "$build_dir/bin/vantro-configurator" "$@"

#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Skips what is already there.
# Usage: scripts/deps.sh [build|test|demo]...
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libgtest-dev libgmock-dev
            libbenchmark-dev)
test_pkgs=(lrzsz gkermit ckermit socat libvterm-dev libncurses-dev ncurses-bin clang libclang-rt-14-dev
           desktop-file-utils shared-mime-info man-db groff-base)
demo_pkgs=()

want=("${build_pkgs[@]}")
for kind in "$@"; do
    case "$kind" in
        build) ;;
        test) want+=("${test_pkgs[@]}") ;;
        demo) want+=("${demo_pkgs[@]}") ;;
        *) echo "deps.sh: unknown kind '$kind'" >&2; exit 2 ;;
    esac
done

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Usage: install_test.sh BUILD_DIR VERSION. Installs the build into a temporary prefix, checks that every
# file lands in its GNU place below it, and runs the installed programs. Fails naming the first fault.
set -euo pipefail
build="$1"
version="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "$*"; exit 1; }

sizes=(16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256)
expected=(bin/halvic bin/vantro-configurator bin/q86sim share/halvic/ansi share/halvic/vt100
          share/halvic/halvic-ansi.terminfo share/halvic/halvic-vt100.terminfo
          share/applications/halvic.desktop share/applications/vantro-configurator.desktop
          share/mime/packages/halvic.xml
          share/doc/vantro/halvic.html share/doc/vantro/vantro-configurator.html
          share/man/man1/halvic.1 share/man/man1/vantro-configurator.1 share/man/man1/q86sim.1)
for program in halvic vantro-configurator; do
    expected+=("share/icons/hicolor/scalable/apps/$program.svg")
    for s in "${sizes[@]}"; do
        expected+=("share/icons/hicolor/$s/apps/$program.png")
    done
done
for f in "${expected[@]}"; do
    [ -f "$prefix/$f" ] || fail "not installed: $f"
done
# Nothing lands anywhere else.
while IFS= read -r f; do
    case "$f" in
        bin/* | share/halvic/* | share/applications/* | share/mime/packages/* | share/doc/vantro/* | \
            share/man/man1/* | share/icons/hicolor/*/apps/*) ;;
        *) fail "installed outside the GNU places: $f" ;;
    esac
done < <(cd "$prefix" && find . -type f | sed 's|^\./||')

# Each PNG is as large as its folder says.
for program in halvic vantro-configurator; do
    for s in "${sizes[@]}"; do
        png="$prefix/share/icons/hicolor/$s/apps/$program.png"
        read -r w h < <(od -An -tu1 -j16 -N8 "$png" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
        [ "${w}x${h}" = "$s" ] || fail "$png is ${w}x${h}"
    done
done

# The desktop entries are clean, start installed programs and name the installed MIME type.
for d in "$prefix"/share/applications/*.desktop; do
    report="$(desktop-file-validate "$d" 2>&1)" || fail "desktop-file-validate $d: $report"
    [ -z "$report" ] || fail "desktop-file-validate $d: $report"
    exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$d")"
    [ -x "$prefix/bin/$exec_name" ] || fail "$d starts $exec_name, which is not installed"
done
mime_type="$(sed -n 's/^MimeType=\([^;]*\);.*/\1/p' "$prefix/share/applications/halvic.desktop")"
[ -n "$mime_type" ] || fail "halvic.desktop names no MimeType"
grep -q "<mime-type type=\"$mime_type\">" "$prefix/share/mime/packages/halvic.xml" ||
    fail "halvic.desktop names $mime_type, which halvic.xml does not define"
cp -r "$prefix/share/mime" "$prefix/mime-db"
update-mime-database "$prefix/mime-db" 2>/dev/null || fail "update-mime-database refused halvic.xml"
grep -qx "[0-9]*:$mime_type:\*.hlv" "$prefix/mime-db/globs2" || fail "*.hlv is not $mime_type"
rm -rf "$prefix/mime-db"

# Every man page renders without a warning and names its program.
for page in "$prefix"/share/man/man1/*.1; do
    name="$(basename "$page" .1)"
    warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
    [ -z "$warnings" ] || fail "man -l $page: $warnings"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -qE "^ *$name +- " || fail "man -l $page has no NAME line"
    MANWIDTH=80 man -l "$page" 2>/dev/null | grep -q "$version" || fail "man -l $page does not show $version"
done

# The command lines, with no display to reach: a program that tried to open a window would fail.
for program in halvic vantro-configurator q86sim; do
    run() { env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$prefix/bin/$program" "$@"; }
    out="$(run --version 2>&1)" || fail "$program --version failed: $out"
    [ "$out" = "$program $version" ] || fail "$program --version printed: $out"
    out="$(run --help 2>&1)" || fail "$program --help failed: $out"
    [[ "$out" == "Usage: $program "* ]] || fail "$program --help printed: $out"
    status=0
    run --bogus >"$prefix/out" 2>"$prefix/err" || status=$?
    [ "$status" -eq 2 ] || fail "$program --bogus exited with $status"
    [ ! -s "$prefix/out" ] || fail "$program --bogus wrote to stdout: $(cat "$prefix/out")"
    grep -q "^Usage: $program " "$prefix/err" || fail "$program --bogus gave no usage on stderr"
done

# Help in each installed program opens the installed page (the help test, on this prefix).
BREL_HELP_ROOT="$prefix" QT_QPA_PLATFORM=offscreen "$build/tests/install_help_tests" >"$prefix/help.log" 2>&1 ||
    { cat "$prefix/help.log"; fail "Help does not open the installed pages"; }

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
echo "installed in the GNU places, and both programs start from $prefix"

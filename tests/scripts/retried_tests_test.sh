#!/usr/bin/env bash
# Usage: retried_tests_test.sh RETRIED_TESTS_SH CTEST CMAKE. Runs a small project whose tests pass,
# fail once, time out once, or always fail, under "--repeat until-pass:2", and checks that the
# summary names exactly the two that passed on their rerun.
set -euo pipefail
script="$1" ctest="$2" cmake="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cat >"$work/CMakeLists.txt" <<CML
cmake_minimum_required(VERSION 3.16)
project(retry NONE)
enable_testing()
add_test(NAME steady COMMAND true)
add_test(NAME fails_once COMMAND sh -c "if [ -e $work/once ]; then exit 0; fi; touch $work/once; echo Passed; exit 1")
add_test(NAME hangs_once COMMAND sh -c "if [ -e $work/hang ]; then exit 0; fi; touch $work/hang; sleep 30")
set_tests_properties(hangs_once PROPERTIES TIMEOUT 1)
add_test(NAME always_fails COMMAND false)
CML
"$cmake" -S "$work" -B "$work/b" >/dev/null
status=0
(cd "$work/b" && "$ctest" -j2 --output-on-failure --repeat until-pass:2 >"$work/out.txt" 2>&1) || status=$?
[ "$status" -ne 0 ] || { echo "the failing test did not fail the run"; exit 1; }
summary="$(bash "$script" "$work/out.txt")"
expected="$(printf '\nTests that passed only on a rerun (flaky):\n  fails_once\n  hangs_once')"
sorted="$(printf '%s\n' "$summary" | sed -n '3,$p' | sort | tr '\n' ' ')"
if [ "$(printf '%s\n' "$summary" | sed -n 2p)" != "Tests that passed only on a rerun (flaky):" ] ||
    [ "$sorted" != "  fails_once   hangs_once " ]; then
    echo "summary was:"; printf '%s\n' "$summary"; echo "wanted:"; printf '%s\n' "$expected"
    cat "$work/out.txt"
    exit 1
fi
# A run where nothing was retried prints nothing.
(cd "$work/b" && "$ctest" -R steady --repeat until-pass:2 >"$work/clean.txt" 2>&1)
[ -z "$(bash "$script" "$work/clean.txt")" ] || { echo "a clean run named a test"; exit 1; }

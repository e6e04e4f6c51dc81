#!/usr/bin/env bash
# Installs what is needed, builds, and runs the whole test suite. Exits non-zero on any failure.
# BUILD_DIR, SANITIZE=1 and WERROR=1 as for scripts/build.sh; extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build test
"$root/scripts/build.sh"
build_dir="${BUILD_DIR:-$root/build}"
cd "$build_dir"
# A test that fails is run once more: the end-to-end tests talk to real peers over pseudo-terminals in
# real time, and a machine running the whole suite in parallel can hold a peer past a reply's time.
# A test that fails twice fails the run.
# Most tests spend their time waiting on peers, timers and pseudo-terminals (at one job per core the
# machine is two-thirds idle), so two jobs per core by default; TEST_JOBS sets another number.
# A test that passed only on its rerun is named at the end of the run, so a flaky test is seen.
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
set +e
ctest --output-on-failure -j "${TEST_JOBS:-$((2 * $(nproc)))}" --repeat until-pass:2 "$@" | tee "$log"
status=${PIPESTATUS[0]}
set -e
"$root/scripts/retried_tests.sh" "$log"
exit "$status"

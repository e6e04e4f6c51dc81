#!/usr/bin/env bash
# Builds the test programs that drive no Qt widgets with ThreadSanitizer and runs them.
# BUILD_DIR (default build-tsan); extra arguments go to ctest.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/deps.sh" build test
programs=(portmap_tests comm_tests held_port_tests seriallib_tests terminal_core_tests q86sim_core_tests
          configurator_engine_config_tests configurator_engine_link_tests configurator_engine_pty_tests
          configurator_engine_read_tests configurator_engine_write_tests configurator_engine_detect_tests
          configurator_engine_sim_read_tests configurator_engine_sim_write_tests
          configurator_engine_sim_detect_tests configurator_engine_sim_monitor_tests
          configurator_engine_loadthread_tests)
export BUILD_DIR="${BUILD_DIR:-$root/build-tsan}"
BUILD_TYPE=RelWithDebInfo CMAKE_ARGS="-DBREL_TSAN=ON -DBREL_BENCH=OFF" "$root/scripts/build.sh" \
    --target "${programs[@]}"
labels="^($(IFS='|'; echo "${programs[*]}"))\$"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/scripts/tsan.supp"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --repeat until-pass:2 -L "$labels" "$@"

#!/usr/bin/env bash
# Sets everything up on a fresh Debian 12 machine and runs every test (same variables as
# scripts/build.sh). In a sanitizer build a report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
BUILD_DIR=${BUILD_DIR:-build}
export QT_QPA_PLATFORM=offscreen
if [ "${ORV_SANITIZE:-OFF}" = ON ]; then
  # Leaks are checked too, in the Qt tests as well: Qt's own process-lifetime allocations
  # are still reachable at exit.
  export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cd "$BUILD_DIR"
ctest --output-on-failure -j "$(nproc)" --timeout 600

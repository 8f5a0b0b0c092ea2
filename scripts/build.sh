#!/usr/bin/env bash
# Installs the Debian packages the project needs, then configures and builds into build/.
#   BUILD_DIR     build folder (default build)
#   ORV_WERROR    ON: warnings are errors (CI)
#   ORV_SANITIZE  ON: AddressSanitizer + UndefinedBehaviorSanitizer build (CI, build-asan)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${BUILD_DIR:-build}
extra=()
if [ "${ORV_SANITIZE:-OFF}" = ON ]; then
  # Benchmarks mean nothing under the sanitizers; light optimisation and line tables only
  # keep the sanitizer build short while its reports still name files and lines.
  extra+=(-DORV_BUILD_BENCHMARKS=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1")
fi
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORV_WERROR="${ORV_WERROR:-OFF}" -DORV_SANITIZE="${ORV_SANITIZE:-OFF}" "${extra[@]}" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"

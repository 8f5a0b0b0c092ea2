#!/usr/bin/env bash
# Builds the libFuzzer harnesses of tests/fuzz with clang-14 under AddressSanitizer and
# UndefinedBehaviorSanitizer (build folder build-fuzz) and runs each for FUZZ_SECONDS (30),
# FUZZ_JOBS (2) at a time, starting from its committed corpus. A crash, a sanitizer report,
# a leak or a hang fails the run; the input that caused it is kept under
# build-fuzz/fuzz-out/ (add it to tests/fuzz/corpus/<harness>/ together with the fix).
#   fuzz.sh [HARNESS...]   only these (names without "fuzz_")
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${FUZZ_BUILD_DIR:-build-fuzz}
SECONDS_EACH=${FUZZ_SECONDS:-30}
JOBS=${FUZZ_JOBS:-2}

if [ $# -gt 0 ]; then
  harnesses=("$@")
else
  harnesses=()
  for f in tests/fuzz/fuzz_*.cpp; do
    n=${f##*/fuzz_}
    harnesses+=("${n%.cpp}")
  done
fi

flags="-fsanitize=address,undefined,fuzzer-no-link -fno-sanitize-recover=all -O1 -g1"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORV_FUZZ=ON -DORV_WERROR=OFF -DORV_SANITIZE=OFF -DORV_BUILD_BENCHMARKS=OFF \
  "-DCMAKE_C_FLAGS=$flags" "-DCMAKE_CXX_FLAGS=$flags" \
  "-DCMAKE_C_FLAGS_RELWITHDEBINFO=" "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=" >/dev/null
targets=()
for h in "${harnesses[@]}"; do targets+=("fuzz_$h"); done
cmake --build "$BUILD_DIR" -j "$(nproc)" --target "${targets[@]}"

bin=$(cd "$BUILD_DIR/test-bin" && pwd)
out="$BUILD_DIR/fuzz-out"
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)

# One harness: new inputs go to a scratch copy of the corpus, never into the sources.
run_one() {
  local h=$1 work="$out/$1"
  mkdir -p "$work/corpus" "$work/crash"
  cp tests/fuzz/corpus/"$h"/* "$work/corpus/"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    "$bin/fuzz_$h" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -print_final_stats=1 -artifact_prefix="$work/crash/" "$work/corpus" \
    >"$work/log" 2>&1; then
    echo "fuzz_$h: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" |
      grep -o '[0-9]*$') runs"
  else
    echo "fuzz_$h: FAILED (log $work/log, input in $work/crash/)"
    tail -n 40 "$work/log"
    return 1
  fi
}
export -f run_one
export out bin SECONDS_EACH
printf '%s\n' "${harnesses[@]}" | xargs -P "$JOBS" -I{} bash -c 'run_one {}'

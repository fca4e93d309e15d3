#!/usr/bin/env bash
# Installs the packages, builds and runs every test: a plain build, a build under
# AddressSanitizer + UndefinedBehaviorSanitizer, the threaded suites under ThreadSanitizer and
# the fuzz targets for a short time each.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

bash scripts/install-deps.sh

configure_and_build() {  # dir, extra cmake arguments...
  local dir=$1
  shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j "$jobs"
}

export QT_QPA_PLATFORM=offscreen
# shellcheck source=scripts/ctest-phase.sh
source "$root/scripts/ctest-phase.sh"

echo "== plain build"
configure_and_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Tests on the simulated bus measure real time, and so do the window tests that talk to a
# simulated ECU: they run with fewer of them side by side, so a busy machine does not stretch
# their timing beyond the tolerances. Only the unit tests run at full width.
sim_jobs=$(( jobs > 4 ? 4 : jobs ))
run_ctest plain unit build-test "$jobs" 300 -L unit
run_ctest plain-timed timed build-test "$sim_jobs" 300 -LE unit

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug "-DQUOBRIX_SANITIZE=address,undefined" -DQUOBRIX_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest asan+ubsan unit build-asan "$jobs" 600 -L unit
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest asan+ubsan-timed timed build-asan "$sim_jobs" 600 -LE unit

echo "== ThreadSanitizer (threaded suites)"
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUOBRIX_SANITIZE=thread -DQUOBRIX_GUI=OFF -DQUOBRIX_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  run_ctest tsan timed build-tsan "$sim_jobs" 600 -L sim

if [ -d "$root/tests/fuzz" ]; then
  echo "== fuzz targets"
  CC=clang CXX=clang++ configure_and_build build-fuzz -DCMAKE_BUILD_TYPE=Debug -DQUOBRIX_FUZZ=ON -DQUOBRIX_GUI=OFF -DQUOBRIX_BENCH=OFF
  for target in build-fuzz/tests/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    echo "-- $(basename "$target")"
    "$target" -max_total_time=20 -rss_limit_mb=2048 -print_final_stats=0 >"$target.log" 2>&1 || { tail -40 "$target.log"; exit 1; }
  done
  summary+=("fuzz: clean")
fi

printf '%s\n' "${summary[@]}"
echo "tests: $total_passed passed, $total_failed failed"

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
summary=()
total_passed=0
total_failed=0

run_ctest() {  # name, ctest arguments...; adds the run's counts to the totals
  local name=$1
  shift
  local log="$root/ctest-$name.log"
  local status=0
  ctest "$@" --output-on-failure 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  local failed all
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  total_passed=$((total_passed + ${all:-0} - ${failed:-0}))
  total_failed=$((total_failed + ${failed:-0}))
  summary+=("$name: $line")
  if [ "$status" -ne 0 ] || [ -z "$line" ] || [ "${failed:-1}" -ne 0 ]; then
    printf '%s\n' "${summary[@]}"
    echo "tests: $total_passed passed, $total_failed failed"
    exit 1
  fi
}

echo "== plain build"
configure_and_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
# Tests on the simulated bus measure real time, and so do the window tests that talk to a
# simulated ECU: they run with fewer of them side by side, so a busy machine does not stretch
# their timing beyond the tolerances. Only the unit tests run at full width.
sim_jobs=$(( jobs > 4 ? 4 : jobs ))
run_ctest plain --test-dir build-test -j "$jobs" -L unit --timeout 300
run_ctest plain-timed --test-dir build-test -j "$sim_jobs" -LE unit --timeout 300

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug "-DQUOBRIX_SANITIZE=address,undefined" -DQUOBRIX_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest asan+ubsan --test-dir build-asan -j "$jobs" -L unit --timeout 600
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest asan+ubsan-timed --test-dir build-asan -j "$sim_jobs" -LE unit --timeout 600

echo "== ThreadSanitizer (threaded suites)"
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUOBRIX_SANITIZE=thread -DQUOBRIX_GUI=OFF -DQUOBRIX_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  run_ctest tsan --test-dir build-tsan -j "$sim_jobs" -L sim --timeout 600

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

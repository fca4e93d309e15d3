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

# The names of the tests a ctest log lists as failed.
failed_tests() {  # log
  sed -n '/The following tests FAILED:/,$p' "$1" |
    sed -nE 's/^[[:space:]]+[0-9]+ - (.+) \([^)]*\)$/\1/p'
}

# Runs one test alone; whether it passed.
run_alone() {  # build dir, timeout, test name
  local pattern
  pattern=$(sed -E 's/[][\.*^$+?(){}|]/\\&/g' <<<"$3")
  ctest --test-dir "$1" -R "^${pattern}\$" --timeout "$2" --output-on-failure
}

fail_run() {
  printf '%s\n' "${summary[@]}"
  echo "tests: $total_passed passed, $total_failed failed"
  exit 1
}

# Runs a set of tests and adds its counts to the totals. The timed tests (on the simulated bus
# and in the windows) measure real time, which a busy machine can stretch beyond a tolerance:
# each one that fails runs once more, alone, and counts as passed only when that run passes.
# Unit tests are never run again.
run_ctest() {  # name, unit|timed, build dir, jobs, timeout, label arguments...
  local name=$1 kind=$2 dir=$3 width=$4 timeout=$5
  shift 5
  local log="$root/ctest-$name.log" rerun_log="$root/ctest-$name-rerun.log"
  : >"$rerun_log"
  local status=0
  ctest --test-dir "$dir" -j "$width" "$@" --timeout "$timeout" --output-on-failure 2>&1 |
    tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    summary+=("$name: no test summary (ctest status $status)")
    total_failed=$((total_failed + 1))
    fail_run
  fi
  local failed all
  failed=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  summary+=("$name: $line")
  local -a first_failures=() rerun_passed=() rerun_failed=()
  mapfile -t first_failures < <(failed_tests "$log")
  if [ "$failed" -ne "${#first_failures[@]}" ]; then
    summary+=("$name: ctest counted $failed failures but listed ${#first_failures[@]}")
    status=1
  fi
  local test
  for test in "${first_failures[@]}"; do
    if [ "$kind" = timed ] && run_alone "$dir" "$timeout" "$test" >>"$rerun_log" 2>&1; then
      rerun_passed+=("$test")
    else
      rerun_failed+=("$test")
    fi
  done
  [ ${#rerun_passed[@]} -eq 0 ] || summary+=("$name: passed when run again alone: ${rerun_passed[*]}")
  if [ ${#rerun_failed[@]} -gt 0 ]; then
    if [ "$kind" = timed ]; then
      summary+=("$name: failed twice: ${rerun_failed[*]}")
      cat "$rerun_log"
    else
      summary+=("$name: failed: ${rerun_failed[*]}")
    fi
  fi
  total_passed=$((total_passed + all - ${#rerun_failed[@]}))
  total_failed=$((total_failed + ${#rerun_failed[@]}))
  if [ ${#rerun_failed[@]} -ne 0 ] || { [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; }; then
    fail_run
  fi
}

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

# shellcheck shell=bash
# Runs one phase of ctest and keeps the counts of every phase; sourced by scripts/test.sh and by
# its own test. The caller sets `root` (where the logs go) and may read `summary`, `total_passed`
# and `total_failed`; `run_ctest` ends the script through `fail_run` when the phase failed.
summary=()
total_passed=0
total_failed=0

# The names of the tests a ctest log lists as failed.
failed_tests() {  # log
  sed -n '/The following tests FAILED:/,$p' "$1" |
    sed -nE 's/^[[:space:]]+[0-9]+ - (.+) \([^)]*\)$/\1/p'
}

# Runs one test alone; whether exactly that test ran and passed.
run_alone() {  # build dir, timeout, test name
  local pattern output
  pattern=$(sed -E 's/[][\.*^$+?(){}|]/\\&/g' <<<"$3")
  output=$(ctest --test-dir "$1" -R "^${pattern}\$" --no-tests=error --timeout "$2" \
    --output-on-failure 2>&1) || { printf '%s\n' "$output"; return 1; }
  printf '%s\n' "$output"
  grep -qE '(^|[^0-9])0 tests failed out of 1$' <<<"$output"
}

fail_run() {
  printf '%s\n' "${summary[@]}"
  echo "tests: $total_passed passed, $total_failed failed"
  exit 1
}

# Runs a set of tests and adds its counts to the totals. The timed tests (on the simulated bus
# and in the windows) measure real time, which a busy machine can stretch beyond a tolerance:
# each one that fails runs once more, alone, and counts as passed only when that run passes.
# Unit tests are never run again. A failure the log does not name, a log without a summary or a
# failing ctest that reports no failed test fails the run.
run_ctest() {  # name, unit|timed, build dir, jobs, timeout, label arguments...
  local name=$1 kind=$2 dir=$3 width=$4 timeout=$5
  shift 5
  # shellcheck disable=SC2154 # root is the caller's
  local log="$root/ctest-$name.log" rerun_log="$root/ctest-$name-rerun.log"
  : >"$rerun_log"
  local status=0
  ctest --test-dir "$dir" -j "$width" "$@" --timeout "$timeout" --output-on-failure 2>&1 |
    tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1) || true
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
  local unnamed=$((failed - ${#first_failures[@]}))
  if [ "$unnamed" -ne 0 ]; then
    summary+=("$name: ctest counted $failed failures but listed ${#first_failures[@]}")
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
  local failures=${#rerun_failed[@]}
  [ "$unnamed" -le 0 ] || failures=$((failures + unnamed))
  total_passed=$((total_passed + all - failures))
  total_failed=$((total_failed + failures))
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then
    summary+=("$name: ctest ended with status $status without counting a failure")
    total_failed=$((total_failed + 1))
    fail_run
  fi
  if [ "$failures" -ne 0 ] || [ "$unnamed" -ne 0 ]; then
    fail_run
  fi
}

#!/usr/bin/env bash
# The rerun rule of scripts/ctest-phase.sh against a stand-in ctest: a timed test that fails once
# passes, one that fails twice fails the run, a unit test is never run again, and a failure the
# script cannot name, a run without a summary or a ctest that ends with an error without counting
# a failure fails the run.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
phase_script="$here/../../scripts/ctest-phase.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# The stand-in: tests and their outcomes come from $work/tests, one "name<TAB>first<TAB>again"
# per line (pass|fail: the outcome of the whole run and of a run of the test alone). $work/mode
# "nosummary" leaves out the summary, "uncounted" counts one failure more than it lists in a
# whole run, "errorexit" exits with 8 whatever it counts. Every call's -R pattern (or "all") is
# appended to $work/calls.
cat >"$work/bin/ctest" <<'STANDIN'
#!/usr/bin/env bash
work=$(dirname "$(dirname "$0")")
pattern="" no_tests_error=0
while [ $# -gt 0 ]; do
  case "$1" in
    -R) pattern=$2; shift ;;
    --no-tests=error) no_tests_error=1 ;;
  esac
  shift
done
echo "${pattern:-all}" >>"$work/calls"
mode=$(cat "$work/mode")
ran=0 failed=() number=0
while IFS=$'\t' read -r name first again; do
  number=$((number + 1))
  outcome=$first
  if [ -n "$pattern" ]; then
    grep -qE -- "$pattern" <<<"$name" || continue
    outcome=$again
  fi
  ran=$((ran + 1))
  [ "$outcome" = pass ] || failed+=("$(printf '\t%3d - %s (Failed)' "$number" "$name")")
done <"$work/tests"
if [ "$ran" -eq 0 ] && [ "$no_tests_error" -eq 1 ]; then echo "No tests were found!!!"; exit 8; fi
counted=${#failed[@]}
[ "$mode" != uncounted ] || [ -n "$pattern" ] || counted=$((counted + 1))
[ "$mode" = nosummary ] || echo "50% tests passed, $counted tests failed out of $ran"
if [ "$counted" -gt 0 ]; then
  echo "The following tests FAILED:"
  [ ${#failed[@]} -eq 0 ] || printf '%s\n' "${failed[@]}"
  exit 8
fi
[ "$mode" != errorexit ] || exit 8
STANDIN
chmod +x "$work/bin/ctest"
export PATH="$work/bin:$PATH"

failures=0
# Runs one phase and compares its exit status, the last lines it printed (and any "stale:" line
# of an earlier run's rerun log) and the reruns it asked for with what the case expects.
check() {  # case name, kind, mode, tests, expected status, expected lines, expected reruns
  local name=$1 kind=$2 status=0 output
  printf '%s' "$3" >"$work/mode"
  printf '%b' "$4" >"$work/tests"
  : >"$work/calls"
  # A shell of its own, with the options of scripts/test.sh in force.
  output=$(bash -euo pipefail -c '
    root=$1
    source "$2"
    run_ctest phase "$3" build 1 60
    printf "%s\n" "${summary[@]}"
    echo "tests: $total_passed passed, $total_failed failed"' check "$work" "$phase_script" "$kind" 2>&1) ||
    status=$?
  local lines reruns
  lines=$(grep -E '^(phase: |tests: |stale: )' <<<"$output" | grep -v 'tests failed out of' || true)
  reruns=$(tail -n +2 "$work/calls" | paste -sd ' ' -)
  if [ "$status" != "$5" ] || [ "$lines" != "$6" ] || [ "$reruns" != "$7" ]; then
    printf 'FAIL %s\n  status %s, expected %s\n  lines:\n%s\n  expected:\n%s\n  reruns: %s\n  expected: %s\n' \
      "$name" "$status" "$5" "$lines" "$6" "$reruns" "$7"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

check "a flaky timed test passes" timed normal 'Bus.Flaky\tfail\tpass\nBus.Fine\tpass\tpass\n' 0 \
  $'phase: passed when run again alone: Bus.Flaky\ntests: 2 passed, 0 failed' '^Bus\.Flaky$'
check "a timed test that fails twice fails the run" timed normal \
  'Bus.Broken\tfail\tfail\nBus.Fine\tpass\tpass\n' 1 \
  $'phase: failed twice: Bus.Broken\ntests: 1 passed, 1 failed' '^Bus\.Broken$'
check "a unit failure fails the run and is not run again" unit normal \
  'Unit.Broken\tfail\tpass\nUnit.Fine\tpass\tpass\n' 1 \
  $'phase: failed: Unit.Broken\ntests: 1 passed, 1 failed' ''
check "names that share a prefix are run alone" timed normal 'A.b\tfail\tpass\nA.bc\tfail\tfail\n' 1 \
  $'phase: passed when run again alone: A.b\nphase: failed twice: A.bc\ntests: 1 passed, 1 failed' \
  '^A\.b$ ^A\.bc$'
check "names with regex characters, / and #" timed normal \
  'W.x(1)+[y]|z\tfail\tpass\nP/Q.r/0\tfail\tpass\nH#1 b\tfail\tpass\n' 0 \
  $'phase: passed when run again alone: W.x(1)+[y]|z P/Q.r/0 H#1 b\ntests: 3 passed, 0 failed' \
  '^W\.x\(1\)\+\[y\]\|z$ ^P/Q\.r/0$ ^H#1 b$'
check "a run without a summary fails" timed nosummary 'Bus.Fine\tpass\tpass\n' 1 \
  $'phase: no test summary (ctest status 0)\ntests: 0 passed, 1 failed' ''
check "a failing run without a summary gives ctest's status" timed nosummary \
  'Bus.Broken\tfail\tfail\n' 1 $'phase: no test summary (ctest status 8)\ntests: 0 passed, 1 failed' ''
check "a ctest error without a counted failure fails the run" timed errorexit \
  'Bus.Fine\tpass\tpass\n' 1 \
  $'phase: ctest ended with status 8 without counting a failure\ntests: 1 passed, 1 failed' ''
# A rerun log an earlier run left behind.
echo "stale: rerun output of an earlier run" >"$work/ctest-phase-rerun.log"
check "the rerun output printed is this run's own" timed normal 'Bus.Broken\tfail\tfail\n' 1 \
  $'phase: failed twice: Bus.Broken\ntests: 0 passed, 1 failed' '^Bus\.Broken$'
check "a failure the log does not name fails the run" timed uncounted \
  'Bus.Flaky\tfail\tpass\nBus.Fine\tpass\tpass\n' 1 \
  $'phase: ctest counted 2 failures but listed 1\nphase: passed when run again alone: Bus.Flaky\ntests: 1 passed, 1 failed' \
  '^Bus\.Flaky$'

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "all cases passed"

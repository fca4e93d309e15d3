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

echo "== plain build"
configure_and_build build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo
ctest --test-dir build-test -j "$jobs" --output-on-failure --timeout 300
summary+=("plain: passed")

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug "-DQUOBRIX_SANITIZE=address,undefined" -DQUOBRIX_BENCH=OFF
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan -j "$jobs" --output-on-failure --timeout 600
summary+=("asan+ubsan: passed")

echo "== ThreadSanitizer (threaded suites)"
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DQUOBRIX_SANITIZE=thread -DQUOBRIX_GUI=OFF -DQUOBRIX_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j "$jobs" -L sim --output-on-failure --timeout 600
summary+=("tsan: passed")

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

#!/usr/bin/env bash
# scripts/run.sh (and scripts/install-deps.sh) against stand-ins that write long outputs line by
# line, as cmake's target list and `locale -a` are on a large build or a machine with many
# locales: every run starts the tester, and nothing is installed or generated when the packages
# and the locale are there already. The scripts run from a copy, so the checkout stays untouched.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/repo"
cp -r "$here/../../scripts" "$work/repo/"

# cmake: configuring succeeds; the help target lists both testers near the top of thousands of
# targets, as Ninja does; building a target leaves a program of that name that appends its name
# to $work/started.
cat >"$work/bin/cmake" <<'STANDIN'
#!/usr/bin/env bash
work=$(dirname "$(dirname "$0")")
[ "$1" = --build ] || exit 0
build=$2 target=$4
mkdir -p "$build"
if [ "$target" = help ]; then
  echo "[1/1] All primary targets available:"
  printf '%s: phony\n' edit_cache rebuild_cache QuobrixKWP2000Prof QuobrixKWP71
  for i in $(seq 6000); do echo "tests/Test$i: phony"; done
  exit 0
fi
printf '#!/bin/sh\necho %s >>"%s/started"\n' "$target" "$work" >"$build/$target"
chmod +x "$build/$target"
STANDIN
# locale -a: de_DE.utf8 near the top of thousands of locales.
cat >"$work/bin/locale" <<'STANDIN'
#!/usr/bin/env bash
printf '%s\n' C C.utf8 de_DE.utf8
for i in $(seq 8000); do echo "ll_CC$i.utf8"; done
STANDIN
printf '#!/bin/sh\nprintf "install ok installed"\n' >"$work/bin/dpkg-query"
# A normal user, so that installing would go through sudo.
printf '#!/bin/sh\necho 1000\n' >"$work/bin/id"
for name in sudo apt-get locale-gen; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/called"\necho "%s must not run" >&2\nexit 1\n' \
    "$name" "$work" "$name" >"$work/bin/$name"
done
chmod +x "$work/bin/"*
export PATH="$work/bin:$PATH" QT_QPA_PLATFORM=offscreen

failures=0
for tester in "kwp2000 QuobrixKWP2000Prof" "kw71 QuobrixKWP71"; do
  read -r choice target <<<"$tester"
  for run in 1 2 3 4 5; do
    : >"$work/started"
    if output=$(bash "$work/repo/scripts/run.sh" "$choice" 2>&1) &&
      [ "$(cat "$work/started")" = "$target" ]; then
      echo "ok   $choice, run $run"
    else
      printf 'FAIL %s, run %s: %s did not start; the output ends:\n%s\n' \
        "$choice" "$run" "$target" "$(tail -n 3 <<<"$output")"
      failures=$((failures + 1))
    fi
  done
done
if [ -s "$work/called" ]; then
  printf 'FAIL called although nothing was missing:\n%s\n' "$(sort "$work/called" | uniq -c)"
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ] || { echo "$failures case(s) failed"; exit 1; }
echo "all cases passed"

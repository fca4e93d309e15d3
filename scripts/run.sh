#!/usr/bin/env bash
# Installs the packages, builds one tester and starts it on the simulated K-line interface
# (QUOBRIX_FTDI=sim) with its simulated ECU behind it, from the repository root so that the
# program finds Def/.
#   bash scripts/run.sh [kwp2000|kw71]     (default kwp2000)
# Without a display (and without a QT_QPA_PLATFORM of the user's choice) the program runs on a
# virtual screen (xvfb-run) of its window's size, and a screenshot of it is written every few
# seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build="build-run"

choice="${1:-kwp2000}"
case "$choice" in
  kwp2000) target=QuobrixKWP2000Prof ;;
  kw71) target=QuobrixKWP71 ;;
  *)
    echo "usage: bash scripts/run.sh [kwp2000|kw71]" >&2
    exit 2
    ;;
esac

bash scripts/install-deps.sh
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
# The whole target list is read before it is searched: a `grep -q` at the end of the pipe would
# quit at its match, and cmake, still writing, would fail the pipe through SIGPIPE.
targets=$(cmake --build "$build" --target help)
if ! grep -q "^$target:" <<<"$targets"; then
  echo "$target is not built yet: this checkout has no sources for it." >&2
  exit 1
fi
cmake --build "$build" --target "$target"
program=$(find "$build" -name "$target" -type f -perm -u+x -print -quit)

export QUOBRIX_FTDI=sim
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]; then
  exec "$program"
fi

shot="$root/$build/screenshot.png"
seconds=5
cat <<MESSAGE
No display found (DISPLAY and WAYLAND_DISPLAY are empty), so $target runs on a virtual
screen (xvfb-run) that nobody can click on. Every $seconds s the window is saved to
  $shot
(copy it to a machine with a screen to look at it). Press Ctrl+C to stop.
To use the window instead: run this command in a desktop session or after "ssh -X", or run
  QT_QPA_PLATFORM=vnc bash scripts/run.sh $choice
and connect a VNC viewer to port 5900 of this machine (for example through
"ssh -L 5900:localhost:5900").
MESSAGE
# shellcheck disable=SC2016 # the inner script expands its own arguments
exec xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  "$1" &
  program=$!
  trap "kill $program 2>/dev/null" INT TERM
  while kill -0 "$program" 2>/dev/null; do
    sleep "$3"
    import -window root "$2.new.png" 2>/dev/null && mv "$2.new.png" "$2"
  done
  wait "$program"
' run "$program" "$shot" "$seconds"

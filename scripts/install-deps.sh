#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test and run.
set -euo pipefail
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-charts-dev libgl-dev
  libftdi1-dev libusb-1.0-0-dev umockdev libumockdev-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  xvfb imagemagick locales
)
missing=()
# Each output is read whole before it is matched: a `grep -q` at the end of a pipe quits at its
# match, and under pipefail the writer that gets SIGPIPE then fails the check.
for p in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$p" 2>/dev/null) == *"ok installed"* ]] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
# A comma locale for the tests that check number texts do not follow the locale.
if ! grep -qi '^de_DE.utf8$' <<<"$(locale -a 2>/dev/null)"; then
  $SUDO sed -i 's/^# *de_DE.UTF-8 UTF-8/de_DE.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi

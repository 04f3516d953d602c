#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs, on Debian 12 as root, the packages that one job needs; skips what is present and
# never reads standard input.
# Usage: scripts/install-deps.sh [demo|test|bench|all]   (all when none is named)
#   demo   the DLLs, the demo's Windows programs and native tools, Wine, Xvfb, gnuplot,
#          libsidplayfp (the monitor renders what a receiver plays)
#   test   demo + GoogleTest (native, and its sources for the Windows-side tests)
#   bench  test + Google Benchmark
set -euo pipefail

set_name=${1:-all}
# wine32 although the demo plays 64-bit only: the demo's Wine prefix is the tests' too, and a
# prefix made without 32-bit Wine would lack its 32-bit half when the tests come.
demo_packages=(
  g++ cmake make pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32 wine64 xvfb xauth fonts-liberation
  gnuplot-nox libsidplayfp-dev
)
test_packages=(googletest libgtest-dev libgmock-dev)
bench_packages=(libbenchmark-dev)
case "$set_name" in
  demo) packages=("${demo_packages[@]}") ;;
  test) packages=("${demo_packages[@]}" "${test_packages[@]}") ;;
  bench | all) packages=("${demo_packages[@]}" "${test_packages[@]}" "${bench_packages[@]}") ;;
  *) echo "usage: install-deps.sh [demo|test|bench|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  arch_p="$p"
  [ "$p" = wine32 ] && arch_p="wine32:i386"
  if ! dpkg-query -W -f='${Status}' "$arch_p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$arch_p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything for $set_name is present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing[*]}"
apt-get update -q </dev/null
apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null

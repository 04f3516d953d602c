#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Installs, on Debian 12 as root, every package that the build, the tests and the demo need.
# Skips what is present; never reads standard input.
set -euo pipefail

packages=(
  g++ cmake make ninja-build pkg-config
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine32 wine64 xvfb xauth fonts-liberation
  gnuplot-nox
  qemu-user-static
)

missing=()
for p in "${packages[@]}"; do
  arch_p="$p"
  [ "$p" = wine32 ] && arch_p="wine32:i386"
  if ! dpkg-query -W -f='${Status}' "$arch_p" 2>/dev/null | grep -q '^install ok installed'; then
    missing+=("$arch_p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is present"
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

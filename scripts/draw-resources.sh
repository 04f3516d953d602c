#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Redraws resources/mainicon.ico and resources/about.bmp from resources/draw/draw_resources.cpp.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
tool=$(mktemp)
trap 'rm -f "$tool"' EXIT
g++ -std=c++20 -O2 -Wall -Wextra "$top/resources/draw/draw_resources.cpp" -o "$tool"
"$tool" "$top/resources/mainicon.ico" "$top/resources/about.bmp"
echo "drew resources/mainicon.ico and resources/about.bmp"

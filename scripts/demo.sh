#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The main job: installs what is missing, builds everything, and runs the engine's
# benchmark (what a player's register write costs beside one counter read).
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$top"

bash scripts/install-deps.sh
build_preset native
build_preset mingw-x86_64
build_preset mingw-i686
build_preset native-bench

echo "== engine benchmark"
build/native-bench/bench/engine_bench --benchmark_repetitions=3 --benchmark_report_aggregates_only=true

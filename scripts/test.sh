#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds and runs every test: native unit tests under the sanitizers, then the Windows-side
# tests of both architectures under Wine. Installs what is missing first. Exits non-zero on
# any failure and ends with one summary line.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$top"

bash scripts/install-deps.sh test

passed=0 failed=0 skipped=0 status=0

# Runs one preset's tests and adds its counts to the totals.
run_ctest() {
  local preset=$1 log
  log=$(mktemp)
  echo "== test: $preset"
  if ! ${ctest_wrapper:-} ctest --preset "$preset" 2>&1 | tee "$log"; then
    status=1
  fi
  local line total fail skip
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    echo "ctest printed no result for $preset" >&2
    status=1
  else
    total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
    fail=$(sed -E 's/.*passed, ([0-9]+) tests? failed.*/\1/' <<<"$line")
    skip=$(grep -cE '\(Skipped\)$' "$log" || true)
    passed=$((passed + total - fail - skip))
    failed=$((failed + fail))
    skipped=$((skipped + skip))
  fi
  rm -f "$log"
}

build_preset native
build_preset mingw-x86_64
build_preset mingw-i686

# The native tests also read both built DLLs' export and import tables, and their zips.
export HARDSID_DLLS="$top/build/mingw-i686/hardsid/hardsid.dll:$top/build/mingw-x86_64/hardsid/hardsid.dll"
export HARDSID_DIST_DIR="$top/build/dist"
run_ctest native

ensure_display
ensure_wine_prefix
# The 64-bit run goes last: its closing lines are the ones that count tests actually run.
source scripts/i686-emulation.sh
i686_tests mingw-i686
run_ctest mingw-x86_64

echo "$i686_note"
# The summary is the last line of the run.
echo "summary: $passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] && [ "$failed" -eq 0 ]

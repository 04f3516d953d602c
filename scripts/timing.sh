#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Timing figures of hardsid.dll under Wine, printed, never judged by the exit status:
#   1. timing_bench.exe (x86-64): the cycle delay's error, the cost of a write, load and unload;
#   2. side by side, on both architectures, on the idle machine and beside a process that
#      keeps every core busy: relaxed timing (new), relaxed timing as it was before it slept
#      (built from the commit named below), and aggressive timing. For each: the cycle
#      delay's error at 1,000 and 20,000 cycles, and 20-second replays of the default tune
#      as this program, a GoatTracker and a sidplayfp player drive the library, each checked
#      by the ASID monitor: processor time of the player's thread per second of music, tempo,
#      frame interval p99 and max, play calls split or lost (frames after each play call).
#      The load average stands beside every figure;
#   3. the players' patterns on a simulated counter: play calls split and lost, frames per
#      second, longest interval and most frames within 20 ms, grid and beat side by side.
# Outputs go under build/timing/. Runs as root from a fresh clone, without standard input.
# Usage: scripts/timing.sh [--seconds S] [--arch x86_64|i686|both] [--load idle|busy|both]
set -euo pipefail
cd "$(dirname "$0")/.."
# Prefixes of their own: the runs rewrite the library's settings in the registry, and other
# scripts' tests delete them.
export WINEPREFIX=${TIMING_WINEPREFIX:-$PWD/build/timing/wineprefix}
export HARDSID_WINE32_PREFIX=${TIMING_WINE32_PREFIX:-$PWD/build/timing/wineprefix-win32}
source scripts/lib.sh
source scripts/i686-emulation.sh
cd "$top"

# Relaxed timing as it was before it slept on a timer: the yield loop for the whole wait.
baseline=${TIMING_BASELINE:-267207d94fbe1f9f67e9aa72b8d32d080d289801}
seconds=20
arches=(x86_64 i686)
loads=(idle busy)
while [ $# -gt 0 ]; do
  case "$1" in
    --seconds) seconds=$2; shift 2 ;;
    --arch) [ "$2" = both ] || arches=("$2"); shift 2 ;;
    --load) [ "$2" = both ] || loads=("$2"); shift 2 ;;
    *) echo "usage: scripts/timing.sh [--seconds S] [--arch x86_64|i686|both] [--load idle|busy|both]" >&2; exit 2 ;;
  esac
done
out=$top/build/timing
monitor=$top/build/tools/tools/asid_monitor/asid_monitor
started=$SECONDS

bash scripts/install-deps.sh test </dev/null
build_preset tools asid_monitor beat_table
for arch in "${arches[@]}"; do
  build_preset "mingw-$arch" hardsid winmm_double replay_host timing_bench
done
ensure_display
ensure_wine_prefix
export WINEDLLOVERRIDES=winmm=n,b
mkdir -p "$out"
set +u
i686=$(i686_mode)
set -u
export HARDSID_I686_MODE=$i686

# The library of the baseline commit, built once per architecture beside the sources.
baseline_dll() {
  local arch=$1 src=$out/baseline/src
  local dll=$src/build/mingw-$arch/hardsid/hardsid.dll
  if [ "$(cat "$out/baseline/commit" 2>/dev/null)" != "$baseline" ]; then
    rm -rf "$out/baseline"
    mkdir -p "$src"
    git archive "$baseline" | tar -x -C "$src" || return 1
    echo "$baseline" >"$out/baseline/commit"
  fi
  if [ ! -f "$dll" ]; then
    (cd "$src" && cmake --preset "dist-$arch" >/dev/null && cmake --build --preset "dist-$arch" --target hardsid) \
      >"$out/baseline/build-$arch.log" 2>&1 || return 1
  fi
  echo "$dll"
}

loadavg() { cut -d' ' -f1 /proc/loadavg; }

# Stores one of the library's settings where the library of that architecture reads it.
store_setting() {
  local arch=$1 name=$2 value=$3
  if [ "$arch" = x86_64 ]; then
    /usr/lib/wine/wine64 reg add 'HKLM\Software\Velmoran\hardsid.dll' /v "$name" /t REG_DWORD /d "$value" /f >/dev/null 2>&1
  elif [ "$i686" = emulate ]; then
    i686_ensure_prefix
    "$top/scripts/wine-run" "$HARDSID_WINE32_PREFIX/drive_c/windows/system32/reg.exe" add \
      'HKLM\Software\Velmoran\hardsid.dll' /v "$name" /t REG_DWORD /d "$value" /f >/dev/null 2>&1
  else
    /usr/lib/wine/wine64 reg add 'HKLM\Software\Velmoran\hardsid.dll' /v "$name" /t REG_DWORD /d "$value" /f /reg:32 >/dev/null 2>&1
  fi
}

echo "== machine"
echo "processors: $(nproc); $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo "kernel: $(uname -r); $(/usr/lib/wine/wine64 --version); i686 programs: $i686"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

if [[ " ${arches[*]} " == *" x86_64 "* ]]; then
  echo "== timing bench, x86-64 (load average $(loadavg))"
  mkdir -p "$out/bench-x86_64"
  cp "$top/build/mingw-x86_64/bench/win/timing_bench.exe" "$top/build/mingw-x86_64/bench/win/hardsid.dll" \
     "$top/build/mingw-x86_64/bench/win/winmm.dll" "$out/bench-x86_64/"
  (cd "$out/bench-x86_64" && "$top/scripts/wine-run" timing_bench.exe) | tee "$out/timing_bench-x86_64.txt"
fi

# A process per core that only spins, as a build or an emulator beside the player would.
busy_pids=()
start_busy() {
  for _ in $(seq "$(nproc)"); do
    bash -c 'while :; do :; done' &
    busy_pids+=($!)
  done
}
stop_busy() {
  for pid in "${busy_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  busy_pids=()
}
# After ensure_display's own trap: the private display goes too.
trap 'stop_busy; [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true' EXIT

# One cell of the table: the delay bench and the three replays of one library and mode.
measure() {
  local arch=$1 load=$2 mode=$3 dll=$4 aggressive=$5 dir=$out/side/$1-$2-$3
  local win=$top/build/mingw-$arch
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$dll" "$dir/hardsid.dll"
  cp "$win/tests/winmm_double/winmm.dll" "$win/tools/replay_host/replay_host.exe" "$win/bench/win/timing_bench.exe" "$dir/"
  echo "== $arch, $load, $mode: cycle delay (load average $(loadavg))"
  (cd "$dir" && "$top/scripts/wine-run" timing_bench.exe --delays-only) >"$dir/delays.txt" 2>&1 || true
  echo "load average $(loadavg)" >>"$dir/delays.txt"
  store_setting "$arch" midi_Out 0
  store_setting "$arch" reopen_midi 1
  store_setting "$arch" beatFrames 1
  store_setting "$arch" aggressiveWait "$aggressive"
  local player
  for player in replay goattracker sidplayfp; do
    local args=(--quiet --seconds "$seconds")
    [ "$player" = replay ] || args+=(--as "$player")
    [ "$player" = sidplayfp ] && store_setting "$arch" hardsid_V2 1
    echo "== $arch, $load, $mode: replay as $player (load average $(loadavg))"
    (cd "$dir" && WINMM_DOUBLE_CONFIG="device Timing capture; record record-$player.txt" \
      "$top/scripts/wine-run" replay_host.exe "${args[@]}") >"$dir/replay-$player.txt" 2>&1 || true
    echo "load average $(loadavg)" >>"$dir/replay-$player.txt"
    [ "$player" = sidplayfp ] && store_setting "$arch" hardsid_V2 0
    "$monitor" --record --trace default --seconds "$seconds" "$dir/record-$player.txt" >"$dir/monitor-$player.txt" 2>&1 || true
  done
}

for load in "${loads[@]}"; do
  [ "$load" = busy ] && start_busy
  for arch in "${arches[@]}"; do
    if [ "$arch" = i686 ] && [[ "$i686" == none* ]]; then
      echo "== i686: not measured: ${i686#none: }"
      continue
    fi
    measure "$arch" "$load" relaxed "$top/build/mingw-$arch/hardsid/hardsid.dll" 0
    if old=$(baseline_dll "$arch"); then
      measure "$arch" "$load" relaxed-old "$old" 0
    else
      echo "== $arch: relaxed-old not measured: commit $baseline is not in this clone or did not build"
    fi
    measure "$arch" "$load" aggressive "$top/build/mingw-$arch/hardsid/hardsid.dll" 1
  done
  [ "$load" = busy ] && stop_busy
done

# The table: one row per architecture, load, mode and player. The delay error is the bench's
# "each call: measured minus requested" p99; the load average is the one after each replay.
table() {
  printf '%-6s %-4s %-11s %-11s %9s %9s %8s %8s %9s %9s %6s\n' arch load mode player "cpu ms/s" "tempo %" \
    "fi p99" "fi max" "d1000 p99" "d20000 p99" "load"
  local arch load mode player dir
  for arch in "${arches[@]}"; do
    for load in "${loads[@]}"; do
      for mode in relaxed relaxed-old aggressive; do
        dir=$out/side/$arch-$load-$mode
        [ -d "$dir" ] || continue
        local d1000 d20000
        d1000=$(awk -v m="${mode%-old}" '$1 == m && $2 == 1000 { print $6 }' "$dir/delays.txt")
        d20000=$(awk -v m="${mode%-old}" '$1 == m && $2 == 20000 { print $6 }' "$dir/delays.txt")
        for player in replay goattracker sidplayfp; do
          awk -v arch="$arch" -v load="$load" -v mode="$mode" -v player="$player" \
              -v d1000="${d1000:--}" -v d20000="${d20000:--}" '
            FILENAME ~ /replay-/ && /^wall .* of trace: ratio/ { percent = $(NF - 1); gsub(/[()]/, "", percent) }
            FILENAME ~ /replay-/ && /^processor time of the replaying thread:/ { cpu = $(NF - 3) }
            FILENAME ~ /replay-/ && /^load average/ { avg = $3 }
            FILENAME ~ /monitor-/ && /^frame interval/ {
              line = $0; sub(/.*: /, "", line); gsub(/,/, "", line); split(line, f, " "); p99 = f[6]; max = f[8]
            }
            END {
              printf "%-6s %-4s %-11s %-11s %9s %9s %8s %8s %9s %9s %6s\n", arch, load, mode, player,
                cpu == "" ? "-" : cpu, percent == "" ? "-" : percent, p99 == "" ? "-" : p99, max == "" ? "-" : max,
                d1000, d20000, avg == "" ? "-" : avg
            }' "$dir/replay-$player.txt" "$dir/monitor-$player.txt"
        done
      done
    done
  done
}

echo "== play calls on a simulated counter: the 20 ms grid and the player's beat"
"$top/build/tools/tools/player_patterns/beat_table" | tee "$out/beat_table.txt"

{
  echo "== side by side ($seconds s replays of the default tune; cpu: processor time of the player's thread per"
  echo "   second of music; tempo: wall / nominal - 1; fi: frame interval in ms; d: HardSID_Delay error p99 in us;"
  echo "   load: load average after the replay; outputs in $out/side/)"
  table
  echo "goals: relaxed at most 50 ms/s idle; tempo within 0.1 % idle, 0.5 % busy; frame interval p99 within 0.5 ms of 20 ms idle"
  echo "== play calls of the replays (frames after each play call)"
  grep -H '^play calls:' "$out"/side/*/monitor-*.txt 2>/dev/null | sed "s|$out/side/||" || true
  cat "$out/beat_table.txt"
  echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "total time: $((SECONDS - started)) s"
} | tee "$out/summary.txt"
# Let this prefix's Wine processes end before the private display goes away with the script.
timeout 30 /usr/lib/wine/wineserver -w || true

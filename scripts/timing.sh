#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Timing figures of hardsid.dll under Wine, printed, never judged by the exit status:
#   1. timing_bench.exe: the cycle delay's error, the cost of a write, load and unload;
#   2. 20-second replays of the default tune through the library into the scripted winmm,
#      with aggressive and then relaxed timing (frames after each play call), then aggressive
#      on the 20 ms grid alone, each checked by the ASID monitor: tempo, frames per second,
#      frame interval, play calls split or lost, the processor time of the player's thread per
#      second of music, and a histogram PNG;
#   3. the players' patterns on a simulated counter: play calls split and lost, frames per
#      second, longest interval and most frames within 20 ms, grid and beat side by side.
# Outputs go under build/timing/. Runs as root from a fresh clone, without standard input.
# Usage: scripts/timing.sh [--aggressive-only]
set -euo pipefail
cd "$(dirname "$0")/.."
# A prefix of its own: the runs rewrite the library's settings in the registry, and other
# scripts' tests delete them.
export WINEPREFIX=${TIMING_WINEPREFIX:-$PWD/build/timing/wineprefix}
source scripts/lib.sh
cd "$top"

modes=(aggressive relaxed grid)
if [ "${1:-}" = --aggressive-only ]; then
  modes=(aggressive)
fi
out=$top/build/timing
win64=$top/build/mingw-x86_64
monitor=$top/build/tools/tools/asid_monitor/asid_monitor
started=$SECONDS

bash scripts/install-deps.sh test </dev/null
build_preset tools asid_monitor beat_table
build_preset mingw-x86_64
build_preset mingw-i686
ensure_display
ensure_wine_prefix
export WINEDLLOVERRIDES=winmm=n,b
mkdir -p "$out"

echo "== machine"
echo "processors: $(nproc); $(grep -m1 'model name' /proc/cpuinfo | sed 's/.*: //')"
echo "kernel: $(uname -r); $(/usr/lib/wine/wine64 --version)"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"

echo "== timing bench, x86-64"
mkdir -p "$out/bench-x86_64"
(cd "$out/bench-x86_64" && "$top/scripts/wine-run" "$win64/bench/win/timing_bench.exe") | tee "$out/timing_bench-x86_64.txt"

echo "== timing bench, i686"
status=0
(cd "$out" && "$top/scripts/wine-run" "$top/build/mingw-i686/bench/win/timing_bench.exe" >/dev/null 2>&1) || status=$?
if [ "$status" -eq 77 ]; then
  echo "i686: built, not run: this kernel cannot run 32-bit programs"
elif [ "$status" -ne 0 ]; then
  echo "i686: timing_bench.exe ended with status $status"
else
  echo "i686: ran; this script reports the x86-64 figures only"
fi

store_setting() {
  /usr/lib/wine/wine64 reg add 'HKLM\Software\Velmoran\hardsid.dll' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
}

# One 20-second replay of the default tune with the library reopening device 0 at load.
replay() {
  local mode=$1 aggressive=$2 beat=$3 dir=$out/replay-$1
  rm -rf "$dir"
  mkdir -p "$dir"
  cp "$win64/tools/replay_host/replay_host.exe" "$win64/hardsid/hardsid.dll" "$win64/tests/winmm_double/winmm.dll" "$dir/"
  store_setting midi_Out 0
  store_setting reopen_midi 1
  store_setting aggressiveWait "$aggressive"
  store_setting beatFrames "$beat"
  echo "== replay, $mode timing (aggressiveWait $aggressive, beatFrames $beat)"
  (cd "$dir" && WINMM_DOUBLE_CONFIG="device Timing capture; record record.txt" \
    "$top/scripts/wine-run" replay_host.exe --quiet --seconds 20) | tee "$dir/replay.txt"
  echo "== ASID monitor, $mode timing"
  "$monitor" --record --plot "$dir/intervals.png" --trace default --seconds 20 "$dir/record.txt" | tee "$dir/monitor.txt" ||
    echo "asid_monitor ended with status $?"
}

# Goals as figures beside the measurement; nothing here decides the exit status.
summarise() {
  local mode=$1 dir=$out/replay-$1
  echo "== figures, $mode timing"
  awk '
    /^wall .* of trace: ratio/ {
      ratio = $(NF - 2); percent = $(NF - 1); gsub(/[()]/, "", percent)
      printf "tempo: %s s wall for %s s nominal: ratio %s (%s %%)  goal within 0.1 %%: %s\n",
        $2, $5, ratio, percent, (ratio - 1 <= 0.001 && 1 - ratio <= 0.001) ? "met" : "missed"
    }
    /^processor time of the replaying thread:/ {
      printf "processor time of the player'"'"'s thread: %s s for %s s of music: %s ms per second of music (%.1f %% of one core)\n",
        $7, $10, $(NF - 3), $(NF - 3) / 10
    }' "$dir/replay.txt"
  awk '
    /^frames per second:/ {
      fps = $4
      printf "frames per second: %s  goal 50.0 within 0.1 %%: %s\n", fps, (fps >= 49.95 && fps <= 50.05) ? "met" : "missed"
    }
    /^frame interval/ {
      line = $0; sub(/.*: /, "", line); gsub(/,/, "", line); split(line, f, " ")
      p99 = f[6]
      printf "frame interval (ms): median %s, p99 %s, max %s  goal p99 within 1 ms of 20 ms: %s\n",
        f[4], p99, f[8], (p99 >= 19 && p99 <= 21) ? "met" : "missed"
    }
    /^play calls:/ { print }' "$dir/monitor.txt"
  # The player's flushes before and after the replay add two frames off the 20 ms grid, and
  # the first timed frame goes out with the first write, before the player's pace settles.
  awk '
    / midiOutLongMsg / && / data=F02D4E/ { n++; stamp[n] = $1 }
    / start frequency=/ { split($3, f, "="); frequency = f[2] }
    END {
      if (n > 4 && frequency > 0)
        printf "frames per second from the 2nd timed frame to the last (no flush frames): %.4f; first timed interval %.3f ms\n",
          (n - 4) * frequency / (stamp[n - 1] - stamp[3]), (stamp[3] - stamp[2]) * 1000 / frequency
    }' "$dir/record.txt"
  echo "plot: $dir/intervals.png"
}

for mode in "${modes[@]}"; do
  case $mode in
    aggressive) replay aggressive 1 1 ;;
    relaxed) replay relaxed 0 1 ;;
    grid) replay grid 1 0 ;;
  esac
done
echo "== play calls on a simulated counter: the 20 ms grid and the player's beat"
"$top/build/tools/tools/player_patterns/beat_table" | tee "$out/beat_table.txt"
{
  for mode in "${modes[@]}"; do
    summarise "$mode"
  done
  cat "$out/beat_table.txt"
  echo "bench figures: $out/timing_bench-x86_64.txt"
  echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo "total time: $((SECONDS - started)) s"
} | tee "$out/summary.txt"
# Let this prefix's Wine processes end before the private display goes away with the script.
timeout 30 /usr/lib/wine/wineserver -w || true

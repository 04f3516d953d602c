#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The main job. Installs what is missing and builds what the demo and a user need: both
# hardsid.dll and their zips, the 64-bit replay host and scripted winmm, and the ASID monitor
# (no tests). Then plays the default tune through hardsid.dll under Wine, as a SID player
# would, into the scripted winmm as the MIDI device; checks what that device received with
# the ASID monitor, draws the plot, renders what a receiver would play and what the player
# wrote to WAV files and compares them, shows the library's log, and names the libraries to
# copy and the WAVs to listen to.
# Everything the demo makes goes to build/demo/, the zips to build/dist/.
# Usage: scripts/demo.sh [--aggressive] [TRACE]   (a register trace; the default tune without
# one). The library times relaxed unless --aggressive says otherwise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$top"

aggressive=0
if [ "${1:-}" = --aggressive ]; then
  aggressive=1
  shift
fi
trace=${1:-}
bash scripts/install-deps.sh demo

build_preset tools asid_monitor
build_preset dist-x86_64 hardsid_zip replay_host winmm_double
build_preset dist-i686 hardsid_zip
ensure_display
ensure_wine_prefix

demo="$top/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
windows="$top/build/mingw-x86_64"
cp "$windows/hardsid/hardsid.dll" "$windows/tools/replay_host/replay_host.exe" \
   "$windows/tests/winmm_double/winmm.dll" "$demo/"

# The library reopens device 0 at load, times as the user chose (relaxed by default), and
# sends a frame after each play call (DEMO_BEAT_FRAMES=0: on the 20 ms grid alone).
settings='HKLM\Software\Velmoran\hardsid.dll'
for value in "midi_Out 0" "reopen_midi 1" "aggressiveWait $aggressive" "beatFrames ${DEMO_BEAT_FRAMES:-1}"; do
  set -- $value
  /usr/lib/wine/wine64 reg add "$settings" /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
done

echo "== playing $([ -n "$trace" ] && echo "$trace" || echo "the default tune") through hardsid.dll"
replay_args=()
if [ -n "$trace" ]; then
  cp "$trace" "$demo/trace"
  replay_args+=(trace)
fi
(
  cd "$demo"
  WINEDLLOVERRIDES=winmm=n,b \
  WINMM_DOUBLE_CONFIG="device ASID capture; record capture.txt" \
    "$top/scripts/wine-run" replay_host.exe "${replay_args[@]}"
) | tee "$demo/replay.txt"

echo
echo "== what the device received"
reference=(--default-tune)
[ -n "$trace" ] && reference=(--trace "$demo/trace")
"$top/build/tools/tools/asid_monitor/asid_monitor" --record --plot "$demo/asid.png" \
  --wav "$demo/asid.wav" "${reference[@]}" --reference-wav "$demo/reference.wav" \
  --spectrogram "$demo/spectrogram.png" "$demo/capture.txt"

echo
echo "== hardsid.log"
tr '\r' '\n' < "$demo/hardsid.log"

echo
echo "== the libraries, ready to copy beside a player's program"
for arch in i686 x86_64; do
  echo "$top/build/mingw-$arch/hardsid/hardsid.dll"
done
# The zips carry the version that the build gave the DLL's version resource.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$top/build/mingw-x86_64/CMakeCache.txt")
echo "zips (library, licence, where to put it and which settings to choose):"
for windows in win32 win64; do
  zip="$top/build/dist/hardsid-$version-$windows.zip"
  [ -f "$zip" ] || { echo "demo: $zip was not built" >&2; exit 1; }
  echo "$zip"
done

echo
timing=$([ "$aggressive" = 1 ] && echo "aggressive timing" || echo "relaxed timing (--aggressive for the other)")
echo "== $timing"
grep '^processor time of the replaying thread:' "$demo/replay.txt" || echo "processor time of the replaying thread: not reported"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "listen: $demo/asid.wav (what a receiver playing each frame on arrival sounds like)"
echo "listen: $demo/reference.wav (the trace as the player wrote it, at its cycles)"

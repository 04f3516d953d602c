#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# The main job. Installs what is missing and builds everything; then plays the default tune
# through hardsid.dll under Wine, as a SID player would, into the scripted winmm as the
# MIDI device; checks what that device received with the ASID monitor, draws the plot,
# and shows the library's log. Everything it makes goes to build/demo/.
# Usage: scripts/demo.sh [TRACE]   (a register trace; the default tune without one)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$top"

trace=${1:-}
bash scripts/install-deps.sh
build_preset native
build_preset mingw-x86_64
build_preset mingw-i686
ensure_display
ensure_wine_prefix

demo="$top/build/demo"
rm -rf "$demo"
mkdir -p "$demo"
windows="$top/build/mingw-x86_64"
cp "$windows/hardsid/hardsid.dll" "$windows/tools/replay_host/replay_host.exe" \
   "$windows/tests/winmm_double/winmm.dll" "$demo/"

# The library reopens device 0 at load and times aggressively, as a user would set it.
settings='HKLM\Software\Velmoran\hardsid.dll'
for value in "midi_Out 0" "reopen_midi 1" "aggressiveWait 1"; do
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
)

echo
echo "== what the device received"
"$top/build/native/tools/asid_monitor/asid_monitor" --record --plot "$demo/asid.png" "$demo/capture.txt"

echo
echo "== hardsid.log"
tr '\r' '\n' < "$demo/hardsid.log"

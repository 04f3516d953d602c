# SPDX-License-Identifier: GPL-2.0-or-later
# Shared by the project's scripts: paths, a display for Wine, a Wine prefix, and builds.

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$top/build/wineprefix}

# Windows programs need a display: use the caller's, or start a private Xvfb.
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then
    return
  fi
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do
    n=$((n + 1))
  done
  Xvfb ":$n" -nolisten tcp -screen 0 1024x768x24 >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  trap 'kill "$XVFB_PID" 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X${n}" ] && return
    sleep 0.1
  done
  echo "could not start Xvfb on :$n" >&2
  return 1
}

# Writes the settings every test prefix gets, as a file for regedit: a crashing test program
# must end, not wait for a click on the crash dialog; a virtual desktop holds every window and
# the notification area (without one, removing a tray icon waits two seconds for an X11 tray
# that Xvfb does not have).
write_test_prefix_settings() {
  printf '%s\r\n' 'REGEDIT4' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer]' '"Desktop"="Default"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]' '"Default"="1024x768"' '' > "$1"
}

# Creates the Wine prefix once; later runs find it ready.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
    local reg
    reg=$(mktemp --suffix=.reg)
    write_test_prefix_settings "$reg"
    /usr/lib/wine/wine64 regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 || true
    rm -f "$reg"
    /usr/lib/wine/wineserver -w || true
  fi
}

# cmake configure + build of one preset: everything, or only the named targets.
build_preset() {
  local preset=$1
  shift
  echo "== build: $preset${*:+ ($*)}"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" ${*:+--target "$@"}
}

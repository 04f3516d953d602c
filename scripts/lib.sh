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

# Creates the Wine prefix once; later runs find it ready.
ensure_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    mkdir -p "$(dirname "$WINEPREFIX")"
    /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
    local reg=(/usr/lib/wine/wine64 reg add)
    # A crashing test program must end, not wait for a click on the crash dialog.
    "${reg[@]}" 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
    # A virtual desktop holds every window and the notification area. Without one, removing
    # a tray icon waits two seconds for an X11 tray that Xvfb does not have.
    "${reg[@]}" 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1 || true
    "${reg[@]}" 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x768 /f >/dev/null 2>&1 || true
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

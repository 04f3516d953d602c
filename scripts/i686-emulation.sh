# SPDX-License-Identifier: GPL-2.0-or-later
# 32-bit Windows programs on a kernel that cannot run 32-bit x86 code: qemu's user-mode
# emulator runs the 32-bit Wine loader, through a binfmt_misc entry for i386 programs and a
# separate 32-bit Wine prefix. Sourced by wine-run and test.sh.
#
# HARDSID_I686 chooses: auto (default) runs natively where the kernel can and emulates
# where it cannot; native never emulates; emulate always does (to test this path on a
# machine that runs 32-bit code natively).
#
# The binfmt entry lives only as long as the command that needs it: each emulated command
# runs in a new user and mount namespace with a binfmt_misc instance of its own (Linux 6.7
# and later), so no other program on the machine is sent to the emulator. Where that is
# refused, the entry is registered globally for the command's lifetime and removed after;
# an i386 entry that the system already has is used and left as it is.

i686_qemu=/usr/bin/qemu-i386-static
i686_loader=/usr/lib/wine/wine
i686_entry=hardsid-i386
i686_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i686_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Kept outside the work tree so that a fresh clone finds it made (creating it under the
# emulator takes minutes).
export HARDSID_WINE32_PREFIX=${HARDSID_WINE32_PREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/hardsid/wineprefix-win32}
# The guest address space qemu reserves, below the top 144 MiB, as is usual for 32-bit Wine
# under qemu (not measured against qemu's default here).
export QEMU_RESERVED_VA=${QEMU_RESERVED_VA:-0xf7000000}

i686_binfmt=/proc/sys/fs/binfmt_misc

# Every program start costs a minute or more under the emulator: Wine's desktop-menu
# builder and its Mono and Gecko installers are not started.
i686_quiet_overrides() {
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d;mscoree,mshtml="
}

# Prints the first enabled binfmt entry, other than ours, that sends i386 programs to an
# emulator; nothing when there is none.
i686_system_entry() {
  local f
  for f in "$i686_binfmt"/*; do
    case "${f##*/}" in register | status | "$i686_entry") continue ;; esac
    [ -f "$f" ] || continue
    if grep -qx enabled "$f" 2>/dev/null &&
       grep -q '^magic 7f454c4601010100000000000000000002000300' "$f" 2>/dev/null; then
      echo "${f##*/}"
      return
    fi
  done
}

# The registration line for the entry (flag F: the emulator is opened now, so it is found
# from any mount namespace or root later).
i686_register_line() {
  printf ':%s:M::%s:%s:%s:F' "$i686_entry" "$i686_magic" "$i686_mask" "$i686_qemu"
}

# Runs "$@" in a new user and mount namespace with a private binfmt_misc holding our entry.
i686_run_private() {
  unshare --user --map-root-user --mount bash -c '
    mount -t binfmt_misc binfmt_misc "$1" 2>/dev/null || exit 125
    printf "%s" "$2" > "$1/register" || exit 125
    shift 2
    export HARDSID_I686_BINFMT=private
    exec "$@"' i686 "$i686_binfmt" "$(i686_register_line)" "$@"
}

# Whether a private binfmt_misc can be set up here (cached for this shell and its children).
i686_private_ok() {
  if [ -z "${HARDSID_I686_PRIVATE:-}" ]; then
    HARDSID_I686_PRIVATE=no
    if i686_run_private true >/dev/null 2>&1; then HARDSID_I686_PRIVATE=yes; fi
    export HARDSID_I686_PRIVATE
  fi
  [ "$HARDSID_I686_PRIVATE" = yes ]
}

# How 32-bit Windows programs run here: prints "native", "emulate", or "none: REASON".
i686_mode() {
  if [ -n "${HARDSID_I686_MODE:-}" ]; then
    echo "$HARDSID_I686_MODE"
    return
  fi
  local mode err
  case "${HARDSID_I686:-auto}" in
    emulate) mode=emulate ;;
    native | auto)
      # Executed with no binfmt entry in the way where possible, so that only the kernel
      # answers; "Exec format error" means the kernel has no 32-bit support.
      if i686_private_ok; then
        err=$(unshare --user --map-root-user --mount bash -c \
          'mount -t binfmt_misc binfmt_misc "$1" && exec "$2" --version' i686 \
          "$i686_binfmt" "$i686_loader" 2>&1 >/dev/null) && mode=native
      else
        err=$("$i686_loader" --version 2>&1 >/dev/null) && mode=native
        [ -n "$mode" ] && [ -n "$(i686_system_entry)" ] && mode=emulate
      fi
      if [ -z "$mode" ]; then
        if [[ "$err" == *"Exec format error"* ]] && [ "${HARDSID_I686:-auto}" = auto ]; then
          mode=emulate
        elif [[ "$err" == *"Exec format error"* ]]; then
          mode="none: the kernel cannot run 32-bit code and HARDSID_I686=native forbids emulating it"
        else
          mode="none: $i686_loader does not start: ${err:-no message}"
        fi
      fi
      ;;
    *) mode="none: HARDSID_I686=${HARDSID_I686} is none of auto, native, emulate" ;;
  esac
  if [ "$mode" = emulate ] && [ ! -x "$i686_qemu" ]; then
    mode="none: $i686_qemu is missing (scripts/install-deps.sh installs qemu-user-static)"
  fi
  export HARDSID_I686_MODE=$mode
  echo "$mode"
}

# Runs "$@" with i386 programs sent to the emulator, in the way the machine allows.
i686_emulated() {
  if [ -n "${HARDSID_I686_BINFMT:-}" ] || [ -n "$(i686_system_entry)" ]; then
    "$@"
  elif i686_private_ok; then
    i686_run_private "$@"
  else
    i686_run_global "$@"
  fi
}

# Registers the entry globally for the duration of "$@" and removes it after; root only.
i686_run_global() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "i686: registering the emulator for 32-bit programs needs root" >&2
    return 1
  fi
  local mounted=no
  if [ ! -e "$i686_binfmt/register" ]; then
    mount -t binfmt_misc binfmt_misc "$i686_binfmt"
    mounted=yes
  fi
  # An entry of ours still there was left by a run that was killed: it is reused and removed.
  [ -e "$i686_binfmt/$i686_entry" ] || i686_register_line > "$i686_binfmt/register"
  local rc=0
  HARDSID_I686_BINFMT=global "$@" || rc=$?
  echo -1 > "$i686_binfmt/$i686_entry" 2>/dev/null || true
  [ "$mounted" = no ] || umount "$i686_binfmt" 2>/dev/null || true
  return "$rc"
}

# Creates the 32-bit prefix once (under a lock; in a scratch folder renamed when complete,
# so an interrupted creation is never taken for a finished one).
i686_ensure_prefix() {
  local prefix=$HARDSID_WINE32_PREFIX
  [ -f "$prefix/system.reg" ] && [ -f "$prefix/.hardsid-ready" ] && return 0
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/.hardsid-ready" ] && exit 0
    echo "== creating the 32-bit Wine prefix $prefix under the emulator (takes minutes)" >&2
    local scratch=$prefix.new reg
    rm -rf "$scratch"
    reg=$(mktemp --suffix=.reg)
    # A crashing program ends instead of waiting on the crash dialog. Unlike the 64-bit test
    # prefix there is no virtual desktop: its process died under the emulator, and every
    # later program then failed to create a window.
    printf '%s\r\n' 'REGEDIT4' '' \
      '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' > "$reg"
    WINEPREFIX=$scratch WINEARCH=win32 WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" \
      i686_emulated bash -c '
        # wineboot returns before the prefix is complete: wait for it before the import.
        "$1" wineboot -i
        /usr/lib/wine/wineserver -w
        "$1" regedit /S "Z:${2//\//\\}"
        /usr/lib/wine/wineserver -w' i686 "$i686_loader" "$reg" >"$prefix.log" 2>&1 || true
    rm -f "$reg"
    if [ -f "$scratch/system.reg" ] && grep -q ShowCrashDialog "$scratch/user.reg"; then
      touch "$scratch/.hardsid-ready"
      rm -rf "$prefix"
      mv "$scratch" "$prefix"
    else
      echo "i686: could not create the 32-bit Wine prefix (see $prefix.log)" >&2
      exit 1
    fi
  ) 9>"$prefix.lock"
}

# Runs the Windows program "$@" with the 32-bit loader under the emulator. A crash of the
# emulator itself is tried once more; the second one is the program's result.
i686_wine() {
  local err rc attempt
  i686_quiet_overrides
  err=$(mktemp)
  for attempt in 1 2; do
    rc=0
    i686_emulated "$i686_loader" "$@" 2>"$err" || rc=$?
    cat "$err" >&2
    if [ "$rc" -ne 0 ] && [ "$attempt" -eq 1 ] && grep -q 'uncaught target signal' "$err"; then
      echo "wine-run: the emulator crashed (exit $rc); running the program once more" >&2
      continue
    fi
    break
  done
  rm -f "$err"
  return "$rc"
}

# Runs "$@", a command that starts many 32-bit programs, under the emulator with one Wine
# program held open in the 32-bit prefix all along: Wine's own services then start once
# instead of at every program start, which under the emulator takes minutes each time.
i686_session() {
  local WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-}
  i686_quiet_overrides
  WINEPREFIX=$HARDSID_WINE32_PREFIX i686_emulated bash -c '
    fifo=$(mktemp -u)
    mkfifo "$fifo"
    "$1" cmd.exe <>"$fifo" >/dev/null 2>&1 &
    keeper=$!
    shift
    rc=0
    "$@" || rc=$?
    kill "$keeper" 2>/dev/null
    wait "$keeper" 2>/dev/null
    rm -f "$fifo"
    timeout 300 /usr/lib/wine/wineserver -w || /usr/lib/wine/wineserver -k
    exit "$rc"' i686 "$i686_loader" "$@"
}

# test.sh's 32-bit part: runs the preset's tests natively, or the emulated selection under
# the emulator, through test.sh's run_ctest, and sets i686_note to the line that says how.
i686_tests() {
  local preset=$1 mode before_p before_f before_s reasons
  mode=$(i686_mode)
  before_p=$passed before_f=$failed before_s=$skipped
  case "$mode" in
    native) run_ctest "$preset" ;;
    emulate)
      if ! i686_ensure_prefix; then
        # Counted as one failure: every program would try to create the prefix again.
        status=1 failed=$((failed + 1))
        i686_note="i686: not run, the 32-bit Wine prefix could not be created (see $HARDSID_WINE32_PREFIX.log)"
        return
      fi
      # One binfmt entry for the whole run; wine-run finds it in place.
      ctest_wrapper=i686_session run_ctest "$preset-emulated"
      ;;
    *) run_ctest "$preset" ;;
  esac
  local ran=$(( passed - before_p + failed - before_f )) skip=$(( skipped - before_s ))
  case "$mode" in
    native) i686_note="i686: $ran tests ran natively, $((passed - before_p)) passed, $skip skipped" ;;
    emulate)
      local why="the kernel cannot run 32-bit code"
      [ "${HARDSID_I686:-auto}" = emulate ] && why="HARDSID_I686=emulate"
      i686_note="i686: $ran tests ran under qemu's emulator ($why), $((passed - before_p)) passed, $skip skipped"
      reasons=$(grep -ho 'skipped under emulation: .*' "$top/build/$preset/Testing/Temporary/LastTest.log" 2>/dev/null |
        sed 's/^skipped under emulation: //' | sort | uniq -c | sed -E 's/^ *([0-9]+) (.*)/\2 (\1)/' | paste -sd ';' - || true)
      [ -n "$reasons" ] && i686_note="$i686_note: ${reasons//;/; }"
      ;;
    *) i686_note="i686: $skip tests skipped: ${mode#none: }; the i686 build is compiled and its export table checked" ;;
  esac
}

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
# refused, the entry is registered globally for the command's lifetime and removed after.

i686_loader=/usr/lib/wine/wine
i686_entry=hardsid-i386
i686_magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
i686_mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
# Kept outside the work tree, so that a fresh clone finds them made.
i686_cache=${XDG_CACHE_HOME:-$HOME/.cache}/hardsid
export HARDSID_WINE32_PREFIX=${HARDSID_WINE32_PREFIX:-$i686_cache/wineprefix-win32}
# The emulator: set by i686_ensure_qemu, inherited by the scripts it starts.
i686_qemu=${HARDSID_QEMU_I386:-}

i686_binfmt=/proc/sys/fs/binfmt_misc
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"

# Whether "$1" is a qemu-i386 of version 8.1 or later. Older ones look up their page flags one
# page at a time across the 4 GiB that Wine reserves almost whole: with Debian 12's qemu 7.2 a
# Wine program took 70 to 90 s of processor time to start and the 32-bit prefix half an hour
# to create; with 10.0 the same start takes under a second and the prefix half a minute.
i686_qemu_usable() {
  local version
  [ -n "$1" ] && [ -x "$1" ] || return 1
  version=$("$1" --version 2>/dev/null | sed -nE '1s/.* version ([0-9]+)\.([0-9]+).*/\1 \2/p')
  [ -n "$version" ] || return 1
  set -- $version
  [ "$1" -gt 8 ] || { [ "$1" -eq 8 ] && [ "$2" -ge 1 ]; }
}

# Sets i686_qemu to a usable emulator: the caller's (HARDSID_QEMU_I386), the system's, or one
# fetched once into the cache.
i686_ensure_qemu() {
  local candidate cached=$i686_cache/qemu/qemu-i386
  for candidate in "$i686_qemu" /usr/bin/qemu-i386-static /usr/bin/qemu-i386 "$cached"; do
    if i686_qemu_usable "$candidate"; then
      export HARDSID_QEMU_I386=$candidate
      i686_qemu=$candidate
      return 0
    fi
  done
  mkdir -p "$i686_cache"
  (
    flock 9
    i686_qemu_usable "$cached" || i686_fetch_qemu "$cached"
  ) 9>"$i686_cache/qemu.lock" || return 1
  export HARDSID_QEMU_I386=$cached
  i686_qemu=$cached
}

# Fetches qemu-user from the release's backports (10.0 for Debian 12) and keeps only its
# static qemu-i386 as "$1". apt downloads it and checks it against the archive's signed index
# as for any package; nothing is installed and the system's sources stay as they are.
i686_fetch_qemu() {
  local target=$1 suite tmp rc=0
  suite=$(. /etc/os-release && echo "$VERSION_CODENAME")-backports
  tmp=$(mktemp -d)
  local apt=(apt-get -q -o Dir::Etc::SourceList="$tmp/sources.list" -o Dir::Etc::SourceParts=/nonexistent
    -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache" -o APT::Sandbox::User=root)
  mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial"
  echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $suite main" \
    >"$tmp/sources.list"
  echo "== fetching qemu-user from $suite for the 32-bit tests" >&2
  if "${apt[@]}" update </dev/null >"$tmp/log" 2>&1 &&
     (cd "$tmp" && "${apt[@]}" download "qemu-user/$suite" </dev/null >>"$tmp/log" 2>&1) &&
     mkdir -p "$tmp/x" &&
     dpkg-deb --fsys-tarfile "$tmp"/qemu-user_*.deb | tar -x -C "$tmp/x" ./usr/bin/qemu-i386 &&
     i686_qemu_usable "$tmp/x/usr/bin/qemu-i386"; then
    mkdir -p "$(dirname "$target")"
    mv "$tmp/x/usr/bin/qemu-i386" "$target"
    echo "== $("$target" --version | head -n 1) in $target" >&2
  else
    cat "$tmp/log" >&2
    echo "i686: could not fetch qemu-user from $suite" >&2
    rc=1
  fi
  rm -rf "$tmp"
  return "$rc"
}

# Wine's desktop-menu builder and its Mono and Gecko installers serve no test: they are not
# started.
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
    # Any program serves as the interpreter of this trial entry.
    if i686_qemu=${i686_qemu:-/bin/true} i686_run_private true >/dev/null 2>&1; then
      HARDSID_I686_PRIVATE=yes
    fi
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
  local mode='' err=''
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
  export HARDSID_I686_MODE=$mode
  echo "$mode"
}

# Runs "$@" with i386 programs sent to our emulator, in the way the machine allows (an entry the
# system has may name an older, much slower qemu: ours goes before it).
i686_emulated() {
  if [ -n "${HARDSID_I686_BINFMT:-}" ]; then
    "$@"
    return
  fi
  i686_ensure_qemu || return 1
  if i686_private_ok; then
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
  # An entry of ours still there was left by a run that was killed, perhaps with another qemu.
  [ ! -e "$i686_binfmt/$i686_entry" ] || echo -1 > "$i686_binfmt/$i686_entry"
  i686_register_line > "$i686_binfmt/register"
  local rc=0
  HARDSID_I686_BINFMT=global "$@" || rc=$?
  echo -1 > "$i686_binfmt/$i686_entry" 2>/dev/null || true
  [ "$mounted" = no ] || umount "$i686_binfmt" 2>/dev/null || true
  return "$rc"
}

# Creates the 32-bit prefix once with the test prefixes' settings, and again when those change
# (under a lock; in a scratch folder renamed when complete, so an interrupted creation is never
# taken for a finished one).
i686_ensure_prefix() {
  local prefix=$HARDSID_WINE32_PREFIX reg stamp
  reg=$(mktemp --suffix=.reg)
  write_test_prefix_settings "$reg"
  stamp=$(sha1sum <"$reg" | cut -d' ' -f1)
  if [ "$(cat "$prefix/.hardsid-ready" 2>/dev/null)" = "$stamp" ]; then
    rm -f "$reg"
    return 0
  fi
  i686_ensure_qemu || { rm -f "$reg"; return 1; }
  mkdir -p "$(dirname "$prefix")"
  local rc=0
  (
    flock 9
    [ "$(cat "$prefix/.hardsid-ready" 2>/dev/null)" = "$stamp" ] && exit 0
    echo "== creating the 32-bit Wine prefix $prefix under the emulator" >&2
    scratch=$prefix.new
    rm -rf "$scratch"
    WINEPREFIX=$scratch WINEARCH=win32 WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" \
      i686_emulated bash -c '
        # wineboot returns before the prefix is complete: wait for it before the import.
        "$1" wineboot -i
        /usr/lib/wine/wineserver -w
        "$1" regedit /S "Z:${2//\//\\}"
        /usr/lib/wine/wineserver -w' i686 "$i686_loader" "$reg" >"$prefix.log" 2>&1 || true
    if [ -f "$scratch/system.reg" ] && grep -q ShowCrashDialog "$scratch/user.reg"; then
      echo "$stamp" >"$scratch/.hardsid-ready"
      rm -rf "$prefix"
      mv "$scratch" "$prefix"
    else
      echo "i686: could not create the 32-bit Wine prefix (see $prefix.log)" >&2
      exit 1
    fi
  ) 9>"$prefix.lock" || rc=1
  rm -f "$reg"
  return "$rc"
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
# instead of at every program start (1.7 s for the first program, 0.3 s for each later one).
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

# test.sh's 32-bit part: runs the preset's tests natively or under the emulator, through
# test.sh's run_ctest, and sets i686_note to the line that says how.
i686_tests() {
  local preset=$1 mode before_p before_f before_s
  mode=$(i686_mode)
  before_p=$passed before_f=$failed before_s=$skipped
  case "$mode" in
    emulate)
      if ! i686_ensure_prefix; then
        # Counted as one failure: every program would fail the same way.
        status=1 failed=$((failed + 1))
        i686_note="i686: not run, the emulator or the 32-bit Wine prefix could not be set up (see above)"
        return
      fi
      # One binfmt entry and one Wine session for the whole run; wine-run finds them in place.
      ctest_wrapper=i686_session run_ctest "$preset"
      ;;
    *) run_ctest "$preset" ;;
  esac
  local ran=$(( passed - before_p + failed - before_f )) skip=$(( skipped - before_s ))
  local counts="$((passed - before_p)) passed, $((failed - before_f)) failed, $skip skipped"
  case "$mode" in
    native) i686_note="i686: $ran tests ran natively: $counts" ;;
    emulate)
      local why="the kernel cannot run 32-bit code" qemu
      [ "${HARDSID_I686:-auto}" = emulate ] && why="HARDSID_I686=emulate"
      qemu=$("$i686_qemu" --version | sed -nE '1s/.* version ([^ ]+).*/\1/p')
      i686_note="i686: $ran tests ran under qemu $qemu's emulator ($why): $counts"
      ;;
    *) i686_note="i686: $skip tests skipped: ${mode#none: }; the i686 build is compiled and its export table checked" ;;
  esac
}

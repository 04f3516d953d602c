#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Pictures of both pages of the settings window, as Wine draws them on a private Xvfb
# display, into docs/settings-options.png and docs/settings-about.png.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cd "$top"

bash scripts/install-deps.sh test
if ! convert -version 2>/dev/null | grep -q ImageMagick; then
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends imagemagick </dev/null
fi
build_preset mingw-x86_64
ensure_display
ensure_wine_prefix

snapshot="$top/build/mingw-x86_64/tools/settings_snapshot"
export WINEDLLOVERRIDES=winmm=n,b
export WINMM_DOUBLE_CONFIG="device USB MIDI Interface; device SID Module (ASID); device Virtual MIDI Cable"
mkdir -p docs
for page in 0 1; do
  name=$([ "$page" = 0 ] && echo options || echo about)
  bmp="$top/build/settings-$name.bmp"
  (cd "$snapshot" && "$top/scripts/wine-run" settings_snapshot.exe "$page" "Z:${bmp//\//\\}")
  convert "$bmp" "docs/settings-$name.png"
  echo "wrote docs/settings-$name.png"
done

#!/usr/bin/env bash
# Remakes every generated asset into the source tree (assets/, assets/motives/ and
# assets/Icons/), or with --check into a temporary folder, comparing each result with
# the committed file through tools/assets/SHA256SUMS. Reruns must give byte-identical
# files.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
if [ "${1:-}" = "--check" ]; then
  dst=$(mktemp -d)
  trap 'rm -rf "$dst"' EXIT
else
  dst=$root/assets
fi
"$here/make_sounds.sh" "$dst/Sounds"
"$here/make_font.sh" "$dst/Fonts"
"$here/make_images.py" "$dst"
"$here/make_motives.py" "$dst/motives"
"$here/make_icon.py" "$dst/Icons"
if [ "${1:-}" = "--check" ]; then
  (cd "$dst" && sha256sum -c "$here/SHA256SUMS")
else
  (cd "$dst" && sha256sum Cursor.bmp Fonts/DISPF___.ttf Fonts/LICENSE.txt Archive/*.png Sounds/*.ogg motives/*.jpg Icons/*.png) >"$here/SHA256SUMS"
fi

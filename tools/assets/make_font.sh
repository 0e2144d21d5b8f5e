#!/usr/bin/env bash
# Makes the display font assets/Fonts/DISPF___.ttf: DejaVu Sans Condensed Bold from Debian's
# fonts-dejavu-core, cut down with fontTools to Latin-1 and the usual typographic
# punctuation (all the game writes is German), hinting and kerning kept. The condensed
# cut keeps the longest 30-pixel button labels within the 200-pixel button.
# The licence text is copied beside it. Needs: fonts-dejavu-core, python3-fonttools.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../assets/Fonts}
src=/usr/share/fonts/truetype/dejavu/DejaVuSansCondensed-Bold.ttf
mkdir -p "$out"
# Latin-1, plus dashes, quotes, ellipsis and the euro sign.
/usr/bin/python3 -m fontTools.subset "$src" \
  --unicodes="U+0020-007E,U+00A0-00FF,U+2013,U+2014,U+2018,U+2019,U+201A,U+201C,U+201D,U+201E,U+2026,U+20AC" \
  --layout-features="kern" --hinting --no-recalc-timestamp \
  --name-IDs="*" --name-languages="*" --notdef-outline \
  --output-file="$out/DISPF___.ttf"
{
  echo "DISPF___.ttf is DejaVu Sans Condensed Bold (Debian package fonts-dejavu-core), reduced to"
  echo "Latin-1 and a few punctuation marks by tools/assets/make_font.sh. Its licence:"
  echo
  cat /usr/share/doc/fonts-dejavu-core/copyright
} >"$out/LICENSE.txt"

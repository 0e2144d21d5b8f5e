#!/usr/bin/env bash
# Makes the display font assets/Fonts/DISPF___.ttf: Roboto Condensed Bold from Debian's
# fonts-roboto-unhinted, cut down with fontTools to Latin-1 and the usual typographic
# punctuation (all the game writes is German), kerning kept. The condensed cut keeps every
# 30-pixel label inside its button and the help label clear of the round clock.
# The licence text is copied beside it. Needs: fonts-roboto-unhinted, python3-fonttools.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../assets/Fonts}
src=/usr/share/fonts/truetype/roboto/unhinted/RobotoCondensed-Bold.ttf
mkdir -p "$out"
# Latin-1, plus dashes, quotes, ellipsis and the euro sign.
/usr/bin/python3 -m fontTools.subset "$src" \
  --unicodes="U+0020-007E,U+00A0-00FF,U+2013,U+2014,U+2018,U+2019,U+201A,U+201C,U+201D,U+201E,U+2026,U+20AC" \
  --layout-features="kern" --hinting --no-recalc-timestamp \
  --name-IDs="*" --name-languages="*" --notdef-outline \
  --output-file="$out/DISPF___.ttf"
{
  echo "DISPF___.ttf is Roboto Condensed Bold (Debian package fonts-roboto-unhinted), reduced to"
  echo "Latin-1 and a few punctuation marks by tools/assets/make_font.sh."
  echo "Copyright 2015 Google Inc. Licensed under the Apache License, Version 2.0:"
  echo
  cat /usr/share/common-licenses/Apache-2.0
} >"$out/LICENSE.txt"

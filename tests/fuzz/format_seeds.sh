#!/bin/sh
# Seeds for the HEIF and WebP harnesses, and eXIf seeds for the PNG one: small
# crops of the wallpaper photos (Debian's mate-backgrounds) encoded with the
# real encoders, in the variants phones and browsers write.
# Usage: format_seeds.sh heif|webp|png OUTDIR
set -eu
kind=$1 out=$2
photos=/usr/share/backgrounds/mate/nature
[ -d "$photos" ] || { echo "no photos in $photos (mate-backgrounds): unseeded" >&2; exit 0; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
n=0
for photo in "$photos/Dune.jpg" "$photos/LadyBird.jpg"; do
  n=$((n + 1))
  convert "$photo" -resize 64x40! "$tmp/s$n.png"
  convert "$photo" -resize 96x60! -alpha set -channel A -fx 'i/w' +channel "$tmp/a$n.png"
  case $kind in
    heif)
      heif-enc -q 50 "$tmp/s$n.png" -o "$out/photo$n.heic" >/dev/null
      heif-enc -q 50 "$tmp/a$n.png" -o "$out/alpha$n.heic" >/dev/null
      heif-enc -A -q 50 "$tmp/s$n.png" -o "$out/photo$n.avif" >/dev/null
      avifenc -s 8 -y 420 "$tmp/a$n.png" "$out/alpha$n.avif" >/dev/null
      avifenc -s 8 -d 10 --irot 1 --imir 0 "$tmp/s$n.png" "$out/turned$n.avif" >/dev/null ;;
    webp)
      cwebp -quiet -q 50 "$tmp/s$n.png" -o "$out/photo$n.webp"
      cwebp -quiet -lossless "$tmp/a$n.png" -o "$out/lossless$n.webp"
      cwebp -quiet -q 50 -metadata icc "$tmp/a$n.png" -o "$out/alpha$n.webp"
      convert "$tmp/s$n.png" -flop "$tmp/f$n.png"
      img2webp -q 50 -d 100 "$tmp/s$n.png" -lossy "$tmp/f$n.png" -o "$out/animated$n.webp" >/dev/null 2>&1 ;;
    png)
      for o in 3 6; do
        cp "$tmp/s$n.png" "$out/exif$n-$o.png"
        exiftool -q -q -overwrite_original -n -Orientation=$o "$out/exif$n-$o.png"
      done ;;
  esac
done

#!/bin/sh
# Runs each harness for a bounded time, the picture loaders seeded from the public
# corpora and from wallpaper photos encoded with the real encoders (format_seeds.sh).
# Usage: run_fuzz.sh <folder with fuzz_* programs> [seconds] [harness...]
# Working corpora and findings stay in <folder>/work/<harness>/. $FUZZ_BIN, when
# set, names the folder of the programs instead (the work folder stays <folder>).
set -eu
out=$1
bin=${FUZZ_BIN:-$1}
secs=${2:-60}
shift 2 2>/dev/null || shift $#
harnesses=${*:-png jpeg bmp tga chain exif icc heif webp save}
here=$(cd "$(dirname "$0")" && pwd)
data=${TESS_TESTDATA:-$here/../../../shared/testdata}

seed() {  # seed <dir> <pattern> <source dirs...>
  dir=$1 pat=$2
  shift 2
  for src in "$@"; do
    [ -d "$data/$src" ] && find "$data/$src" -type f -name "$pat" -size -200k -exec cp -n {} "$dir/" \;
  done
  return 0
}

status=0
for h in $harnesses; do
  work=$out/work/$h
  mkdir -p "$work/corpus" "$work/findings"
  case $h in
    png) seed "$work/corpus" '*.png' pngsuite png-image-rs-bugfixes
         "$here/format_seeds.sh" png "$work/corpus" ;;
    heif|webp) "$here/format_seeds.sh" "$h" "$work/corpus" ;;
    jpeg) seed "$work/corpus" '*.jpg' jpeg-libjpeg-turbo jpeg-image-rs-jpeg-decoder jpeg-pillow ;;
    bmp) seed "$work/corpus" '*.bmp' bmpsuite ;;
    tga) printf '\000\000\002\000\000\000\000\000\000\000\000\000\002\000\002\000\030\040' > "$work/corpus/seed.tga"
         head -c 12 /dev/zero >> "$work/corpus/seed.tga" ;;
    exif|icc) python3 "$here/photo_seeds.py" "$h" "$work/corpus" "$data/jpeg-pillow" "$data/jpeg-image-rs-jpeg-decoder" \
             "$data/jpeg-libjpeg-turbo" ;;
    save) python3 "$here/save_seeds.py" "$work/corpus" ;;
    chain) seed "$work/corpus" '*.bmp' bmpsuite/g
           seed "$work/corpus" 'basn*.png' pngsuite
           seed "$work/corpus" 'test*.jpg' jpeg-libjpeg-turbo ;;
  esac
  echo "== fuzz_$h for ${secs}s"
  "$bin/fuzz_$h" "$work/corpus" -max_total_time="$secs" -rss_limit_mb=1024 -timeout=30 \
      -artifact_prefix="$work/findings/" -print_final_stats=1 2>"$work/log.txt" || status=1
  grep -E 'stat::number_of_executed_units|stat::new_units_added|ERROR|SUMMARY' "$work/log.txt" || true
done
exit $status

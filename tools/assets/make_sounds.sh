#!/usr/bin/env bash
# Synthesises the game's five sound effects with sox and encodes them as OGG Vorbis
# into assets/Sounds/. Every noise source runs in sox's repeatable mode (-R), so a
# rerun writes byte-identical files. Needs: sox with its Vorbis format (libsox-fmt-all).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-$here/../../assets/Sounds}
mkdir -p "$out"
out=$(cd "$out" && pwd)
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

R=44100
s() { sox -R -V1 "$@"; }

# Places a mono clip at a time offset and pans it: place IN OUT OFFSET LEFT RIGHT
place() { s "$1" -c 2 "$2" remix 1v"$4" 1v"$5" pad "$3"; }

# Mixes stereo clips (already offset) to a fixed length: mixto OUT LENGTH IN...
mixto() {
  local dst=$1 len=$2
  shift 2
  if [ $# -eq 1 ]; then s "$1" "$dst" pad 0 "$len" trim 0 "$len"; return; fi
  s -m "$@" "$dst" pad 0 "$len" trim 0 "$len"
}

# Vorbis at quality 4 with a plain comment, normalised to a -3 dBFS peak (or to the
# level given third, where the encoder flattens sharp peaks of a short transient).
encode() { s "$1" -C 4 --comment "Tessolino sound effect" "$2" norm "${3:--3}"; }

# --- paper small movement: one short slide of a sheet over a sheet (mono, 0.5 s) ----
# Broadband hiss with the weight in the upper mids, roughened by two beating
# tremolos so it rustles instead of hissing, and a swell-and-fade envelope.
s -r $R -c 1 -n slide_a.wav synth 0.5 pinknoise highpass 900 lowpass 7500 \
  tremolo 19 55 tremolo 31 40 fade h 0.16 0.5 0.26
s -r $R -c 1 -n slide_b.wav synth 0.5 whitenoise band 4200 1800 \
  tremolo 47 70 fade q 0.05 0.5 0.35 vol 0.35
s -m slide_a.wav slide_b.wav slide.wav
encode slide.wav "$out/paper small movement.ogg"

# --- Bell small jingle: a few little bells shaken twice (stereo, 0.9 s) -------------
# Each strike is a small bell (inharmonic partials, exponential decay, upper partials
# dying first) plus a tick of metallic rattle; strikes alternate across the stereo field.
strike() { # strike OUT FREQ RING_SECONDS
  local f=$2 ring=$3
  s -r $R -c 3 -n b_low.wav synth "$ring" sine "$f" sine "$(echo "$f*2.32" | bc -l)" \
    sine "$(echo "$f*1.51" | bc -l)" remix 1v0.6,2v0.25,3v0.2 fade l 0.002 "$ring" "$ring"
  s -r $R -c 2 -n b_high.wav synth "$ring" sine "$(echo "$f*4.16" | bc -l)" \
    sine "$(echo "$f*6.01" | bc -l)" remix 1v0.2,2v0.1 fade l 0.001 "$ring" "$(echo "$ring*0.9" | bc -l)" \
    fade l 0 "$(echo "$ring*0.4" | bc -l)" "$(echo "$ring*0.4" | bc -l)"
  s -r $R -c 1 -n b_tick.wav synth 0.03 whitenoise highpass 6000 fade l 0 0.03 0.03 vol 0.4
  s -m b_low.wav b_high.wav b_tick.wav "$1" pad 0 0.03
}
i=0
parts=()
# time  pitch  ring  left right
while read -r t f ring l r; do
  strike "st$i.wav" "$f" "$ring"
  place "st$i.wav" "p$i.wav" "$t" "$l" "$r"
  parts+=("p$i.wav")
  i=$((i + 1))
done <<'EOF'
0.000 2793 0.85 0.95 0.45
0.045 3322 0.80 0.45 0.95
0.110 2960 0.80 0.80 0.60
0.330 3136 0.70 0.55 0.90
0.370 3729 0.60 0.95 0.50
0.420 2793 0.55 0.60 0.85
EOF
mixto jingle.wav 0.9 "${parts[@]}"
s jingle.wav jingle_rev.wav reverb 20 50 40 fade t 0 0.9 0.12
encode jingle_rev.wav "$out/Bell small jingle.ogg"

# --- Mouse_click: press and release of a mouse button (mono, 0.2 s) -----------------
# A sharp broadband tick, a short plastic resonance and a faint thump; the release
# follows 70 ms later, quieter and a little higher.
click() { # click OUT GAIN BODY_HZ
  s -r $R -c 1 -n c_tick.wav synth 0.004 whitenoise highpass 1800 fade t 0 0.004 0.003
  s -r $R -c 1 -n c_body.wav synth 0.03 sine "$3" fade l 0 0.03 0.03 vol 0.5
  s -r $R -c 1 -n c_thump.wav synth 0.02 sine 190 fade l 0.001 0.02 0.02 vol 0.35
  s -m c_tick.wav c_body.wav c_thump.wav "$1" vol "$2"
}
click press.wav 1.0 2300
click release.wav 0.55 2900
s release.wav release_at.wav pad 0.07
s -m press.wav release_at.wav mclick.wav pad 0.002 0.2 trim 0 0.2
encode mclick.wav "$out/Mouse_click.ogg" -2.4

# --- papper taidying: a small stack of sheets shuffled and tapped square (stereo, 0.8 s)
# Three overlapping rustles with different colour and movement across the stereo field,
# then the stack is knocked on the table once.
rustle() { # rustle OUT LENGTH CENTRE WIDTH TREM1 TREM2
  s -r $R -c 1 -n "$1" synth "$2" pinknoise band "$3" "$4" highpass 500 \
    tremolo "$5" 60 tremolo "$6" 45 fade h "$(echo "$2*0.3" | bc -l)" "$2" "$(echo "$2*0.55" | bc -l)"
}
rustle r1.wav 0.30 3400 2600 23 37
rustle r2.wav 0.26 2600 2000 29 17
rustle r3.wav 0.24 4300 3000 41 19
s -r $R -c 1 -n knock.wav synth 0.06 brownnoise lowpass 900 fade l 0.001 0.06 0.06 vol 2.0
s -r $R -c 1 -n knock_hi.wav synth 0.015 pinknoise band 2500 2000 fade l 0 0.015 0.015 vol 0.6
s -m knock.wav knock_hi.wav tap.wav
place r1.wav q1.wav 0.00 0.95 0.55
place r2.wav q2.wav 0.18 0.55 0.95
place r3.wav q3.wav 0.36 0.85 0.75
place tap.wav q4.wav 0.63 0.85 0.85
mixto shuffle.wav 0.8 q1.wav q2.wav q3.wav q4.wav
encode shuffle.wav "$out/papper taidying.ogg"

# --- trumpets fanfar: two trumpets play a short victory call (stereo, about 2.4 s) ----
# A trumpet note is a stack of harmonics with a brassy weighting (strong middle
# harmonics), a quick attack with a slight swell and, on long notes, vibrato.
weights=(1.0 0.85 0.8 0.62 0.5 0.4 0.3 0.22 0.16 0.11 0.07 0.05)
note() { # note OUT FREQ LENGTH VIBRATO(0/1)
  local f=$2 len=$3 tones=() mix="" n=0 fn
  for w in "${weights[@]}"; do
    n=$((n + 1))
    fn=$(echo "$f*$n" | bc -l)
    if [ "$(echo "$fn > 11000" | bc)" -eq 1 ]; then break; fi
    tones+=(sine "$fn")
    mix+="${n}v$w,"
  done
  local fx=(remix "${mix%,}" equalizer 1300 1.2q 5 fade t 0.025 "$len" 0.06)
  if [ "$4" -eq 1 ]; then fx+=(tremolo 5.5 18); fi
  s -r $R -c "$n" -n "$1" synth "$len" "${tones[@]}" "${fx[@]}"
}
# one voice: a list of "frequency length" with a short gap (tonguing) after each note
voice() { # voice OUT <<< lines
  local dst=$1 k=0 f len vib files=()
  while read -r f len vib; do
    note "v_$k.wav" "$f" "$len" "$vib"
    s "v_$k.wav" "vg_$k.wav" pad 0 0.025
    files+=("vg_$k.wav")
    k=$((k + 1))
  done
  s "${files[@]}" "$dst"
}
voice lead.wav <<'EOF'
392.00 0.13 0
523.25 0.13 0
659.26 0.13 0
783.99 0.40 0
659.26 0.15 0
783.99 1.25 1
EOF
voice second.wav <<'EOF'
329.63 0.13 0
392.00 0.13 0
523.25 0.13 0
659.26 0.40 0
523.25 0.15 0
523.25 1.25 1
EOF
# a third player joins on the final chord only
note third_note.wav 392.00 1.25 1
s third_note.wav third.wav pad 1.09
# the players stand a little apart, the second slightly behind and out of tune
place lead.wav t1.wav 0.00 0.90 0.45
place second.wav t2.wav 0.012 0.45 0.90
place third.wav t3.wav 0.02 0.65 0.65
mixto band.wav 2.4 t1.wav t2.wav t3.wav
s band.wav fanfare.wav reverb 35 50 70 fade t 0 2.4 0.15
encode fanfare.wav "$out/trumpets fanfar.ogg"

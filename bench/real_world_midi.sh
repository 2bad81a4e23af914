#!/usr/bin/env bash
# Real-world MIDI files: plays Standard MIDI Files that ship in Debian packages the way Velmora's
# Linux layer plays them (its reader and renderer, offline) and with the
# fluidsynth command line (`fluidsynth -ni -F out.wav -r 44100 SOUNDFONT FILE`), and compares the
# time of the last sound (within 0.05 s) and the level up to it (within 0.5 dB).
#   bench/real_world_midi.sh [BUILD_DIR] [MAX_FILES]
# Env: DAMAGED=N also plays N copies of each file with 3 flipped bits (how many each player is
#      heard playing);
#      VELMORA_MIDI_RENDER=PATH another build of the renderer (e.g. an older layer's).
# The packages are downloaded and unpacked under $SCRATCH (default /tmp/velmora-real-world); no
# file of theirs is kept in the repository.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
max_files=${2:-60}
damaged=${DAMAGED:-0}
scratch=${SCRATCH:-/tmp/velmora-real-world}
soundfont=${VELMORA_SOUNDFONT:-/usr/share/sounds/sf2/default-GM.sf2}
packages=(openttd-openmsx freedink-data fretsonfire-songs-muldjord fretsonfire-songs-sectoid
          pianobooster)

command -v fluidsynth >/dev/null || { echo "needs the fluidsynth command line (package fluidsynth)"; exit 1; }
command -v unzip >/dev/null || { echo "needs unzip (package unzip)"; exit 1; }
cmake --build "$build" --target velmora_midi_render -j2 >/dev/null
render=${VELMORA_MIDI_RENDER:-$build/bench/velmora_midi_render}

# Download and unpack; MIDI files inside zip archives are unpacked beside them.
mkdir -p "$scratch/debs" "$scratch/files" "$scratch/work"
for package in "${packages[@]}"; do
  ls "$scratch/debs/${package}"_*.deb >/dev/null 2>&1 ||
    (cd "$scratch/debs" && apt-get download "$package" >/dev/null 2>&1) ||
    { echo "could not download $package"; continue; }
  [ -d "$scratch/files/$package" ] && continue
  dpkg -x "$scratch/debs/${package}"_*.deb "$scratch/files/$package"
  find "$scratch/files/$package" -iname '*.zip' | while read -r zip; do
    unzip -qo "$zip" '*.mid' '*.MID' -d "${zip%.zip}" 2>/dev/null || true
  done
done

# Every MIDI file, recorded with its package and path; MAX_FILES of them, spread evenly.
manifest="$scratch/manifest.tsv"
(cd "$scratch/files" && find . -type f \( -iname '*.mid' -o -iname '*.midi' -o -iname '*.kar' \
  -o -iname '*.rmi' \) | sed 's|^\./||' | sort | awk -F/ '{ print $1 "\t/" substr($0, length($1) + 2) }') \
  >"$manifest"
total=$(wc -l <"$manifest")
step=$(( (total + max_files - 1) / max_files ))
echo "$total MIDI files in ${packages[*]} (list: $manifest); playing one in $step"

# "LENGTH LAST LEVEL" of the command line's rendering, or "refused" when it made no sound; a
# second argument stops it after that many seconds (the rendering runs faster than real time).
command_line() {
  local wav="$scratch/work/cli.wav"
  rm -f "$wav"
  (cd "$scratch/work" && timeout "${2:-900}" fluidsynth -ni -F "$wav" -r 44100 "$soundfont" "$1" \
    >/dev/null 2>&1) || true
  local figures
  figures=$([ -s "$wav" ] && "$render" --wav "$wav" || echo "0 0 -200")
  [ "$(echo "$figures" | awk '{ print ($2 > 0) }')" = 1 ] && echo "$figures" || echo refused
}

# 3 bits flipped, at places drawn from the file's name and the copy's number.
flip_bits() {
  python3 - "$1" "$2" "$3" <<'EOF'
import random, sys, zlib
data = bytearray(open(sys.argv[1], 'rb').read())
rng = random.Random(zlib.crc32(sys.argv[1].encode()) + int(sys.argv[3]))
for _ in range(3):
    data[rng.randrange(len(data))] ^= 1 << rng.randrange(8)
open(sys.argv[2], 'wb').write(bytes(data))
EOF
}

show() { case $1 in refused | silent) echo "$1" ;; *) echo "$1" | awk '{ printf "%8.3f s %7.2f dB", $2, $3 }' ;; esac; }

printf '%-26s %-48s %22s %22s  %s\n' package file "layer last/level" "command line" verdict
both=0 agree=0 layer_only=0 cli_only=0 neither=0 played=0
damaged_layer=0 damaged_cli=0 damaged_total=0
line=0
while IFS=$'\t' read -r package path; do
  line=$((line + 1))
  [ $(( (line - 1) % step )) -eq 0 ] || continue
  file="$scratch/files/$package$path"
  played=$((played + 1))
  layer=$("$render" "$soundfont" "$file" | awk '$1 == "refused" || $2 > 0 { print; next } { print "silent" }')
  cli=$(command_line "$file")
  if [ "$layer" = silent ]; then
    neither=$((neither + 1)); verdict="LAYER SILENT"
  elif [ "$layer" != refused ] && [ "$cli" != refused ]; then
    both=$((both + 1))
    verdict=$(echo "$layer $cli" | awk '{ dt = $2 - $5; dl = $3 - $6; if (dt < 0) dt = -dt;
      if (dl < 0) dl = -dl; if (dt <= 0.05 && dl <= 0.5) print "agree";
      else printf "DIFFER (%.3f s, %.2f dB)\n", dt, dl }')
    [ "$verdict" = agree ] && agree=$((agree + 1))
  elif [ "$layer" != refused ]; then
    layer_only=$((layer_only + 1)); verdict="layer only"
  elif [ "$cli" != refused ]; then
    cli_only=$((cli_only + 1)); verdict="COMMAND LINE ONLY"
  else
    neither=$((neither + 1)); verdict="neither"
  fi
  shown=$path
  [ ${#shown} -le 48 ] || shown=...${path: -45}
  printf '%-26s %-48s %22s %22s  %s\n' "$package" "$shown" "$(show "$layer")" \
    "$(show "$cli")" "$verdict"
  for copy in $(seq 1 "$damaged"); do
    flip_bits "$file" "$scratch/work/damaged.mid" "$copy"
    damaged_total=$((damaged_total + 1))
    # Heard within the first 60 s of music, or 20 s of the command line's work.
    [ "$("$render" "$soundfont" "$scratch/work/damaged.mid" 60 | awk '{ print ($2 > 0) }')" = 1 ] &&
      damaged_layer=$((damaged_layer + 1))
    [ "$(command_line "$scratch/work/damaged.mid" 20)" != refused ] && damaged_cli=$((damaged_cli + 1))
  done
done <"$manifest"

echo
echo "$played files played: $both by both, of which $agree agree (last sound within 0.05 s, level" \
  "within 0.5 dB); $layer_only by the layer only, $cli_only by the command line only, $neither by neither"
if [ "$damaged" -gt 0 ]; then
  echo "$damaged_total copies with 3 flipped bits: heard by the layer $damaged_layer," \
    "by the command line $damaged_cli"
fi

#!/usr/bin/env bash
# Builds and runs the sequencer benchmark inside a private desktop session (null sink):
#   bench/sequencer_bench.sh [BUILD_DIR] [TUNE]
# Prints Velmora's figures beside the FluidSynth command line's, the ratios and the targets.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-seq}
tune=${2:-$root/resources/demo/velmora-demo.mid}
soundfont=${VELMORA_SOUNDFONT:-}
if [ -z "$soundfont" ]; then
  soundfont=/usr/share/sounds/sf2/default-GM.sf2
  [ -r /usr/share/sounds/sf2/FluidR3_GM.sf2 ] && soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
fi
command -v fluidsynth >/dev/null || { echo "the fluidsynth command line player is needed (package fluidsynth)"; exit 1; }
if ! cmake --build "$build" --target velmora_sequencer_bench -j2 >/dev/null; then
  echo "could not build velmora_sequencer_bench in $build (the top CMakeLists.txt includes bench/bench.cmake)"
  exit 1
fi
exec "$root/tests/desktop_session.sh" "$build/bench/velmora_sequencer_bench" "$tune" "$soundfont"

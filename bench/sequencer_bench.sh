#!/usr/bin/env bash
# Builds and runs the sequencer benchmark inside a private desktop session (null sink):
#   bench/sequencer_bench.sh [--loaded-runs=N] [BUILD_DIR] [TUNE]
# Prints Velmora's figures beside the FluidSynth command line's and the offline floor, the ratios
# and the targets, with the default SoundFont and with FluidR3_GM.sf2, then the underruns while
# playing the tune with nproc + 1 busy processes (--loaded-runs, 3 by default) and a summary of
# the output (its buffer, Stop, Play to first sound). When FluidR3 is not installed, its Debian
# package is downloaded and unpacked into BUILD_DIR/bench-scratch (nothing is installed on the
# system).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
options=()
while [ $# -gt 0 ] && [[ $1 == --* ]]; do options+=("$1") && shift; done
build=${1:-$root/build-seq}
tune=${2:-$root/resources/demo/velmora-demo.mid}
scratch=$build/bench-scratch
mkdir -p "$scratch"

default_soundfont=/usr/share/sounds/sf2/default-GM.sf2
rich_soundfont=/usr/share/sounds/sf2/FluidR3_GM.sf2
if [ ! -r "$rich_soundfont" ]; then
  rich_soundfont=$scratch/fluid-soundfont-gm/usr/share/sounds/sf2/FluidR3_GM.sf2
  if [ ! -r "$rich_soundfont" ]; then
    (cd "$scratch" && rm -f fluid-soundfont-gm_*.deb && apt-get download fluid-soundfont-gm >/dev/null &&
      dpkg -x fluid-soundfont-gm_*.deb fluid-soundfont-gm) ||
      { echo "could not fetch FluidR3_GM.sf2 (apt-get download fluid-soundfont-gm)"; exit 1; }
  fi
fi

command -v fluidsynth >/dev/null || { echo "the fluidsynth command line player is needed (package fluidsynth)"; exit 1; }
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
if ! cmake --build "$build" --target velmora_sequencer_bench -j2 >/dev/null; then
  echo "could not build velmora_sequencer_bench in $build (the top CMakeLists.txt includes bench/bench.cmake)"
  exit 1
fi
echo "load: $(uptime)"
exec "$root/tests/desktop_session.sh" "$build/bench/velmora_sequencer_bench" "${options[@]}" "$tune" "$scratch" \
  "$default_soundfont" "$rich_soundfont"

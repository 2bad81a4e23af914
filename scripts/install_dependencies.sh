#!/usr/bin/env bash
# Installs the Debian packages Velmora needs and that are missing. As root, or through sudo.
#   scripts/install_dependencies.sh run    # build and run the Linux program
#   scripts/install_dependencies.sh test   # also everything the tests use
set -euo pipefail

build_and_run=(
  cmake g++ make pkg-config
  libfltk1.3-dev fluid          # Debian's FLTK CMake package configuration refers to /usr/bin/fluid
  libfluidsynth-dev timgm6mb-soundfont
  libx11-dev libxtst-dev
)
tests=(
  libgtest-dev googletest       # googletest ships the sources the Windows test builds compile
  clang libclang-rt-14-dev      # fuzzers and sanitizers
  xvfb xdotool x11-utils        # a display for the window tests
  pulseaudio pulseaudio-utils   # a private sound server with a null sink, and parec to record it
  fluidsynth                    # the command-line synthesizer the benchmarks compare against
  unzip                         # bench/real_world_midi.sh unpacks a package's zip of MIDI files
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 mingw-w64-tools
  wine64 wine                   # runs the 64-bit Windows build's tests
  python3 valgrind
  dpkg-dev desktop-file-utils   # the Debian package's dependencies (dpkg-shlibdeps) and entry check
)

packages=("${build_and_run[@]}")
if [ "${1:-run}" = test ]; then packages+=("${tests[@]}"); fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

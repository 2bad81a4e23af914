#!/usr/bin/env bash
# Installs the Debian packages Velmora needs and that are missing. As root, or through sudo.
#   scripts/install_dependencies.sh run       # build and run the Linux program
#   scripts/install_dependencies.sh package   # also build its Debian package
#   scripts/install_dependencies.sh windows   # also cross-build Velmora.exe
#   scripts/install_dependencies.sh test      # everything the tests use (all of the above too)
set -euo pipefail

run=(
  cmake g++ make pkg-config
  libgtk-3-dev                  # the window and the open dialog, on X11 and Wayland
  libfluidsynth-dev timgm6mb-soundfont
  libpulse-dev libasound2-dev   # the sound engine's own output: the sound server, else ALSA
)
package=(dpkg-dev file)         # CPack's Debian generator: dpkg-shlibdeps, and file to find programs
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 mingw-w64-tools)
tests=(
  libgtest-dev googletest       # googletest ships the sources the Windows test builds compile
  clang                         # fuzzers and sanitizers (with its runtime, found below)
  clang-format clang-tidy git   # the lint check, on the files git tracks
  libxtst-dev xvfb xdotool x11-utils  # a display for the window tests, driven as a user drives it
  weston                        # a Wayland display without an X server
  dbus at-spi2-core python3-pyatspi   # the accessibility bus, read and driven as a screen reader does
  pulseaudio pulseaudio-utils   # a private sound server with a null sink, and parec to record it
  util-linux                    # prlimit, for the engine under address-space limits
  fluidsynth                    # the command-line synthesizer the sound is compared with
  unzip                         # bench/real_world_midi.sh unpacks a package's zip of MIDI files
  wine64 wine                   # runs the 64-bit Windows build's tests
  python3 valgrind binutils desktop-file-utils libglib2.0-bin  # gio: a file's MIME type
  playerctl dbus-x11            # a desktop's now-playing client, and a session bus for a test
  lintian appstream             # the package judged as Debian and software centres judge it
  librsvg2-bin                  # resources/make_icon.py renders the desktop icons from their SVG
  icoutils xxd                  # Velmora.exe's resources read back
)

packages=("${run[@]}")
case "${1:-run}" in
  run) ;;
  package) packages+=("${package[@]}") ;;
  windows) packages+=("${windows[@]}") ;;
  test) packages+=("${package[@]}" "${windows[@]}" "${tests[@]}") ;;
  *) echo "usage: $0 run|package|windows|test" >&2; exit 2 ;;
esac

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
updated=0
update() { [ $updated -eq 1 ] || "${sudo[@]}" apt-get update -q; updated=1; }

# The sanitizers' and libFuzzer's runtime comes in a package named after clang's major version:
# that of the release's default clang (the clang package depends on clang-N), whatever it is.
if [ "${1:-run}" = test ]; then
  version() {  # the installed clang's, or else the one the package lists offer
    { dpkg-query -W -f='${Depends}' clang 2>/dev/null || apt-cache depends clang 2>/dev/null; } |
      grep -o -E '\bclang-[0-9]+\b' | sed -n '1s/clang-//p'  # reading all: no broken pipe
  }
  clang_version=$(version)
  [ -n "$clang_version" ] || { update && clang_version=$(version); }  # a fresh machine has no lists
  [ -n "$clang_version" ] || { echo "$0: this release offers no clang" >&2; exit 1; }
  packages+=("libclang-rt-$clang_version-dev")
fi

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
update
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

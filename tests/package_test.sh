#!/usr/bin/env bash
# Builds the Debian package and checks what a user gets: its dependencies, a stripped program, a
# desktop entry that tells the truth (no file types the program cannot open, the window class the
# program really shows), and the installed program saying so without a display and starting into
# its window, with its icon, with one. Needs DISPLAY.
#   tests/package_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/packages/velmora_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb") depends on: $depends"
for needed in libfltk1.3 libfluidsynth3 timgm6mb-soundfont; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed"
done

root=$(mktemp -d) pid=""
trap '[ -z "$pid" ] || kill "$pid"; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/velmora entry=$root/usr/share/applications/velmora.desktop
[ -f "$root/usr/share/icons/hicolor/32x32/apps/velmora.png" ] || fail "no icon"
[[ $(readelf -S "$program") != *.debug_* ]] || fail "the packaged program carries debug sections"
[[ $(readelf -S "$build/velmora") == *.debug_info* ]] || fail "the build folder's program has no debug information"
desktop-file-validate "$entry"
grep -q '^MimeType=' "$entry" && fail "the entry offers to open files the program never reads"

message=$(DISPLAY= "$program" 2>&1) && fail "started without a display"
grep -q "display" <<<"$message" || fail "no word on the missing display: $message"
"$program" &
pid=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Velmora$' | head -n 1) ||
  fail "the installed program showed no window"
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*, "\(.*\)"$/\1/p')
[ "$class" = "$(sed -n 's/^StartupWMClass=//p' "$entry")" ] || fail "window class $class is not the entry's"
[[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon (32 x 32)"* ]] || fail "the window has no 32 x 32 icon"
echo "installed program: stripped, says when there is no display, its window's class $class matches its entry, its icon: ok"

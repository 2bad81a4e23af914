#!/usr/bin/env bash
# Builds the Debian package and checks what a user gets: its dependencies, a stripped program, a
# desktop entry that tells the truth (no file types the program cannot open, the window class the
# program really shows), and the installed program saying so without a display and, on one, starting
# into its window with its icon and playing a tune chosen in the real open dialog. Needs the private
# desktop of tests/desktop_session.sh.
#   tests/package_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/packages/velmora_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb") depends on: $depends"
for needed in libgtk-3-0 libfluidsynth3 timgm6mb-soundfont; do
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
cp "$(dirname "$0")/../resources/demo/velmora-demo.mid" "$root/tune.mid"
(cd "$root" && exec "$program") &
pid=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name '^Velmora$' | head -n 1) ||
  fail "the installed program showed no window"
class=$(xprop -id "$window" WM_CLASS | sed -n 's/.*, "\(.*\)"$/\1/p')
[ "$class" = "$(sed -n 's/^StartupWMClass=//p' "$entry")" ] || fail "window class $class is not the entry's"
[[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon (32 x 32)"* ]] || fail "the window has no 32 x 32 icon"
# The whole use, as a user: Space on Get Mid File, the real dialog answered, Space on Play, heard.
xdotool windowfocus --sync "$window" key space
dialog=$(timeout 10 xdotool search --sync --onlyvisible --name '^Open File$' | head -n 1) || fail "no dialog"
xdotool windowfocus --sync "$dialog" && sleep 0.3  # GTK's dialog takes a name after Ctrl+L
xdotool key ctrl+l
xdotool sleep 0.3 type tune.mid && xdotool sleep 0.3 key Return sleep 0.5 windowfocus --sync "$window" key space
peak=$({ timeout 3 parec --device="$VELMORA_TEST_SINK.monitor" --raw --format=s16le --channels=1 || :; } |
  python3 -c 'import sys, array; print(max(map(abs, array.array("h", sys.stdin.buffer.read())), default=0))')
[ "$peak" -gt 256 ] || fail "the tune chosen in the real dialog was not heard (peak $peak)"
echo "installed program: stripped, no-display message, window class $class, icon, tune heard: ok"

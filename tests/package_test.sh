#!/usr/bin/env bash
# Builds the Debian package and checks what Debian, a software centre and a user get: lintian with
# no tag at all (info included), AppStream metadata and desktop entry valid and matched, every icon
# at its size and drawn from the design, a hardened and stripped program, its dependencies, and the
# installed program saying so without a display and, on one, starting into its window with its
# icon and playing a tune chosen in the real open dialog. Needs tests/desktop_session.sh.
#   tests/package_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder} resources=$(dirname "$0")/../resources
fail() { echo "FAIL: $*"; exit 1; }

rm -rf "$build/packages"
(umask 0002 && cd "$build" && cpack -G DEB >/dev/null)  # modes must not follow the builder's umask
deb=$(ls "$build"/packages/velmora_*.deb)
lintian -I --fail-on error,warning,info "$deb" || fail "lintian tags above"
depends=$(dpkg-deb -f "$deb" Depends) version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb") depends on: $depends"
[[ $depends == *libgtk-3-0* && $depends == *libfluidsynth3* &&
  $depends == *"timgm6mb-soundfont | sf2-soundfont-gm"* ]] ||
  fail "Depends lacks GTK 3, FluidSynth or a General MIDI SoundFont"

root=$(mktemp -d) pid=""
trap '[ -z "$pid" ] || kill "$pid"; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/velmora entry=$root/usr/share/applications/org.velmora.Velmora.desktop
desktop-file-validate "$entry"
# The MIDI types, handed over as URIs, the same in the metainfo; .rmi typed as MIDI once the MIME
# cache is built as shared-mime-info's trigger builds it.
types=$(sed -n 's/^MimeType=//p' "$entry")
[[ $types == "audio/midi;audio/x-midi;audio/sp-midi;" && $(grep -c '^Exec=velmora %U$' "$entry") == 1 ]] ||
  fail "the entry's types ($types) or Exec"
[ "$(sed -n 's|.*<mediatype>\(.*\)</mediatype>|\1;|p' "$root"/usr/share/metainfo/*.xml | tr -d '\n')" = "$types" ] ||
  fail "the metainfo's media types are not the entry's"
update-mime-database "$root/usr/share/mime" >/dev/null 2>&1 && printf 'RIFF\4\0\0\0RMID' >"$root/tune.rmi"
[ "$(XDG_DATA_DIRS="$root/usr/share:/usr/share" gio info -a standard::content-type "$root/tune.rmi" |
  sed -n 's/.*content-type: //p')" = audio/midi ] || fail ".rmi is not typed as MIDI"
# Accepted: no homepage (there is none), and AppStream 0.16 (Debian 12) not knowing 1.0's <developer>.
report=$(appstreamcli validate-tree --no-net "$root" | grep '^[EWI]: ' |
  grep -v -e ': url-homepage-missing$' -e ': unknown-tag developer$' || :)
[ -z "$report" ] || fail "AppStream metadata: $report"
[[ $(zcat "$root/usr/share/doc/velmora/changelog.gz" | head -n 1) == "velmora ($version) "* ]] ||
  fail "the changelog's last entry is not version $version"
grep -qF "<release version=\"$version\"" "$root"/usr/share/metainfo/*.xml ||
  fail "the metainfo has no release $version"
icons=$root/usr/share/icons/hicolor icon=$(sed -n 's/^Icon=//p' "$entry")
for size in 16 32 48 64 128 256; do
  [[ $(file -b "$icons/${size}x$size/apps/$icon.png") == "PNG image data, $size x $size,"* ]] ||
    fail "no $size px icon $icon"
done
[[ $(file -b "$icons/scalable/apps/$icon.svg") == SVG* ]] || fail "no scalable icon $icon"
python3 "$resources/make_icon.py" --check || fail "the icons are not what the design draws"

elf=$(readelf -SldW --dyn-syms "$program")
for mark in BIND_NOW GNU_RELRO Position-Independent __stack_chk_fail; do
  [[ $elf == *"$mark"* ]] || fail "not hardened: no $mark"
done
[[ $(grep -o '__[a-z0-9_]*_chk@' <<<"$elf" | grep -v __stack_chk) ]] ||
  fail "not hardened: no fortified call"
[[ $elf != *.debug_* ]] || fail "the packaged program carries debug sections"
[[ $(readelf -S "$build/velmora") == *.debug_info* ]] || fail "the build folder's program has no debug information"

message=$(DISPLAY= "$program" 2>&1) && fail "started without a display"
grep -q "display" <<<"$message" || fail "no word on the missing display: $message"
cp "$resources/demo/velmora-demo.mid" "$root/tune.mid"
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
echo "package: lintian and AppStream clean, icons, hardened, stripped; installed program: no-display message, window class $class, icon, tune heard: ok"

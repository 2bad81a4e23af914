#!/usr/bin/env bash
# Builds the Debian package, checks its contents and dependencies, unpacks it into a scratch root
# and starts the installed program on the display (DISPLAY must be set: run inside desktop_session.sh).
#   tests/package_test.sh BUILD_DIR
set -euo pipefail
build=${1:?build folder}

rm -rf "$build/packages"
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/packages/velmora_*.deb)
echo "package: $(basename "$deb")"

fail() { echo "FAIL: $*"; exit 1; }
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for needed in libfltk1.3 libfluidsynth3 timgm6mb-soundfont; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed"
done
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/velmora ./usr/share/applications/velmora.desktop \
            ./usr/share/icons/hicolor/32x32/apps/velmora.png; do
  grep -q " $path\$" <<<"$contents" || fail "package lacks $path"
done

root=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/velmora.desktop"
grep -q '^MimeType=audio/midi;' "$root/usr/share/applications/velmora.desktop" || fail "no audio/midi"

"$root/usr/bin/velmora" &
pid=$!
xdotool search --sync --onlyvisible --name '^Velmora$' >/dev/null &
search=$!
for _ in $(seq 1 50); do
  kill -0 "$search" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$search" 2>/dev/null; then kill "$search"; fail "the installed program showed no window"; fi
kill -0 "$pid" || fail "the installed program exited"
echo "installed program started and showed its window: ok"

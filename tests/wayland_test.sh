#!/usr/bin/env bash
# The program where the desktop offers only Wayland (weston's headless backend, no X server): it
# starts natively, its window titled Velmora under the desktop entry's app id, and SIGTERM, as a
# session sends at logout, ends it with 0 at once: Wayland lets no program place its window, so the
# closing slide ends at its first pass. Where X11 is offered too, it takes X11, where it can slide.
#   tests/wayland_test.sh BUILD/velmora    (inside tests/desktop_session.sh, for its X display)
set -euo pipefail
[ -n "${VELMORA_TEST_SINK:-}" ] || { echo "no desktop: run under tests/desktop_session.sh"; exit 77; }
program=$(realpath "$1") runtime=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$runtime"' EXIT
fail() { echo "FAIL: $*"; cat "$runtime/weston.log"; exit 1; }
export XDG_RUNTIME_DIR=$runtime WAYLAND_DISPLAY=velmora-wayland
weston --backend=headless-backend.so --socket="$WAYLAND_DISPLAY" --idle-time=0 >"$runtime/weston.log" 2>&1 &
for _ in $(seq 100); do [ -S "$runtime/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
# An object is written interface@id up to libwayland 1.22 and interface#id from 1.23.
shown() { grep -q "$1" "$runtime/protocol"; }

WAYLAND_DEBUG=client "$program" 2>"$runtime/protocol" &
timeout 10 xdotool search --sync --onlyvisible --name '^Velmora$' >/dev/null || fail "not on X11"
kill -TERM $! && wait $! || fail "the X11 window did not close"
! shown xdg_toplevel || fail "Wayland taken where X11 was offered"

(unset DISPLAY && exec env WAYLAND_DEBUG=client "$program" 2>"$runtime/protocol") &
for _ in $(seq 100); do shown 'xdg_surface[@#][0-9]*\.ack_configure' && break; sleep 0.1; done
shown 'xdg_toplevel[@#][0-9]*\.set_title("Velmora")' || fail "no window titled Velmora"
shown 'xdg_toplevel[@#][0-9]*\.set_app_id("org.velmora.Velmora")' || fail "not the entry's app id"
sleep 0.3 && start=$(date +%s%N) && kill -TERM $! && wait $! || fail "SIGTERM did not end it with 0"
took=$((($(date +%s%N) - start) / 1000000))
[ "$took" -lt 500 ] || fail "closing took $took ms: the slide did not end at once"
